#include "mail/mailbox.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "files/files.h"
#include "mail/parsing.h"
#include "mail/structure.h"

namespace sorimba::mail {

namespace {

enum class Kind { Mbox, Maildir, Message };

// Maildir file names start with the delivery time in seconds: that number
// first, then the whole name, gives the order of delivery.
bool deliveredBefore(const QString& a, const QString& b) {
    auto leading = [](const QString& name) {
        const QString file = name.mid(name.indexOf(QLatin1Char('/')) + 1);
        qsizetype digits = 0;
        while (digits < file.size() && digits < 18 && file[digits].isDigit()) ++digits;
        return digits == 0 ? std::numeric_limits<qint64>::max() : file.left(digits).toLongLong();
    };
    const qint64 ta = leading(a), tb = leading(b);
    if (ta != tb) return ta < tb;
    return a.mid(a.indexOf(QLatin1Char('/'))) < b.mid(b.indexOf(QLatin1Char('/')));
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

struct Mailboxes::Source {
    QString path;
    Kind kind = Kind::Message;
    files::FileDescriptor fd;  // mbox: open from open() to the end
    struct stat initial {};    // mbox: as it was when opened
    QStringList files;         // Maildir: "cur/NAME" or "new/NAME"
    std::vector<qint64> fileBytes;
    qint64 bytes = 0;
    bool broken = false;             // mbox: changed while it was read
    bool endsWithEmptyLine = false;  // mbox: its last two bytes are LF LF

    // An mbox that shrank, or was rewritten in place, since it was opened:
    // what was read of it may be neither the old nor the new content. One
    // that only grew (new mail delivered) is read as it was when opened.
    bool changed() const {
        struct stat now {};
        if (::fstat(fd.get(), &now) != 0) return true;
        if (now.st_size < initial.st_size) return true;
        return now.st_size == initial.st_size && !sameTime(now.st_mtim, initial.st_mtim);
    }

    // A stream over part of the mbox that does not close our descriptor.
    GRef<GMimeStream> stream(gint64 begin, gint64 end) const {
        GRef<GMimeStream> stream(g_mime_stream_fs_new_with_bounds(fd.get(), begin, end));
        g_mime_stream_fs_set_owner(GMIME_STREAM_FS(stream.get()), FALSE);
        return stream;
    }

    // Parses the message of the mbox from its "From " line at `begin` to
    // the next one at `end`, as GMime gives it when it reads the whole
    // mbox: without the line end before the next "From " line; the last
    // message also without the empty line that ends the mbox.
    GRef<GMimeMessage> parse(gint64 begin, gint64 end, ParseOptions& options) const {
        if (end < initial.st_size)
            --end;
        else if (endsWithEmptyLine && end - begin >= 2)
            --end;
        GRef<GMimeStream> bounded = stream(begin, end);
        GRef<GMimeParser> parser = makeParser(bounded.get(), GMIME_FORMAT_MBOX);
        options.clear();
        return GRef<GMimeMessage>(g_mime_parser_construct_message(parser.get(), options.get()));
    }

    bool scanMbox(std::uint32_t index, ParseOptions& options,
                  const std::function<void(ScannedMessage&&)>& take,
                  const std::function<bool(qint64)>& progress,
                  const std::function<bool()>& wantWhole, std::vector<SourceProblem>& problems);
    // The header facts of message file i (of a Maildir; the file itself for
    // a message file), and the whole message while `wantWhole` says so.
    ScannedMessage scanFile(std::uint32_t index, qsizetype i, ParseOptions& parse,
                            const std::function<bool()>& wantWhole) const;

    // Opens the SOURCE at `path` as what it is.
    Fault openAs(const struct stat& st);
    Fault openMaildir();
    Fault openFile();
};

// Splits the mbox at its "From " lines, looking at each message before
// GMime parses it (structure.h): one that breaks a limit is reported with
// that limit and skipped, and the next one is read.
bool Mailboxes::Source::scanMbox(std::uint32_t index, ParseOptions& options,
                                 const std::function<void(ScannedMessage&&)>& take,
                                 const std::function<bool(qint64)>& progress,
                                 const std::function<bool()>& wantWhole,
                                 std::vector<SourceProblem>& problems) {
    const qint64 size = initial.st_size;
    char tail[2] = {'\n', '\n'};
    const ssize_t tailBytes = size < 2 ? 1 : 2;
    const bool tailRead = ::pread(fd.get(), tail + 2 - tailBytes, size_t(tailBytes),
                                  size < 2 ? 0 : size - 2) == tailBytes;
    endsWithEmptyLine = tailRead && size >= 2 && tail[0] == '\n' && tail[1] == '\n';
    std::int64_t sequence = 0;
    for (qint64 begin = 0; begin < size;) {
        const std::optional<Shape> shape = checkMessageFile(fd.get(), begin, size, true);
        if (!shape || changed()) {
            broken = true;
            problems.push_back(
                {path, shape ? Failure::of(Failure::Kind::Changed) : Failure::system(errno)});
            return true;
        }
        ScannedMessage scanned;
        scanned.where.source = index;
        scanned.where.begin = begin;
        scanned.where.end = std::max(shape->end, begin + 1);
        scanned.where.sequence = sequence++;
        // A writer always ends a message with a line end: an mbox that does
        // not end with one was cut off.
        if (scanned.where.end >= size && tail[1] != '\n') {
            scanned.problem = Failure::of(Failure::Kind::NotMessage);
            scanned.problem->detail = QStringLiteral("mbox-cut-short");
        } else if (shape->limit != Limit::None) {
            scanned.problem = limitFailure(shape->limit);
        } else if (GRef<GMimeMessage> message = parse(begin, scanned.where.end, options)) {
            Message facts;
            readHeaders(message.get(), facts);
            scanned.date = facts.date;
            if (wantWhole && wantWhole())
                scanned.message = readMessage(message.get(), Framing::Mbox, options);
        } else {
            scanned.problem = Failure::of(Failure::Kind::NotMessage);
        }
        begin = scanned.where.end;
        take(std::move(scanned));
        if (!progress(begin)) return false;
    }
    return true;
}

Mailboxes::Mailboxes() {
    ensureGMime();
}
Mailboxes::~Mailboxes() = default;

const std::vector<SourceProblem>& Mailboxes::problems() const {
    return problems_;
}

qint64 Mailboxes::totalBytes() const {
    qint64 total = 0;
    for (const auto& source : sources_) total += source->bytes;
    return total;
}

ScannedMessage Mailboxes::Source::scanFile(std::uint32_t index, qsizetype i, ParseOptions& parse,
                                           const std::function<bool()>& wantWhole) const {
    ScannedMessage scanned;
    scanned.where.source = index;
    scanned.where.file = static_cast<std::uint32_t>(i);
    scanned.where.sequence = i;
    const QString file = kind == Kind::Maildir ? path + QLatin1Char('/') + files[i] : path;
    Failure error;
    std::optional<ParsedFile> parsed = parseMessageFile(file, parse, &error);
    if (!parsed) {
        // A file gone meanwhile is looked for again when read.
        if (error.kind != Failure::Kind::System || error.systemError != ENOENT)
            scanned.problem = error;
    } else if (parsed->message) {
        Message facts;
        readHeaders(parsed->message.get(), facts);
        scanned.date = facts.date;
        if (wantWhole && wantWhole())
            scanned.message = readMessage(parsed->message.get(), parsed->framing, parse);
    } else {
        scanned.problem = parsed->refused.value_or(Failure::of(Failure::Kind::NotMessage));
    }
    return scanned;
}

Fault Mailboxes::Source::openAs(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return openMaildir();
    if (S_ISREG(st.st_mode)) return openFile();
    return Failure::of(Failure::Kind::NotRegular, path);
}

Fault Mailboxes::Source::openMaildir() {
    kind = Kind::Maildir;
    bool any = false;
    for (const char* sub : {"cur", "new"}) {
        const QString folder = path + QLatin1Char('/') + QLatin1String(sub);
        if (!QFileInfo(folder).isDir()) continue;
        any = true;
        QDir dir(folder);
        if (!dir.isReadable()) return Failure{Failure::Kind::System, path, EACCES, 0, folder};
        // Hidden files are no mail; QDir::Files leaves FIFOs and devices out
        // (they would hang or never end).
        const QFileInfoList entries = dir.entryInfoList(QDir::Files, QDir::Unsorted);
        for (const QFileInfo& entry : entries)
            files.push_back(QLatin1String(sub) + QLatin1Char('/') + entry.fileName());
    }
    if (!any) return Failure::of(Failure::Kind::NotFound, path);
    std::sort(files.begin(), files.end(), deliveredBefore);
    for (const QString& file : files) {
        const qint64 size = QFileInfo(path + QLatin1Char('/') + file).size();
        fileBytes.push_back(size);
        bytes += size;
    }
    return {};
}

Fault Mailboxes::Source::openFile() {
    // Never waits for a writer: what is no regular file was refused already.
    fd.reset(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid() || ::fstat(fd.get(), &initial) != 0) return Failure::system(errno, path);
    bytes = initial.st_size;
    QByteArray start(4096, '\0');
    const ssize_t got = ::pread(fd.get(), start.data(), start.size(), 0);
    if (got < 0) return Failure::system(errno, path);
    start.truncate(got);
    if (got == 0 || start.startsWith("From ")) {
        kind = Kind::Mbox;
        return {};
    }
    // The header block may be longer than the first piece.
    QByteArray head(std::min<qint64>(bytes, qint64{1} << 20), '\0');
    const ssize_t n = ::pread(fd.get(), head.data(), head.size(), 0);
    head.truncate(std::max<ssize_t>(n, 0));
    if (!looksLikeMessage(head)) return Failure::of(Failure::Kind::NotMessage, path);
    kind = Kind::Message;
    fd.reset();
    return {};
}

Fault Mailboxes::open(const QStringList& paths) {
    sources_.clear();
    problems_.clear();
    for (const QString& path : paths) {
        struct stat st {};
        auto source = std::make_unique<Source>();
        source->path = path;
        Fault failure;
        if (path.isEmpty())
            failure = Failure::of(Failure::Kind::NoName);
        else if (::stat(QFile::encodeName(path).constData(), &st) != 0)
            failure = Failure::system(errno, path);
        else
            failure = source->openAs(st);
        if (failure) {
            sources_.clear();
            return failure;
        }
        sources_.push_back(std::move(source));
    }
    return {};
}

bool Mailboxes::scan(const std::function<void(ScannedMessage&&)>& take,
                     const std::function<bool(qint64, qint64)>& progress,
                     const std::function<bool()>& wantWhole) {
    const qint64 total = totalBytes();
    qint64 done = 0;
    ParseOptions parse;
    for (std::uint32_t index = 0; index < sources_.size(); ++index) {
        Source& source = *sources_[index];
        if (source.kind == Kind::Mbox) {
            const bool going = source.scanMbox(
                index, parse, take, [&](qint64 at) { return progress(done + at, total); },
                wantWhole, problems_);
            if (!going) return false;
            done += source.bytes;
            continue;
        }
        const qsizetype count = source.kind == Kind::Maildir ? source.files.size() : 1;
        for (qsizetype i = 0; i < count; ++i) {
            take(source.scanFile(index, i, parse, wantWhole));
            done += source.kind == Kind::Maildir ? source.fileBytes[i] : source.bytes;
            if (!progress(done, total)) return false;
        }
    }
    return true;
}

Message Mailboxes::read(const MessageRef& where) {
    Source& source = *sources_.at(where.source);
    auto broken = [](const Failure& why) {
        Message message;
        message.kind = Message::Kind::Broken;
        message.problem = why;
        return message;
    };
    switch (source.kind) {
        case Kind::Mbox: {
            if (source.broken || source.changed()) {
                if (!source.broken)
                    problems_.push_back({source.path, Failure::of(Failure::Kind::Changed)});
                source.broken = true;
                Failure changed = Failure::of(Failure::Kind::Changed);
                changed.detail = QStringLiteral("mailbox");
                return broken(changed);
            }
            ParseOptions parse;
            GRef<GMimeMessage> message = source.parse(where.begin, where.end, parse);
            if (!message) return broken(Failure::of(Failure::Kind::NotMessage));
            return readMessage(message.get(), Framing::Mbox, parse);
        }
        case Kind::Maildir: {
            QString path = source.path + QLatin1Char('/') + source.files.at(where.file);
            if (!QFileInfo::exists(path)) {
                // A mail program moves new mail to cur/ and renames it when
                // its flags change; its unique part, before ":", stays.
                const QString name = source.files.at(where.file).mid(4);
                const QString unique = name.left(name.indexOf(QLatin1Char(':')));
                for (const char* sub : {"cur", "new"}) {
                    QDir dir(source.path + QLatin1Char('/') + QLatin1String(sub));
                    const QStringList moved =
                        dir.entryList({unique, unique + QStringLiteral(":*")}, QDir::Files);
                    if (!moved.isEmpty()) {
                        path = dir.filePath(moved.front());
                        break;
                    }
                }
            }
            return decodeMessageFile(path);
        }
        case Kind::Message:
            return decodeMessageFile(source.path);
    }
    return broken(Failure::of(Failure::Kind::NotMessage));
}

QString Mailboxes::describe(const MessageRef& where) const {
    const Source& source = *sources_.at(where.source);
    switch (source.kind) {
        case Kind::Mbox:
            return QStringLiteral("%1 の %2 通目").arg(source.path).arg(where.sequence + 1);
        case Kind::Maildir:
            return source.path + QLatin1Char('/') + source.files.at(where.file);
        case Kind::Message:
            break;
    }
    return source.path;
}

}  // namespace sorimba::mail
