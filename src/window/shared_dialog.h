#pragma once
// The window's dialogs, and the colour codes the text area is stored with.

#include <QColor>
#include <QString>
#include <cstdint>
#include <optional>

#include "port/prompts.h"

class QWidget;

namespace sorimba {

// The dialogs of the window: message boxes, the file chooser and the font
// dialog. One object for the window's lifetime: the file chooser opens at
// the file chosen last, for saving or for converting alike.
class SharedDialog {
public:
    // The file the chooser opens at, and the full path of the last choice.
    QString fileName;

    // A modal message box without icon titled "!Sorimba"; Yes is the
    // default button. Closing it otherwise answers Cancel, No or Ok.
    Answer message(QWidget* parent, const QString& text, Buttons buttons);

    // The file chooser, listing "テキストファイル (*.txt)"; any name may be
    // typed. Its title and OK button name the purpose. On OK keeps the full
    // path in fileName and returns it.
    std::optional<QString> chooseFile(QWidget* parent, FileChoice purpose);

    // A font and colour chosen in the font dialog.
    struct FontChoice {
        QString name;
        double size = 0;
        std::int32_t colour = 0;
    };
    // The font dialog, starting from `current`; nothing when cancelled.
    std::optional<FontChoice> chooseFont(QWidget* parent, const FontChoice& current);
};

// The dialog that picks a mailbox to import, an mbox file or a Maildir
// folder, starting at `last` (the one chosen before); empty when cancelled.
// A dialog of its own: the shared one keeps the save file's name.
QString chooseMailboxPath(QWidget* parent, bool folder, const QString& last);

// A colour code (0x00BBGGRR, or 0x80000000 + n for system colour n) as a
// colour of the current palette; nullopt for a code that names no colour.
std::optional<QColor> colourOfCode(std::int32_t code);

// The RGB colour code 0x00BBGGRR of a colour.
std::int32_t codeOfColour(const QColor& colour);

}  // namespace sorimba
