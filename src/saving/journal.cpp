#include "saving/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QStringList>
#include <QUrl>
#include <cerrno>
#include <optional>

namespace sorimba::saving {
namespace {

const QByteArray kHeaderV1 = "sorimba-import-pending 1\n";
const QByteArray kHeaderV2 = "sorimba-import-pending 2\n";

// A journal holds one batch (at most about 16 MB of issues); anything far
// larger is no journal of ours.
constexpr qint64 kLargestJournal = qint64{256} << 20;

QByteArray native(const QString& path) {
    return path.toLocal8Bit();
}

QByteArray hash(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

qint64 sizeOf(const QString& path) {
    struct stat st {};
    return ::stat(native(path).constData(), &st) == 0 ? st.st_size : -1;
}

// The bytes of a file from `offset`, at most `length`.
QByteArray readAt(const QString& path, qint64 offset, qint64 length) {
    QByteArray bytes;
    const files::FileDescriptor fd(
        ::open(native(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid() || length <= 0) return bytes;
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

QByteArray serialise(const JournalBatch& batch, const QString& folder) {
    QByteArray out = kHeaderV2;
    for (const QByteArray& key : batch.keys) out += "key " + key + "\n";
    for (const JournalFile& file : batch.files) {
        const QString name = file.path.mid(folder.size());
        out += "file " + QByteArray::number(file.sizeBefore) + " " +
               QByteArray::number(file.bytes.size()) + " " + QUrl::toPercentEncoding(name) + "\n";
        out += file.bytes + "\n";
    }
    return out + "end " + hash(out) + "\n";
}

// The file a journal names, as the writer writes it; empty when it is not
// one the writer may write. Version 2 names a file of the save folder;
// version 1 a path, which must lead to the save file or into its folder.
// A name of the save file's folder that is a link to the save file (the
// name an earlier run was given) names the save file too.
QString fileNamed(const SaveWriter& writer, const QString& name, bool version1) {
    if (!version1 && (name.isEmpty() || name.contains(QLatin1Char('/')))) return {};
    const QString absolute = version1 ? absoluteSavePath(name) : writer.folder() + name;
    if (!writer.perTitle() && resolvedSaveFile(absolute) == writer.saveFile())
        return writer.savePath();
    return writer.confined(absolute);
}

enum class Parsed { Whole, CutShort, Foreign };

// One "file" line and its bytes, from `at` in `body`.
Parsed parseFile(const SaveWriter& writer, const QByteArray& line, const QByteArray& body,
                 bool version1, qsizetype* at, JournalFile* file) {
    const QList<QByteArray> fields = line.split(' ');
    if (fields.size() != 3) return Parsed::CutShort;
    bool sizeOk = false, lengthOk = false;
    file->sizeBefore = fields[0].toLongLong(&sizeOk);
    const qint64 length = fields[1].toLongLong(&lengthOk);
    if (!sizeOk || !lengthOk || file->sizeBefore < 0 || length < 0 || *at + length >= body.size())
        return Parsed::CutShort;
    const QString name = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[2]));
    file->path = fileNamed(writer, name, version1);
    if (file->path.isEmpty()) return Parsed::Foreign;
    file->bytes = body.mid(*at, length);
    *at += length + 1;
    return Parsed::Whole;
}

Parsed parse(const SaveWriter& writer, const QByteArray& bytes, JournalBatch* batch) {
    const bool version1 = bytes.startsWith(kHeaderV1);
    const qsizetype endAt = bytes.lastIndexOf("end ");
    if ((!version1 && !bytes.startsWith(kHeaderV2)) || endAt < 0 || !bytes.endsWith('\n'))
        return Parsed::CutShort;
    const QByteArray body = bytes.left(endAt);
    if (bytes.mid(endAt + 4).trimmed() != hash(body)) return Parsed::CutShort;
    qsizetype at = kHeaderV2.size();
    while (at < body.size()) {
        const qsizetype lf = body.indexOf('\n', at);
        if (lf < 0) return Parsed::CutShort;
        const QByteArray line = body.mid(at, lf - at);
        at = lf + 1;
        if (line.startsWith("key ")) {
            batch->keys.push_back(line.mid(4));
        } else if (line.startsWith("file ")) {
            JournalFile file;
            const Parsed parsed = parseFile(writer, line.mid(5), body, version1, &at, &file);
            if (parsed != Parsed::Whole) return parsed;
            batch->files.push_back(std::move(file));
        } else {
            return Parsed::CutShort;
        }
    }
    return Parsed::Whole;
}

mode_t creationMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// What one file of an interrupted batch still needs: nothing, the rest of
// its bytes as they are, or all of them at the end.
enum class Missing { Nothing, Rest, All };

Missing missingOf(const JournalFile& file, qint64* present) {
    const qint64 size = sizeOf(file.path);
    const qint64 wanted = file.sizeBefore + file.bytes.size();
    *present = 0;
    if (size < file.sizeBefore) return Missing::All;
    *present = std::min(size, wanted) - file.sizeBefore;
    if (readAt(file.path, file.sizeBefore, *present) != file.bytes.left(*present))
        return Missing::All;
    if (*present == file.bytes.size()) return Missing::Nothing;
    return size == file.sizeBefore + *present ? Missing::Rest : Missing::All;
}

// Waits until a file's content is on the disk.
bool flushFile(const QString& path) {
    const files::FileDescriptor fd(
        ::open(native(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    return fd.valid() && ::fdatasync(fd.get()) == 0;
}

}  // namespace

Journal::Found Journal::read(JournalBatch* batch, Failure* why) const {
    *batch = {};
    // Never through a link: a link in its place is refused, its target untouched.
    const files::FileDescriptor fd(
        ::open(native(path_).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid() && errno == ENOENT) return Found::Nothing;
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > kLargestJournal) {
        *why = Failure::of(Failure::Kind::NotRegular, path_).in(Failure::Use::JournalRead);
        return Found::Refused;
    }
    QByteArray bytes;
    if (const Fault unread = files::readFrom(fd.get(), kLargestJournal, &bytes, nullptr)) {
        *why = Failure::system(unread->systemError, path_).in(Failure::Use::JournalRead);
        return Found::Refused;
    }
    switch (parse(writer_, bytes, batch)) {
        case Parsed::Whole:
            return Found::Batch;
        case Parsed::CutShort:
            *batch = {};
            return Found::Nothing;
        case Parsed::Foreign:
            break;
    }
    *batch = {};
    *why = Failure::of(Failure::Kind::NotConfined, path_).in(Failure::Use::JournalRead);
    return Found::Refused;
}

Fault Journal::write(const JournalBatch& batch) const {
    // A new file takes the journal's name, so nothing planted under that
    // name (a link, a hard link to another file) is ever written through.
    const QByteArray target = native(path_);
    QByteArray temp = target + ".XXXXXX";
    files::FileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.valid()) return Failure::system(errno);
    const QByteArray bytes = serialise(batch, writer_.folder());
    const bool ok =
        ::fchmod(fd.get(), creationMode()) == 0 &&
        files::writeAll(fd.get(),
                        std::string_view(bytes.constData(), static_cast<size_t>(bytes.size()))) &&
        ::fdatasync(fd.get()) == 0 && ::rename(temp.constData(), target.constData()) == 0;
    const int error = errno;
    fd.reset();
    if (!ok) {
        ::unlink(temp.constData());
        return Failure::system(error);
    }
    return files::flushFolder(files::folderOf(path_));
}

void Journal::remove() const {
    ::unlink(native(path_).constData());
}

Fault appendBatch(SaveWriter& writer, const Journal& journal, JournalBatch* batch) {
    for (JournalFile& file : batch->files) file.sizeBefore = std::max<qint64>(0, sizeOf(file.path));
    if (Fault written = journal.write(*batch); written) {
        written->path = journal.path();
        written->use = Failure::Use::JournalWrite;
        return written;
    }
    std::vector<FileBlock> blocks;
    blocks.reserve(batch->files.size());
    for (const JournalFile& file : batch->files) blocks.push_back({file.path, file.bytes});
    const std::vector<Fault> appended = writer.append(blocks, /*asIs=*/true);
    for (size_t f = 0; f < appended.size(); ++f) {
        if (!appended[f]) continue;
        Failure failure = *appended[f];
        failure.path = batch->files[f].path;
        failure.use = Failure::Use::Batch;
        QStringList partial;
        const std::vector<Fault> back = writer.takeBack();
        for (size_t k = 0; k < back.size(); ++k)
            if (back[k] && back[k]->kind == Failure::Kind::PartialEntry)
                partial << batch->files[k].path;
        failure.detail = partial.join(QLatin1Char('\n'));
        journal.remove();
        return failure;
    }
    return {};
}

Fault finishBatch(SaveWriter& writer, const JournalBatch& batch) {
    for (const JournalFile& file : batch.files) {
        qint64 present = 0;
        const Missing missing = missingOf(file, &present);
        Fault outcome;
        if (missing == Missing::Rest)
            outcome = writer.append({{file.path, file.bytes.mid(present)}}, /*asIs=*/true)[0];
        else if (missing == Missing::All)
            outcome = writer.append({{file.path, file.bytes}})[0];
        if (!outcome && !flushFile(file.path)) outcome = Failure::system(errno);
        if (outcome) {
            outcome->path = file.path;
            outcome->use = Failure::Use::Finish;
            return outcome;
        }
    }
    if (Fault flushed = files::flushFolder(writer.folder()); flushed) {
        flushed->path = writer.folder();
        flushed->use = Failure::Use::FinishFolder;
        return flushed;
    }
    return {};
}

}  // namespace sorimba::saving
