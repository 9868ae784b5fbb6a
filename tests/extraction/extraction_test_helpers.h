#pragma once
// Small helpers for the extraction tests: issues are written as lists of
// lines, and results are compared as UTF-8 so that failures read well.

#include <QString>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "extraction/extraction.h"

namespace extraction_test {

namespace ex = sorimba::extraction;

// The lines, each ended by CR LF.
inline std::u16string crlf(std::initializer_list<std::u16string_view> lines) {
    std::u16string text;
    for (std::u16string_view line : lines) {
        text += line;
        text += u"\r\n";
    }
    return text;
}

inline std::string utf8(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())).toStdString();
}

// The clip text as UTF-8, or "<missing>" when the column is missing.
inline std::string clip(std::u16string_view issue, const ex::Options& options = {}) {
    const std::optional<std::u16string> result = ex::extractColumn(issue, options);
    return result ? utf8(*result) : std::string("<missing>");
}

// The expected clip text from its lines.
inline std::string lines(std::initializer_list<std::u16string_view> expected) {
    return utf8(crlf(expected));
}

// An issue: the marker line, then the given lines, each ended by CR LF.
inline std::u16string column(std::initializer_list<std::u16string_view> body) {
    return u"■ぴこぴこＺＯＫ\r\n" + crlf(body);
}

}  // namespace extraction_test
