// Descriptors, folders, and flushing exactly what an operation wrote.
//
// The order that survives a power cut: a file's content reaches the disk
// before the file takes its name (a rename), and the folder that holds a new
// name is flushed after that, so that the name is found again. Nothing here
// flushes a whole file system (syncfs, sync): that would wait for every
// other program's unwritten data too.

#include "files/durable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <thread>

namespace sorimba::files {

void FileDescriptor::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

namespace {

template <typename Path>
Path folderPart(const Path& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? Path() : path.left(slash + 1);
}

// fsync of a folder given by its path in the file system's bytes.
Fault flushFolderBytes(const QByteArray& folder) {
    const FileDescriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid() || ::fsync(fd.get()) != 0) return Failure::system(errno);
    return {};
}

}  // namespace

QString folderOf(const QString& path) {
    return folderPart(path);
}

QByteArray folderOf(const QByteArray& nativePath) {
    return folderPart(nativePath);
}

bool writeAll(int fd, std::string_view bytes) {
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

Fault flushFolder(const QString& folder) {
    return flushFolderBytes(folder.isEmpty() ? QByteArray(".") : folder.toLocal8Bit());
}

namespace durable {

std::vector<int> flushFiles(const std::vector<Written>& files) {
    // Starting every file's writeback first lets the disk take them in one
    // go; the flushes that follow then mostly find their data written.
    for (const Written& file : files)
        ::sync_file_range(file.fd, file.from, 0, SYNC_FILE_RANGE_WRITE);

    // Each flush asks the disk to empty its write cache, even when the file's
    // metadata is on the disk already; requests that wait together are
    // served by one cache flush. So the flushes run side by side, a few
    // threads taking the files in turn, and many cost about what a few do.
    std::vector<int> errors(files.size(), 0);
    std::atomic<size_t> next{0};
    auto flushInTurn = [&] {
        for (size_t i = next++; i < files.size(); i = next++)
            if (::fdatasync(files[i].fd) != 0) errors[i] = errno;
    };
    std::vector<std::thread> helpers;
    const size_t wanted = std::min(kFlushers, files.size()) - (files.empty() ? 0 : 1);
    for (size_t k = 0; k < wanted; ++k) {
        try {
            helpers.emplace_back(flushInTurn);
        } catch (const std::system_error&) {
            break;  // no more threads: the ones running (and this one) do the rest
        }
    }
    flushInTurn();
    for (std::thread& helper : helpers) helper.join();
    return errors;
}

void FolderFlush::add(const QByteArray& folder, size_t file) {
    folders_[folder.isEmpty() ? QByteArray("./") : folder].push_back(file);
}

void FolderFlush::run(const std::function<void(size_t, int)>& failed) {
    for (const auto& [folder, files] : folders_) {
        const Fault flushed = flushFolderBytes(folder);
        if (flushed)
            for (size_t file : files) failed(file, flushed->systemError);
    }
    folders_.clear();
}

Failure unconfirmed(int error) {
    return {Failure::Kind::Unconfirmed, {}, error, 0, {}, {}};
}

Fault checkWritable(const QByteArray& nativePath, bool* exists, mode_t* mode) {
    struct stat st {};
    *exists = ::stat(nativePath.constData(), &st) == 0;
    *mode = 0;
    if (!*exists) return errno == ENOENT ? Fault{} : Failure::system(errno);
    if (!S_ISREG(st.st_mode)) return Failure::of(Failure::Kind::NotRegular);
    if ((st.st_mode & 0222) == 0) return Failure::of(Failure::Kind::ReadOnly);
    *mode = st.st_mode & 07777;
    return {};
}

int keepOwner(int fd, const QByteArray& replacedFile) {
    if (::geteuid() != 0) return 0;  // only root makes files that others own
    struct stat old {
    }, made{};
    if (::stat(replacedFile.constData(), &old) != 0 || ::fstat(fd, &made) != 0) return 0;
    if (old.st_uid == made.st_uid && old.st_gid == made.st_gid) return 0;
    return ::fchown(fd, old.st_uid, old.st_gid) == 0 ? 0 : errno;
}

QByteArray resolvedTarget(const QByteArray& nativePath) {
    char* real = ::realpath(nativePath.constData(), nullptr);
    if (real == nullptr) return nativePath;
    QByteArray resolved(real);
    std::free(real);
    return resolved;
}

}  // namespace durable
}  // namespace sorimba::files
