// sorimba-clip: the command-line companion of the window. It runs the same
// core without a display, for scripts and for checking behaviour by hand.
//
// sorimba-clip COMMAND [options] [arguments]. Every command takes -h/--help,
// an option's value after "=" or as the next argument, and "--" before
// arguments that start with "-"; the program itself takes --help and
// --version.

#include <QCommandLineParser>
#include <QStringList>
#include <cstdio>
#include <vector>

#include "cli/subcommand.h"

namespace sorimba::cli {
namespace {

const QString kProgram = QStringLiteral("sorimba-clip");

std::vector<Subcommand> subcommands() {
    return {extractCommand(), importCommand(), saveCommand(), settingsCommand(), convertCommand()};
}

QString usageLine(const QString& command, const QString& synopsis) {
    return QStringLiteral("usage: %1 %2 %3").arg(kProgram, command, synopsis);
}

QString programUsage() {
    return QStringLiteral("usage: %1 COMMAND [options] [arguments]; %1 --help lists the commands")
        .arg(kProgram);
}

QString programHelp(const std::vector<Subcommand>& commands) {
    QString help =
        QStringLiteral(
            "usage: %1 COMMAND [options] [arguments]\n"
            "       %1 COMMAND --help\n"
            "       %1 --help | --version\n\n"
            "The core of the Sorimba window from a shell: the column extraction, "
            "saving,\nthe import from mail, the settings file and the paragraph conversion.\n\n"
            "Commands:\n")
            .arg(kProgram);
    for (const Subcommand& command : commands) {
        help += QStringLiteral("  %1  %2\n")
                    .arg(command.name.leftJustified(9), command.description.section(u'\n', 0, 0));
    }
    help += QStringLiteral(
        "\nAn option's value may follow it after \"=\" or as the next argument; \"--\" ends\n"
        "the options, for arguments that start with \"-\".\n\n"
        "Exit status:\n"
        "  0  done\n"
        "  1  the work itself failed (each command's --help says how)\n"
        "  2  usage error, or input or output that could not be read or written\n");
    return help;
}

QString commandHelp(const Subcommand& command, const QCommandLineParser& parser) {
    // Qt's help text lists the options and arguments; its own first line
    // names the executable, which is replaced by the command's usage line.
    QString options = parser.helpText();
    options = options.mid(options.indexOf(u'\n') + 1);
    return usageLine(command.name, command.synopsis) + QStringLiteral("\n\n") + options +
           QStringLiteral("\nExit status:\n") + command.exitStatus;
}

int runCommand(const Subcommand& command, const QStringList& arguments,
               const std::vector<QByteArray>& raw) {
    QCommandLineParser parser;
    parser.setApplicationDescription(command.description);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    parser.addOption(help);
    command.declare(parser);
    Invocation call(command, parser, raw);

    if (!parser.parse(QStringList{command.name} + arguments))
        return call.usageError(parser.errorText());
    if (parser.isSet(help)) {
        print(stdout, commandHelp(command, parser));
        return 0;
    }
    return command.run(call);
}

}  // namespace

int Invocation::usageError(const QString& why) const {
    // Qt's messages are sentences ("Unknown option 'x'."); ours are not.
    QString message = why;
    if (message.endsWith(u'.')) message.chop(1);
    if (!message.isEmpty()) message[0] = message[0].toLower();
    print(stderr,
          QStringLiteral("%1 %2: %3; %4\n")
              .arg(kProgram, command_.name, message, usageLine(command_.name, command_.synopsis)));
    return kUsageError;
}

void Invocation::report(const QString& what) const {
    print(stderr, QStringLiteral("%1 %2: %3\n").arg(kProgram, command_.name, what));
}

std::optional<QString> Invocation::fileName(const QString& argument) const {
    // A name survives when some argument as given decodes to it, or to an
    // option holding it ("--folder=NAME"), and encodes back to the same bytes.
    const QByteArray bytes = argument.toLocal8Bit();
    for (const QByteArray& raw : rawArguments_) {
        if (raw == bytes || raw.endsWith('=' + bytes)) return argument;
    }
    return std::nullopt;
}

void print(std::FILE* to, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
}

}  // namespace sorimba::cli

int main(int argc, char** argv) {
    using namespace sorimba::cli;
    std::vector<QByteArray> raw(argv, argv + argc);
    QStringList arguments;
    for (const QByteArray& argument : raw) arguments += QString::fromLocal8Bit(argument);

    // The program's own options stand before the command; everything after
    // the command is the command's.
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version(QStringLiteral("version"), QString());
    parser.addOptions({help, version});
    const std::vector<Subcommand> commands = subcommands();
    if (!parser.parse(arguments)) {
        print(stderr,
              QStringLiteral("sorimba-clip: %1; %2\n").arg(parser.errorText(), programUsage()));
        return kUsageError;
    }
    if (parser.isSet(help)) {
        print(stdout, programHelp(commands));
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("sorimba-clip %1\n").arg(QStringLiteral(SORIMBA_VERSION)));
        return 0;
    }
    QStringList rest = parser.positionalArguments();
    if (rest.isEmpty()) {
        print(stderr, QStringLiteral("sorimba-clip: no command given; %1\n").arg(programUsage()));
        return kUsageError;
    }
    const QString name = rest.takeFirst();
    for (const Subcommand& command : commands) {
        if (command.name == name) return runCommand(command, rest, raw);
    }
    print(stderr,
          QStringLiteral("sorimba-clip: unknown command '%1'; %2\n").arg(name, programUsage()));
    return kUsageError;
}
