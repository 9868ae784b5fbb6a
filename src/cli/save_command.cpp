// sorimba-clip save [--with-titles] --save-path PATH [FILE]
// Appends a clip text (UTF-8, from FILE or stdin) exactly as the save button
// does, without dialogs or notices. Exit status 0 when every file took its
// lines, 1 when any file could not be written, 2 for a usage or input error.

#include <QStringDecoder>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "saving/saving.h"
#include "textfile/textfile.h"

namespace sorimba::cli {
namespace {

constexpr const char* kUsage = "usage: sorimba-clip save [--with-titles] --save-path PATH [FILE]\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

bool readAll(std::FILE* in, std::string* out) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) out->append(buffer, n);
    return !std::ferror(in);
}

// Linux programs end lines with LF alone; the text area holds CR LF.
QString normaliseLineEnds(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\n') && (i == 0 || text[i - 1] != QLatin1Char('\r')))
            out += QLatin1Char('\r');
        out += text[i];
    }
    return out;
}

void printLine(std::FILE* to, const QString& text) {
    std::fputs(text.toUtf8().constData(), to);
    std::fputc('\n', to);
}

}  // namespace

int runSave(const Args& args) {
    bool withTitles = false;
    std::string savePath;
    bool haveSavePath = false;
    std::string file;
    bool haveFile = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--with-titles") {
            withTitles = true;
        } else if (arg == "--save-path" && i + 1 < args.size()) {
            savePath = args[++i];
            haveSavePath = true;
        } else if (arg.rfind("--save-path=", 0) == 0) {
            savePath = arg.substr(std::string("--save-path=").size());
            haveSavePath = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if ((arg.empty() || arg[0] != '-' || arg == "-") && !haveFile) {
            file = arg;
            haveFile = true;
        } else {
            return usage();
        }
    }
    if (!haveSavePath || savePath.empty()) return usage();

    std::string input;
    if (!haveFile || file == "-") {
        if (!readAll(stdin, &input)) {
            std::fputs("sorimba-clip save: cannot read the standard input\n", stderr);
            return 2;
        }
    } else {
        std::FILE* in = std::fopen(file.c_str(), "rb");
        if (!in || !readAll(in, &input)) {
            std::fprintf(stderr, "sorimba-clip save: cannot read %s\n", file.c_str());
            if (in) std::fclose(in);
            return 2;
        }
        std::fclose(in);
    }

    // Nothing of an undecodable input goes into the user's files.
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(QByteArrayView(input.data(), qsizetype(input.size())));
    if (decoder.hasError()) {
        std::fputs("sorimba-clip save: the input is not valid UTF-8; nothing was saved\n", stderr);
        return 2;
    }

    const saving::SaveResult result =
        saving::saveLines(textfile::cutAtCrLf(normaliseLineEnds(text)), withTitles,
                          QString::fromUtf8(savePath.data(), qsizetype(savePath.size())));
    if (result.failures.empty()) return 0;
    for (const saving::Failure& failure : result.failures) {
        QString shown = failure.path;
        shown.replace(QChar(0), QStringLiteral("\\0"));
        printLine(stderr, QStringLiteral("sorimba-clip save: ") + shown + QStringLiteral(": ") +
                              failure.reason);
    }
    return 1;
}

}  // namespace sorimba::cli
