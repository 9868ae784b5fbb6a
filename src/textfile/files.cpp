#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

#include "textfile/textfile.h"

namespace sorimba::textfile {

Outcome refused(Refusal why) {
    Outcome outcome{false, {}, why, 0};
    switch (why) {
        case Refusal::NoName:
            outcome.error = QStringLiteral("no file name");
            break;
        case Refusal::NotRegular:
            outcome.error = QStringLiteral("not a regular file");
            break;
        case Refusal::ReadOnly:
            outcome.error = QStringLiteral("the file is read-only");
            break;
        case Refusal::None:
        case Refusal::System:
            outcome.error = QStringLiteral("refused");
            break;
    }
    return outcome;
}

Outcome systemFailure(int error) {
    return Outcome{false, QString::fromLocal8Bit(std::strerror(error)), Refusal::System, error};
}

Outcome failedWith(const QString& why) {
    return Outcome{false, why, Refusal::System, 0};
}

namespace {

QByteArray nativePath(const QString& path) {
    return path.toLocal8Bit();
}

// Checks what stands at a path before it is opened for writing.
Outcome checkWritable(const QString& path, bool* exists) {
    struct stat st {};
    *exists = ::stat(nativePath(path).constData(), &st) == 0;
    if (!*exists) {
        if (errno == ENOENT) return {};
        return systemFailure(errno);
    }
    if (!S_ISREG(st.st_mode)) return refused(Refusal::NotRegular);
    if ((st.st_mode & 0222) == 0) return refused(Refusal::ReadOnly);
    return {};
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

FileKind fileKind(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(nativePath(path).constData(), &st) != 0) return FileKind::Missing;
    return S_ISREG(st.st_mode) ? FileKind::Regular : FileKind::Other;
}

bool isReadOnly(const QString& path) {
    struct stat st {};
    if (::stat(nativePath(path).constData(), &st) != 0) return false;
    return (st.st_mode & 0222) == 0;
}

Outcome readFile(const QString& path, QByteArray* contents) {
    return readFileStart(path, -1, contents, nullptr);
}

Outcome readFileStart(const QString& path, qint64 maxBytes, QByteArray* contents, bool* complete) {
    contents->clear();
    if (complete) *complete = false;
    if (path.isEmpty()) return refused(Refusal::NoName);
    int fd = ::open(nativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return systemFailure(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refused(Refusal::NotRegular);
    }
    Outcome read = readFrom(fd, maxBytes, contents, complete);
    ::close(fd);
    return read;
}

Outcome readFrom(int fd, qint64 maxBytes, QByteArray* contents, bool* complete) {
    contents->clear();
    if (complete) *complete = false;
    const qint64 limit = maxBytes >= 0 ? maxBytes : std::numeric_limits<qsizetype>::max();
    // The bytes go straight into one buffer, sized for the whole file when
    // the size is known; it grows only for pipes and for files that grew.
    struct stat st {};
    const qint64 known = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : 0;
    contents->resize(static_cast<qsizetype>(std::min<qint64>(known, limit)));
    preferLargePages(contents->data(), static_cast<size_t>(contents->size()));
    qsizetype filled = 0;
    bool atEnd = false;
    while (filled < limit) {
        if (filled == contents->size()) {
            const qint64 grown = std::max<qint64>(qint64{filled} * 2, filled + 65536);
            contents->resize(static_cast<qsizetype>(std::min(grown, limit)));
        }
        const ssize_t n =
            ::read(fd, contents->data() + filled, static_cast<size_t>(contents->size() - filled));
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            contents->clear();
            return systemFailure(error);
        }
        if (n == 0) {
            atEnd = true;
            break;
        }
        filled += n;
    }
    contents->resize(filled);
    if (!atEnd) {
        // Exactly maxBytes read: the input is complete when nothing follows.
        char probe;
        ssize_t n;
        do {
            n = ::read(fd, &probe, 1);
        } while (n < 0 && errno == EINTR);
        atEnd = n == 0;
    }
    if (complete) *complete = atEnd;
    return {};
}

void preferLargePages(void* data, size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
    if (bytes < 2 * kLargePage) return;
    // Only whole large pages inside the buffer; the advice never reaches
    // memory outside it.
    const auto start = reinterpret_cast<uintptr_t>(data);
    const uintptr_t from = (start + kLargePage - 1) & ~(kLargePage - 1);
    const uintptr_t to = (start + bytes) & ~(kLargePage - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

Outcome appendToFile(const QString& path, const QByteArray& bytes) {
    if (path.isEmpty()) return refused(Refusal::NoName);
    bool existed = false;
    if (Outcome check = checkWritable(path, &existed); !check.ok) return check;

    const QByteArray native = nativePath(path);
    // O_NONBLOCK: a FIFO put in the file's place meanwhile must not hang us.
    int fd = ::open(native.constData(), O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return systemFailure(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refused(Refusal::NotRegular);
    }
    const off_t oldSize = st.st_size;

    QByteArray data;
    if (oldSize > 0) {
        char tail[2] = {0, 0};
        off_t from = oldSize >= 2 ? oldSize - 2 : 0;
        ssize_t got = ::pread(fd, tail, static_cast<size_t>(oldSize - from), from);
        if (got != oldSize - from) {
            int error = got < 0 ? errno : EIO;
            ::close(fd);
            return systemFailure(error);
        }
        if (!endsWithLineEnd(std::string_view(tail, static_cast<size_t>(got)))) data = "\r\n";
    }
    data += bytes;

    bool written = writeAll(fd, data.constData(), static_cast<size_t>(data.size()));
    int error = written ? 0 : errno;
    if (!written) {
        // Take back what was added, so a failed save changes nothing.
        if (::ftruncate(fd, oldSize) != 0) { /* the old bytes are whole either way */
        }
    }
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        if (!existed && oldSize == 0) ::unlink(native.constData());
        return systemFailure(error);
    }
    return {};
}

Outcome syncFileSystemOf(const QString& path) {
    int fd = ::open(nativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return systemFailure(errno);
    int result = ::syncfs(fd);
    int error = errno;
    ::close(fd);
    return result == 0 ? Outcome{} : systemFailure(error);
}

Outcome replaceFile(const QString& path, const QByteArray& bytes, bool mustExist) {
    if (path.isEmpty()) return refused(Refusal::NoName);
    bool exists = false;
    if (Outcome check = checkWritable(path, &exists); !check.ok) return check;
    if (!exists && mustExist) return systemFailure(ENOENT);

    // Unbuffered: a buffered QSaveFile writes its buffer out at commit() and
    // forgets an error there (a full disk), then renames the empty file into
    // place and reports success. Writing straight through, the error comes
    // back from write() and the old file stays.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failedWith(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        QString why = file.errorString();
        file.cancelWriting();
        return failedWith(why);
    }
    if (!file.commit()) return failedWith(file.errorString());
    return {};
}

}  // namespace sorimba::textfile
