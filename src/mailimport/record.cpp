#include "mailimport/record.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QUrl>
#include <cerrno>
#include <map>

#include "files/files.h"
#include "saving/saving.h"

namespace sorimba::mailimport {
namespace {

const QByteArray kHeader = "sorimba-imported 1\n";

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

bool writeAll(int fd, const QByteArray& bytes) {
    return files::writeAll(fd, std::string_view(bytes.constData(), bytes.size()));
}

QByteArray hex(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QString recordBeside(const QString& saveFile, bool withTitles) {
    const QString folder = files::folderOf(saveFile);
    const QString name = saveFile.mid(folder.size());
    return folder + QLatin1Char('.') + name + QStringLiteral(".sorimba-imported") +
           (withTitles ? QStringLiteral("-titles") : QString());
}

// The key lines of a record (everything after its three header lines, up
// to its last whole line).
QByteArray keyLines(const QByteArray& content) {
    qsizetype at = 0;
    for (int line = 0; line < 3 && at >= 0; ++line) {
        at = content.indexOf('\n', at);
        if (at >= 0) ++at;
    }
    if (at < 0) return {};
    return content.mid(at, content.lastIndexOf('\n') + 1 - at);
}

// The keys of a record that an earlier version kept under another name of
// the save file (given through a link), never read through a link itself;
// nothing when there is none or it is no record of this mode.
QByteArray legacyKeys(const QString& path, const QByteArray& modeLine) {
    if (path.isEmpty()) return {};
    const files::FileDescriptor fd(
        ::open(native(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    QByteArray content;
    if (files::readFrom(fd.get(), -1, &content, nullptr) || !content.startsWith(kHeader + modeLine))
        return {};
    return keyLines(content);
}

}  // namespace

ImportRecord::~ImportRecord() {
    if (!fd_.valid()) return;
    if (pendingDone_ && journal_) journal_->remove();
    fd_.reset();  // also lets go of the lock
}

QByteArray ImportRecord::keyFor(const QString& messageId, const QString& text) {
    if (!messageId.isEmpty()) return "id " + QUrl::toPercentEncoding(messageId);
    // The same text with or without the empty line an mbox puts after a
    // message is the same issue.
    QStringView body = text;
    while (body.endsWith(QLatin1Char('\n')) || body.endsWith(QLatin1Char('\r'))) body.chop(1);
    return "body " + hex(QByteArray(reinterpret_cast<const char*>(body.utf16()), body.size() * 2));
}

Fault ImportRecord::open(const QString& savePath, bool withTitles, int* finished) {
    *finished = 0;
    if (savePath.isEmpty()) return Failure::of(Failure::Kind::NoName).in(Failure::Use::RecordOpen);
    writer_ = std::make_unique<saving::SaveWriter>(savePath, withTitles);
    path_ = recordBeside(writer_->saveFile(), withTitles);
    journal_ = std::make_unique<saving::Journal>(*writer_, path_ + QStringLiteral(".pending"));
    // The record an earlier version kept under the name given, when that
    // name is a link to the save file.
    const QString legacy = recordBeside(writer_->savePath(), withTitles);
    const QByteArray modeLine = withTitles ? "mode titles\n" : "mode plain\n";
    Fault failure = openFile();
    if (!failure) failure = readKeys(modeLine, legacy == path_ ? QString() : legacy);
    if (failure) {
        fd_.reset();
        return failure;
    }
    // Batches an interrupted run left, under the save file's lock.
    if (!writer_->lock(saving::kBatchPatienceMs)) {
        fd_.reset();
        return Failure::of(Failure::Kind::Busy, savePath);
    }
    failure = finishPending(*journal_, finished);
    if (!failure && legacy != path_) {
        int more = 0;
        failure =
            finishPending(saving::Journal(*writer_, legacy + QStringLiteral(".pending")), &more);
        *finished += more;
    }
    writer_->unlock();
    if (failure) fd_.reset();
    return failure;
}

Fault ImportRecord::openFile() {
    auto fail = [&](Failure::Kind kind, int error = 0) {
        Failure failure = Failure::of(kind, path_).in(Failure::Use::RecordOpen);
        failure.systemError = error;
        return failure;
    };
    // Never through a link: a link planted in its place is refused, and its
    // target neither created nor written.
    fd_.reset(::open(native(path_).constData(),
                     O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!fd_.valid() && errno == ELOOP) return fail(Failure::Kind::Suspicious, ELOOP);
    if (!fd_.valid()) return fail(Failure::Kind::System, errno);
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail(Failure::Kind::NotRegular);
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return fail(Failure::Kind::Busy);
    return {};
}

Fault ImportRecord::readKeys(const QByteArray& modeLine, const QString& legacyPath) {
    auto fail = [&](Failure::Use use, Failure::Kind kind = Failure::Kind::System) {
        Failure failure = Failure::of(kind, path_).in(use);
        if (kind == Failure::Kind::System) failure.systemError = errno;
        return failure;
    };
    QByteArray content;
    if (const Fault unread = files::readFrom(fd_.get(), -1, &content, nullptr))
        return Failure::system(unread->systemError, path_).in(Failure::Use::RecordRead);
    if (content.isEmpty()) {
        // A new record; the save-file line is for people only.
        content = kHeader + modeLine + "save-file " +
                  QUrl::toPercentEncoding(writer_->savePath(), "/") + "\n" +
                  legacyKeys(legacyPath, modeLine);
        if (!writeAll(fd_.get(), content) || ::fdatasync(fd_.get()) != 0 ||
            files::flushFolder(files::folderOf(path_)))
            return fail(Failure::Use::RecordWrite);
    } else {
        if (!content.startsWith(kHeader + modeLine))
            return fail(Failure::Use::RecordRead, Failure::Kind::Suspicious);
        // A key cut off by a kill was never complete: it goes, and the
        // pending batch records it again.
        const qsizetype lastLineEnd = content.lastIndexOf('\n');
        if (lastLineEnd + 1 < content.size()) {
            if (::ftruncate(fd_.get(), lastLineEnd + 1) != 0)
                return fail(Failure::Use::RecordRepair);
            content.truncate(lastLineEnd + 1);
        }
    }
    for (const QByteArray& key : keyLines(content).split('\n'))
        if (!key.isEmpty()) keys_.insert(key);
    return {};
}

Fault ImportRecord::appendKeys(const std::vector<QByteArray>& keys) {
    QByteArray lines;
    for (const QByteArray& key : keys) lines += key + "\n";
    if (::lseek(fd_.get(), 0, SEEK_END) < 0 || !writeAll(fd_.get(), lines) ||
        ::fdatasync(fd_.get()) != 0)
        return Failure::system(errno, path_).in(Failure::Use::RecordWrite);
    for (const QByteArray& key : keys) keys_.insert(key);
    return {};
}

Fault ImportRecord::finishPending(const saving::Journal& journal, int* finished) {
    saving::JournalBatch batch;
    Failure why;
    switch (journal.read(&batch, &why)) {
        case saving::Journal::Found::Nothing:
            journal.remove();  // none, or cut short: nothing had been appended
            return {};
        case saving::Journal::Found::Refused:
            return why;  // kept for the user to look at; nothing is written
        case saving::Journal::Found::Batch:
            break;
    }
    std::vector<QByteArray> missing;
    for (const QByteArray& key : batch.keys)
        if (!keys_.contains(key)) missing.push_back(key);
    if (!missing.empty()) {
        Fault failure = saving::finishBatch(*writer_, batch);
        if (!failure) failure = appendKeys(missing);
        if (failure) return failure;
        *finished = static_cast<int>(missing.size());
    }
    journal.remove();
    return {};
}

bool ImportRecord::makeReady(const std::vector<IssueBlocks>& issues, BatchResult* result,
                             std::vector<bool>* left) {
    // Every file created (or given its old last line's line end), all
    // flushed together; an issue with a file that refuses is left out whole.
    std::vector<saving::FileBlock> targets;
    std::map<QString, bool> created;
    for (const IssueBlocks& issue : issues) {
        for (const auto& [path, bytes] : issue.files) {
            if (created.count(path)) continue;
            created[path] = files::fileKind(path) == files::FileKind::Missing;
            targets.push_back({path, QByteArray()});
        }
    }
    const std::vector<Fault> ready = writer_->append(targets);
    std::map<QString, Failure> refusedFiles;
    for (size_t t = 0; t < targets.size(); ++t)
        if (ready[t]) refusedFiles.emplace(targets[t].path, *ready[t]);
    left->assign(issues.size(), false);
    for (size_t i = 0; i < issues.size(); ++i) {
        for (const auto& [path, bytes] : issues[i].files) {
            const auto refused = refusedFiles.find(path);
            if (refused == refusedFiles.end()) continue;
            (*left)[i] = true;
            Failure why = refused->second;
            why.path = path;
            result->refused.emplace_back(static_cast<int>(i), why);
            break;
        }
    }
    bool any = false;
    for (size_t i = 0; i < issues.size(); ++i) any = any || !(*left)[i];
    // A file made for an issue that was left out, and still empty, goes again.
    std::map<QString, bool> used;
    for (size_t i = 0; i < issues.size(); ++i)
        if (!(*left)[i])
            for (const auto& [path, bytes] : issues[i].files) used[path] = true;
    for (const auto& [path, made] : created)
        if (made && !refusedFiles.count(path) && !used.count(path)) writer_->removeIfEmpty(path);
    return any;
}

BatchResult ImportRecord::writeBatch(const std::vector<IssueBlocks>& issues) {
    BatchResult result;
    if (!writer_->lock(saving::kBatchPatienceMs)) {
        result.fatal = Failure::of(Failure::Kind::Busy, writer_->savePath());
        return result;
    }
    struct Unlock {
        saving::SaveWriter& writer;
        ~Unlock() { writer.unlock(); }
    } unlock{*writer_};

    std::vector<bool> left;
    if (!makeReady(issues, &result, &left)) return result;
    saving::JournalBatch batch;
    std::map<QString, size_t> fileIndex;
    for (size_t i = 0; i < issues.size(); ++i) {
        if (left[i]) continue;
        batch.keys.push_back(issues[i].key);
        for (const auto& [path, bytes] : issues[i].files) {
            auto [at, added] = fileIndex.try_emplace(path, batch.files.size());
            if (added) batch.files.push_back({writer_->confined(path), 0, {}});
            batch.files[at->second].bytes += bytes;
        }
    }
    // The batch through the journal; then only are its issues imported.
    pendingDone_ = false;
    result.fatal = saving::appendBatch(*writer_, *journal_, &batch);
    if (!result.fatal) result.fatal = appendKeys(batch.keys);
    pendingDone_ = !result.fatal;
    return result;
}

}  // namespace sorimba::mailimport
