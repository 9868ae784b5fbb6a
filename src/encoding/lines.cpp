#include "encoding/encoding.h"

namespace sorimba::encoding {

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

namespace {

// How many LFs do not follow a CR.
qsizetype loneLineFeeds(const char16_t* units, qsizetype size) {
    if (size == 0) return 0;
    qsizetype lone = units[0] == u'\n';
    qsizetype i = 1;
    // In blocks of a fixed length, which the compiler turns into vector
    // instructions: a large text is counted at memory speed.
    constexpr int kBlock = 64;
    for (; i + kBlock <= size; i += kBlock) {
        const char16_t* block = units + i;
        unsigned inBlock = 0;
        for (int k = 0; k < kBlock; ++k) inBlock += (block[k] == u'\n') & (block[k - 1] != u'\r');
        lone += inBlock;
    }
    for (; i < size; ++i) lone += (units[i] == u'\n') & (units[i - 1] != u'\r');
    return lone;
}

}  // namespace

QString withCrLfLineEnds(QString text) {
    const qsizetype size = text.size();
    qsizetype lone = loneLineFeeds(QStringView(text).utf16(), size);
    if (lone == 0) return text;

    // From the end backwards, each unit moves right by the number of CRs
    // still to be put before it; what is still to be read lies left of what
    // was written, so one buffer does.
    text.resize(size + lone);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    qsizetype to = size + lone;
    for (qsizetype from = size; lone > 0;) {
        --from;
        out[--to] = out[from];
        if (out[from] == u'\n' && (from == 0 || out[from - 1] != u'\r')) {
            out[--to] = u'\r';
            --lone;
        }
    }
    return text;
}

}  // namespace sorimba::encoding
