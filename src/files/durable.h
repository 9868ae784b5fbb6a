#pragma once
// Flushing what an operation wrote, and only that, in the order that
// survives a power cut. Used by the appends and the replacements of this
// library; not part of its interface.

#include <sys/types.h>

#include <QByteArray>
#include <functional>
#include <map>
#include <string_view>
#include <vector>

#include "files/files.h"

namespace sorimba::files::durable {

// At most this many files written by one operation are held open at once
// (a desktop session allows a process 1,024); more are flushed in groups.
constexpr size_t kFilesPerGroup = 256;

// How many flushes run side by side at most.
constexpr size_t kFlushers = 16;

// A file whose new bytes, from `from` to its end, wait for their flush.
struct Written {
    int fd;
    off_t from;
};

// Starts the writeback of every file's new bytes at once, so the disk works
// on all of them together, then waits until each file is on the disk
// (fdatasync: its data and what is needed to read it back, such as its
// size). The errno of each flush, 0 where it went well. The flushes run on
// a few threads side by side; all have ended when this returns.
std::vector<int> flushFiles(const std::vector<Written>& files);

// Folders in which a file got its name (created or renamed into place),
// each flushed once when the operation is done, so the names survive a
// power cut. Each request carries a number that identifies its file.
class FolderFlush {
public:
    void add(const QByteArray& folder, size_t file);
    // Flushes every folder once; calls failed(file, errno) for each file
    // whose folder could not be flushed.
    void run(const std::function<void(size_t, int)>& failed);

private:
    std::map<QByteArray, std::vector<size_t>> folders_;
};

// The outcome for a file whose content is in place but whose folder could
// not be flushed.
Failure unconfirmed(int error);

// What stands at a path about to be written: *exists tells whether anything
// is there, *mode its permission bits. Refuses what is not a regular file and
// read-only files.
Fault checkWritable(const QByteArray& nativePath, bool* exists, mode_t* mode);

// Gives a replacement's new content (open at fd) the owner and group of
// the file it replaces, when this program runs as root: otherwise the
// user's file would pass to root. The errno of a failure, 0 when it went
// well or there was nothing to do.
int keepOwner(int fd, const QByteArray& replacedFile);

// The file a path leads to, symbolic links followed; a path that leads
// nowhere is returned as it is.
QByteArray resolvedTarget(const QByteArray& nativePath);

}  // namespace sorimba::files::durable
