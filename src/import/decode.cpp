// Decoding an issue's bytes piece by piece straight into the text's final
// buffer.

#include "import/decode.h"

#include <sys/mman.h>

#include <QStringDecoder>
#include <algorithm>
#include <cstdint>

#include "encoding/encoding.h"
#include "files/files.h"

namespace sorimba::import {
namespace {

// The file layer has its own copy for its reads; each module keeps its
// speed tricks to itself.
// Asks the system to back a large buffer about to be filled once with large
// pages (2 MiB): touching many 4 KiB pages for the first time costs
// microseconds each on some (virtual) machines. Small buffers are left
// alone; the advice only ever changes speed.
void preferLargePages(void* data, size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
    if (bytes < 2 * kLargePage) return;
    // Only whole large pages inside the buffer; the advice never reaches
    // memory outside it.
    const auto start = reinterpret_cast<uintptr_t>(data);
    const uintptr_t from = (start + kLargePage - 1) & ~(kLargePage - 1);
    const uintptr_t to = (start + bytes) & ~(kLargePage - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

// The text being written: one buffer sized for the whole text up front,
// grown only when a file grew while it was read.
class TextBuffer {
public:
    explicit TextBuffer(qint64 expectedUnits)
        : text_(static_cast<qsizetype>(std::max<qint64>(expectedUnits, 1)), Qt::Uninitialized) {
        preferLargePages(text_.data(), static_cast<size_t>(text_.size()) * 2);
    }
    // Where `units` more code units may be written.
    QChar* room(qsizetype units) {
        if (used_ + units > text_.size()) text_.resize(std::max(used_ + units, text_.size() * 2));
        return text_.data() + used_;
    }
    void wrote(const QChar* end) { used_ = end - text_.constData(); }
    void restart() { used_ = 0; }
    QString take() {
        text_.resize(used_);
        return std::move(text_);
    }

private:
    QString text_;
    qsizetype used_ = 0;
};

// How many bytes at the end of a piece may start a character that the next
// piece completes; those are decoded with the next piece.
qsizetype unfinishedUtf8(QByteArrayView piece) {
    const auto byte = [&piece](qsizetype at) { return static_cast<unsigned char>(piece[at]); };
    qsizetype at = piece.size();
    for (int back = 0; back < 3 && at > 0; ++back) {
        const unsigned char b = byte(--at);
        if ((b & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const qsizetype length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        return piece.size() - at < length ? piece.size() - at : 0;
    }
    return 0;
}

// UTF-16 and UTF-32 by hand. Qt's decoders turn UTF-32 values above
// U+10FFFF into arbitrary characters, and drop a cut-off last code unit when
// it stands alone in their input; here both are U+FFFD, as is the value of a
// surrogate in UTF-32. UTF-16 code units are taken as they are, the halves
// of a surrogate pair too (also when a piece's end falls between them).
void decodeWide(Pieces& pieces, int unitBytes, bool bigEndian, TextBuffer& text) {
    qsizetype carried = 0;
    while (const std::optional<QByteArrayView> piece = pieces.next(carried)) {
        carried = piece->size() % unitBytes;
        const auto* bytes = reinterpret_cast<const unsigned char*>(piece->data());
        QChar* out = text.room(piece->size() / 2 + 1);
        for (qsizetype at = 0; at + unitBytes <= piece->size(); at += unitBytes) {
            char32_t value = 0;
            for (int k = 0; k < unitBytes; ++k)
                value = value << 8 | bytes[at + (bigEndian ? k : unitBytes - 1 - k)];
            if (unitBytes == 2) {
                *out++ = QChar(char16_t(value));
            } else if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
                *out++ = QChar::ReplacementCharacter;
            } else if (QChar::requiresSurrogates(value)) {
                *out++ = QChar(QChar::highSurrogate(value));
                *out++ = QChar(QChar::lowSurrogate(value));
            } else {
                *out++ = QChar(char16_t(value));
            }
        }
        const bool last = pieces.atEnd();
        if (last && carried != 0) *out++ = QChar::ReplacementCharacter;
        text.wrote(out);
        if (last) break;
    }
}

// Decodes UTF-8 with Qt's decoder. With stopAtError, gives up at the first
// piece that is not valid, so a file in another encoding costs one piece,
// not a whole decoding. Returns whether every byte was valid.
bool decodeUtf8(Pieces& pieces, bool stopAtError, TextBuffer& text) {
    // Each piece is decoded whole, without state carried over (the bytes of
    // a cut-off character are carried instead). A mark that decided the
    // encoding was skipped; any U+FEFF after it, also at the start of a
    // piece, is a character of the text.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                       QStringConverter::Flag::ConvertInitialBom);
    qsizetype carried = 0;
    bool valid = true;
    while (const std::optional<QByteArrayView> piece = pieces.next(carried)) {
        carried = pieces.atEnd() ? 0 : unfinishedUtf8(*piece);
        const QByteArrayView whole = piece->first(piece->size() - carried);
        text.wrote(decoder.appendToBuffer(text.room(decoder.requiredSpace(whole.size())), whole));
        if (decoder.hasError()) {
            valid = false;
            if (stopAtError) return false;
        }
        if (pieces.atEnd()) break;
    }
    return valid;
}

void decodeCp932(Pieces& pieces, TextBuffer& text) {
    qsizetype carried = 0;
    while (const std::optional<QByteArrayView> piece = pieces.next(carried)) {
        const std::string_view bytes(piece->data(), static_cast<size_t>(piece->size()));
        auto* out = reinterpret_cast<char16_t*>(text.room(piece->size()));
        std::size_t consumed = 0;
        if (pieces.atEnd()) {
            text.wrote(reinterpret_cast<QChar*>(out + encoding::decodeCp932Into(bytes, out)));
            break;
        }
        out += encoding::decodeCp932Into(bytes, out, &consumed);
        text.wrote(reinterpret_cast<QChar*>(out));
        carried = piece->size() - static_cast<qsizetype>(consumed);
    }
}

qsizetype byteOrderMarkSize(QStringConverter::Encoding encoding) {
    switch (encoding) {
        case QStringConverter::Utf8:
            return 3;
        case QStringConverter::Utf16LE:
        case QStringConverter::Utf16BE:
            return 2;
        default:
            return 4;
    }
}

}  // namespace

std::optional<QString> decode(Pieces& pieces, Encoding encoding) {
    // Code page 932 and UTF-8 give at most one code unit per byte; UTF-16
    // and UTF-32 fewer.
    TextBuffer text(pieces.expectedSize() + 1);
    const QByteArray start = pieces.firstBytes(4);

    QStringConverter::Encoding unicode = QStringConverter::Utf8;
    qsizetype skip = 0;
    if (encoding == Encoding::Detect) {
        if (const auto marked = QStringConverter::encodingForData(start)) {
            unicode = *marked;
            skip = byteOrderMarkSize(*marked);
        }
    } else if (encoding == Encoding::Utf8 && start.startsWith("\xEF\xBB\xBF")) {
        skip = 3;
    }

    if (!pieces.restart(skip)) return std::nullopt;
    switch (unicode) {
        case QStringConverter::Utf16LE:
        case QStringConverter::Utf16BE:
            decodeWide(pieces, 2, unicode == QStringConverter::Utf16BE, text);
            break;
        case QStringConverter::Utf32LE:
        case QStringConverter::Utf32BE:
            decodeWide(pieces, 4, unicode == QStringConverter::Utf32BE, text);
            break;
        default:
            if (encoding == Encoding::Cp932) {
                decodeCp932(pieces, text);
            } else if (const bool guessing = encoding == Encoding::Detect && skip == 0;
                       !decodeUtf8(pieces, guessing, text) && guessing && !pieces.failed()) {
                // Without a mark, anything that is not valid UTF-8 as a
                // whole is code page 932: decoding starts again from the
                // first byte.
                if (!pieces.restart(0)) return std::nullopt;
                text.restart();
                decodeCp932(pieces, text);
            }
            break;
    }
    if (pieces.failed()) return std::nullopt;
    return text.take();
}

std::optional<QByteArrayView> MemoryPieces::next(qsizetype carried) {
    if (end_ >= bytes_.size() && (carried == 0 || done_)) return std::nullopt;
    const qsizetype start = end_ - carried;
    end_ = std::min(bytes_.size(), start + pieceBytes_);
    done_ = end_ >= bytes_.size();
    return bytes_.sliced(start, end_ - start);
}

bool MemoryPieces::restart(qsizetype skip) {
    end_ = std::min(skip, bytes_.size());
    done_ = false;
    return true;
}

}  // namespace sorimba::import
