#include "mail/structure.h"

#include <unistd.h>

#include <QByteArrayList>
#include <QHash>
#include <cerrno>
#include <cstring>
#include <vector>

#include "mail/gmime_support.h"

namespace sorimba::mail {

Failure limitFailure(Limit limit) {
    const auto over = [](const char* name, qint64 value) {
        Failure failure = Failure::of(Failure::Kind::OverLimit);
        failure.detail = QLatin1String(name);
        failure.limit = value;
        return failure;
    };
    switch (limit) {
        case Limit::MessageBytes:
            return over("message-bytes", kMaxMessageBytes);
        case Limit::HeaderBytes:
            return over("header-bytes", kMaxHeaderBytes);
        case Limit::FieldBytes:
            return over("field-bytes", kMaxFieldBytes);
        case Limit::HeaderFields:
            return over("header-fields", kMaxHeaderFields);
        case Limit::EncodedWords:
            return over("encoded-words", kMaxEncodedWords);
        case Limit::Parts:
            return over("parts", kMaxParts);
        case Limit::None:
        case Limit::Nesting:
            break;
    }
    return over("nesting", kMaxNesting);
}

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

QByteArrayView trimmedEnd(QByteArrayView text) {
    while (!text.isEmpty() && isBlank(text.back())) text.chop(1);
    return text;
}

qsizetype countEncodedWordStarts(QByteArrayView text) {
    qsizetype count = 0;
    for (qsizetype at = text.indexOf("=?"); at >= 0; at = text.indexOf("=?", at + 2)) ++count;
    return count;
}

// What an entity (the message, a part, a message inside) is, from the
// Content-Type fields of its header block. Erring towards more structure:
// the boundaries of every multipart type named count, so that no boundary
// GMime would follow is missed.
struct EntityType {
    QByteArrayList boundaries;  // a multipart, when not empty
    bool digest = false;        // multipart/digest: its parts are messages by default
    bool message = false;       // message/rfc822 and the like: a header block follows
};

EntityType typeOf(const QByteArrayList& contentTypes, bool messageByDefault) {
    EntityType type;
    type.message = messageByDefault && contentTypes.isEmpty();
    for (const QByteArray& value : contentTypes) {
        GMimeContentType* parsed = g_mime_content_type_parse(nullptr, value.constData());
        if (parsed == nullptr) continue;
        const bool multipart = g_mime_content_type_is_type(parsed, "multipart", "*");
        if (multipart) {
            const char* boundary = g_mime_content_type_get_parameter(parsed, "boundary");
            if (boundary != nullptr && *boundary != '\0') type.boundaries << QByteArray(boundary);
            type.digest = type.digest || g_mime_content_type_is_type(parsed, "*", "digest");
        }
        if (&value == &contentTypes.back()) {
            type.message = g_mime_content_type_is_type(parsed, "message", "*") &&
                           !g_mime_content_type_is_type(parsed, "*", "partial") &&
                           !g_mime_content_type_is_type(parsed, "*", "external-body");
        }
        g_object_unref(parsed);
    }
    return type;
}

// Reads a message line by line and counts what GMime would build.
class Scanner {
public:
    explicit Scanner(bool mbox) : mbox_(mbox) { ensureGMime(); }

    // One line without its line end; `length` counts all of its bytes when
    // `text` holds only its start. False when the scan ends before the
    // line: it starts the next message of an mbox, or a single message
    // broke a limit (an mbox is read on to find where the message ends).
    bool line(QByteArrayView text, qint64 length) {
        const bool first = lines_++ == 0;
        if (mbox_ && !first && text.startsWith("From ")) return false;
        if (!mbox_ && limit_ != Limit::None) return false;
        bytes_ += length + 1;
        if (bytes_ > kMaxMessageBytes) fail(Limit::MessageBytes);
        if ((mbox_ && first) || limit_ != Limit::None) return true;
        if (inHeaders_)
            headerLine(text, length);
        else if (!boundaries_.isEmpty() && text.startsWith("--"))
            boundaryLine(text);
        return true;
    }

    Limit limit() const { return limit_; }

private:
    struct Level {
        QByteArrayList boundaries;  // none for a message inside a part
        bool digest = false;
    };

    void fail(Limit limit) {
        if (limit_ == Limit::None) limit_ = limit;
    }

