#pragma once
// The one interface between the subsystems (saving, settings, convert) and the
// main window. Form1 implements it with Qt widgets; tests drive the subsystems
// through a scripted fake. Nothing here includes a widget header.

#include <QString>
#include <cstdint>

namespace sorimba {

// The nine option items of the "Option" menu, in menu order; the index of an
// item is its position in mn(0)..mn(8).
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

// The buttons of a message box, and the button that closed it.
enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };

// Colour codes as stored: 0x00BBGGRR for an RGB colour, 0x80000000 + n for
// system colour n. 0x80000008 is the window-text colour.
inline constexpr std::int32_t kWindowTextColour = static_cast<std::int32_t>(0x80000008u);

// The settings of the shared dialog component CommonDialog1. One object for
// the window's lifetime; the open-file dialog starts from fileName and a
// confirmed choice leaves its full path there.
struct DialogSettings {
    QString fileName;
    QString filter;
    std::int32_t flags = 0;
    bool cancelError = false;
    // Font dialog values: face, size in points, colour code.
    QString fontName;
    double fontSize = 0;
    std::int32_t fontColour = 0;
};

// Form-level values that live as long as the window.
struct FormValues {
    QString savePath;
    std::int16_t saved = 0;
    QString datPath;
    QString dat2Path;
};

class FormPort {
public:
    virtual ~FormPort() = default;

    // A modal message box without icon, titled "!Sorimba". With YesNo and
    // YesNoCancel, Yes is the default button. Closing the box without a
    // button reports Cancel (YesNoCancel) or No (YesNo).
    virtual Answer message(const QString& text, Buttons buttons) = 0;

    // The open-file dialog of CommonDialog1: starts from dialog().fileName
    // and the filter; any name may be typed. On OK stores the full path in
    // dialog().fileName and returns true; returns false when cancelled.
    virtual bool showOpenDialog() = 0;

    // The font dialog of CommonDialog1: starts from dialog().fontName,
    // fontSize and fontColour; on OK stores the choice there and returns
    // true; returns false when cancelled.
    virtual bool showFontDialog() = 0;

    virtual DialogSettings& dialog() = 0;
    virtual FormValues& values() = 0;

    // The text of Text1, its lines joined by CR LF.
    virtual QString text() const = 0;
    virtual void setText(const QString& text) = 0;

    // The check marks of the option items.
    virtual int optionCount() const { return kOptionCount; }
    virtual bool option(int index) const = 0;
    virtual void setOption(int index, bool checked) = 0;

    // The enabled state of the save button Command4.
    virtual void setSaveEnabled(bool enabled) = 0;

    // The window's outer size in twips. A setter returns false and changes
    // nothing when the window cannot take the value.
    virtual double outerWidth() const = 0;
    virtual double outerHeight() const = 0;
    virtual bool setOuterWidth(double twips) = 0;
    virtual bool setOuterHeight(double twips) = 0;

    // The font of Text1: face name, size in points, colour code. A setter
    // returns false and changes nothing when the text area cannot take it.
    virtual QString fontName() const = 0;
    virtual double fontSize() const = 0;
    virtual std::int32_t textColour() const = 0;
    virtual bool setFontName(const QString& name) = 0;
    virtual bool setFontSize(double points) = 0;
    virtual bool setTextColour(std::int32_t colourCode) = 0;

    // Keep the window above others (1), make it ordinary (0), raise it (2).
    // Any other mode does nothing and returns 0.
    virtual std::int32_t setTopMost(int mode) = 0;

    // Plain text on the clipboard (CLIPBOARD selection).
    virtual QString clipboardText() const = 0;
    virtual void setClipboardText(const QString& text) = 0;
};

}  // namespace sorimba
