#pragma once
// clipView: the text area that shows and holds the clip text. Word-wrapped,
// vertical scroll bar only. Drops are handed to the program, which decides
// what goes in; the area never inserts dropped data itself.

#include <QPlainTextEdit>
#include <functional>

#include "import/import.h"

namespace sorimba {

class TextArea : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextArea(QWidget* parent = nullptr);

    // The text with its lines joined by CR LF. Reads the document as it is
    // stored, so no character is changed on the way (a no-break space stays
    // a no-break space).
    QString crLfText() const;
    // Sets the whole text in one go; CR LF (and a lone CR or LF) ends a line.
    void setCrLfText(const QString& text);

    // A line break inside a paragraph of the document: set by setCrLfText
    // to keep paragraphs few, typed by the user with Shift+Enter. Reads as
    // CR LF like a paragraph end, except in a text that brought its own
    // U+2028 characters, which are then kept as they are.
    static constexpr QChar kLineBreak = QChar::LineSeparator;

    // Called with what the drop holds (import::readDrop, read while the drop
    // lasts, as mail programs delete their dragged files soon after) once
    // the drop has finished, so the program may show message boxes without
    // holding up the drag source.
    std::function<void(const import::Drop&)> onDrop;

signals:
    // Its context menu, or a drag out of it, has ended: each runs an event
    // loop of its own.
    void loopEnded();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    bool breaksAreLineEnds_ = true;
};

}  // namespace sorimba
