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
#include "saving/mail_words.h"
#include "saving/saving.h"

namespace sorimba::mailimport {
namespace {

const QByteArray kHeader = "sorimba-imported 1\n";

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

QString systemError(int error) {
    return files::systemMessage(error);
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

bool ImportRecord::open(const QString& savePath, bool withTitles, QString* error, int* finished) {
    *finished = 0;
    if (savePath.isEmpty()) {
        *error = QStringLiteral("保存ファイルが決まっていません");
        return false;
    }
    writer_ = std::make_unique<saving::SaveWriter>(savePath, withTitles);
    path_ = recordBeside(writer_->saveFile(), withTitles);
    journal_ = std::make_unique<saving::Journal>(*writer_, path_ + QStringLiteral(".pending"));
    // The record an earlier version kept under the name given, when that
    // name is a link to the save file.
    const QString legacy = recordBeside(writer_->savePath(), withTitles);
    const QByteArray modeLine = withTitles ? "mode titles\n" : "mode plain\n";
    if (!openFile(error) || !readKeys(modeLine, legacy == path_ ? QString() : legacy, error)) {
        fd_.reset();
        return false;
    }
    // Batches an interrupted run left, under the save file's lock.
    if (!writer_->lock(saving::kBatchPatienceMs)) {
        *error = savePath + QStringLiteral(": ") + saving::kBusy;
        fd_.reset();
        return false;
    }
    bool ok = finishPending(*journal_, error, finished);
    if (ok && legacy != path_) {
        int more = 0;
        ok = finishPending(saving::Journal(*writer_, legacy + QStringLiteral(".pending")), error,
                           &more);
        *finished += more;
    }
    writer_->unlock();
    if (!ok) fd_.reset();
    return ok;
}

bool ImportRecord::openFile(QString* error) {
    auto fail = [&](const QString& why) {
        *error = path_ + QStringLiteral(": ") + why;
        return false;
    };
    // Never through a link: a link planted in its place is refused, and its
    // target neither created nor written.
    fd_.reset(::open(native(path_).constData(),
                     O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!fd_.valid() && errno == ELOOP)
        return fail(
            QStringLiteral("取り込みの記録の名前にシンボリックリンクが置かれているので、"
                           "使いません（確かめてから消してください）"));
    if (!fd_.valid())
        return fail(QStringLiteral("取り込みの記録を開けません（%1）").arg(systemError(errno)));
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail(QStringLiteral("取り込みの記録が通常のファイルではありません"));
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return fail(QStringLiteral("同じ保存ファイルへの取り込みがほかで実行中です"));
    return true;
}

bool ImportRecord::readKeys(const QByteArray& modeLine, const QString& legacyPath, QString* error) {
    auto fail = [&](const QString& why) {
        *error = path_ + QStringLiteral(": ") + why;
        return false;
    };
    QByteArray content;
    if (files::readFrom(fd_.get(), -1, &content, nullptr))
        return fail(QStringLiteral("取り込みの記録を読めません"));
    if (content.isEmpty()) {
        // A new record; the save-file line is for people only.
        content = kHeader + modeLine + "save-file " +
                  QUrl::toPercentEncoding(writer_->savePath(), "/") + "\n" +
                  legacyKeys(legacyPath, modeLine);
        if (!writeAll(fd_.get(), content) || ::fdatasync(fd_.get()) != 0 ||
            files::flushFolder(files::folderOf(path_)))
            return fail(QStringLiteral("取り込みの記録を書けません（%1）").arg(systemError(errno)));
    } else {
        if (!content.startsWith(kHeader + modeLine))
            return fail(QStringLiteral("取り込みの記録ではないか、形式が違います"));
        // A key cut off by a kill was never complete: it goes, and the
        // pending batch records it again.
        const qsizetype lastLineEnd = content.lastIndexOf('\n');
        if (lastLineEnd + 1 < content.size()) {
            if (::ftruncate(fd_.get(), lastLineEnd + 1) != 0)
                return fail(
                    QStringLiteral("取り込みの記録を直せません（%1）").arg(systemError(errno)));
            content.truncate(lastLineEnd + 1);
        }
    }
    for (const QByteArray& key : keyLines(content).split('\n'))
        if (!key.isEmpty()) keys_.insert(key);
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

bool ImportRecord::finishPending(const saving::Journal& journal, QString* error, int* finished) {
    saving::JournalBatch batch;
    QString why;
    switch (journal.read(&batch, &why)) {
        case saving::Journal::Found::Nothing:
            journal.remove();  // none, or cut short: nothing had been appended
            return true;
        case saving::Journal::Found::Refused:
            // Kept for the user to look at; nothing is written.
            *error = journal.path() + QStringLiteral(
                                          ": 前回中断された取り込みの記録を使いません（%1）。"
                                          "確かめてから消してください")
                                          .arg(why);
            return false;
        case saving::Journal::Found::Batch:
            break;
    }
    std::vector<QByteArray> missing;
    for (const QByteArray& key : batch.keys)
        if (!keys_.contains(key)) missing.push_back(key);
    if (!missing.empty()) {
        if (!saving::finishBatch(*writer_, batch, error) || !appendKeys(missing, error))
            return false;
        *finished = static_cast<int>(missing.size());
    }
    journal.remove();
    return true;
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
    std::map<QString, QString> refusedFiles;
    for (size_t t = 0; t < targets.size(); ++t)
        if (ready[t]) refusedFiles[targets[t].path] = saving::failureInWords(ready[t]);
    left->assign(issues.size(), false);
    for (size_t i = 0; i < issues.size(); ++i) {
        for (const auto& [path, bytes] : issues[i].files) {
            const auto refused = refusedFiles.find(path);
            if (refused == refusedFiles.end()) continue;
            (*left)[i] = true;
            result->refused.emplace_back(
                static_cast<int>(i),
                path + QStringLiteral("（") + refused->second + QStringLiteral("）"));
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
        result.fatal = writer_->savePath() + QStringLiteral(": ") + saving::kBusy;
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
    if (!saving::appendBatch(*writer_, *journal_, &batch, &result.fatal)) return result;
    QString error;
    if (!appendKeys(batch.keys, &error))
        result.fatal = error;
    else
        pendingDone_ = true;
    return result;
}

}  // namespace sorimba::mailimport
