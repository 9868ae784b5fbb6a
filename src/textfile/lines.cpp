#include "textfile/textfile.h"

namespace sorimba::textfile {

std::vector<std::string_view> splitLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    forEachLine(bytes,
                [&lines](std::string_view line, std::string_view) { lines.push_back(line); });
    return lines;
}

bool endsWithLineEnd(std::string_view bytes) {
    if (bytes.empty()) return false;
    if (bytes.back() == '\r') return true;
    return bytes.size() >= 2 && bytes.substr(bytes.size() - 2) == "\r\n";
}

std::vector<QString> cutAtCrLf(const QString& text) {
    std::vector<QString> pieces;
    if (text.isEmpty()) return pieces;
    qsizetype start = 0;
    for (;;) {
        qsizetype at = text.indexOf(QLatin1String("\r\n"), start);
        if (at < 0) {
            pieces.push_back(text.mid(start));
            return pieces;
        }
        pieces.push_back(text.mid(start, at - start));
        start = at + 2;
    }
}

}  // namespace sorimba::textfile