    void headerLine(QByteArrayView text, qint64 length) {
        headerBytes_ += length + 1;
        if (headerBytes_ > kMaxHeaderBytes) return fail(Limit::HeaderBytes);
        if (text.isEmpty() || text == "\r") return endHeaders();
        if (!boundaries_.isEmpty() && text.startsWith("--") && boundaryLine(text)) return;
        encodedWords_ += countEncodedWordStarts(text);
        if (encodedWords_ > kMaxEncodedWords) return fail(Limit::EncodedWords);
        const bool continued = text.front() == ' ' || text.front() == '\t';
        fieldBytes_ = (continued ? fieldBytes_ : 0) + length + 1;
        if (fieldBytes_ > kMaxFieldBytes) return fail(Limit::FieldBytes);
        if (continued) {
            if (inContentType_) contentTypes_.back().append(' ').append(trimmedEnd(text).trimmed());
            return;
        }
        if (++fields_ > kMaxHeaderFields) return fail(Limit::HeaderFields);
        const qsizetype colon = text.indexOf(':');
        inContentType_ = colon >= 0 && text.first(colon).trimmed().compare(
                                           "content-type", Qt::CaseInsensitive) == 0;
        if (inContentType_)
            contentTypes_ << trimmedEnd(text.sliced(colon + 1)).trimmed().toByteArray();
    }

    void endHeaders() {
        const EntityType type = typeOf(contentTypes_, messageByDefault_);
        contentTypes_.clear();
        inContentType_ = false;
        inHeaders_ = false;
        if (type.boundaries.isEmpty() && !type.message) return;  // a leaf: its body follows
        levels_.push_back(Level{type.boundaries, type.digest});
        if (levels_.size() > static_cast<std::size_t>(kMaxNesting)) return fail(Limit::Nesting);
        if (type.boundaries.isEmpty()) {
            inHeaders_ = true;  // the header block of the message inside
            messageByDefault_ = false;
        }
        indexBoundaries();
    }

    // A line that may be a boundary of a multipart the line is in: true
    // when it is one (the start of a part, or the end of a multipart).
    bool boundaryLine(QByteArrayView text) {
        const QByteArrayView token = trimmedEnd(text.sliced(2));
        auto level = boundaries_.constFind(QByteArray::fromRawData(token.data(), token.size()));
        if (level != boundaries_.cend()) {
            const std::size_t before = levels_.size();
            levels_.resize(*level + 1);
            if (++parts_ > kMaxParts) fail(Limit::Parts);
            inHeaders_ = true;
            messageByDefault_ = levels_.back().digest;
            contentTypes_.clear();
            inContentType_ = false;
            if (levels_.size() != before) indexBoundaries();
            return true;
        }
        if (!token.endsWith("--")) return false;
        const QByteArrayView inner = token.chopped(2);
        level = boundaries_.constFind(QByteArray::fromRawData(inner.data(), inner.size()));
        if (level == boundaries_.cend()) return false;
        levels_.resize(*level);
        inHeaders_ = false;
        indexBoundaries();
        return true;
    }

    // Which level each boundary opens (the innermost, when several share one).
    void indexBoundaries() {
        boundaries_.clear();
        for (std::size_t i = 0; i < levels_.size(); ++i)
            for (const QByteArray& boundary : levels_[i].boundaries)
                boundaries_.insert(boundary, static_cast<int>(i));
    }

    bool mbox_;
    qint64 lines_ = 0;
    qint64 bytes_ = 0;
    qint64 headerBytes_ = 0;
    qint64 fieldBytes_ = 0;
    qint64 fields_ = 0;
    qint64 encodedWords_ = 0;
    qint64 parts_ = 0;
    bool inHeaders_ = true;
    bool messageByDefault_ = false;
    bool inContentType_ = false;
    QByteArrayList contentTypes_;
    std::vector<Level> levels_;
    QHash<QByteArray, int> boundaries_;
    Limit limit_ = Limit::None;
};

}  // namespace

Shape checkMessage(QByteArrayView bytes, bool mbox) {
    Scanner scanner(mbox);
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', at);
        const qsizetype end = lf < 0 ? bytes.size() : lf;
        if (!scanner.line(bytes.sliced(at, end - at), end - at)) return {scanner.limit(), at};
        at = end + 1;
    }
    return {scanner.limit(), bytes.size()};
}

