#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

#include "textfile/durable.h"
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
        case Refusal::Unconfirmed:
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
    const FileDescriptor fd(
        ::open(nativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return systemFailure(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return refused(Refusal::NotRegular);
    return readFrom(fd.get(), maxBytes, contents, complete);
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
            contents->clear();
            return systemFailure(errno);
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

namespace {

// One file of appendToFiles, written and waiting for its flush.
struct OpenAppend {
    size_t index = 0;  // in the list of appends
    FileDescriptor fd;
    QByteArray native;
    off_t oldSize = 0;
    bool created = false;

    // Takes back what was added, so a failed append changes nothing.
    void takeBack() {
        if (::ftruncate(fd.get(), oldSize) != 0) { /* the old bytes are whole either way */
        }
        if (created) ::unlink(native.constData());
    }
};

// Writes one append; on success *open holds the file, waiting for its flush.
Outcome writeAppend(const Append& append, OpenAppend* open) {
    if (append.path.isEmpty()) return refused(Refusal::NoName);
    open->native = nativePath(append.path);
    bool existed = false;
    mode_t mode = 0;
    if (Outcome check = durable::checkWritable(open->native, &existed, &mode); !check.ok)
        return check;

    // O_NONBLOCK: a FIFO put in the file's place meanwhile must not hang us.
    open->fd.reset(::open(open->native.constData(),
                          O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!open->fd.valid()) return systemFailure(errno);
    struct stat st {};
    if (::fstat(open->fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return refused(Refusal::NotRegular);
    open->oldSize = st.st_size;
    open->created = !existed && st.st_size == 0;

    QByteArray data;
    if (open->oldSize > 0) {
        char tail[2] = {0, 0};
        const off_t from = open->oldSize >= 2 ? open->oldSize - 2 : 0;
        const ssize_t got =
            ::pread(open->fd.get(), tail, static_cast<size_t>(open->oldSize - from), from);
        if (got != open->oldSize - from) return systemFailure(got < 0 ? errno : EIO);
        if (!endsWithLineEnd(std::string_view(tail, static_cast<size_t>(got)))) data = "\r\n";
    }
    data += append.bytes;

    if (!writeAll(open->fd.get(),
                  std::string_view(data.constData(), static_cast<size_t>(data.size())))) {
        const int error = errno;
        open->takeBack();
        return systemFailure(error);
    }
    return {};
}

}  // namespace

std::vector<Outcome> appendToFiles(const std::vector<Append>& appends) {
    std::vector<Outcome> outcomes(appends.size());
    durable::FolderFlush folders;
    std::vector<OpenAppend> group;

    // Flushes the files written so far; a file whose flush failed is taken
    // back. A created file's folder is flushed at the end, once.
    auto flushGroup = [&] {
        std::vector<durable::Written> written;
        written.reserve(group.size());
        for (const OpenAppend& file : group) written.push_back({file.fd.get(), file.oldSize});
        const std::vector<int> errors = durable::flushFiles(written);
        for (size_t k = 0; k < group.size(); ++k) {
            OpenAppend& file = group[k];
            if (errors[k] != 0) {
                file.takeBack();
                outcomes[file.index] = systemFailure(errors[k]);
            } else if (file.created) {
                folders.add(folderOf(durable::resolvedTarget(file.native)), file.index);
            }
        }
        group.clear();
    };

    for (size_t i = 0; i < appends.size(); ++i) {
        OpenAppend file;
        file.index = i;
        outcomes[i] = writeAppend(appends[i], &file);
        if (!outcomes[i].ok) continue;
        group.push_back(std::move(file));
        if (group.size() == durable::kFilesPerGroup) flushGroup();
    }
    flushGroup();
    folders.run([&](size_t file, int error) { outcomes[file] = durable::unconfirmed(error); });
    return outcomes;
}

Outcome appendToFile(const QString& path, const QByteArray& bytes) {
    return appendToFiles({Append{path, bytes}})[0];
}

Outcome replaceFile(const QString& path, const QByteArray& bytes, bool mustExist) {
    Replacement replacement(path, mustExist);
    replacement.write(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    return replacement.commit();
}

}  // namespace sorimba::textfile
