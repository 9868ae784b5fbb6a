#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "encoding/encoding.h"
#include "encoding/surrogates.h"

namespace sorimba::encoding {
namespace {

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
        }
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much as it can; returns the iconv error that stopped it
    // (0 when all input was taken). in/inLeft and out are advanced.
    int run(char** in, size_t* inLeft, std::string& out) {
        while (*inLeft > 0) {
            char buffer[16384];
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            size_t r = iconv(cd_, in, inLeft, &outPtr, &outLeft);
            out.append(buffer, outPtr - buffer);
            if (r == static_cast<size_t>(-1) && errno != E2BIG) {
                int error = errno;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
                return error;
            }
        }
        return 0;
    }

    // Converts into a buffer the caller sized for all of the input; returns
    // the iconv error that stopped it (0 when all input was taken).
    int convert(char** in, size_t* inLeft, char** out, size_t* outLeft) {
        if (iconv(cd_, in, inLeft, out, outLeft) != static_cast<size_t>(-1)) return 0;
        const int error = errno;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
        return error;
    }

private:
    iconv_t cd_;
};

}  // namespace

std::string encodeCp932(std::u16string_view text) {
    Converter conv("CP932", "UTF-16LE");
    std::string out;
    out.reserve(text.size() * 2);
    std::u16string_view rest = text;
    while (!rest.empty()) {
        // UTF-16LE bytes of what is left; char16_t is little-endian here.
        static_assert(std::endian::native == std::endian::little);
        char* in = const_cast<char*>(reinterpret_cast<const char*>(rest.data()));
        size_t inLeft = rest.size() * 2;
        int error = conv.run(&in, &inLeft, out);
        size_t done = rest.size() - inLeft / 2;
        rest.remove_prefix(done);
        if (error == 0) break;
        // EILSEQ: an unencodable character or a lone surrogate; EINVAL: a
        // high surrogate at the very end. Either way it becomes "?".
        size_t skip = 1;
        if (rest.size() >= 2 && isHighSurrogate(rest[0]) && isLowSurrogate(rest[1])) skip = 2;
        out.push_back('?');
        rest.remove_prefix(skip);
    }
    return out;
}

std::size_t decodeCp932Into(std::string_view bytes, char16_t* out, std::size_t* consumed) {
    // UTF-16LE is the order of char16_t here, so iconv writes straight into
    // the caller's buffer.
    static_assert(std::endian::native == std::endian::little);
    Converter conv("UTF-16LE", "CP932");
    char* outPtr = reinterpret_cast<char*>(out);
    // Every byte gives at most one code unit, so the output never runs out.
    size_t outLeft = bytes.size() * 2;
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
        const int error = conv.convert(&in, &inLeft, &outPtr, &outLeft);
        if (error == 0 || error == E2BIG || outLeft < 2) break;  // E2BIG cannot happen
        // A lead byte at the very end may be completed by the bytes after.
        if (error == EINVAL && consumed) break;
        // An invalid byte (or a lead byte cut off at the end) becomes U+FFFD.
        const char16_t replacement = u'\uFFFD';
        std::memcpy(outPtr, &replacement, 2);
        outPtr += 2;
        outLeft -= 2;
        ++in;
        --inLeft;
    }
    if (consumed) *consumed = bytes.size() - inLeft;
    return static_cast<std::size_t>(outPtr - reinterpret_cast<char*>(out)) / 2;
}

std::u16string decodeCp932(std::string_view bytes) {
    std::u16string out(bytes.size(), u'\0');
    out.resize(decodeCp932Into(bytes, out.data()));
    return out;
}

QByteArray toCp932(const QString& text) {
    const QStringView view(text);
    std::string bytes =
        encodeCp932(std::u16string_view(view.utf16(), static_cast<size_t>(view.size())));
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString fromCp932(const QByteArray& bytes) {
    // Decoded straight into the QString's own buffer: no second copy.
    QString text(bytes.size(), Qt::Uninitialized);
    text.resize(static_cast<qsizetype>(
        decodeCp932Into(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())),
                        reinterpret_cast<char16_t*>(text.data()))));
    return text;
}

}  // namespace sorimba::encoding
