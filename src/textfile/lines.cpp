#include "textfile/textfile.h"

namespace sorimba::textfile {

std::vector<std::string_view> splitLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t cr = bytes.find('\r', start);
        if (cr == std::string_view::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, cr - start));
        start = cr + 1;
        if (start < bytes.size() && bytes[start] == '\n') ++start;
    }
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
