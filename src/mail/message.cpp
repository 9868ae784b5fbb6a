#include "mail/message.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

#include "encoding/encoding.h"
#include "files/files.h"
#include "mail/charset.h"
#include "mail/parsing.h"
#include "mail/structure.h"

namespace sorimba::mail {

void ensureGMime() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_mime_init();
        // glibc unloads a charset's module soon after its last converter is
        // closed, and GMime opens one for a header's encoded words and
        // closes it again, message after message: the module would be
        // loaded anew for every message. One converter each, kept for the
        // life of the process, keeps the modules of Japanese mail loaded.
        struct Kept {
            std::vector<iconv_t> converters;
            ~Kept() {
                for (iconv_t cd : converters) iconv_close(cd);
            }
        };
        static Kept kept;
        for (const char* charset : {"ISO-2022-JP", "SHIFT_JIS", "CP932", "EUC-JP", "EUC-JP-MS"}) {
            const iconv_t cd = iconv_open("UTF-8", charset);
            if (cd != reinterpret_cast<iconv_t>(-1)) kept.converters.push_back(cd);
        }
    });
}

namespace {

void onParserWarning(gint64, GMimeParserWarning code, const gchar*, gpointer data) {
    auto* options = static_cast<ParseOptions*>(data);
    if (code == GMIME_WARN_TRUNCATED_MESSAGE) options->truncated = true;
    if (code == GMIME_CRIT_NESTING_OVERFLOW) options->nestedTooDeep = true;
}

}  // namespace

ParseOptions::ParseOptions() {
    ensureGMime();
    options_ = g_mime_parser_options_new();
    g_mime_parser_options_set_warning_callback(options_, onParserWarning, this);
}

ParseOptions::~ParseOptions() {
    g_mime_parser_options_free(options_);
}

GRef<GMimeParser> makeParser(GMimeStream* stream, GMimeFormat format) {
    ensureGMime();
    GRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream));
    g_mime_parser_set_format(parser.get(), format);
    g_mime_parser_set_persist_stream(parser.get(), TRUE);
    // Content-Length in mailboxes is often wrong; the "From " lines decide.
    g_mime_parser_set_respect_content_length(parser.get(), FALSE);
    return parser;
}

// --- The rule "a file is a message" -----------------------------------------

namespace {

// One line of the bytes from `at`, without its line end; *next is where the
// following line starts (bytes.size() at the end).
QByteArrayView lineAt(QByteArrayView bytes, qsizetype at, qsizetype* next) {
    const qsizetype lf = bytes.indexOf('\n', at);
    const qsizetype end = lf < 0 ? bytes.size() : lf;
    *next = lf < 0 ? bytes.size() : lf + 1;
    QByteArrayView line = bytes.sliced(at, end - at);
    if (line.endsWith('\r')) line.chop(1);
    return line;
}

// A header field line: a name of printable ASCII without a colon, then a colon.
bool isFieldLine(QByteArrayView line, QByteArray* name) {
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0) return false;
    for (char c : line.first(colon)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f) return false;
    }
    *name = line.first(colon).toByteArray().toLower();
    return true;
}

// The start of a field's name, cut off before its colon.
bool isNameStart(QByteArrayView line) {
    for (char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f || c == ':') return false;
    }
    return true;
}

// The mbox separator line: "From ", the sender, then the date the way
// asctime() writes it ("Mon Jan  1 09:00:00 2024"): a time and a year.
bool isMboxFromLine(QByteArrayView line) {
    static const QRegularExpression separator(
        QStringLiteral("^From \\S+ .*\\b\\d{1,2}:\\d\\d(:\\d\\d)?\\b.*\\b(19|20)\\d\\d\\b"));
    return separator.match(QString::fromLatin1(line)).hasMatch();
}

// A header block no longer than this is looked at; anything longer is no
// message a mail program wrote.
constexpr qsizetype kMaxHeaderBlock = qsizetype{1} << 20;

}  // namespace

