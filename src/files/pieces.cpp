// Large files piece by piece: reading without holding the whole file, and an
// atomic replacement whose content is written as it is produced.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "files/durable.h"
#include "files/files.h"

namespace sorimba::files {
namespace {

// Writeback is started after every this many bytes.
constexpr qint64 kWritebackStep = qint64{8} << 20;

}  // namespace

Fault readInPieces(const QString& path, const std::function<void(std::string_view)>& consume,
                   size_t pieceSize) {
    if (path.isEmpty()) return Failure::of(Failure::Kind::NoName);
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const FileDescriptor fd(
        ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return Failure::system(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return Failure::of(Failure::Kind::NotRegular);
    // A small file gets a small buffer; one more byte sees the end at once.
    pieceSize = std::max<size_t>(pieceSize, 1);
    const size_t size =
        std::min(pieceSize, static_cast<size_t>(std::max<off_t>(st.st_size, 0)) + 1);
    std::unique_ptr<char[]> buffer(new char[size]);
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer.get(), size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Failure::system(errno);
        }
        if (n == 0) break;
        consume(std::string_view(buffer.get(), static_cast<size_t>(n)));
    }
    return {};
}

struct Replacement::File {
    QByteArray target;  // the file that gets the content (links followed)
    QByteArray temp;    // the new content, beside it, until it takes its place
    FileDescriptor fd;
    qint64 written = 0;
    qint64 handedOn = 0;  // bytes whose writeback has been started
    bool placed = false;

    void discard() {
        fd.reset();
        if (!temp.isEmpty() && !placed) ::unlink(temp.constData());
        temp.clear();
    }
};

namespace {

mode_t creationMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

Replacement::Replacement(const QString& path, bool mustExist) {
    if (path.isEmpty()) {
        status_ = Failure::of(Failure::Kind::NoName);
        return;
    }
    const QByteArray native = path.toLocal8Bit();
    bool exists = false;
    mode_t mode = 0;
    if (Fault check = durable::checkWritable(native, &exists, &mode); check) {
        status_ = check;
        return;
    }
    if (!exists) {
        if (mustExist) {
            status_ = Failure::system(ENOENT);
            return;
        }
        mode = creationMode();
    }
    file_ = std::make_unique<File>();
    file_->target = durable::resolvedTarget(native);
    QByteArray temp = file_->target + ".XXXXXX";
    file_->fd.reset(::mkostemp(temp.data(), O_CLOEXEC));
    if (!file_->fd.valid()) {
        status_ = Failure::system(errno);
        return;
    }
    file_->temp = temp;
    // The new content keeps the owner (when run as root) and the
    // permissions of the old; fchown first, as it may clear set-id bits.
    if (const int error = exists ? durable::keepOwner(file_->fd.get(), file_->target) : 0)
        fail(error);
    else if (::fchmod(file_->fd.get(), mode) != 0)
        fail(errno);
}

Replacement::~Replacement() {
    if (file_) file_->discard();
}

void Replacement::fail(int error) {
    status_ = Failure::system(error);
    file_->discard();
}

bool Replacement::write(std::string_view bytes) {
    if (status_) return false;
    if (!file_->fd.valid()) {
        status_ = Failure::system(EALREADY);
        return false;
    }
    if (!writeAll(file_->fd.get(), bytes)) {
        fail(errno);
        return false;
    }
    file_->written += static_cast<qint64>(bytes.size());
    // Large content goes to the disk while the rest is being produced, so
    // the flush before the file takes its place waits only for the tail.
    if (file_->written - file_->handedOn >= kWritebackStep) {
        ::sync_file_range(file_->fd.get(), file_->handedOn, file_->written - file_->handedOn,
                          SYNC_FILE_RANGE_WRITE);
        file_->handedOn = file_->written;
    }
    return true;
}

bool Replacement::settle(int flushError) {
    if (flushError != 0) {
        fail(flushError);
        return false;
    }
    // The content is on the disk: closing cannot lose any of it now.
    file_->fd.reset();
    return true;
}

bool Replacement::place() {
    if (::rename(file_->temp.constData(), file_->target.constData()) != 0) {
        fail(errno);
        return false;
    }
    file_->placed = true;
    return true;
}

Fault Replacement::commit() {
    ReplacementSet one;
    one.add(*this);
    return one.commit()[0];
}

ReplacementSet::ReplacementSet() = default;

// Replacements never placed are discarded by their own destructors.
ReplacementSet::~ReplacementSet() = default;

void ReplacementSet::add(std::unique_ptr<Replacement> replacement) {
    add(*replacement);
    owned_.push_back(std::move(replacement));
}

void ReplacementSet::add(Replacement& replacement) {
    const size_t index = outcomes_.size();
    outcomes_.push_back(replacement.status());
    if (replacement.status()) return;
    if (!replacement.file_->fd.valid()) {
        outcomes_.back() = Failure::system(EALREADY);
        return;
    }
    waiting_.push_back({&replacement, index});
    if (waiting_.size() == durable::kFilesPerGroup) flushWaiting();
}

void ReplacementSet::flushWaiting() {
    std::vector<durable::Written> written;
    written.reserve(waiting_.size());
    for (const Entry& entry : waiting_) written.push_back({entry.replacement->file_->fd.get(), 0});
    const std::vector<int> errors = durable::flushFiles(written);
    for (size_t k = 0; k < waiting_.size(); ++k) {
        if (waiting_[k].replacement->settle(errors[k])) {
            flushed_.push_back(waiting_[k]);
        } else {
            outcomes_[waiting_[k].index] = waiting_[k].replacement->status();
        }
    }
    waiting_.clear();
}

std::vector<Fault> ReplacementSet::commit() {
    flushWaiting();
    // Every new content is on the disk: now they take their places, and
    // each folder that got a new name is flushed once.
    durable::FolderFlush folders;
    for (const Entry& entry : flushed_) {
        Replacement& replacement = *entry.replacement;
        if (replacement.place()) folders.add(folderOf(replacement.file_->target), entry.index);
        outcomes_[entry.index] = replacement.status();
    }
    flushed_.clear();
    folders.run(
        [this](size_t index, int error) { outcomes_[index] = durable::unconfirmed(error); });
    owned_.clear();
    return std::exchange(outcomes_, {});
}

}  // namespace sorimba::files
