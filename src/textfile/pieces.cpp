// Large files piece by piece: reading without holding the whole file, and an
// atomic replacement whose content is written as it is produced.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSaveFile>
#include <algorithm>
#include <cerrno>
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
    explicit File(const QString& path) : save(path) {}
    QSaveFile save;
    qint64 written = 0;
    qint64 handedOn = 0;  // bytes whose writeback has been started
    bool committed = false;
};

Replacement::Replacement(const QString& path, bool mustExist) {
    if (path.isEmpty()) {
        status_ = refused(Refusal::NoName);
        return;
    }
    switch (fileKind(path)) {
        case FileKind::Missing:
            if (mustExist) {
                status_ = systemFailure(ENOENT);
                return;
            }
            break;
        case FileKind::Other:
            status_ = refused(Refusal::NotRegular);
            return;
        case FileKind::Regular:
            if (isReadOnly(path)) {
                status_ = refused(Refusal::ReadOnly);
                return;
            }
            break;
    }
    file_ = std::make_unique<File>(path);
    if (!file_->save.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        status_ = failedWith(file_->save.errorString());
    }
}

Replacement::~Replacement() {
    if (file_ && !file_->committed) file_->save.cancelWriting();
}

bool Replacement::write(std::string_view bytes) {
    if (!status_.ok) return false;
    if (bytes.empty()) return true;
    const qint64 size = static_cast<qint64>(bytes.size());
    if (file_->save.write(bytes.data(), size) != size) {
        status_ = failedWith(file_->save.errorString());
        file_->save.cancelWriting();
        return false;
    }
    file_->written += size;
    // Large content goes to the disk while the rest is being produced;
    // commit() then waits only for the tail.
    if (file_->written - file_->handedOn >= kWritebackStep) startWriteback();
    return true;
}

void Replacement::startWriteback() {
    // Only a hint to the kernel: failures show up in the flush of commit(),
    // before the file is put in place.
    ::sync_file_range(file_->save.handle(), file_->handedOn, file_->written - file_->handedOn,
                      SYNC_FILE_RANGE_WRITE);
    file_->handedOn = file_->written;
}

Outcome Replacement::commit() {
    if (!status_.ok) return status_;
    if (file_->committed) return failedWith(QStringLiteral("already committed"));
    file_->committed = true;
    if (!file_->save.commit()) status_ = failedWith(file_->save.errorString());
    return status_;
}

}  // namespace sorimba::textfile
