// The paragraph conversion over arbitrary file content.
// Checked: every non-empty line of the input (lines end at CR LF or a lone
// CR; in a file without any CR, at LF) is in the output byte for byte and in
// order; converting the output
// again changes nothing; the converter fed in pieces cut anywhere gives the
// same bytes as in one go; it calls a file unchanged exactly when the output
// equals the input (a converted file is then left as it is).

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "convert/convert.h"
#include "files/files.h"

namespace {

std::string_view view(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<size_t>(bytes.size())};
}

// Lines as a reader of the file sees them, independent of the converter.
template <typename Fn>
void eachLine(std::string_view bytes, Fn fn) {
    // A file without CR is a Linux text file: its lines end at LF.
    const char end = bytes.find('\r') == std::string_view::npos ? '\n' : '\r';
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != end) continue;
        fn(bytes.substr(start, i - start));
        if (end == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < bytes.size()) fn(bytes.substr(start));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const QByteArray out = sorimba::convert::joinParagraphs(input);
    const std::string_view output = view(out);

    size_t at = 0;
    eachLine(input, [&](std::string_view line) {
        if (line.empty()) return;
        const size_t found = output.find(line, at);
        if (found == std::string_view::npos) std::abort();  // a line was lost or changed
        at = found + line.size();
    });

    if (sorimba::convert::joinParagraphs(output) != out) std::abort();  // not stable

    // The same file read in pieces of varying size, cut anywhere (also
    // between CR and LF).
    std::string streamed;
    sorimba::convert::ParagraphJoiner joiner(
        [&streamed](std::string_view piece) { streamed.append(piece); });
    std::uint32_t state = 2166136261u;
    for (unsigned char c : input) state = (state ^ c) * 16777619u;
    size_t pos = 0;
    while (pos < input.size()) {
        state = state * 1103515245u + 12345u;
        const size_t piece = 1 + (state >> 16) % 7;
        joiner.feed(input.substr(pos, piece));
        pos += piece;
    }
    joiner.finish();
    if (streamed != output) std::abort();
    if (joiner.unchanged() != (output == input)) std::abort();
    return 0;
}
