#include "mail/charset.h"

#include <iconv.h>

#include <QStringDecoder>
#include <cerrno>
#include <map>
#include <optional>
#include <span>
#include <string>

namespace sorimba::mail {
namespace {

constexpr char16_t kMarkBase = 0xDC00;

QChar markFor(unsigned char byte) {
    return QChar(static_cast<char16_t>(kMarkBase | byte));
}

// Conversions to UTF-16 (host order: little-endian here). Those of the
// charsets Japanese mail comes in are opened once per thread and kept:
// opening one loads the charset's tables, which costs more than decoding a
// whole message. Any other charset (its name comes from the mail) is opened
// for one use and closed again, so nothing grows with the names met.
class Converters {
public:
    ~Converters() {
        for (auto& [name, cd] : open_) iconv_close(cd);
    }
    static bool kept(std::string_view name) {
        for (const char* common :
             {"CP932", "EUC-JP-MS", "EUC-JP", "UTF-8", "ISO-2022-JP-2", "ISO-2022-JP-3"})
            if (name == common) return true;
        return false;
    }
    iconv_t get(const char* from) {
        auto at = open_.find(std::string_view(from));
        if (at == open_.end()) {
            const iconv_t cd = iconv_open("UTF-16LE", from);
            if (cd == kNone) return kNone;
            at = open_.emplace(from, cd).first;
        }
        iconv(at->second, nullptr, nullptr, nullptr, nullptr);
        return at->second;
    }
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

private:
    std::map<std::string, iconv_t, std::less<>> open_;
};

thread_local Converters converters;

class ToUtf16 {
public:
    explicit ToUtf16(const char* from)
        : owned_(!Converters::kept(from)),
          cd_(owned_ ? iconv_open("UTF-16LE", from) : converters.get(from)) {}
    ~ToUtf16() {
        if (owned_ && ok()) iconv_close(cd_);
    }
    ToUtf16(const ToUtf16&) = delete;
    ToUtf16& operator=(const ToUtf16&) = delete;
    bool ok() const { return cd_ != Converters::kNone; }

