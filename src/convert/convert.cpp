#include "convert/convert.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "encoding/encoding.h"

namespace sorimba::convert {
namespace {

// Files are read, and their new content written, in pieces of this size.
constexpr size_t kPieceSize = size_t{1} << 20;

// "*.txt" with the letter case ignored, as the file dialog's pattern.
bool hasTxtSuffix(const std::string& name) {
    if (name.size() < 4) return false;
    const char* s = name.data() + name.size() - 4;
    return s[0] == '.' && (s[1] | 0x20) == 't' && (s[2] | 0x20) == 'x' && (s[3] | 0x20) == 't';
}

QString joinPath(const QString& folder, const QString& name) {
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/'))) return folder + name;
    return folder + QLatin1Char('/') + name;
}

// Calls fn(line, end) for each line of bytes that end at LF, as
// encoding::forEachLine does for CR LF and lone CR.
template <typename Fn>
void forEachLfLine(std::string_view bytes, Fn&& fn) {
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t lf = bytes.find('\n', start);
        if (lf == std::string_view::npos) {
            fn(bytes.substr(start), std::string_view());
            return;
        }
        fn(bytes.substr(start, lf - start), bytes.substr(lf, 1));
        start = lf + 1;
    }
}

}  // namespace

ParagraphJoiner::ParagraphJoiner(std::function<void(std::string_view)> out)
    : out_(std::move(out)) {}

void ParagraphJoiner::feed(std::string_view piece) {
    if (piece.empty()) return;
    // Until the first CR everything is one unfinished line, held in the
    // carry; so the line ends of a file without CR are known at its end.
    if (!sawCr_ && std::memchr(piece.data(), '\r', piece.size()) != nullptr) sawCr_ = true;
    if (!carry_.empty()) {
        // Finish the line carried over from the last piece. The carry holds
        // no CR, except perhaps as its last byte, whose LF may only come now.
        size_t end = 0;
        if (carry_.back() == '\r') {
            end = piece.front() == '\n' ? 1 : 0;
        } else {
            const void* cr = std::memchr(piece.data(), '\r', piece.size());
            if (cr == nullptr || static_cast<const char*>(cr) == piece.data() + piece.size() - 1) {
                carry_.append(piece);
                return;
            }
            end = static_cast<size_t>(static_cast<const char*>(cr) - piece.data()) + 1;
            if (piece[end] == '\n') ++end;
        }
        carry_.append(piece.substr(0, end));
        piece.remove_prefix(end);
        completeLines(carry_);
        carry_.clear();
    }
    // Cut after the last line end that is known whole: a CR at the very end
    // may still get its LF from the next piece.
    size_t cut = 0;
    if (!piece.empty()) {
        size_t cr = piece.rfind('\r');
        if (cr == piece.size() - 1)
            cr = cr == 0 ? std::string_view::npos : piece.rfind('\r', cr - 1);
        if (cr != std::string_view::npos) {
            cut = cr + 1;
            if (piece[cut] == '\n') ++cut;
        }
    }
    completeLines(piece.substr(0, cut));
    carry_.assign(piece.substr(cut));
}

void ParagraphJoiner::finish() {
    const auto onLine = [this](std::string_view text, std::string_view end) { line(text, end); };
    if (!sawCr_ && carry_.find('\n') != std::string::npos) {
        // A file without CR and with LF is a Linux text file: its lines end
        // at LF, and it is written back with LF.
        lineEnd_ = "\n";
        forEachLfLine(carry_, onLine);
    } else {
        encoding::forEachLine(carry_, onLine);
    }
    carry_.clear();
    if (current_) {
        paragraphEnd();
    } else if (first_) {
        separator(lineEnd_);  // an empty file becomes one empty line
    }
    first_ = false;
    current_ = false;
    compareSeparators();
    if (!pending_.empty()) out_(pending_);
    pending_.clear();
}