bool looksLikeMessage(QByteArrayView bytes) {
    bytes = bytes.first(std::min(bytes.size(), kMaxHeaderBlock));
    qsizetype at = 0;
    qsizetype next = 0;
    bool mbox = false;
    if (bytes.startsWith("From ")) {
        if (!isMboxFromLine(lineAt(bytes, 0, &next))) return false;
        mbox = true;
        at = next;
    }
    bool from = false, dateOrId = false, anyField = false;
    while (at < bytes.size()) {
        const QByteArrayView line = lineAt(bytes, at, &next);
        at = next;
        if (line.isEmpty()) break;  // the end of the header block
        if (line.front() == ' ' || line.front() == '\t') {
            if (!anyField) return false;  // a folded line needs a field before it
            continue;
        }
        QByteArray name;
        if (!isFieldLine(line, &name)) {
            // Bytes cut off in the middle of a long header block end with
            // the start of a field's name.
            if (next == bytes.size() && !bytes.endsWith('\n') && isNameStart(line)) break;
            return false;
        }
        anyField = true;
        from = from || name == "from";
        dateOrId = dateOrId || name == "date" || name == "message-id";
    }
    return mbox ? anyField : (from && dateOrId);
}

// --- Reading the text of a message --------------------------------------

namespace {

constexpr int kMaxDepth = 32;

struct TextParts {
    GMimePart* inlinePlain = nullptr;    // the body's text
    GMimePart* attachedPlain = nullptr;  // a text file attached, when there is no body text
    bool html = false;
};

void findText(GMimeObject* object, TextParts& found, int depth) {
    if (object == nullptr || depth > kMaxDepth) return;
    if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (inner) findText(g_mime_message_get_mime_part(inner), found, depth + 1);
        return;
    }
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i)
            findText(g_mime_multipart_get_part(multipart, i), found, depth + 1);
        return;
    }
    if (!GMIME_IS_PART(object)) return;
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (g_mime_content_type_is_type(type, "text", "html")) {
        found.html = true;
    } else if (g_mime_content_type_is_type(type, "text", "plain")) {
        GMimePart* part = GMIME_PART(object);
        if (g_mime_part_is_attachment(part)) {
            if (!found.attachedPlain) found.attachedPlain = part;
        } else if (!found.inlinePlain) {
            found.inlinePlain = part;
        }
    }
}

// Reads a whole stream; false when it is larger than `limit` or a read fails.
bool readStream(GMimeStream* stream, qint64 limit, QByteArray* out) {
    g_mime_stream_reset(stream);
    const gint64 length = g_mime_stream_length(stream);
    if (length > limit) return false;
    // Straight into the buffer: one copy, from the file.
    out->resize(std::max<gint64>(length, 0) + 1);
    qsizetype filled = 0;
    while (!g_mime_stream_eos(stream)) {
        if (filled == out->size()) {
            if (out->size() > limit) return false;
            out->resize(out->size() * 2);
        }
        const ssize_t n = g_mime_stream_read(stream, out->data() + filled,
                                             static_cast<size_t>(out->size() - filled));
        // A file stream answers a read at its end with -1, then says eos.
        if (n < 0) {
            if (g_mime_stream_eos(stream)) break;
            return false;
        }
        if (n == 0) break;
        filled += n;
    }
    out->truncate(filled);
    return filled <= limit;
}

// Takes one ">" off each line that is ">From ", ">>From "... (see Framing).
void undoFromEscaping(QByteArray& bytes) {
    if (!bytes.contains(">From ")) return;
    QByteArray out;
    out.reserve(bytes.size());
    qsizetype at = 0;
    while (at < bytes.size()) {
        qsizetype lf = bytes.indexOf('\n', at);
        const qsizetype end = lf < 0 ? bytes.size() : lf + 1;
        const QByteArrayView line = QByteArrayView(bytes).sliced(at, end - at);
        qsizetype quotes = 0;
        while (quotes < line.size() && line[quotes] == '>') ++quotes;
        if (quotes > 0 && line.sliced(quotes).startsWith("From "))
            out.append(line.sliced(1));
        else
            out.append(line);
        at = end;
    }
    bytes = std::move(out);
}

bool isBase64Letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