    // Appends the bytes, decoded, to out. A byte the charset refuses (and
    // each byte of a sequence cut off at the end) becomes its mark, and
    // decoding goes on with the next byte. Returns the number of marks.
    qsizetype append(QByteArrayView bytes, QString& out) {
        qsizetype marks = 0;
        char* in = const_cast<char*>(bytes.data());
        size_t inLeft = static_cast<size_t>(bytes.size());
        qsizetype used = out.size();
        out.resize(used + bytes.size() + 16);
        auto grow = [&] { out.resize(out.size() + out.size() / 2 + 64); };
        while (true) {
            char* outPtr = reinterpret_cast<char*>(out.data() + used);
            size_t outLeft = static_cast<size_t>(out.size() - used) * 2;
            const size_t result = inLeft > 0 ? iconv(cd_, &in, &inLeft, &outPtr, &outLeft)
                                             : iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
            const int error = errno;
            used = (outPtr - reinterpret_cast<char*>(out.data())) / 2;
            if (result != static_cast<size_t>(-1)) {
                if (inLeft == 0) break;  // input and shift state both done
                continue;
            }
            if (error == E2BIG) {
                grow();
                continue;
            }
            // EILSEQ (an invalid sequence) or EINVAL (cut off at the end).
            if (used >= out.size()) grow();
            out[used++] = markFor(static_cast<unsigned char>(*in));
            ++marks;
            ++in;
            --inLeft;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        out.resize(used);
        return marks;
    }

private:
    bool owned_;
    iconv_t cd_;
};

enum class Kind { None, Ascii, Utf8, Iso2022Jp, Cp932, EucJp, Other };

struct Charset {
    Kind kind = Kind::None;
    QByteArray iconvName;  // for Other
    QByteArray label;      // as given, lower case
};

QByteArray normalisedLabel(QByteArrayView charset) {
    QByteArray label = charset.trimmed().toByteArray().toLower();
    if (label.size() >= 2 && label.front() == '"' && label.back() == '"')
        label = label.mid(1, label.size() - 2).trimmed();
    return label;
}

bool isOneOf(const QByteArray& label, std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (label == name) return true;
    return false;
}

Charset classify(QByteArrayView declared) {
    Charset charset;
    charset.label = normalisedLabel(declared);
    const QByteArray& label = charset.label;
    if (label.isEmpty()) {
        charset.kind = Kind::None;
    } else if (isOneOf(label, {"us-ascii", "ascii", "ansi_x3.4-1968", "iso646-us", "us"})) {
        charset.kind = Kind::Ascii;
    } else if (isOneOf(label, {"utf-8", "utf8", "x-unicode20utf8"})) {
        charset.kind = Kind::Utf8;
    } else if (label.startsWith("iso-2022-jp") || label.startsWith("iso2022jp") ||
               isOneOf(label, {"csiso2022jp", "csiso2022jp2", "cp50220", "cp50221", "cp50222",
                               "x-cp50220", "x-cp50221", "x-cp50222"})) {
        charset.kind = Kind::Iso2022Jp;
    } else if (isOneOf(label, {"shift_jis", "shift-jis", "shiftjis", "sjis", "x-sjis",
                               "x-shift_jis", "x-shift-jis", "ms_kanji", "csshiftjis",
                               "windows-31j", "cswindows31j", "cp932", "ms932", "x-ms-cp932",
                               "windows-932", "ibm-943", "ibm943", "sjis-win", "sjis-open"})) {
        charset.kind = Kind::Cp932;
    } else if (isOneOf(label,
                       {"euc-jp", "eucjp", "x-euc-jp", "x-eucjp", "euc_jp", "cseucpkdfmtjapanese",
                        "euc-jp-ms", "eucjp-ms", "eucjp-win", "eucjp-open"})) {
        charset.kind = Kind::EucJp;
    } else {
        // Any other charset glibc knows by that name (it ignores case). A
        // "/" would pass iconv flags such as //IGNORE, which drops bytes.
        charset.kind = Kind::Other;
        if (!label.contains('/') && ToUtf16(label.constData()).ok()) charset.iconvName = label;
    }
    return charset;
}

bool hasIso2022Escape(QByteArrayView bytes) {
    for (qsizetype i = 0; i + 2 < bytes.size(); ++i) {
        if (bytes[i] != '\x1b') continue;
        if (bytes[i + 1] == '$' || bytes[i + 1] == '(') return true;
    }
    return false;
}

bool isPlainAscii(QByteArrayView bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\x1b') return false;
    return true;
}

DecodedText viaIconv(const char* name, QByteArrayView bytes) {
    DecodedText decoded;
    decoded.charset = name;
    ToUtf16 converter(name);
    decoded.invalidBytes = converter.append(bytes, decoded.text);
    return decoded;
}

DecodedText asUtf8(QByteArrayView bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes = bytes.sliced(3);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    DecodedText decoded;
    decoded.charset = "UTF-8";
    decoded.text = decoder.decode(bytes);
    // The fast decoder replaces invalid bytes; redo such text with marks.
    if (decoder.hasError()) decoded = viaIconv("UTF-8", bytes);
    return decoded;
}

DecodedText decodeAs(Kind kind, const QByteArray& iconvName, QByteArrayView bytes) {
    switch (kind) {
        case Kind::None:
        case Kind::Ascii: {
            DecodedText decoded;
            decoded.charset = "US-ASCII";
            if (isPlainAscii(bytes)) {
                decoded.text = QString::fromLatin1(bytes);
            } else {
                // 8-bit bytes, or ISO-2022 escapes, in text declared (or
                // taken) as ASCII: each such byte is invalid here.
                decoded.text.reserve(bytes.size());
                for (char c : bytes) {
                    const auto byte = static_cast<unsigned char>(c);
                    if (byte >= 0x80 || byte == 0x1b) {
                        decoded.text += markFor(byte);
                        ++decoded.invalidBytes;
                    } else {
                        decoded.text += QChar(byte);
                    }
                }
            }
            return decoded;
        }
        case Kind::Utf8:
            return asUtf8(bytes);
        case Kind::Iso2022Jp: {
            DecodedText decoded;
            decoded.charset = "ISO-2022-JP";
            bool unknownEscape = false;
            decoded.text = decodeIso2022Jp(bytes, &decoded.invalidBytes, &unknownEscape);
            if (unknownEscape) {
                // Another set of the ISO-2022-JP family (-2, -3): glibc reads
                // those, strictly.
                for (const char* name : {"ISO-2022-JP-3", "ISO-2022-JP-2"}) {
                    DecodedText other = viaIconv(name, bytes);
                    if (other.invalidBytes == 0) return other;
                }
            }
            return decoded;
        }
        case Kind::Cp932:
            return viaIconv("CP932", bytes);
        case Kind::EucJp:
            return viaIconv("EUC-JP-MS", bytes);
        case Kind::Other:
            return viaIconv(iconvName.constData(), bytes);
    }
    return {};
}

}  // namespace

namespace {

// ISO-2022-JP read into code page 932's characters: each character is
// turned into its Shift-JIS bytes, which one CP932 decoding then reads, so
// the NEC and IBM extensions (①, Ⅰ, ㈱...) come out as Windows shows them.
class Iso2022JpReader {
public:
    Iso2022JpReader(QByteArrayView bytes, qsizetype* invalidBytes)
        : bytes_(bytes), invalidBytes_(invalidBytes), cp932_("CP932") {
        out_.reserve(bytes.size());
        sjis_.reserve(bytes.size());
    }