void ParagraphJoiner::completeLines(std::string_view bytes) {
    encoding::forEachLine(bytes,
                          [this](std::string_view text, std::string_view end) { line(text, end); });
}

void ParagraphJoiner::line(std::string_view text, std::string_view end) {
    if (!text.empty()) {
        // A line of the current paragraph (or the first of a new one): its
        // text goes out as it stands.
        compareSeparators();
        put(text);
        current_ = true;
    } else if (current_) {
        // An empty line ends a paragraph with text: one line, one empty line.
        paragraphEnd();
        current_ = false;
    } else if (first_) {
        // The file starts with an empty line: the first paragraph is empty
        // and is written as one empty line. Later empty paragraphs are not.
        separator(lineEnd_);
    }
    if (text.empty()) first_ = false;
    if (same_) {
        if (endsRead_.size() + end.size() > 2 * lineEnd_.size()) {
            same_ = false;  // more line ends in a row than are ever written
        } else {
            endsRead_.append(end);
        }
    }
}

void ParagraphJoiner::put(std::string_view bytes) {
    if (bytes.size() >= kPieceSize) {
        // A huge line goes out directly, not through the buffer.
        if (!pending_.empty()) out_(pending_);
        pending_.clear();
        out_(bytes);
        return;
    }
    pending_.append(bytes);
    if (pending_.size() >= kPieceSize) {
        out_(pending_);
        pending_.clear();
    }
}

void ParagraphJoiner::paragraphEnd() {
    // The line end of the paragraph's line, then one empty line.
    std::string both(lineEnd_);
    both += lineEnd_;
    separator(both);
}

void ParagraphJoiner::separator(std::string_view bytes) {
    put(bytes);
    if (same_) endsWritten_.append(bytes);
}

void ParagraphJoiner::compareSeparators() {
    if (same_ && endsRead_ != endsWritten_) same_ = false;
    endsRead_.clear();
    endsWritten_.clear();
}

QByteArray joinParagraphs(std::string_view bytes) {
    QByteArray out;
    out.reserve(static_cast<qsizetype>(bytes.size() + bytes.size() / 3 * 2 + 8));
    ParagraphJoiner joiner([&out](std::string_view piece) {
        out.append(piece.data(), static_cast<qsizetype>(piece.size()));
    });
    joiner.feed(bytes);
    joiner.finish();
    return out;
}

namespace {

// Writes the converted content of the file at `path` into `out`. Sets
// *unchanged when the file is converted already (then nothing needs to
// take its place).
Fault convertInto(const QString& path, files::Replacement& out, bool* unchanged) {
    // The file is read and its new content written piece by piece, so even
    // a huge file never sits whole in memory; the old content stays in place
    // until the new one is complete.
    ParagraphJoiner joiner([&out](std::string_view piece) { out.write(piece); });
    if (Fault read = files::readInPieces(
            path, [&joiner](std::string_view piece) { joiner.feed(piece); }, kPieceSize)) {
        return read;  // the new content is discarded
    }
    joiner.finish();
    *unchanged = joiner.unchanged();
    return out.status();
}

}  // namespace

namespace {

// A conversion replaces files that may be save files: it takes the lock
// every writer of the save files takes, on their folder, so that it never
// loses the lines of a save or a mail import that writes meanwhile.
constexpr int kLockPatienceMs = 2000;

bool lockFolderOf(const QString& file, files::FolderLock* lock) {
    const QString real = QFileInfo(file).canonicalFilePath();
    return lock->take(files::folderOf(real.isEmpty() ? file : real), kLockPatienceMs) !=
           files::FolderLock::State::Busy;
}

}  // namespace

Fault convertFile(const QString& path) {
    if (path.isEmpty()) return Failure::of(Failure::Kind::NoName);
    files::FolderLock lock;
    if (!lockFolderOf(path, &lock)) return Failure::system(EBUSY);
    // Refuses read-only, missing and non-regular files before anything is read.
    files::Replacement out(path, /*mustExist=*/true);
    if (out.status()) return out.status();
    bool unchanged = false;
    if (Fault done = convertInto(path, out, &unchanged)) return done;
    if (unchanged) return {};  // already converted: the file stays as it is
    return out.commit();
}

