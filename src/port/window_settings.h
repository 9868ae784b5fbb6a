#pragma once
// What the stored settings apply to and are read from: the window's outer
// size, the text area's font and colour, the option marks and the on-top
// state. The main window implements it; tests use a plain record of values.

#include <QString>
#include <cstdint>

namespace sorimba {

// The nine option items of the "Option" menu, in menu order; data.dat stores
// their marks in this order.
enum Option : int {
    CopyAfterImport = 0,
    WithTitles = 1,
    WithVotes = 2,
    WithStaffWord = 3,
    WithAbout = 4,
    AlwaysOnTop = 5,
    JoinLines = 6,
    SaveAfterImport = 7,
    ConfirmSave = 8,
};
inline constexpr int kOptionCount = 9;

// Colour codes as stored: 0x00BBGGRR for an RGB colour, 0x80000000 + n for
// system colour n. 0x80000008 is the window-text colour.
inline constexpr std::int32_t kWindowTextColour = static_cast<std::int32_t>(0x80000008u);

class WindowSettings {
public:
    virtual ~WindowSettings() = default;

    // The window's outer size in twips (1/1440 inch). A setter returns false
    // and changes nothing when the window cannot take the value.
    virtual double outerWidth() const = 0;
    virtual double outerHeight() const = 0;
    virtual bool setOuterWidth(double twips) = 0;
    virtual bool setOuterHeight(double twips) = 0;

    // The text area's font: face name, size in points, colour code. A setter
    // returns false and changes nothing when the text area cannot take it.
    virtual QString fontName() const = 0;
    virtual double fontSize() const = 0;
    virtual std::int32_t textColour() const = 0;
    virtual bool setFontName(const QString& name) = 0;
    virtual bool setFontSize(double points) = 0;
    virtual bool setTextColour(std::int32_t colourCode) = 0;

    // The check marks of the option items; setting one does not run the
    // item's own action.
    virtual int optionCount() const { return kOptionCount; }
    virtual bool option(int index) const = 0;
    virtual void setOption(int index, bool checked) = 0;

    // Keeps the window above all others, or makes it ordinary; shows it.
    virtual void keepOnTop(bool onTop) = 0;
};

}  // namespace sorimba