    QString read(bool* unknownEscape) {
        *unknownEscape = false;
        for (qsizetype i = 0; i < bytes_.size(); ++i) {
            const unsigned char b = at(i);
            if (b == 0x1b) {
                const qsizetype length = escapeLength(i);
                if (length == 0) {
                    *unknownEscape = true;
                    mark(b);
                } else {
                    i += length - 1;
                }
            } else if (b == 0x0e || b == 0x0f) {
                shiftedOut_ = b == 0x0e;  // SO ... SI: half-width katakana
            } else {
                i = character(i);
            }
        }
        flush();
        return std::move(out_);
    }

private:
    enum class Set { Ascii, Jis0208, Katakana, Jis0212 };

    unsigned char at(qsizetype i) const {
        return i < bytes_.size() ? static_cast<unsigned char>(bytes_[i]) : 0;
    }

    void flush() {
        if (sjis_.isEmpty()) return;
        *invalidBytes_ += cp932_.append(sjis_, out_);
        sjis_.clear();
    }

    void mark(unsigned char byte) {
        flush();
        out_ += markFor(byte);
        ++*invalidBytes_;
    }

    // The length of the escape sequence at i, choosing its set; 0 for one
    // this reader does not know.
    qsizetype escapeLength(qsizetype i) {
        const unsigned char c1 = at(i + 1), c2 = at(i + 2), c3 = at(i + 3);
        if (c1 == '(' && (c2 == 'B' || c2 == 'J' || c2 == 'H'))
            return choose(Set::Ascii, 3);  // JIS X 0201 Roman is read as ASCII, as Windows does
        if (c1 == '(' && c2 == 'I') return choose(Set::Katakana, 3);
        if (c1 == '$' && (c2 == '@' || c2 == 'B')) return choose(Set::Jis0208, 3);
        if (c1 == '$' && c2 == '(' && (c3 == '@' || c3 == 'B')) return choose(Set::Jis0208, 4);
        if (c1 == '$' && c2 == '(' && c3 == 'D') return choose(Set::Jis0212, 4);
        if (c1 == '&' && c2 == '@') return 3;  // the 1990 revision of JIS X 0208: same codes
        return 0;
    }

    qsizetype choose(Set set, qsizetype length) {
        set_ = set;
        return length;
    }

