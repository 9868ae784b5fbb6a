// The extraction over arbitrary input: the first byte picks the options, the
// rest is UTF-16 text (so NULs and lone surrogates come for free).
// Checked: no crash, and every clip text keeps its layout promises.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "extraction/extraction.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    sorimba::extraction::Options options;
    options.withTitles = data[0] & 1;
    options.withVotes = data[0] & 2;
    options.withStaffWord = data[0] & 4;
    options.withAbout = data[0] & 8;
    options.joinLines = data[0] & 16;
    options.maxOutputUnits = 1 << 20;
    std::u16string text((size - 1) / 2, u'\0');
    std::memcpy(text.data(), data + 1, text.size() * 2);

    auto clip = sorimba::extraction::extractColumn(text, options);
    if (!clip) return 0;
    if (clip->size() > options.maxOutputUnits) std::abort();
    if (clip->empty()) return 0;
    // Lines end with CR LF, the last one included; no other CR or LF.
    if (clip->size() < 2 || clip->substr(clip->size() - 2) != u"\r\n") std::abort();
    for (std::size_t i = 0; i < clip->size(); ++i) {
        char16_t c = (*clip)[i];
        if (c == u'\r' && (i + 1 >= clip->size() || (*clip)[i + 1] != u'\n')) std::abort();
        if (c == u'\n' && (i == 0 || (*clip)[i - 1] != u'\r')) std::abort();
    }
    return 0;
}
