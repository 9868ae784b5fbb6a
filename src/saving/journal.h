#pragma once
// The journal of a batch: what a batch of a mail import is about to append
// to the save files, on the disk before the first byte is appended, so that
// a run killed while it appends can be finished by the next one.
//
// What: a text file, hidden beside the save file. Header
// "sorimba-import-pending 2", then "key KEY" lines (the caller's, recorded
// once the batch is in its files), then for each file
//     file SIZE-BEFORE LENGTH NAME      (NAME percent-encoded, no "/")
//     the LENGTH bytes, then LF
// and last "end SHA-256" of everything before it, which tells a journal cut
// short by a kill from a whole one. NAME is a file in the save file's
// folder: a journal is read as possibly hostile, and one that names any
// other file, or is no regular file, is refused and kept for the user.
// Version 1 journals (full paths) are read too, and finished when every
// path leads to the save file or to a file directly in its folder.
//
// A journal is written to a new file that then takes its name, never
// through a symbolic link planted in its place.

#include <QByteArray>
#include <QString>
#include <vector>

#include "files/files.h"
#include "saving/writer.h"

namespace sorimba::saving {

struct JournalFile {
    QString path;  // as the writer writes it (see SaveWriter::confined)
    qint64 sizeBefore = 0;
    QByteArray bytes;
};

struct JournalBatch {
    std::vector<QByteArray> keys;
    std::vector<JournalFile> files;
};

class Journal {
public:
    Journal(const SaveWriter& writer, const QString& path) : writer_(writer), path_(path) {}

    const QString& path() const { return path_; }

    enum class Found { Nothing, Batch, Refused };
    // Reads the journal. Nothing: there is none, or it was cut short (its
    // batch never reached the files). Refused, with *why (used JournalRead):
    // NotRegular, a symbolic link, no regular file or one that cannot be
    // opened; System, it cannot be read; NotConfined, it names a file the
    // writer may not write.
    Found read(JournalBatch* batch, Failure* why) const;

    // Writes the batch's journal and waits until it is on the disk.
    Fault write(const JournalBatch& batch) const;

    void remove() const;

private:
    const SaveWriter& writer_;
    QString path_;
};

// Appends a batch through the journal, the writer's lock held: notes each
// file's size, writes the journal, appends every file's bytes as they are
// and flushes them. A failure takes back this batch's own bytes (see
// SaveWriter::takeBack) and removes the journal. The failure is the
// journal's (used JournalWrite) or the file's (used Batch), its `detail`
// the files that may keep a part of the batch, one a line.
Fault appendBatch(SaveWriter& writer, const Journal& journal, JournalBatch* batch);

// Makes every file of an interrupted batch hold its bytes, the writer's
// lock held: nothing to do where they are; the rest where a first part of
// them is (a write cut off by a kill); all of them at the end where the
// file was changed otherwise since. Then every file is flushed. A file that
// cannot be finished fails used Finish; a folder that cannot be flushed,
// FinishFolder.
Fault finishBatch(SaveWriter& writer, const JournalBatch& batch);

}  // namespace sorimba::saving
