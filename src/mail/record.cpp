#include "mail/record.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <map>

#include "saving/saving.h"
#include "textfile/textfile.h"

namespace sorimba::mail {
namespace {

const QByteArray kHeader = "sorimba-imported 1\n";
const QByteArray kPendingHeader = "sorimba-import-pending 1\n";

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

QString systemError(int error) {
    return textfile::systemFailure(error).error;
}

bool writeAll(int fd, const QByteArray& bytes) {
    return textfile::writeAll(fd, std::string_view(bytes.constData(), bytes.size()));
}

// Waits until the file's content is on the disk.
bool flushFile(const QString& path) {
    const textfile::FileDescriptor fd(
        ::open(native(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    return fd.valid() && ::fdatasync(fd.get()) == 0;
}

bool flushFolderOf(const QString& path) {
    return textfile::flushFolder(textfile::folderOf(path)).ok;
}

qint64 sizeOf(const QString& path) {
    struct stat st {};
    return ::stat(native(path).constData(), &st) == 0 ? st.st_size : -1;
}

// The bytes of a file from `offset`, at most `length`.
QByteArray readAt(const QString& path, qint64 offset, qint64 length) {
    QByteArray bytes;
    const textfile::FileDescriptor fd(
        ::open(native(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return bytes;
    bytes.resize(length);
    qint64 got = 0;
    while (got < length) {
        const ssize_t n = ::pread(fd.get(), bytes.data() + got, length - got, offset + got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += n;
    }
    bytes.truncate(got);
    return bytes;
}

// Cuts a file back to `size` (it was longer only by what we appended).
void cutBack(const QString& path, qint64 size) {
    const textfile::FileDescriptor fd(
        ::open(native(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return;
    struct stat st {};
    // Flushed too: the batch's record goes with it, so the bytes must not
    // come back after a power cut.
    if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > size &&
        ::ftruncate(fd.get(), size) == 0) {
        ::fdatasync(fd.get());
    }
}

QByteArray hex(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// One file of a pending batch.
struct PendingFile {
    QString path;
    qint64 sizeBefore = 0;
    QByteArray bytes;
};

struct Pending {
    std::vector<QByteArray> keys;
    std::vector<PendingFile> files;
};

QByteArray serialise(const Pending& pending) {
    QByteArray out = kPendingHeader;
    for (const QByteArray& key : pending.keys) out += "key " + key + "\n";
    for (const PendingFile& file : pending.files) {
        out += "file " + QByteArray::number(file.sizeBefore) + " " +
               QByteArray::number(file.bytes.size()) + " " + QUrl::toPercentEncoding(file.path) +
               "\n";
        out += file.bytes + "\n";
    }
    return out + "end " + hex(out) + "\n";
}

// nullopt when the bytes are not a whole pending batch (cut short by a kill).
std::optional<Pending> parse(const QByteArray& bytes) {
    const qsizetype endAt = bytes.lastIndexOf("end ");
    if (!bytes.startsWith(kPendingHeader) || endAt < 0 || !bytes.endsWith('\n'))
        return std::nullopt;
    const QByteArray body = bytes.left(endAt);
    if (bytes.mid(endAt + 4).trimmed() != hex(body)) return std::nullopt;
    Pending pending;
    qsizetype at = kPendingHeader.size();
    while (at < body.size()) {
        const qsizetype lf = body.indexOf('\n', at);
        if (lf < 0) return std::nullopt;
        const QByteArray line = body.mid(at, lf - at);
        at = lf + 1;
        if (line.startsWith("key ")) {
            pending.keys.push_back(line.mid(4));
        } else if (line.startsWith("file ")) {
            const QList<QByteArray> fields = line.mid(5).split(' ');
            if (fields.size() != 3) return std::nullopt;
            PendingFile file;
            file.sizeBefore = fields[0].toLongLong();
            const qint64 length = fields[1].toLongLong();
            file.path = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[2]));
            if (length < 0 || at + length >= body.size()) return std::nullopt;
            file.bytes = body.mid(at, length);
            at += length + 1;
            pending.files.push_back(std::move(file));
        } else {
            return std::nullopt;
        }
    }
    return pending;
}

// Makes one file hold `bytes` at `sizeBefore`, as the interrupted batch
// meant: nothing to do when they are there; the rest when a piece of them
// is (a write cut off by the kill); all of them at the end when the file
// was changed otherwise since.
textfile::Outcome complete(const PendingFile& file) {
    const qint64 size = sizeOf(file.path);
    const qint64 wanted = file.sizeBefore + file.bytes.size();
    if (size >= file.sizeBefore) {
        const qint64 present = std::min(size, wanted) - file.sizeBefore;
        const QByteArray there = readAt(file.path, file.sizeBefore, present);
        if (there == file.bytes.left(present)) {
            if (present == file.bytes.size()) return {};
            if (size == file.sizeBefore + present) {
                if (textfile::fileKind(file.path) != textfile::FileKind::Regular ||
                    textfile::isReadOnly(file.path))
                    return textfile::refused(textfile::Refusal::NotRegular);
                const textfile::FileDescriptor fd(::open(
                    native(file.path).constData(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC));
                if (!fd.valid()) return textfile::systemFailure(errno);
                return writeAll(fd.get(), file.bytes.mid(present)) ? textfile::Outcome{}
                                                                   : textfile::systemFailure(errno);
            }
        }
    }
    return saving::appendToSaveFile(file.path, file.bytes);
}

}  // namespace

ImportRecord::~ImportRecord() {
    if (!fd_.valid()) return;
    if (pendingDone_) ::unlink(native(path_ + QStringLiteral(".pending")).constData());
    fd_.reset();  // also lets go of the lock
}

QString ImportRecord::pathFor(const QString& savePath, bool withTitles) {
    const QString folder = textfile::folderOf(savePath);
    const QString name = savePath.mid(folder.size());
    return folder + QLatin1Char('.') + name + QStringLiteral(".sorimba-imported") +
           (withTitles ? QStringLiteral("-titles") : QString());
}

QByteArray ImportRecord::keyFor(const QString& messageId, const QString& text) {
    if (!messageId.isEmpty()) return "id " + QUrl::toPercentEncoding(messageId);
    // The same text with or without the empty line an mbox puts after a
    // message is the same issue.
    QStringView body = text;
    while (body.endsWith(QLatin1Char('\n')) || body.endsWith(QLatin1Char('\r'))) body.chop(1);
    return "body " + hex(QByteArray(reinterpret_cast<const char*>(body.utf16()), body.size() * 2));
}

bool ImportRecord::open(const QString& savePath, bool withTitles, QString* error, int* finished) {
    *finished = 0;
    savePath_ = savePath;
    path_ = pathFor(savePath, withTitles);
    auto fail = [&](const QString& why) {
        *error = path_ + QStringLiteral(": ") + why;
        fd_.reset();
        return false;
    };
    if (savePath.isEmpty()) {
        *error = QStringLiteral("保存ファイルが決まっていません");
        return false;
    }
    const bool existed = sizeOf(path_) >= 0;
    fd_.reset(::open(native(path_).constData(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!fd_.valid())
        return fail(QStringLiteral("取り込みの記録を開けません（%1）").arg(systemError(errno)));
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail(QStringLiteral("取り込みの記録が通常のファイルではありません"));
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0)
        return fail(QStringLiteral("同じ保存ファイルへの取り込みがほかで実行中です"));

    QByteArray content;
    if (!textfile::readFile(path_, &content).ok)
        return fail(QStringLiteral("取り込みの記録を読めません"));
    const QByteArray modeLine = withTitles ? "mode titles\n" : "mode plain\n";
    if (content.isEmpty()) {
        const QByteArray header =
            kHeader + modeLine + "save-file " + QUrl::toPercentEncoding(savePath, "/") + "\n";
        if (!writeAll(fd_.get(), header) || ::fdatasync(fd_.get()) != 0 ||
            (!existed && !flushFolderOf(path_)))
            return fail(QStringLiteral("取り込みの記録を書けません（%1）").arg(systemError(errno)));
    } else {
        if (!content.startsWith(kHeader + modeLine))
            return fail(QStringLiteral("取り込みの記録ではないか、形式が違います"));
        // A key cut off by a kill was never complete: it goes, and the
        // pending batch below records it again.
        const qsizetype lastLineEnd = content.lastIndexOf('\n');
        if (lastLineEnd + 1 < content.size()) {
            if (::ftruncate(fd_.get(), lastLineEnd + 1) != 0)
                return fail(
                    QStringLiteral("取り込みの記録を直せません（%1）").arg(systemError(errno)));
            content.truncate(lastLineEnd + 1);
        }
        const QList<QByteArray> lines = content.split('\n');
        for (qsizetype i = 3; i < lines.size(); ++i)
            if (!lines[i].isEmpty()) keys_.insert(lines[i]);
    }
    if (!finishPending(error, finished)) {
        fd_.reset();
        return false;
    }
    return true;
}

bool ImportRecord::appendKeys(const std::vector<QByteArray>& keys, QString* error) {
    QByteArray lines;
    for (const QByteArray& key : keys) lines += key + "\n";
    if (::lseek(fd_.get(), 0, SEEK_END) < 0 || !writeAll(fd_.get(), lines) ||
        ::fdatasync(fd_.get()) != 0) {
        *error =
            path_ + QStringLiteral(": 取り込みの記録を書けません（%1）").arg(systemError(errno));
        return false;
    }
    for (const QByteArray& key : keys) keys_.insert(key);
    return true;
}

bool ImportRecord::finishPending(QString* error, int* finished) {
    const QString pendingPath = path_ + QStringLiteral(".pending");
    QByteArray bytes;
    if (!textfile::readFile(pendingPath, &bytes).ok) return true;  // none
    const std::optional<Pending> pending = parse(bytes);
    std::vector<QByteArray> missing;
    if (pending)
        for (const QByteArray& key : pending->keys)
            if (!keys_.contains(key)) missing.push_back(key);
    if (!missing.empty()) {
        for (const PendingFile& file : pending->files) {
            const textfile::Outcome outcome = complete(file);
            if (!outcome.ok || !flushFile(file.path)) {
                *error = file.path +
                         QStringLiteral(": 前回中断された取り込みを仕上げられません（") +
                         (outcome.ok ? systemError(errno) : outcome.error) + QStringLiteral("）");
                return false;
            }
        }
        if (!flushFolderOf(savePath_) || !appendKeys(missing, error)) {
            if (error->isEmpty()) *error = path_ + QStringLiteral(": フォルダを書き込めません");
            return false;
        }
        *finished = static_cast<int>(missing.size());
    }
    ::unlink(native(pendingPath).constData());
    return true;
}

BatchResult ImportRecord::writeBatch(const std::vector<IssueBlocks>& issues) {
    BatchResult result;
    // 1. Make every file ready (created, its old last line given a line
    // end, all flushed together); an issue with a file that refuses is
    // left out whole.
    std::vector<saving::FileBlock> targets;
    std::map<QString, bool> createdFiles;
    for (const IssueBlocks& issue : issues) {
        for (const auto& [path, bytes] : issue.files) {
            if (createdFiles.count(path)) continue;
            createdFiles[path] = textfile::fileKind(path) == textfile::FileKind::Missing;
            targets.push_back({path, QByteArray()});
        }
    }
    const std::vector<textfile::Outcome> ready = saving::appendToSaveFiles(targets);
    std::map<QString, QString> refusedFiles;
    for (size_t t = 0; t < targets.size(); ++t) {
        if (ready[t].ok) continue;
        refusedFiles[targets[t].path] = ready[t].error;
        createdFiles.erase(targets[t].path);
    }
    std::vector<bool> left(issues.size(), false);
    for (size_t i = 0; i < issues.size(); ++i) {
        for (const auto& [path, bytes] : issues[i].files) {
            const auto refused = refusedFiles.find(path);
            if (refused == refusedFiles.end()) continue;
            left[i] = true;
            result.refused.emplace_back(
                static_cast<int>(i),
                path + QStringLiteral("（") + refused->second + QStringLiteral("）"));
            break;
        }
    }
    Pending pending;
    std::map<QString, size_t> fileIndex;
    for (size_t i = 0; i < issues.size(); ++i) {
        if (left[i]) continue;
        pending.keys.push_back(issues[i].key);
        for (const auto& [path, bytes] : issues[i].files) {
            auto [at, added] = fileIndex.try_emplace(path, pending.files.size());
            if (added) pending.files.push_back(PendingFile{path, sizeOf(path), {}});
            pending.files[at->second].bytes += bytes;
        }
    }
    // A file made for an issue that was left out, and still empty, goes again.
    for (const auto& [path, created] : createdFiles)
        if (created && !fileIndex.count(path) && sizeOf(path) == 0)
            ::unlink(native(path).constData());
    if (pending.keys.empty()) return result;

    // 2. What is about to be written, on the disk first.
    pendingDone_ = false;
    const QString pendingPath = path_ + QStringLiteral(".pending");
    {
        const bool existed = sizeOf(pendingPath) >= 0;
        const QByteArray intent = serialise(pending);
        textfile::FileDescriptor fd(::open(native(pendingPath).constData(),
                                           O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC,
                                           0666));
        const bool ok = fd.valid() && writeAll(fd.get(), intent) && ::fdatasync(fd.get()) == 0 &&
                        (existed || flushFolderOf(pendingPath));
        const int error = errno;
        fd.reset();
        if (!ok) {
            ::unlink(native(pendingPath).constData());
            result.fatal =
                pendingPath + QStringLiteral(": 書き込めません（%1）").arg(systemError(error));
            return result;
        }
    }

    // 3. The issues into their files, all flushed together; a failure
    // takes the whole batch back.
    std::vector<saving::FileBlock> blocks;
    blocks.reserve(pending.files.size());
    for (const PendingFile& file : pending.files) blocks.push_back({file.path, file.bytes});
    const std::vector<textfile::Outcome> appended = saving::appendToSaveFiles(blocks);
    for (size_t f = 0; f < appended.size(); ++f) {
        if (appended[f].ok) continue;
        for (const PendingFile& file : pending.files) cutBack(file.path, file.sizeBefore);
        ::unlink(native(pendingPath).constData());
        result.fatal = pending.files[f].path + QStringLiteral(": ") + appended[f].error;
        return result;
    }
    // 4. Only now are they imported.
    QString error;
    if (!appendKeys(pending.keys, &error))
        result.fatal = error;
    else
        pendingDone_ = true;
    return result;
}

}  // namespace sorimba::mail
