#pragma once
// The window program's command line: `sorimba [FILE...]`, `--help` and
// `--version`. Parsed before the GUI starts, so help, version and usage
// errors need no display.

#include <QString>
#include <QStringList>

namespace sorimba::launch {

struct CommandLine {
    enum class Action {
        OpenWindow,    // start (or reach) the window and import `files`
        PrintHelp,     // print `output` on standard output, exit 0
        PrintVersion,  // print `output` on standard output, exit 0
        UsageError,    // print `output` on standard error, exit 2
    };
    Action action = Action::OpenWindow;
    // The files to import, in the order given, as absolute clean paths, so
    // that a window started from another folder finds them.
    QStringList files;
    QString output;
};

// `arguments` includes the program name first; relative FILEs are taken
// from `workingFolder`.
CommandLine parseCommandLine(const QStringList& arguments, const QString& workingFolder);

// The text of `sorimba --help`, also the source of the manual page.
QString helpText();

// Exit status of a usage error.
inline constexpr int kUsageErrorStatus = 2;

}  // namespace sorimba::launch
