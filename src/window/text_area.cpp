#include "window/text_area.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "window/xdnd_reader.h"

namespace sorimba {
namespace {

// Every drop is taken, as a copy: a source offering "move" must not delete
// the text the user dragged.
void acceptAsCopy(QDropEvent* event) {
    if (event->possibleActions() & Qt::CopyAction) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->acceptProposedAction();
    }
}

}  // namespace

TextArea::TextArea(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
    setAcceptDrops(true);
    XdndReader::watchDrops();
}

QString TextArea::crLfText() const {
    const QString raw = document()->toRawText();
    const auto isLineEnd = [this](QChar c) {
        return c == QChar::ParagraphSeparator || (breaksAreLineEnds_ && c == kLineBreak);
    };
    const qsizetype ends = std::count_if(raw.cbegin(), raw.cend(), isLineEnd);
    if (ends == 0) return raw;
    QString text(raw.size() + ends, Qt::Uninitialized);
    QChar* out = text.data();
    for (const QChar c : raw) {
        if (isLineEnd(c)) {
            *out++ = QLatin1Char('\r');
            *out++ = QLatin1Char('\n');
        } else {
            *out++ = c;
        }
    }
    return text;
}

namespace {

// Every paragraph costs the document a few microseconds to insert, so a text
// of a megabyte (tens of thousands of lines) would take far too long as one
// paragraph per line. Lines are gathered into paragraphs of up to kLines
// lines or about kUnits code units instead, joined by line breaks, which
// show and edit exactly like paragraph ends. Returns the text with "\n" for
// the paragraph ends that remain.
QString gatherLines(const QString& text) {
    constexpr int kLines = 32;
    constexpr qsizetype kUnits = 2048;
    QString gathered;
    gathered.reserve(text.size());
    int lines = 0;
    qsizetype paragraphStart = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) {
            gathered += c;
            continue;
        }
        if (c == QLatin1Char('\r') && i + 1 < size && text[i + 1] == QLatin1Char('\n')) ++i;
        if (++lines >= kLines || gathered.size() - paragraphStart >= kUnits) {
            gathered += QLatin1Char('\n');
            lines = 0;
            paragraphStart = gathered.size();
        } else {
            gathered += TextArea::kLineBreak;
        }
    }
    return gathered;
}

}  // namespace

void TextArea::setCrLfText(const QString& text) {
    breaksAreLineEnds_ = !text.contains(kLineBreak);
    setPlainText(breaksAreLineEnds_ ? gatherLines(text) : text);
}

void TextArea::insertFromMimeData(const QMimeData* source) {
    // A paste by the user: plain text only, gathered like a set text.
    if (source == nullptr || !source->hasText()) return;
    const QString text = source->text();
    if (!breaksAreLineEnds_ || text.contains(kLineBreak)) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QTextCursor cursor = textCursor();
    cursor.insertText(gatherLines(text));
    setTextCursor(cursor);
    ensureCursorVisible();
}

void TextArea::contextMenuEvent(QContextMenuEvent* event) {
    QPlainTextEdit::contextMenuEvent(event);
    emit loopEnded();
}

void TextArea::mouseMoveEvent(QMouseEvent* event) {
    // A move with a button held may start a drag, which returns only once
    // the drag is over.
    QPlainTextEdit::mouseMoveEvent(event);
    if (event->buttons() != Qt::NoButton) emit loopEnded();
}

void TextArea::dragEnterEvent(QDragEnterEvent* event) {
    acceptAsCopy(event);
}

void TextArea::dragMoveEvent(QDragMoveEvent* event) {
    acceptAsCopy(event);
}

void TextArea::dropEvent(QDropEvent* event) {
    acceptAsCopy(event);
    const QMimeData* dropped = event->mimeData();
    if (dropped == nullptr || !onDrop) return;
    // From another program on X11, each offer's data are waited for at
    // most XdndReader::kOfferLimit; then the next offer is tried.
    import::OfferData offerData;
    const std::unique_ptr<XdndReader> reader =
        event->source() == nullptr ? XdndReader::forCurrentDrop() : nullptr;
    if (reader) offerData = [&reader](const QString& type) { return reader->read(type); };
    auto drop = std::make_shared<const import::Drop>(import::readDrop(*dropped, offerData));
    // The import may show a modal message box: run it after the drop is done.
    QPointer<TextArea> self(this);
    QTimer::singleShot(0, this, [self, drop] {
        if (self && self->onDrop) self->onDrop(*drop);
    });
}

}  // namespace sorimba
