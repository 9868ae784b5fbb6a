// sorimba-clip extract: the column extraction from a shell. Reads an issue
// from FILE or stdin, writes the clip text (CR LF line ends) as UTF-8.

#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "extraction/extraction.h"
#include "textfile/textfile.h"

namespace sorimba::cli {
namespace {

constexpr const char* kExtractUsage =
    "usage: sorimba-clip extract [--with-titles] [--with-votes] [--with-staff-word]\n"
    "                            [--with-about] [--join-lines] [--raw] [--encoding cp932|utf-8]\n"
    "                            [FILE]\n";

int usageError(const std::string& what) {
    std::fprintf(stderr, "sorimba-clip extract: %s\n%s", what.c_str(), kExtractUsage);
    return 2;
}

bool readStdin(QByteArray* bytes) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes->append(buffer, n);
    }
}

// Writes UTF-16 text as UTF-8 in pieces, so the whole output never exists
// twice in memory. A piece never ends between the halves of a surrogate pair.
bool writeUtf8(std::u16string_view text) {
    constexpr std::size_t kPiece = 1 << 20;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t n = std::min(kPiece, text.size() - pos);
        if (pos + n < text.size() && text[pos + n - 1] >= 0xD800 && text[pos + n - 1] <= 0xDBFF) {
            --n;
        }
        const QByteArray utf8 = QStringView(text.data() + pos, static_cast<qsizetype>(n)).toUtf8();
        if (std::fwrite(utf8.constData(), 1, utf8.size(), stdout) !=
            static_cast<std::size_t>(utf8.size())) {
            return false;
        }
        pos += n;
    }
    return std::fflush(stdout) == 0;
}

}  // namespace

int runExtract(const Args& args) {
    extraction::Options options;
    bool raw = false;
    bool cp932 = false;
    std::string file;
    bool haveFile = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--with-titles") {
            options.withTitles = true;
        } else if (arg == "--with-votes") {
            options.withVotes = true;
        } else if (arg == "--with-staff-word") {
            options.withStaffWord = true;
        } else if (arg == "--with-about") {
            options.withAbout = true;
        } else if (arg == "--join-lines") {
            options.joinLines = true;
        } else if (arg == "--raw") {
            raw = true;
        } else if (arg == "--encoding") {
            if (i + 1 >= args.size()) return usageError("--encoding needs a value");
            const std::string& value = args[++i];
            if (value == "cp932") {
                cp932 = true;
            } else if (value == "utf-8" || value == "utf8") {
                cp932 = false;
            } else {
                return usageError("unknown encoding: " + value);
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option: " + arg);
        } else if (haveFile) {
            return usageError("more than one FILE given");
        } else {
            file = arg;
            haveFile = true;
        }
    }

    QByteArray bytes;
    if (!haveFile || file == "-") {
        if (!readStdin(&bytes)) {
            std::fputs("sorimba-clip extract: cannot read standard input\n", stderr);
            return 2;
        }
    } else {
        const textfile::Outcome read = textfile::readFile(QString::fromLocal8Bit(file), &bytes);
        if (!read.ok) {
            std::fprintf(stderr, "sorimba-clip extract: cannot read %s: %s\n", file.c_str(),
                         read.error.toLocal8Bit().constData());
            return 2;
        }
    }

    // Decoding never fails: invalid UTF-8 and invalid code page 932 bytes
    // become U+FFFD. Each copy is dropped as soon as the next one exists.
    QString decodedUtf8;
    std::u16string decodedCp932;
    std::u16string_view issue;
    if (cp932) {
        decodedCp932 = textfile::decodeCp932(std::string_view(bytes.constData(), bytes.size()));
        issue = decodedCp932;
    } else {
        decodedUtf8 = QString::fromUtf8(bytes);
        issue = std::u16string_view(reinterpret_cast<const char16_t*>(decodedUtf8.utf16()),
                                    static_cast<std::size_t>(decodedUtf8.size()));
    }
    QByteArray().swap(bytes);
    std::u16string normalised;
    if (!raw) {
        normalised = extraction::normaliseLineEnds(issue);
        decodedUtf8 = QString();
        std::u16string().swap(decodedCp932);
        issue = normalised;
    }

    const std::optional<std::u16string> clip = extraction::extractColumn(issue, options);
    if (!clip) {
        std::fputs("取り込めませんでした\n", stderr);
        return 1;
    }
    if (!writeUtf8(*clip)) {
        std::fputs("sorimba-clip extract: cannot write the output\n", stderr);
        return 2;
    }
    return 0;
}

}  // namespace sorimba::cli