namespace {

// Reads a file's bytes in pieces and hands them on as lines. A line longer
// than a piece comes as its start (long enough for any field or boundary
// this program follows) and its length; its start gets an "x" added when
// more than white space follows, so that it never reads as a boundary.
class LineReader {
public:
    LineReader(int fd, qint64 begin, qint64 end) : fd_(fd), offset_(begin), end_(end) {
        buffer_.resize(kFirstPiece);
    }

    // Calls take(text, length) for each line; stops early when it returns
    // false and returns that line's offset, or the end; -1 on an error.
    template <typename Take>
    qint64 forEachLine(Take take) {
        while (true) {
            const char* start = buffer_.constData() + at_;
            const void* lf = std::memchr(start, '\n', static_cast<std::size_t>(filled_ - at_));
            if (lf == nullptr && !eof()) {
                if (at_ == 0 && filled_ == buffer_.size()) {
                    if (buffer_.size() < kPiece) {
                        buffer_.resize(buffer_.size() * 2);  // a message of long lines
                        continue;
                    }
                    const qint64 lineOffset = position();
                    std::optional<qint64> length = longLine();
                    if (!length) return -1;
                    if (!take(QByteArrayView(long_), *length)) return lineOffset;
                    continue;
                }
                if (!fill()) return -1;
                continue;
            }
            if (filled_ == at_) return end_;
            const qsizetype size =
                lf ? static_cast<const char*>(lf) - start : static_cast<qsizetype>(filled_ - at_);
            if (!take(QByteArrayView(start, size), size)) return position();
            at_ += size + (lf ? 1 : 0);
        }
    }

private:
    // Most messages are a few kilobytes: the buffer starts small and grows
    // for long lines.
    static constexpr qsizetype kFirstPiece = qsizetype{64} << 10;
    static constexpr qsizetype kPiece = qsizetype{1} << 20;
    static constexpr qsizetype kKept = kMaxFieldBytes + 2;

    qint64 position() const { return offset_ - (filled_ - at_); }
    bool eof() const { return offset_ >= end_; }

    // Moves the rest of the buffer to its start and reads once after it.
    bool fill() {
        std::memmove(buffer_.data(), buffer_.constData() + at_, filled_ - at_);
        filled_ -= at_;
        at_ = 0;
        while (!eof()) {
            const qint64 want = std::min<qint64>(buffer_.size() - filled_, end_ - offset_);
            const ssize_t n = ::pread(fd_, buffer_.data() + filled_, want, offset_);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) end_ = offset_;  // the file is shorter than it was
            filled_ += n;
            offset_ += n;
            break;
        }
        return true;
    }

    // A line that fills the whole buffer: its start into long_, the rest
    // read past; its length.
    std::optional<qint64> longLine() {
        long_ = QByteArray(buffer_.constData(), kKept);
        bool blankTail = true;
        qint64 length = 0;
        qsizetype from = kKept;
        while (true) {
            const char* start = buffer_.constData() + from;
            const qsizetype size = filled_ - from;
            const void* lf = std::memchr(start, '\n', static_cast<std::size_t>(size));
            const qsizetype taken = lf ? static_cast<const char*>(lf) - start : size;
            for (qsizetype i = 0; i < taken && blankTail; ++i) blankTail = isBlank(start[i]);
            length += from + taken;
            if (lf || eof()) {
                at_ = from + taken + (lf ? 1 : 0);
                break;
            }
            at_ = filled_;
            if (!fill()) return std::nullopt;
            from = 0;
        }
        if (!blankTail) long_ += 'x';
        return length;
    }

    int fd_;
    qint64 offset_;  // of the byte after the buffer's last
    qint64 end_;
    QByteArray buffer_;
    qsizetype filled_ = 0;
    qsizetype at_ = 0;
    QByteArray long_;
};

}  // namespace

std::optional<Shape> checkMessageFile(int fd, qint64 begin, qint64 end, bool mbox) {
    Scanner scanner(mbox);
    LineReader reader(fd, begin, end);
    const qint64 stop = reader.forEachLine(
        [&](QByteArrayView text, qint64 length) { return scanner.line(text, length); });
    if (stop < 0) return std::nullopt;
    return Shape{scanner.limit(), stop};
}

}  // namespace sorimba::mail
