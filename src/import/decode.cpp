// Decoding an issue's bytes piece by piece straight into the text's final
// buffer.

#include "import/decode.h"

#include <QStringDecoder>
#include <algorithm>

#include "textfile/textfile.h"

namespace sorimba::import {
namespace {

// The text being written: one buffer sized for the whole text up front,
// grown only when a file grew while it was read.
class TextBuffer {
public:
    explicit TextBuffer(qint64 expectedUnits)
        : text_(static_cast<qsizetype>(std::max<qint64>(expectedUnits, 1)), Qt::Uninitialized) {
        textfile::preferLargePages(text_.data(), static_cast<size_t>(text_.size()) * 2);
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

qsizetype unfinishedUnicode(QStringConverter::Encoding encoding, QByteArrayView piece) {
    switch (encoding) {
        case QStringConverter::Utf8:
            return unfinishedUtf8(piece);
        case QStringConverter::Utf16LE:
        case QStringConverter::Utf16BE:
            // A cut-off code unit. The halves of a surrogate pair may lie in
            // two pieces: the decoder passes code units through as they are.
            return piece.size() % 2;
        default:
            return piece.size() % 4;
    }
}

// Decodes with one of Qt's Unicode decoders. With stopAtError, gives up at
// the first piece that is not valid, so a file in another encoding costs one
// piece, not a whole decoding. Returns whether every byte was valid.
bool decodeUnicode(Pieces& pieces, QStringConverter::Encoding encoding, bool stopAtError,
                   TextBuffer& text) {
    // Each piece is decoded whole, without state carried over (the bytes of
    // a cut-off character are carried instead). The mark that decided the
    // encoding was skipped; any U+FEFF after it, also at the start of a
    // piece, is a character of the text.
    QStringDecoder decoder(
        encoding, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    qsizetype carried = 0;
    bool valid = true;
    while (const std::optional<QByteArrayView> piece = pieces.next(carried)) {
        carried = pieces.atEnd() ? 0 : unfinishedUnicode(encoding, *piece);
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
            text.wrote(reinterpret_cast<QChar*>(out + textfile::decodeCp932Into(bytes, out)));
            break;
        }
        out += textfile::decodeCp932Into(bytes, out, &consumed);
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
    if (encoding == Encoding::Cp932) {
        decodeCp932(pieces, text);
    } else {
        // Without a mark, anything that is not valid UTF-8 as a whole is
        // code page 932: that decoding starts again from the first byte.
        const bool guessing = encoding == Encoding::Detect && skip == 0;
        if (!decodeUnicode(pieces, unicode, guessing, text) && guessing && !pieces.failed()) {
            if (!pieces.restart(0)) return std::nullopt;
            text.restart();
            decodeCp932(pieces, text);
        }
    }
    if (pieces.failed()) return std::nullopt;
    return text.take();
}

std::optional<QByteArrayView> MemoryPieces::next(qsizetype carried) {
    if (end_ >= bytes_.size() && (carried == 0 || done_)) return std::nullopt;
    const qsizetype start = end_ - carried;
    end_ = std::min(bytes_.size(), start + kPieceBytes);
    done_ = end_ >= bytes_.size();
    return bytes_.sliced(start, end_ - start);
}

bool MemoryPieces::restart(qsizetype skip) {
    end_ = std::min(skip, bytes_.size());
    done_ = false;
    return true;
}

}  // namespace sorimba::import
