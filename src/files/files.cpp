#include "files/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

#include "encoding/encoding.h"
#include "files/durable.h"

namespace sorimba::files {

namespace {

// Asks the system to back a large buffer about to be filled once with large
// pages (2 MiB): touching many 4 KiB pages for the first time costs
// microseconds each on some (virtual) machines. Small buffers are left
// alone; the advice only ever changes speed.
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

QByteArray nativePath(const QString& path) {
    return path.toLocal8Bit();
}

}  // namespace

QString systemMessage(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

FileKind fileKind(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(nativePath(path).constData(), &st) != 0) return FileKind::Missing;
    return S_ISREG(st.st_mode) ? FileKind::Regular : FileKind::Other;
}

Fault readFile(const QString& path, QByteArray* contents) {
    return readFileStart(path, -1, contents, nullptr);
}

Fault readFileStart(const QString& path, qint64 maxBytes, QByteArray* contents, bool* complete) {
    contents->clear();
    if (complete) *complete = false;
    if (path.isEmpty()) return Failure::of(Failure::Kind::NoName);
    const FileDescriptor fd(
        ::open(nativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return Failure::system(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return Failure::of(Failure::Kind::NotRegular);
    return readFrom(fd.get(), maxBytes, contents, complete);
}

Fault readFrom(int fd, qint64 maxBytes, QByteArray* contents, bool* complete) {
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
            contents->clear();
            return Failure::system(errno);
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

namespace {

// Whether the file open at fd ends with a first part of `bytes` put at
// `from`, and nothing after it: the bytes there are this writer's own.
bool endsWithOwn(int fd, qint64 from, const QByteArray& bytes, qint64* size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    *size = st.st_size;
    if (from < 0 || st.st_size < from || st.st_size > from + bytes.size()) return false;
    const qint64 length = st.st_size - from;
    QByteArray there(static_cast<qsizetype>(length), Qt::Uninitialized);
    qint64 got = 0;
    while (got < length) {
        const ssize_t n = ::pread(fd, there.data() + got, static_cast<size_t>(length - got),
                                  static_cast<off_t>(from + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += n;
    }
    return std::memcmp(there.constData(), bytes.constData(), static_cast<size_t>(length)) == 0;
}

// Cuts the file open at fd back to `from` when it ends with its own bytes
// (see endsWithOwn), flushed, so they do not come back after a power cut; a
// file created for them goes when it is empty again. False when another
// program added to the file: then it stays as it is.
bool takeBackOwn(int fd, const QByteArray& native, const Appended& appended, bool created) {
    qint64 size = 0;
    if (!endsWithOwn(fd, appended.from, appended.bytes, &size)) return false;
    if (size > appended.from &&
        (::ftruncate(fd, static_cast<off_t>(appended.from)) != 0 || ::fdatasync(fd) != 0))
        return true;  // the old bytes are whole either way
    struct stat atName {
    }, open{};
    if (created && appended.from == 0 && ::lstat(native.constData(), &atName) == 0 &&
        ::fstat(fd, &open) == 0 && atName.st_ino == open.st_ino && atName.st_dev == open.st_dev)
        ::unlink(native.constData());
    return true;
}

// One file of appendToFiles, written and waiting for its flush.
struct OpenAppend {
    size_t index = 0;  // in the list of appends
    FileDescriptor fd;
    QByteArray native;
    Appended written;
    bool created = false;

    // Takes back what was added, so a failed append changes nothing; false
    // when another program added to the file since.
    bool takeBack() { return takeBackOwn(fd.get(), native, written, created); }
};

// A failed append whose bytes could not be taken back.
Failure partialFailure(int error) {
    Failure failure = Failure::system(error);
    failure.kind = Failure::Kind::PartialEntry;
    return failure;
}

// What goes before the new bytes: CR LF when the old content's last line
// has no line end.
Fault lineEndBefore(int fd, off_t oldSize, QByteArray* data) {
    if (oldSize == 0) return {};
    char tail[2] = {0, 0};
    const off_t from = oldSize >= 2 ? oldSize - 2 : 0;
    const ssize_t got = ::pread(fd, tail, static_cast<size_t>(oldSize - from), from);
    if (got != oldSize - from) return Failure::system(got < 0 ? errno : EIO);
    if (!encoding::endsWithLineEnd(std::string_view(tail, static_cast<size_t>(got))))
        *data = "\r\n";
    return {};
}

// Writes one append; on success *open holds the file, waiting for its flush.
Fault writeAppend(const Append& append, OpenAppend* open) {
    if (append.path.isEmpty()) return Failure::of(Failure::Kind::NoName);
    open->native = nativePath(append.path);
    bool existed = false;
    mode_t mode = 0;
    if (Fault check = durable::checkWritable(open->native, &existed, &mode); check) return check;

    // O_NONBLOCK: a FIFO put in the file's place meanwhile must not hang us.
    open->fd.reset(::open(open->native.constData(),
                          O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!open->fd.valid()) return Failure::system(errno);
    struct stat st {};
    if (::fstat(open->fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return Failure::of(Failure::Kind::NotRegular);
    open->created = !existed && st.st_size == 0;

    QByteArray& data = open->written.bytes;
    if (!append.asIs)
        if (Fault before = lineEndBefore(open->fd.get(), st.st_size, &data); before) return before;
    data += append.bytes;
    open->written.from = st.st_size;

    const bool ok = writeAll(open->fd.get(),
                             std::string_view(data.constData(), static_cast<size_t>(data.size())));
    const int error = errno;
    // Where the bytes really went: at the end as it was when they were
    // written, which another program may have moved since the fstat.
    const off_t end = ::lseek(open->fd.get(), 0, SEEK_CUR);
    if (ok && end >= data.size()) open->written.from = end - data.size();
    if (!ok) return open->takeBack() ? Failure::system(error) : partialFailure(error);
    return {};
}

}  // namespace

std::vector<Fault> appendToFiles(const std::vector<Append>& appends, std::vector<Appended>* where) {
    std::vector<Fault> outcomes(appends.size());
    if (where) where->assign(appends.size(), Appended{});
    durable::FolderFlush folders;
    std::vector<OpenAppend> group;

    // Flushes the files written so far; a file whose flush failed is taken
    // back. A created file's folder is flushed at the end, once.
    auto flushGroup = [&] {
        std::vector<durable::Written> written;
        written.reserve(group.size());
        for (const OpenAppend& file : group)
            written.push_back({file.fd.get(), static_cast<off_t>(file.written.from)});
        const std::vector<int> errors = durable::flushFiles(written);
        for (size_t k = 0; k < group.size(); ++k) {
            OpenAppend& file = group[k];
            if (errors[k] != 0) {
                outcomes[file.index] =
                    file.takeBack() ? Failure::system(errors[k]) : partialFailure(errors[k]);
                continue;
            }
            if (where) (*where)[file.index] = std::move(file.written);
            if (file.created)
                folders.add(folderOf(durable::resolvedTarget(file.native)), file.index);
        }
        group.clear();
    };

    for (size_t i = 0; i < appends.size(); ++i) {
        OpenAppend file;
        file.index = i;
        outcomes[i] = writeAppend(appends[i], &file);
        if (outcomes[i]) continue;
        group.push_back(std::move(file));
        if (group.size() == durable::kFilesPerGroup) flushGroup();
    }
    flushGroup();
    folders.run([&](size_t file, int error) { outcomes[file] = durable::unconfirmed(error); });
    return outcomes;
}

Fault appendToFile(const QString& path, const QByteArray& bytes) {
    return appendToFiles({Append{path, bytes}})[0];
}

Fault takeBack(const QString& path, const Appended& appended, bool created) {
    if (appended.from < 0) return {};
    const QByteArray native = nativePath(path);
    const FileDescriptor fd(::open(native.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return Failure::system(errno);
    if (takeBackOwn(fd.get(), native, appended, created)) return {};
    return partialFailure(0);
}

FolderLock::State FolderLock::take(const QString& folder, int patienceMs,
                                   const std::function<void()>& whileWaiting) {
    fd_.reset(::open(nativePath(folder.isEmpty() ? QStringLiteral(".") : folder).constData(),
                     O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd_.valid()) return State::Unavailable;
    constexpr int kStepMs = 5;
    for (int waited = 0;; waited += kStepMs) {
        if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) return State::Held;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK || waited >= patienceMs) {
            const bool busy = errno == EWOULDBLOCK;
            fd_.reset();
            return busy ? State::Busy : State::Unavailable;  // ENOLCK and the like: no locks here
        }
        if (whileWaiting) whileWaiting();
        ::usleep(kStepMs * 1000);
    }
}

Fault replaceFile(const QString& path, const QByteArray& bytes, bool mustExist) {
    Replacement replacement(path, mustExist);
    replacement.write(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    return replacement.commit();
}

}  // namespace sorimba::files
