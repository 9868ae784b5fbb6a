#pragma once
// Files as this program writes them. Old content of a user's file is only
// ever handled as bytes, so no byte of it changes when the program appends to
// or rewrites a file; new content reaches the disk before a write is reported
// done, and only what was written is flushed.

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/failure.h"

namespace sorimba::files {

// An open file descriptor, closed when it goes out of scope.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the descriptor held (if any) and takes fd instead.
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// Writes all the bytes, going on after a signal; false (errno set) when a
// write fails.
bool writeAll(int fd, std::string_view bytes);

// The folder part of a path: everything up to and including its last "/";
// empty when there is none, which stands for the current folder.
QString folderOf(const QString& path);
QByteArray folderOf(const QByteArray& nativePath);

enum class FileKind { Missing, Regular, Other };

// What is at a path, following symbolic links: nothing, a regular file, or
// something else (a directory, FIFO, socket, device, a dangling link...).
FileKind fileKind(const QString& path);

// The system's own text for an errno (strerror, in the locale's encoding),
// which the wording of a failure may quote.
QString systemMessage(int error);

// Reads a whole regular file. Fails for anything that is not a regular file.
Fault readFile(const QString& path, QByteArray* contents);

// Reads at most maxBytes from the start of a regular file (no limit when
// maxBytes is negative), so a huge file is never loaded whole. *complete, when
// given, tells whether that was the whole file. A read error gives no bytes.
Fault readFileStart(const QString& path, qint64 maxBytes, QByteArray* contents, bool* complete);

// The same for an open descriptor (a file, a pipe such as standard input),
// read from where it stands to its end.
Fault readFrom(int fd, qint64 maxBytes, QByteArray* contents, bool* complete);

// Waits until a folder's entries (names created or renamed in it) are on the
// disk; an empty folder is the current one.
Fault flushFolder(const QString& folder);

// Bytes to add at the end of one file. With asIs they go in as they are,
// without the line end that otherwise ends an unfinished last line first.
struct Append {
    QString path;
    QByteArray bytes;
    bool asIs = false;
};

// Where an append put its bytes: `bytes` (the line end it added first
// included) from offset `from`; `from` is -1 when nothing was written.
struct Appended {
    qint64 from = -1;
    QByteArray bytes;
};

// Appends bytes to regular files in place, creating those that are missing,
// and returns when they are on the disk: the outcome of each, in order.
//
// When a file's old content does not end with a line end, CR LF is written
// first, so the old last line stays a line of its own. Old bytes are never
// rewritten: a crash or power cut at any moment leaves the old content
// whole, followed by a prefix of the new bytes. An append that fails (a full
// disk, a failed flush) is taken back, so the file keeps its old content.
// Read-only files and anything not regular are refused.
//
// Only what was written is flushed, never the whole file system, so a save
// does not wait for other programs' data: every file's writeback is started
// at once, then each file is flushed, then the folder of each file that was
// created (once per folder), so that its name survives a power cut too.
//
// A take-back cuts a file back only while it ends exactly with the bytes
// this append wrote; when another program added to it since, the bytes stay
// and the failure is a PartialEntry. `where`, when given, receives where
// each append put its bytes, for a later takeBack().
std::vector<Fault> appendToFiles(const std::vector<Append>& appends,
                                 std::vector<Appended>* where = nullptr);
Fault appendToFile(const QString& path, const QByteArray& bytes);

// Takes back bytes that an append put at `from` (see Appended): the file is
// cut back to `from`, and flushed, when it ends with them (or with a first
// part of them, the rest never written); a file created by the append and
// empty again goes. Otherwise nothing changes and the failure is a PartialEntry.
Fault takeBack(const QString& path, const Appended& appended, bool created);

// The advisory lock that every writer of the save files in one folder
// takes while it appends and for as long as it may still take bytes back.
// It is held on the folder itself, so taking it creates nothing.
class FolderLock {
public:
    enum class State { Held, Busy, Unavailable };
    // Tries to take the lock of `folder` for up to `patienceMs`, calling
    // whileWaiting (when given) between the tries. Unavailable: the file
    // system offers no locks, or the folder cannot be opened (the write
    // that follows says why); the caller goes on without.
    State take(const QString& folder, int patienceMs,
               const std::function<void()>& whileWaiting = {});
    void release() { fd_.reset(); }
    bool held() const { return fd_.valid(); }

private:
    FileDescriptor fd_;
};

// Replaces a regular file's content atomically and durably (see
// Replacement). Permissions are kept, a symbolic link stays a link and its
// target gets the new content. Read-only and non-regular files are refused;
// with mustExist a missing file is refused too (and nothing is created).
Fault replaceFile(const QString& path, const QByteArray& bytes, bool mustExist);

// --- Large files, piece by piece ------------------------------------------

// Reads a regular file from start to end, handing its bytes on in pieces of
// at most pieceSize bytes (a piece may end anywhere, even inside a
// character), so a huge file is never held whole. Fails for anything that is
// not a regular file, and when a read fails part-way.
Fault readInPieces(const QString& path, const std::function<void(std::string_view)>& consume,
                   size_t pieceSize = size_t{1} << 20);

// A regular file's new content, written in pieces as it is produced. It goes
// into a temporary file beside the file and takes the file's place only when
// complete and on the disk, so a crash or power cut leaves the old content or
// the new one, whole. The permissions are kept and a symbolic link stays a
// link. Anything not put in place is discarded and the file keeps its old
// content.
class Replacement {
public:
    Replacement(const QString& path, bool mustExist);
    ~Replacement();
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    // The first failure so far (refusing the file, creating the temporary
    // file, a write); empty while everything went well.
    const Fault& status() const { return status_; }
    // Appends bytes to the new content; false once anything has failed.
    bool write(std::string_view bytes);
    // Flushes the new content, puts it in the file's place and flushes the
    // folder. Many files are cheaper together: see ReplacementSet.
    Fault commit();

private:
    friend class ReplacementSet;
    void fail(int error);
    // After the flush of the new content: closes it, or, when flushError is
    // not 0, discards it.
    bool settle(int flushError);
    // Renames the flushed content into the file's place.
    bool place();

    struct File;
    std::unique_ptr<File> file_;
    Fault status_;
};

// Many replacements put in place together, in the order that survives a
// power cut: the new contents are flushed together (their writeback started
// at once, then each flushed), then each takes its file's place, then each
// folder is flushed once. A crash before a file is placed leaves it whole
// (and its temporary file beside it). Only a bounded number of files is held
// open: beyond that, the waiting ones are flushed early.
class ReplacementSet {
public:
    ReplacementSet();
    ~ReplacementSet();
    ReplacementSet(const ReplacementSet&) = delete;
    ReplacementSet& operator=(const ReplacementSet&) = delete;

    // Takes a replacement whose content is complete.
    void add(std::unique_ptr<Replacement> replacement);
    // The same for a replacement that the caller keeps, alive until commit().
    void add(Replacement& replacement);
    // Places every replacement and flushes the folders; the outcome of each
    // replacement, in the order they were added.
    std::vector<Fault> commit();

private:
    struct Entry {
        Replacement* replacement;
        size_t index;  // in outcomes_
    };
    void flushWaiting();

    std::vector<Entry> waiting_;  // complete, not flushed yet (held open)
    std::vector<Entry> flushed_;  // on the disk, not in place yet
    std::vector<std::unique_ptr<Replacement>> owned_;
    std::vector<Fault> outcomes_;
};

}  // namespace sorimba::files
