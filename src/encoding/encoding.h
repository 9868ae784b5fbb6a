#pragma once
// Text as this program keeps it: code page 932 (Shift-JIS as Windows writes
// it) with CR LF line ends, and the lines of such bytes.

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sorimba::encoding {

// UTF-16 to code page 932 (glibc iconv "CP932"). A character the code page
// cannot hold, and a lone surrogate, becomes "?".
std::string encodeCp932(std::u16string_view text);
QByteArray toCp932(const QString& text);

// Code page 932 to UTF-16. Each byte that does not start a valid character
// (and a lead byte cut off at the end) becomes U+FFFD; decoding goes on with
// the next byte, so nothing is skipped silently beyond that byte.
std::u16string decodeCp932(std::string_view bytes);
QString fromCp932(const QByteArray& bytes);
// The same, written straight into `out`, which has room for bytes.size()
// code units (no byte gives more than one); returns the units written. With
// `consumed`, bytes may be one piece of many: a lead byte at the very end is
// left for the next piece, and *consumed tells how many bytes were decoded.
std::size_t decodeCp932Into(std::string_view bytes, char16_t* out, std::size_t* consumed = nullptr);

// True when the bytes end with a line end (a CR, or CR LF).
bool endsWithLineEnd(std::string_view bytes);

// Cuts UTF-16 text at every CR LF pair: k pairs give k + 1 pieces; an empty
// text gives no pieces at all. A lone CR or LF stays inside its piece.
std::vector<QString> cutAtCrLf(const QString& text);

// Linux programs end lines with LF alone; the program's text (and the
// extraction, which cuts lines at CR) uses CR LF. Every LF that does not
// follow a CR becomes CR LF; everything else stays as it is. Works in place
// when the text is not shared and has room.
QString withCrLfLineEnds(QString text);

// Calls fn(line, end) for each line of the bytes, in order, with no list built.
// A line ends at CR LF or at a lone CR; an LF that does not follow a CR is
// an ordinary character. The last line needs no line end, so "A\r\nB" and
// "A\r\nB\r\n" both give "A", "B"; "" gives nothing. Neither CR nor LF occurs
// inside a code page 932 character, so this is exact. `end` is the line end
// that closes each line ("\r\n" or "\r", empty for a last line without one).
template <typename Fn>
void forEachLine(std::string_view bytes, Fn&& fn) {
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t cr = bytes.find('\r', start);
        if (cr == std::string_view::npos) {
            fn(bytes.substr(start), std::string_view());
            return;
        }
        size_t next = cr + 1;
        if (next < bytes.size() && bytes[next] == '\n') ++next;
        fn(bytes.substr(start, cr - start), bytes.substr(cr, next - cr));
        start = next;
    }
}

}  // namespace sorimba::encoding
