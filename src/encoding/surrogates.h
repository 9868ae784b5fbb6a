#pragma once
// UTF-16 surrogates, for code that walks char16_t text by hand. Standard
// C++ only, so the extraction may use it too (Qt code has QChar's own).

namespace sorimba::encoding {

constexpr bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
constexpr bool isSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

}  // namespace sorimba::encoding
