// sorimba-drag-source [--as-file | --as-message] FILE [FONT_FAMILY POINT_SIZE]
//
// Shows a small window titled "sorimba-drag-source" whose label is the first
// line of FILE. A mouse press anywhere in it starts a drag carrying the whole
// file (UTF-8, line ends as they are) as text/plain, or with --as-file the
// file itself as a text/uri-list, the way a file manager drags it, or with
// --as-message the file's bytes as message/rfc822 beside its first line as
// text/plain, the way a mail program drags a message. When the drag ends the
// program prints "drop: copy", "drop: move", "drop: link" or "drop: ignore" on
// stdout, so a test can tell whether the target accepted it. Optional font
// arguments set the label's font (the tests use that to calibrate their
// glyph checks against a known Qt rendering).

#include <QApplication>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

namespace {

class DragSource : public QWidget {
public:
    DragSource(QString text, QString file, QByteArray message)
        : text_(std::move(text)), file_(std::move(file)), message_(std::move(message)) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) {
            return;
        }
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        if (!message_.isEmpty()) {
            mime->setData(QStringLiteral("message/rfc822"), message_);
            mime->setText(text_.section(QLatin1Char('\n'), 0, 0));
        } else if (file_.isEmpty()) {
            mime->setText(text_);
        } else {
            mime->setUrls({QUrl::fromLocalFile(file_)});
        }
        drag->setMimeData(mime);
        const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
        const char* name = "ignore";
        switch (action) {
            case Qt::CopyAction:
                name = "copy";
                break;
            case Qt::MoveAction:
                name = "move";
                break;
            case Qt::LinkAction:
                name = "link";
                break;
            default:
                break;
        }
        std::printf("drop: %s\n", name);
        std::fflush(stdout);
    }

private:
    QString text_;
    QString file_;
    QByteArray message_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool asFile = !args.isEmpty() && args.first() == QStringLiteral("--as-file");
    const bool asMessage = !args.isEmpty() && args.first() == QStringLiteral("--as-message");
    if (asFile || asMessage) args.removeFirst();
    if (args.isEmpty()) {
        std::fprintf(stderr,
                     "usage: sorimba-drag-source [--as-file | --as-message] FILE "
                     "[FONT_FAMILY POINT_SIZE]\n");
        return 2;
    }
    QFile file(args.first());
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "sorimba-drag-source: cannot read %s\n", qPrintable(args.first()));
        return 2;
    }
    const QByteArray bytes = file.readAll();
    const QString text = QString::fromUtf8(bytes);

    DragSource window(text, asFile ? QFileInfo(file).absoluteFilePath() : QString(),
                      asMessage ? bytes : QByteArray());
    window.setWindowTitle(QStringLiteral("sorimba-drag-source"));
    auto* layout = new QVBoxLayout(&window);
    auto* label = new QLabel(text.section(QLatin1Char('\n'), 0, 0));
    if (args.size() >= 3) {
        QFont font(args.at(1));
        font.setPointSizeF(args.at(2).toDouble());
        label->setFont(font);
    }
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    layout->addWidget(label);
    window.resize(240, 120);
    window.show();
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