    // Reads the character that starts at i; gives the index of its last byte.
    qsizetype character(qsizetype i) {
        const unsigned char b = at(i);
        if (b >= 0xa1 && b <= 0xdf) {
            sjis_ += static_cast<char>(b);  // 8-bit half-width katakana
        } else if (b >= 0x80) {
            mark(b);
        } else if (b < 0x21 || b == 0x7f) {
            sjis_ += static_cast<char>(b);  // controls and space mean the same in every set
        } else {
            switch (shiftedOut_ ? Set::Katakana : set_) {
                case Set::Ascii:
                    sjis_ += static_cast<char>(b);
                    break;
                case Set::Katakana:
                    if (b <= 0x5f)
                        sjis_ += static_cast<char>(b + 0x80);
                    else
                        mark(b);
                    break;
                case Set::Jis0208:
                case Set::Jis0212:
                    return doubleByte(i);
            }
        }
        return i;
    }

    qsizetype doubleByte(qsizetype i) {
        const unsigned char b = at(i);
        const unsigned char c = at(i + 1);
        if (i + 1 >= bytes_.size() || c < 0x21 || c > 0x7e) {
            mark(b);  // half a character
            return i;
        }
        if (set_ == Set::Jis0208) {
            // The Shift-JIS code of the same JIS row and cell.
            sjis_ += static_cast<char>(((b + 1) >> 1) + (b <= 0x5e ? 0x70 : 0xb0));
            sjis_ += static_cast<char>(c + ((b & 1) ? (c >= 0x60 ? 0x20 : 0x1f) : 0x7e));
            return i + 1;
        }
        // JIS X 0212 has no Shift-JIS code; EUC-JP carries it.
        flush();
        const char euc[3] = {'\x8f', static_cast<char>(b | 0x80), static_cast<char>(c | 0x80)};
        QString one;
        ToUtf16 eucJp("EUC-JP");
        if (eucJp.append(QByteArrayView(euc, 3), one) == 0) {
            out_ += one;
        } else {
            mark(b);
            mark(c);
        }
        return i + 1;
    }

