// sorimba-clip extract: the column extraction from a shell. Reads an issue
// from FILE or standard input exactly as the window reads a dropped file,
// writes the clip text (CR LF line ends) as UTF-8.

#include <unistd.h>

#include <QStringEncoder>
#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "cli/subcommand.h"
#include "cli/wording.h"
#include "import/import.h"
#include "mailwords/mail_words.h"

namespace sorimba::cli {
namespace {

const QString kRaw = QStringLiteral("raw");
const QString kEncoding = QStringLiteral("encoding");

void declare(QCommandLineParser& parser) {
    declareOptionFlags(parser);
    parser.addOption(QCommandLineOption(
        kRaw,
        QStringLiteral("Leaves LF line ends as they are (the extraction cuts lines at CR).")));
    parser.addOption(QCommandLineOption(
        kEncoding,
        QStringLiteral("Reads the issue as cp932 or utf-8, instead of UTF-16 or UTF-32 by their "
                       "byte order mark, UTF-8 when valid, code page 932 otherwise."),
        QStringLiteral("NAME")));
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("The issue; standard input when missing or \"-\"."),
                                 QStringLiteral("[FILE]"));
}

// Writes UTF-16 text as UTF-8 in pieces through one buffer, so the whole
// output never exists twice in memory. A piece never ends between the
// halves of a surrogate pair.
bool writeUtf8(std::u16string_view text) {
    constexpr std::size_t kPiece = std::size_t{1} << 18;
    QByteArray buffer(static_cast<qsizetype>(kPiece * 3), Qt::Uninitialized);
    QStringEncoder encoder(QStringConverter::Utf8);
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t n = std::min(kPiece, text.size() - pos);
        if (pos + n < text.size() && QChar::isHighSurrogate(text[pos + n - 1])) --n;
        const char* end = encoder.appendToBuffer(
            buffer.data(), QStringView(text.data() + pos, static_cast<qsizetype>(n)));
        const auto size = static_cast<std::size_t>(end - buffer.constData());
        if (std::fwrite(buffer.constData(), 1, size, stdout) != size) return false;
        pos += n;
    }
    return std::fflush(stdout) == 0;
}

int run(const Invocation& call) {
    const QCommandLineParser& parser = call.parser();
    import::FileOptions read;
    read.bridgeLineEnds = !parser.isSet(kRaw);
    if (parser.isSet(kEncoding)) {
        const QString name = parser.value(kEncoding);
        if (name == u"cp932") {
            read.encoding = import::Encoding::Cp932;
        } else if (name == u"utf-8" || name == u"utf8") {
            read.encoding = import::Encoding::Utf8;
        } else {
            return call.usageError(QStringLiteral("unknown encoding: ") + name);
        }
    }
    const QStringList files = call.arguments();
    if (files.size() > 1) return call.usageError(QStringLiteral("more than one FILE given"));

    import::FileImport issue;
    if (files.isEmpty() || files[0] == u"-") {
        issue = import::importStream(STDIN_FILENO, read);
        if (issue.failure) {
            call.report(QStringLiteral("cannot read standard input: ") + inEnglish(*issue.failure));
            return 2;
        }
    } else {
        const std::optional<QString> path = call.fileName(files[0]);
        if (path) {
            issue = import::importFile(*path, read);
        } else {
            issue.failure = Failure::of(Failure::Kind::BadName);
            issue.failure->systemError = EILSEQ;
        }
        if (issue.failure) {
            call.report(
                QStringLiteral("cannot read %1: %2").arg(files[0], inEnglish(*issue.failure)));
            return 2;
        }
    }

    const extraction::Options options = optionFlags(parser);
    std::optional<std::u16string> clip = import::extractClip(issue.text, options);
    issue.text = QString();
    if (!clip) {
        std::fputs("取り込めませんでした\n", stderr);
        if (issue.note) print(stderr, mailwords::messageProblem(*issue.note) + QLatin1Char('\n'));
        return 1;
    }
    if (!writeUtf8(*clip)) {
        call.report(QStringLiteral("cannot write the output"));
        return 2;
    }
    return 0;
}

// The option switches the extraction reads, as flags.
struct OptionFlag {
    Option option;
    const char* flag;
    const char* description;
};
constexpr std::array<OptionFlag, 5> kOptionFlags{{
    {WithTitles, "with-titles", "Takes the \"●\" titles; they group the entries."},
    {WithVotes, "with-votes", "Takes the \"◇これに一票\" lines."},
    {WithStaffWord, "with-staff-word", "Takes the staff section."},
    {WithAbout, "with-about", "Takes the service's description of itself."},
    {JoinLines, "join-lines", "Makes each paragraph one line."},
}};

}  // namespace

void declareOptionFlags(QCommandLineParser& parser) {
    for (const OptionFlag& flag : kOptionFlags) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(flag.flag),
                                            QString::fromUtf8(flag.description)));
    }
}

extraction::Options optionFlags(const QCommandLineParser& parser) {
    return import::extractionOptions([&parser](Option option) {
        const auto flag =
            std::find_if(kOptionFlags.begin(), kOptionFlags.end(),
                         [option](const OptionFlag& f) { return f.option == option; });
        return flag != kOptionFlags.end() && parser.isSet(QString::fromLatin1(flag->flag));
    });
}

Subcommand extractCommand() {
    return {QStringLiteral("extract"),
            QStringLiteral("[options] [FILE]"),
            QStringLiteral("Cuts the column out of an issue and writes the clip text.\n"
                           "The issue is read as the window reads a dropped file, and its LF "
                           "line ends\nbecome CR LF; the clip text is written as UTF-8 with CR LF "
                           "line ends.\nA mail message (a .eml file, or the first message of an "
                           "mbox) is read as mail:\nthe text of its body, from its MIME parts, "
                           "transfer encodings and charsets."),
            QStringLiteral("  0  the clip text was written (it may be empty)\n"
                           "  1  the issue holds no column, or the message no text: "
                           "取り込めませんでした\n"
                           "  2  usage error, or the issue could not be read or the output "
                           "written\n"),
            declare,
            run};
}

}  // namespace sorimba::cli
