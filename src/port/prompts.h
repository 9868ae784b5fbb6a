#pragma once
// What the file commands (saving, convert) need to ask the user: a message
// box and the file chooser. The main window answers with real dialogs; tests
// answer from a script. Nothing here includes a widget header.

#include <QString>
#include <optional>

namespace sorimba {

// The buttons of a message box, and the button that closed it.
enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };

// What a file is chosen for; the chooser may title itself after it. Both
// share one dialog, which opens at the file chosen last in either place.
enum class FileChoice { SaveFile, FileToConvert };

class Prompts {
public:
    virtual ~Prompts() = default;

    // A modal message box without icon, titled "!Sorimba". With YesNo and
    // YesNoCancel, Yes is the default button. Closing the box without a
    // button answers Cancel (YesNoCancel) or No (YesNo).
    virtual Answer ask(const QString& text, Buttons buttons) = 0;

    // The file chooser: any name may be typed, also of a file that does not
    // exist yet. The full path of the chosen file, or nothing when cancelled.
    virtual std::optional<QString> chooseFile(FileChoice purpose) = 0;
};

}  // namespace sorimba
