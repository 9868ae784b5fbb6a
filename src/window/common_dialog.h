#pragma once
// CommonDialog1: the window's one dialog component. It keeps its settings
// (file name, filter, flags, cancel reporting, font values) for the window's
// lifetime and shows the message boxes, the open-file dialog and the font
// dialog on their behalf.

#include <QColor>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "port/form_port.h"

class QWidget;

namespace sorimba {

// The open-file flag that asks for an existing file; without it any name
// may be typed (the component's usual flags are 4: no read-only box).
inline constexpr std::int32_t kFileMustExist = 0x1000;

class CommonDialog {
public:
    DialogSettings settings;

    // A modal message box without icon titled "!Sorimba"; Yes is the
    // default button. Closing it otherwise answers Cancel, No or Ok.
    Answer message(QWidget* parent, const QString& text, Buttons buttons);

    // The open-file dialog: starts from settings.fileName and the filter; on
    // OK stores the full path in settings.fileName and returns true.
    bool showOpen(QWidget* parent);

    // The font dialog: starts from the font values in settings; on OK stores
    // the chosen face, size and colour there and returns true.
    bool showFont(QWidget* parent);
};

// "label|pattern|label|pattern|" as Qt name filters: "label (pattern)".
// Several patterns of one entry are separated by ";" and become spaces.
QStringList nameFilters(const QString& filter);

// A colour code (0x00BBGGRR, or 0x80000000 + n for system colour n) as a
// colour of the current palette; nullopt for a code that names no colour.
std::optional<QColor> colourOfCode(std::int32_t code);

// The RGB colour code 0x00BBGGRR of a colour.
std::int32_t codeOfColour(const QColor& colour);

}  // namespace sorimba
