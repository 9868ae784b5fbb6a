#pragma once
// The one way the save files are written: every writer (the save button and
// its per-title mode, `sorimba-clip save`, the batches of a mail import)
// goes through a SaveWriter.
//
// - The save path is made absolute first, its folder canonical, so that
//   every spelling of one save file writes the same file.
// - It writes only the save file itself or, in per-title mode, NAME.txt
//   files directly in the save file's folder; any other path is refused.
// - Every writer of the same files takes the same advisory lock (on the
//   folder that holds them, links resolved) while it appends and for as
//   long as it may still take bytes back. Taking it creates nothing.
// - A take-back cuts a file back only while it ends with exactly the bytes
//   this writer appended; otherwise the file stays as it is and the outcome
//   says it may hold a partial entry.

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

#include "files/files.h"
#include "saving/saving.h"

namespace sorimba::saving {

// How long a save waits for another writer of its files (a batch of a mail
// import takes about this long at most) before it says the file is busy.
constexpr int kSavePatienceMs = 2000;

// How long a batch of a mail import waits for a save, or for another
// program's batch, before the import stops.
constexpr int kBatchPatienceMs = 30000;

// The save path made absolute (against the current folder), its folder
// canonical (symbolic links and "." or ".." resolved), its file name as
// given. A path whose folder does not exist is only made absolute.
QString absoluteSavePath(const QString& path);

// The save file after symbolic links: the file a save writes.
QString resolvedSaveFile(const QString& absolutePath);

class SaveWriter {
public:
    SaveWriter(const QString& savePath, bool perTitle);
    ~SaveWriter() = default;
    SaveWriter(const SaveWriter&) = delete;
    SaveWriter& operator=(const SaveWriter&) = delete;

    const QString& savePath() const { return savePath_; }  // absolute
    const QString& folder() const { return folder_; }      // canonical, ends with "/"
    const QString& saveFile() const { return saveFile_; }  // links resolved
    bool perTitle() const { return perTitle_; }

    // Takes the write lock, waiting up to patienceMs (whileWaiting is
    // called between the tries). False when another writer holds it; on a
    // file system without locks, writers go on without.
    bool lock(int patienceMs, const std::function<void()>& whileWaiting = {});
    void unlock() { lock_.release(); }

    // The file a path names when it is one this writer may write (the save
    // file, or in per-title mode NAME.txt directly in its folder): the path
    // in the canonical folder. Empty when it is any other.
    QString confined(const QString& path) const;

    // Appends each block to its file (see files::appendToFiles); blocks
    // whose path is not confined are refused. With asIs no line end goes
    // first. The outcome of each block.
    std::vector<Fault> append(const std::vector<FileBlock>& blocks, bool asIs = false);

    // Takes back the bytes of the last append(), file by file, where they
    // are still the files' last bytes. The outcome for each file it wrote.
    std::vector<Fault> takeBack();

    // Removes a file that this writer made ready (created) for a batch that
    // then left it out, while it is still an empty regular file.
    void removeIfEmpty(const QString& path);

private:
    QString savePath_;
    QString typedFolder_;  // the folder part of the path as given
    QString folder_;
    QString saveFile_;
    bool perTitle_;
    files::FolderLock lock_;
    std::vector<QString> lastPaths_;
    std::vector<files::Appended> lastAppended_;
};

}  // namespace sorimba::saving
