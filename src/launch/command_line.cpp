#include "launch/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>

namespace sorimba::launch {
namespace {

// Written here once: --help shows it and the manual page is made from --help.
constexpr const char* kDescription =
    "Sorimba cuts the reader column out of one issue of the newsletter\n"
    "「ウィークリーぴこぴこ」 "
    "and shows it as clip text, to copy or to save.\n"
    "Each FILE is imported in turn once the window is up, exactly as if it had\n"
    "been dropped on the window. When a Sorimba window that uses the same\n"
    "settings folder is already open, that window is raised and imports the\n"
    "FILEs, and this start ends at once; when 1000 files already wait there,\n"
    "this start says so and exits with status 1.";

constexpr const char* kSettingsSection =
    "\n"
    "Settings:\n"
    "  The window keeps its settings in data.dat and data2.dat. A portable copy\n"
    "  keeps them beside the program: a copy is portable when a file named\n"
    "  sorimba-portable stands beside the program (the build folder has one), or\n"
    "  when a data.dat already stands there. Any other copy, such as an installed\n"
    "  one, keeps them in $XDG_CONFIG_HOME/sorimba, by default ~/.config/sorimba,\n"
    "  created when the window first closes. A settings file that exists but\n"
    "  cannot be read is reported at start-up and left as it is at closing.\n";

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Displays this help.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Displays the version.")};

    Parser() {
        parser.setApplicationDescription(QString::fromUtf8(kDescription));
        parser.addOption(help);
        parser.addOption(version);
        parser.addPositionalArgument(
            QStringLiteral("FILE"),
            QStringLiteral("An issue to import, in any encoding the window reads, or a mail "
                           "message (.eml) holding one."),
            QStringLiteral("[FILE...]"));
    }
};

}  // namespace

QString helpText() {
    Parser p;
    QString text = p.parser.helpText();
    // Qt names the program after the running executable, or a placeholder
    // before the application object exists: the usage line is ours.
    text.replace(0, text.indexOf(QLatin1Char('\n')),
                 QStringLiteral("Usage: sorimba [options] [FILE...]"));
    return text + QString::fromUtf8(kSettingsSection);
}

CommandLine parseCommandLine(const QStringList& arguments, const QString& workingFolder) {
    CommandLine result;
    Parser p;
    if (!p.parser.parse(arguments)) {
        result.action = CommandLine::Action::UsageError;
        result.output =
            QStringLiteral("sorimba: %1\nTry 'sorimba --help'.\n").arg(p.parser.errorText());
        return result;
    }
    if (p.parser.isSet(p.help)) {
        result.action = CommandLine::Action::PrintHelp;
        result.output = helpText();
        return result;
    }
    if (p.parser.isSet(p.version)) {
        result.action = CommandLine::Action::PrintVersion;
        result.output = QStringLiteral("sorimba %1\n").arg(QStringLiteral(SORIMBA_VERSION));
        return result;
    }
    const QDir working(workingFolder);
    for (const QString& file : p.parser.positionalArguments()) {
        if (file.isEmpty()) {
            result.action = CommandLine::Action::UsageError;
            result.output = QStringLiteral("sorimba: an empty FILE name\nTry 'sorimba --help'.\n");
            result.files.clear();
            return result;
        }
        result.files << QDir::cleanPath(working.absoluteFilePath(file));
    }
    return result;
}

}  // namespace sorimba::launch