// Base64 as a sender's program writes it: the alphabet, line breaks and
// white space, padding only to complete a group of four, and nothing left
// over at the end. Anything else is a damaged or cut-off body whose text
// cannot be trusted.
bool isSoundBase64(QByteArrayView bytes) {
    int position = 0;  // within the current group of four
    bool padding = false;
    for (char c : bytes) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == '=') {
            if (position < 2) return false;
            padding = true;
        } else if (!isBase64Letter(c) || (padding && position != 0)) {
            return false;
        } else {
            padding = false;
        }
        position = (position + 1) % 4;
    }
    return position == 0;
}

// Undoes the transfer encoding; nullopt for a broken base64 body.
std::optional<QByteArray> decodeTransfer(const QByteArray& raw, GMimeContentEncoding encoding) {
    switch (encoding) {
        case GMIME_CONTENT_ENCODING_BASE64:
            if (!isSoundBase64(raw)) return std::nullopt;
            [[fallthrough]];
        case GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE:
        case GMIME_CONTENT_ENCODING_UUENCODE: {
            GMimeEncoding state;
            g_mime_encoding_init_decode(&state, encoding);
            QByteArray out(static_cast<qsizetype>(g_mime_encoding_outlen(&state, raw.size())) + 16,
                           Qt::Uninitialized);
            const size_t n = g_mime_encoding_flush(&state, raw.constData(), raw.size(), out.data());
            out.truncate(static_cast<qsizetype>(n));
            return out;
        }
        default:
            return raw;
    }
}

QString crLfText(const QString& text) {
    return encoding::withCrLfLineEnds(text);
}

const char* rawHeader(GMimeObject* object, const char* name) {
    GMimeHeader* header =
        g_mime_header_list_get_header(g_mime_object_get_header_list(object), name);
    return header ? g_mime_header_get_raw_value(header) : nullptr;
}

// A Message-ID is used to recognise a message again only when it looks like
// one: "local@domain" without white space. Some programs write the same
// placeholder into every message, which would make all of them one.
bool isUsableId(const char* id) {
    if (id == nullptr || *id == '\0') return false;
    const std::string_view text(id);
    if (text.find('@') == std::string_view::npos) return false;
    for (char c : text)
        if (static_cast<unsigned char>(c) <= 0x20 || c == '\x7f') return false;
    return true;
}

}  // namespace

void readHeaders(GMimeMessage* message, Message& into) {
    const char* id = g_mime_message_get_message_id(message);
    if (isUsableId(id)) into.messageId = QString::fromLatin1(id);
    if (GDateTime* date = g_mime_message_get_date(message)) into.date = g_date_time_to_unix(date);
    if (const char* subject = rawHeader(GMIME_OBJECT(message), "Subject"))
        into.subject = decodeHeaderValue(subject);
}

Message readMessage(GMimeMessage* message, Framing framing, const ParseOptions& parse) {
    Message result;
    readHeaders(message, result);
    auto broken = [&](Failure::Kind kind, const char* detail, qint64 limit = 0) {
        result.kind = Message::Kind::Broken;
        result.problem = Failure::of(kind);
        result.problem->detail = QLatin1String(detail);
        result.problem->limit = limit;
        return result;
    };
    if (parse.truncated) return broken(Failure::Kind::NotMessage, "cut-short");
    // GMime's own limit, not counted as structure.h counts it.
    if (parse.nestedTooDeep) return broken(Failure::Kind::OverLimit, "nesting");

    TextParts found;
    findText(g_mime_message_get_mime_part(message), found, 0);
    GMimePart* part = found.inlinePlain ? found.inlinePlain : found.attachedPlain;
    if (part == nullptr) {
        result.kind = found.html ? Message::Kind::HtmlOnly : Message::Kind::NoText;
        result.problem = Failure::of(Failure::Kind::NotIssue);
        if (found.html) result.problem->detail = QStringLiteral("html-only");
        return result;
    }

    QByteArray raw;
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    GMimeStream* stream = content ? g_mime_data_wrapper_get_stream(content) : nullptr;
    if (stream && !readStream(stream, kMaxTextPartBytes, &raw))
        return broken(Failure::Kind::OverLimit, "text-part", kMaxTextPartBytes);
    if (framing == Framing::Mbox) undoFromEscaping(raw);
    const GMimeContentEncoding encoding =
        content ? g_mime_data_wrapper_get_encoding(content) : GMIME_CONTENT_ENCODING_DEFAULT;
    const std::optional<QByteArray> bytes = decodeTransfer(raw, encoding);
    if (!bytes) return broken(Failure::Kind::NotText, "base64");
    raw.clear();

    const char* charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
    DecodedText decoded = decodeText(*bytes, charset ? QByteArrayView(charset) : QByteArrayView());
    result.kind = Message::Kind::Text;
    result.text = crLfText(decoded.text);
    result.invalidBytes = decoded.invalidBytes;
    result.charset = decoded.charset;
    result.unknownCharset = decoded.unknownCharset;
    return result;
}