// Our own rather than QDir: its listing decodes names the locale cannot
// spell into other names, which must be reported instead.
FileList listTextFiles(const QString& folder) {
    FileList list;
    const QByteArray native = (folder.isEmpty() ? QStringLiteral(".") : folder).toLocal8Bit();
    DIR* dir = ::opendir(native.constData());
    if (dir == nullptr) {
        list.failure = Failure::system(errno, folder);
        return list;
    }
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            if (errno != 0) {
                list.failure = Failure::system(errno, folder);
            }
            break;
        }
        std::string name(entry->d_name);
        if (name.empty() || name[0] == '.' || !hasTxtSuffix(name)) continue;  // hidden or other
        // Regular files only, following links; folders, FIFOs, devices and
        // dangling links are not listed.
        struct stat st {};
        if (::fstatat(::dirfd(dir), name.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
        names.push_back(std::move(name));
    }
    ::closedir(dir);
    if (list.failure) return list;

    std::sort(names.begin(), names.end());
    list.paths.reserve(names.size());
    for (const std::string& name : names) {
        const QByteArray raw(name.data(), static_cast<qsizetype>(name.size()));
        const QString decoded = QString::fromLocal8Bit(raw);
        // A name that does not survive the way to a QString and back would
        // name another file (or none): skip it rather than guess.
        if (decoded.toLocal8Bit() != raw) {
            list.unusableNames.push_back(decoded);
            continue;
        }
        list.paths.push_back(joinPath(folder, decoded));
    }
    return list;
}

FolderOutcome convertFolder(const QString& folder) {
    FolderOutcome outcome;
    files::FolderLock lock;
    if (lock.take(folder, kLockPatienceMs) == files::FolderLock::State::Busy) {
        outcome.listing = Failure::system(EBUSY, folder);
        return outcome;
    }
    FileList list = listTextFiles(folder);
    if (list.failure) {
        outcome.listing = list.failure;
        return outcome;
    }
    for (const QString& name : list.unusableNames) {
        Failure unusable = Failure::of(Failure::Kind::BadName, joinPath(folder, name));
        unusable.systemError = EILSEQ;
        outcome.failures.push_back(unusable);
    }
    // The list is taken once; a failure on one file never stops the others.
    // Every new content is written first, then they are flushed and put in
    // place together: a flush per file on its own costs far more than the
    // conversion, and together the disk takes them in one go.
    files::ReplacementSet replacements;
    std::vector<QString> replaced;
    for (const QString& path : list.paths) {
        auto out = std::make_unique<files::Replacement>(path, /*mustExist=*/true);
        bool unchanged = false;
        Fault done = out->status();
        if (!done) done = convertInto(path, *out, &unchanged);
        if (done) {
            done->path = path;
            outcome.failures.push_back(*done);
        } else if (unchanged) {
            ++outcome.converted;
        } else {
            replacements.add(std::move(out));
            replaced.push_back(path);
        }
    }
    const std::vector<Fault> placed = replacements.commit();
    for (size_t k = 0; k < placed.size(); ++k) {
        if (!placed[k]) {
            ++outcome.converted;
        } else {
            Failure failure = *placed[k];
            failure.path = replaced[k];
            outcome.failures.push_back(failure);
        }
    }
    return outcome;
}

FolderOutcome convertChosen(const QString& path, Scope scope) {
    if (scope == Scope::Folder) return convertFolder(path);
    FolderOutcome outcome;
    if (Fault done = convertFile(path)) {
        done->path = path;
        outcome.failures.push_back(*done);
    } else {
        outcome.converted = 1;
    }
    return outcome;
}

}  // namespace sorimba::convert
