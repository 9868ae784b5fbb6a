// Large files piece by piece: reading without holding the whole file, and an
// atomic replacement whose content is written as it is produced.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "textfile/textfile.h"

namespace sorimba::textfile {
namespace {

// Writeback is started after every this many bytes.
constexpr qint64 kWritebackStep = qint64{8} << 20;

}  // namespace

Outcome readInPieces(const QString& path, const std::function<void(std::string_view)>& consume,
                     size_t pieceSize) {
    if (path.isEmpty()) return refused(Refusal::NoName);
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return systemFailure(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refused(Refusal::NotRegular);
    }
    // A small file gets a small buffer; one more byte sees the end at once.
    pieceSize = std::max<size_t>(pieceSize, 1);
    const size_t size =
        std::min(pieceSize, static_cast<size_t>(std::max<off_t>(st.st_size, 0)) + 1);
    std::unique_ptr<char[]> buffer(new char[size]);
    for (;;) {
        ssize_t n = ::read(fd, buffer.get(), size);
        if (n < 0) {
            if (errno == EINTR) continue;
            int error = errno;
            ::close(fd);
            return systemFailure(error);
        }
        if (n == 0) break;
        consume(std::string_view(buffer.get(), static_cast<size_t>(n)));
    }
    ::close(fd);
    return {};
}

struct Replacement::File {
    QByteArray target;  // the file that gets the content (links followed)
    QByteArray temp;    // the new content, beside it, until it takes its place
    int fd = -1;
    qint64 written = 0;
    qint64 handedOn = 0;  // bytes whose writeback has been started
    bool placed = false;

    void discard() {
        if (fd >= 0) ::close(fd);
        fd = -1;
        if (!temp.isEmpty() && !placed) ::unlink(temp.constData());
        temp.clear();
    }
};

namespace {

// The file a path leads to: symbolic links are followed, so a link stays a
// link and its target gets the new content. A missing file is its own path.
QByteArray resolvedTarget(const QByteArray& path) {
    char* real = ::realpath(path.constData(), nullptr);
    if (real == nullptr) return path;
    QByteArray resolved(real);
    std::free(real);
    return resolved;
}

mode_t creationMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

Replacement::Replacement(const QString& path, bool mustExist) {
    if (path.isEmpty()) {
        status_ = refused(Refusal::NoName);
        return;
    }
    mode_t mode = 0;
    switch (fileKind(path)) {
        case FileKind::Missing:
            if (mustExist) {
                status_ = systemFailure(ENOENT);
                return;
            }
            mode = creationMode();
            break;
        case FileKind::Other:
            status_ = refused(Refusal::NotRegular);
            return;
        case FileKind::Regular: {
            if (isReadOnly(path)) {
                status_ = refused(Refusal::ReadOnly);
                return;
            }
            struct stat st {};
            if (::stat(path.toLocal8Bit().constData(), &st) != 0) {
                status_ = systemFailure(errno);
                return;
            }
            mode = st.st_mode & 07777;
            break;
        }
    }
    file_ = std::make_unique<File>();
    file_->target = resolvedTarget(path.toLocal8Bit());
    QByteArray temp = file_->target + ".XXXXXX";
    file_->fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (file_->fd < 0) {
        status_ = systemFailure(errno);
        return;
    }
    file_->temp = temp;
    // The new content keeps the permissions of the old.
    if (::fchmod(file_->fd, mode) != 0) fail(errno);
}

Replacement::~Replacement() {
    if (file_) file_->discard();
}

void Replacement::fail(int error) {
    status_ = systemFailure(error);
    file_->discard();
}

bool Replacement::write(std::string_view bytes) {
    if (!status_.ok) return false;
    if (file_->fd < 0) {
        status_ = failedWith(QStringLiteral("already finished"));
        return false;
    }
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(file_->fd, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
            return false;
        }
        data += n;
        left -= static_cast<size_t>(n);
        file_->written += n;
    }
    // Large content goes to the disk while the rest is being produced, so
    // the flush before the file takes its place waits only for the tail.
    if (file_->written - file_->handedOn >= kWritebackStep) {
        ::sync_file_range(file_->fd, file_->handedOn, file_->written - file_->handedOn,
                          SYNC_FILE_RANGE_WRITE);
        file_->handedOn = file_->written;
    }
    return true;
}

Outcome Replacement::finish(bool flush) {
    if (!status_.ok) return status_;
    if (file_->fd < 0) return status_;
    if (flush && ::fdatasync(file_->fd) != 0) {
        fail(errno);
        return status_;
    }
    if (::close(file_->fd) != 0) {
        file_->fd = -1;
        fail(errno);
        return status_;
    }
    file_->fd = -1;
    return status_;
}

Outcome Replacement::place() {
    if (!status_.ok) return status_;
    if (file_->fd >= 0 || file_->placed) {
        status_ = failedWith(QStringLiteral("not finished, or placed already"));
        return status_;
    }
    if (::rename(file_->temp.constData(), file_->target.constData()) != 0) {
        fail(errno);
        return status_;
    }
    file_->placed = true;
    return status_;
}

Outcome Replacement::commit() {
    if (Outcome done = finish(/*flush=*/true); !done.ok) return done;
    return place();
}

}  // namespace sorimba::textfile