    QByteArrayView bytes_;
    qsizetype* invalidBytes_;
    ToUtf16 cp932_;
    QString out_;
    QByteArray sjis_;  // Shift-JIS bytes not yet decoded
    Set set_ = Set::Ascii;
    bool shiftedOut_ = false;
};

}  // namespace

QString decodeIso2022Jp(QByteArrayView bytes, qsizetype* invalidBytes, bool* unknownEscape) {
    return Iso2022JpReader(bytes, invalidBytes).read(unknownEscape);
}

DecodedText decodeText(QByteArrayView bytes, QByteArrayView declared) {
    const Charset charset = classify(declared);
    const bool unknown = charset.kind == Kind::Other && charset.iconvName.isEmpty();

    std::optional<DecodedText> first;
    if (!unknown) {
        first = decodeAs(charset.kind, charset.iconvName, bytes);
        if (first->invalidBytes == 0) return *first;
    }
    // Missing, unknown or wrong: the charsets Japanese mail comes in, the
    // strictest first (EUC-JP before code page 932: most EUC-JP text is also
    // valid code page 932, hardly any code page 932 text is valid EUC-JP).
    // Bytes with ISO-2022 escapes are ISO-2022-JP whatever their label says:
    // being 7-bit, they would pass for UTF-8 with the escapes left in.
    static constexpr Kind kTries[] = {Kind::Utf8, Kind::EucJp, Kind::Cp932};
    static constexpr Kind kIso2022Jp[] = {Kind::Iso2022Jp};
    const bool escapes = hasIso2022Escape(bytes);
    for (Kind kind : escapes ? std::span<const Kind>(kIso2022Jp) : std::span<const Kind>(kTries)) {
        if (!unknown && kind == charset.kind) continue;
        DecodedText other = decodeAs(kind, {}, bytes);
        if (other.invalidBytes == 0) {
            other.unknownCharset = unknown;
            return other;
        }
    }
    if (!first) first = decodeAs(Kind::Cp932, {}, bytes);
    first->unknownCharset = unknown;
    return *first;
}

namespace {

// Text of a header with its folding undone: a line break followed by white
// space is removed, the white space stays.
QByteArray unfold(QByteArrayView raw) {
    QByteArray out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\r' || c == '\n') continue;
        out += c;
    }
    return out.trimmed();
}

struct Segment {
    bool encoded = false;
    QByteArray charset;
    QByteArray bytes;
};

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Decodes the text of one encoded word; nullopt when it is not valid.
std::optional<QByteArray> decodeWordText(char encoding, QByteArrayView text) {
    if (encoding == 'B' || encoding == 'b') {
        auto result = QByteArray::fromBase64Encoding(text.toByteArray(),
                                                     QByteArray::AbortOnBase64DecodingErrors);
        if (!result) return std::nullopt;
        return *result;
    }
    auto hex = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size() && isHexDigit(text[i + 1]) &&
                   isHexDigit(text[i + 2])) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

// An encoded word "=?charset?B?text?=" (or ?Q?) starting at `at`; its end
// (one past "?=") or -1. The text of a word holds no "?" and no white
// space, so each search stops at the next "?": a header full of "=?" that
// never close costs time in proportion to its length, not its square.
qsizetype encodedWordAt(QByteArrayView value, qsizetype at, Segment* word) {
    if (!value.sliced(at).startsWith("=?")) return -1;
    const qsizetype charsetEnd = value.indexOf('?', at + 2);
    if (charsetEnd < 0 || charsetEnd + 2 >= value.size() || value[charsetEnd + 2] != '?') return -1;
    const char encoding = value[charsetEnd + 1];
    if (QByteArrayView("BbQq").indexOf(encoding) < 0) return -1;
    const qsizetype textStart = charsetEnd + 3;
    const qsizetype end = value.indexOf('?', textStart);
    if (end < 0 || end + 1 >= value.size() || value[end + 1] != '=') return -1;
    const QByteArrayView text = value.sliced(textStart, end - textStart);
    for (char c : text)
        if (c == ' ' || c == '\t') return -1;
    QByteArrayView charset = value.sliced(at + 2, charsetEnd - at - 2);
    if (const qsizetype star = charset.indexOf('*'); star >= 0) charset.truncate(star);  // language
    if (charset.isEmpty()) return -1;
    std::optional<QByteArray> bytes = decodeWordText(encoding, text);
    if (!bytes) return -1;
    word->encoded = true;
    word->charset = charset.toByteArray().toLower();
    word->bytes = std::move(*bytes);
    return end + 2;
}

}  // namespace

QString decodeHeaderValue(QByteArrayView raw) {
    const QByteArray value = unfold(raw);
    std::vector<Segment> segments;
    QByteArray literal;
    auto endLiteral = [&] {
        if (literal.isEmpty()) return;
        segments.push_back(Segment{false, {}, literal});
        literal.clear();
    };
    for (qsizetype i = 0; i < value.size();) {
        Segment word;
        const qsizetype end = encodedWordAt(value, i, &word);
        if (end < 0) {
            literal += value[i++];
            continue;
        }
        // White space alone between two encoded words is not part of the text.
        const bool followsWord = !segments.empty() && segments.back().encoded;
        if (followsWord && literal.trimmed().isEmpty()) literal.clear();
        endLiteral();
        if (!segments.empty() && segments.back().encoded && segments.back().charset == word.charset)
            segments.back().bytes += word.bytes;
        else
            segments.push_back(std::move(word));
        i = end;
    }
    endLiteral();

    QString text;
    for (const Segment& segment : segments)
        text += decodeText(segment.bytes, segment.encoded ? segment.charset : QByteArray()).text;
    return text;
}

bool hasInvalidMark(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0xdc00 || c > 0xdcff) continue;
        if (i > 0 && text[i - 1].isHighSurrogate()) continue;  // half of a pair
        return true;
    }
    return false;
}

QString showMarks(QStringView text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool mark = c >= 0xdc00 && c <= 0xdcff && !(i > 0 && text[i - 1].isHighSurrogate());
        if (mark)
            shown += QStringLiteral("\\x%1").arg(c & 0xff, 2, 16, QLatin1Char('0'));
        else
            shown += text[i];
    }
    return shown;
}

}  // namespace sorimba::mail
