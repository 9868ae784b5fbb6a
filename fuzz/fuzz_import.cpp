// Decoding an issue's bytes over arbitrary input.
// Checked: decoded in pieces of any size (4 bytes and up), the text is the
// same as decoded in one piece, whatever the encoding (detected or forced),
// so a character cut between two pieces read from a file is never lost or
// doubled; the detected text is the forced UTF-8 text or the forced code
// page 932 text (or, after a byte order mark of UTF-16 or UTF-32, neither);
// bridging the line ends leaves no LF without a CR before it, and taking the
// added CRs out again gives back the text.

#include <cstdint>
#include <cstdlib>

#include "encoding/encoding.h"
#include "import/decode.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

QString decodeIn(QByteArrayView bytes, sorimba::import::Encoding encoding, qsizetype piece) {
    sorimba::import::MemoryPieces pieces(bytes, piece);
    const std::optional<QString> text = sorimba::import::decode(pieces, encoding);
    check(text.has_value());
    return *text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    using sorimba::import::Encoding;
    // The first byte chooses the piece size.
    const qsizetype piece = 4 + data[0] % 29;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data) + 1,
                               static_cast<qsizetype>(size - 1));

    QString detected;
    for (Encoding encoding : {Encoding::Detect, Encoding::Utf8, Encoding::Cp932}) {
        const QString whole = sorimba::import::decodeIssue(bytes, encoding);
        check(decodeIn(bytes, encoding, piece) == whole);
        if (encoding == Encoding::Detect) detected = whole;
    }
    const bool marked = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") ||
                        bytes.startsWith(QByteArrayView("\x00\x00\xFE\xFF", 4));
    check(marked || detected == sorimba::import::decodeIssue(bytes, Encoding::Utf8) ||
          detected == sorimba::import::decodeIssue(bytes, Encoding::Cp932));

    const QString bridged = sorimba::encoding::withCrLfLineEnds(detected);
    for (qsizetype i = 0; i < bridged.size(); ++i)
        check(bridged[i] != u'\n' || (i > 0 && bridged[i - 1] == u'\r'));
    QString back;
    for (qsizetype i = 0; i < bridged.size(); ++i) {
        // A CR the bridging added stands before an LF that had none.
        const bool added = bridged[i] == u'\r' && i + 1 < bridged.size() &&
                           bridged[i + 1] == u'\n' && back.size() < detected.size() &&
                           detected[back.size()] == u'\n';
        if (!added) back += bridged[i];
    }
    check(back == detected);
    return 0;
}
