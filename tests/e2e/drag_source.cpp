// sorimba-drag-source [--as-file | --as-message] FILE [FONT_FAMILY POINT_SIZE]
// sorimba-drag-source --offers SPEC.json
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
//
// With --offers the drag replays what a mail program offers, read from a
// JSON file: {"label": "...", "offers": [[TYPE, BASE64 DATA], ...] (in the
// program's order), "writeWhenAsked": [FROM, TO] (TO is written from FROM
// as its data are first asked for, as Thunderbird writes its .eml file),
// "deleteAfterMs": N (the files written or named in the offers are deleted
// N ms after the first data were handed over, as mail programs clean up
// their temporary files)}. Qt adds its own aliases after some types (for
// text/plain, UTF8_STRING and friends); the order of the listed ones holds.
// "stallMs": {TYPE: N} answers a request for TYPE only after N ms, meanwhile
// answering others, as a program that hangs on one offer. Each request is
// printed: "asked: TYPE after N ms" (since the first).

#include <QApplication>
#include <QDrag>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

namespace {

// A mail program's offers, handed over as the target asks for them.
class Offers : public QMimeData {
public:
    explicit Offers(const QJsonObject& spec) {
        for (const QJsonValue& offer : spec.value(QStringLiteral("offers")).toArray()) {
            types_ << offer.toArray().at(0).toString();
            data_ << QByteArray::fromBase64(offer.toArray().at(1).toString().toLatin1());
        }
        const QJsonArray write = spec.value(QStringLiteral("writeWhenAsked")).toArray();
        if (write.size() == 2) {
            writeFrom_ = write.at(0).toString();
            writeTo_ = write.at(1).toString();
        }
        deleteAfterMs_ = spec.value(QStringLiteral("deleteAfterMs")).toInt(-1);
        stallMs_ = spec.value(QStringLiteral("stallMs")).toObject();
    }
    QStringList formats() const override { return types_; }
    bool hasFormat(const QString& type) const override { return types_.contains(type); }

protected:
    QVariant retrieveData(const QString& type, QMetaType) const override {
        const qsizetype index = types_.indexOf(type);
        if (index < 0) return {};
        if (!handedOver_) {
            handedOver_ = true;
            clock_.start();
            if (!writeTo_.isEmpty()) QFile::copy(writeFrom_, writeTo_);
            if (deleteAfterMs_ >= 0) QTimer::singleShot(deleteAfterMs_, [this] { deleteFiles(); });
        }
        std::printf("asked: %s after %lld ms\n", qPrintable(type), clock_.elapsed());
        std::fflush(stdout);
        if (stallMs_.contains(type)) {
            QEventLoop stalled;
            QTimer::singleShot(stallMs_.value(type).toInt(), &stalled, &QEventLoop::quit);
            stalled.exec();
        }
        return data_.at(index);
    }

private:
    void deleteFiles() const {
        QStringList files;
        if (!writeTo_.isEmpty()) files << writeTo_;
        for (const QByteArray& data : data_) {
            for (const QByteArray& line : data.split('\n')) {
                const QUrl url = QUrl::fromEncoded(line.trimmed());
                if (url.isLocalFile()) files << url.toLocalFile();
            }
        }
        for (const QString& file : files)
            if (QFile::remove(file)) std::printf("deleted: %s\n", qPrintable(file));
        std::fflush(stdout);
    }

    QStringList types_;
    QList<QByteArray> data_;
    QString writeFrom_;
    QString writeTo_;
    int deleteAfterMs_ = -1;
    QJsonObject stallMs_;
    mutable bool handedOver_ = false;
    mutable QElapsedTimer clock_;
};

class DragSource : public QWidget {
public:
    DragSource(QString text, QString file, QByteArray message, QJsonObject offers = {})
        : text_(std::move(text)),
          file_(std::move(file)),
          message_(std::move(message)),
          offers_(std::move(offers)) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) {
            return;
        }
        auto* drag = new QDrag(this);
        QMimeData* mime = offers_.isEmpty() ? new QMimeData : new Offers(offers_);
        if (!offers_.isEmpty()) {
            // as the mail program offers it
        } else if (!message_.isEmpty()) {
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
    QJsonObject offers_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool asFile = !args.isEmpty() && args.first() == QStringLiteral("--as-file");
    const bool asMessage = !args.isEmpty() && args.first() == QStringLiteral("--as-message");
    const bool asOffers = !args.isEmpty() && args.first() == QStringLiteral("--offers");
    if (asFile || asMessage || asOffers) args.removeFirst();
    if (args.isEmpty()) {
        std::fprintf(stderr,
                     "usage: sorimba-drag-source [--as-file | --as-message] FILE "
                     "[FONT_FAMILY POINT_SIZE]\n       sorimba-drag-source --offers SPEC.json\n");
        return 2;
    }
    QFile file(args.first());
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "sorimba-drag-source: cannot read %s\n", qPrintable(args.first()));
        return 2;
    }
    const QByteArray bytes = file.readAll();
    const QJsonObject offers = asOffers ? QJsonDocument::fromJson(bytes).object() : QJsonObject();
    const QString text =
        asOffers ? offers.value(QStringLiteral("label")).toString() : QString::fromUtf8(bytes);

    DragSource window(text, asFile ? QFileInfo(file).absoluteFilePath() : QString(),
                      asMessage ? bytes : QByteArray(), offers);
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
