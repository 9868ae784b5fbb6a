// sorimba-clip save [--with-titles] --save-path PATH [FILE]
// Appends a clip text (UTF-8, from FILE or standard input) exactly as the
// save button does, without dialogs or notices.

#include <fcntl.h>
#include <unistd.h>

#include <QStringDecoder>
#include <cstdio>

#include "cli/subcommand.h"
#include "cli/wording.h"
#include "encoding/encoding.h"
#include "files/files.h"
#include "saving/saving.h"
#include "saving/writer.h"

namespace sorimba::cli {
namespace {

const QString kWithTitles = QStringLiteral("with-titles");
const QString kSavePath = QStringLiteral("save-path");

void declare(QCommandLineParser& parser) {
    parser.addOption(QCommandLineOption(
        kWithTitles, QStringLiteral("Saves one file per \"●\" title, in the save file's folder.")));
    parser.addOption(QCommandLineOption(kSavePath, QStringLiteral("The save file (needed)."),
                                        QStringLiteral("PATH")));
    parser.addPositionalArgument(
        QStringLiteral("FILE"),
        QStringLiteral("The clip text; standard input when missing or \"-\"."),
        QStringLiteral("[FILE]"));
}

// All bytes of a file named on the command line; any file that can be read
// will do, a pipe such as <(command) too.
bool readInput(const QString& path, QByteArray* bytes) {
    const files::FileDescriptor fd(::open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return false;
    bool complete = false;
    return !files::readFrom(fd.get(), -1, bytes, &complete);
}

// The clip text's bytes, from the FILE argument or standard input; false,
// once said, when they cannot be read.
bool readClipText(const Invocation& call, const QStringList& files, QByteArray* input) {
    if (files.isEmpty() || files[0] == u"-") {
        bool complete = false;
        if (files::readFrom(STDIN_FILENO, -1, input, &complete)) {
            call.report(QStringLiteral("cannot read the standard input"));
            return false;
        }
        return true;
    }
    const std::optional<QString> path = call.fileName(files[0]);
    if (!path || !readInput(*path, input)) {
        call.report(QStringLiteral("cannot read ") + files[0]);
        return false;
    }
    return true;
}

// Names each file that could not take its lines; the exit status.
int reportFailures(const Invocation& call, const QString& savePath,
                   const saving::SaveResult& result) {
    if (result.failures.empty()) return 0;
    if (result.busy) {
        call.report(savePath + QStringLiteral(": ") + inEnglish(result.failures[0]));
        return 1;
    }
    for (const Failure& failure : result.failures) {
        QString shown = failure.path;
        shown.replace(QChar(0), QStringLiteral("\\0"));
        call.report(shown + QStringLiteral(": ") + inEnglish(failure));
    }
    return 1;
}

int run(const Invocation& call) {
    const QCommandLineParser& parser = call.parser();
    const QStringList files = call.arguments();
    if (files.size() > 1) return call.usageError(QStringLiteral("more than one FILE given"));
    const QString savePathArgument = parser.value(kSavePath);
    if (savePathArgument.isEmpty()) return call.usageError(QStringLiteral("--save-path is needed"));
    const std::optional<QString> savePath = call.fileName(savePathArgument);
    if (!savePath) {
        call.report(savePathArgument + QStringLiteral(": the name is not valid in this locale"));
        return 2;
    }

    QByteArray input;
    if (!readClipText(call, files, &input)) return 2;

    // Nothing of an undecodable input goes into the user's files, also not
    // a character cut off at its end.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(input);
    if (decoder.hasError()) {
        call.report(QStringLiteral("the input is not valid UTF-8; nothing was saved"));
        return 2;
    }

    // As the save button: a text that would write nothing is not saved, and
    // that is said (an empty text, or per title a text without a title line).
    const std::vector<QString> lines =
        encoding::cutAtCrLf(encoding::withCrLfLineEnds(std::move(text)));
    const bool perTitle = parser.isSet(kWithTitles);
    if (lines.empty()) {
        call.report(QStringLiteral("the text is empty; nothing was saved"));
        return 1;
    }
    if (perTitle && !saving::hasTitleLine(lines)) {
        call.report(
            QStringLiteral("the text has no \"●\" title line (one that follows an empty "
                           "line); nothing was saved"));
        return 1;
    }

    // Absolute, its folder canonical, before anything is written.
    const saving::SaveResult result =
        saving::saveLines(lines, perTitle, saving::absoluteSavePath(*savePath));
    return reportFailures(call, *savePath, result);
}

}  // namespace

Subcommand saveCommand() {
    return {QStringLiteral("save"),
            QStringLiteral("[--with-titles] --save-path PATH [FILE]"),
            QStringLiteral("Appends a clip text to the save file, as the save button does.\n"
                           "The clip text is UTF-8 (LF line ends become CR LF); it is saved in "
                           "code page 932\nwith CR LF line ends."),
            QStringLiteral("  0  every file took its lines\n"
                           "  1  a file could not be written (each is named), the save file was\n"
                           "     busy (another program wrote to it; nothing was saved), or\n"
                           "     nothing was to be saved: an empty text, or with --with-titles\n"
                           "     no title line\n"
                           "  2  usage error, or the input could not be read or is not UTF-8\n"),
            declare,
            run};
}

}  // namespace sorimba::cli