QByteArrayView withoutSeparatorLine(QByteArrayView bytes) {
    if (bytes.endsWith("\n\n")) bytes.chop(1);
    return bytes;
}

namespace {

Message brokenMessage(const Failure& why) {
    Message result;
    result.kind = Message::Kind::Broken;
    result.problem = why;
    return result;
}

// Parses the one message (or the first of an mbox) in a stream.
Message parseOne(GMimeStream* stream, bool mbox) {
    ParseOptions parse;
    GRef<GMimeParser> parser = makeParser(stream, mbox ? GMIME_FORMAT_MBOX : GMIME_FORMAT_MESSAGE);
    GRef<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), parse.get()));
    if (!message) return brokenMessage(Failure::of(Failure::Kind::NotMessage));
    return readMessage(message.get(), mbox ? Framing::Mbox : Framing::Message, parse);
}

}  // namespace

Message decodeMessage(QByteArrayView bytes) {
    ensureGMime();
    const bool mbox = bytes.startsWith("From ");
    const Shape shape = checkMessage(bytes, mbox);
    if (shape.limit != Limit::None) return brokenMessage(limitFailure(shape.limit));
    if (mbox) bytes = withoutSeparatorLine(bytes);
    GRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    return parseOne(stream.get(), mbox);
}

std::optional<ParsedFile> parseMessageFile(const QString& path, ParseOptions& parse,
                                           Failure* error) {
    ensureGMime();
    const QByteArray native = QFile::encodeName(path);
    files::FileDescriptor fd(::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        *error = Failure::system(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = Failure::of(Failure::Kind::NotRegular);
        return std::nullopt;
    }
    char start[5] = {};
    const bool mbox =
        ::pread(fd.get(), start, sizeof start, 0) == 5 && std::memcmp(start, "From ", 5) == 0;
    ParsedFile file;
    file.framing = mbox ? Framing::Mbox : Framing::Message;
    // Looked at before GMime builds it (structure.h). An mbox's first
    // message ends at the next "From " line, wherever that is.
    std::optional<Shape> shape = !mbox && st.st_size > kMaxMessageBytes
                                     ? Shape{Limit::MessageBytes, st.st_size}
                                     : checkMessageFile(fd.get(), 0, st.st_size, mbox);
    if (!shape) {
        *error = Failure::system(errno);
        return std::nullopt;
    }
    if (shape->limit != Limit::None) {
        file.refused = limitFailure(shape->limit);
        return file;
    }
    file.stream = GRef<GMimeStream>(g_mime_stream_fs_new(fd.release()));  // owns it from here
    file.parser = makeParser(file.stream.get(), mbox ? GMIME_FORMAT_MBOX : GMIME_FORMAT_MESSAGE);
    parse.clear();
    file.message =
        GRef<GMimeMessage>(g_mime_parser_construct_message(file.parser.get(), parse.get()));
    return file;
}

Message decodeMessageFile(const QString& path) {
    ParseOptions parse;
    Failure error;
    std::optional<ParsedFile> file = parseMessageFile(path, parse, &error);
    if (!file) return brokenMessage(error);
    if (!file->message)
        return brokenMessage(file->refused.value_or(Failure::of(Failure::Kind::NotMessage)));
    return readMessage(file->message.get(), file->framing, parse);
}

}  // namespace sorimba::mail
