#pragma once
// The record of issues imported from mail into one save file in one mode,
// and the crash-safe way issues are added to the save files.
//
// Where: beside the save file, hidden: ".NAME.sorimba-imported" for the
// plain mode, ".NAME.sorimba-imported-titles" for the per-title mode (NAME
// is the save file's name). It travels with the save file, and it only
// knows issues that an import added: issues saved earlier by hand are not
// recognised.
//
// What: a text file, UTF-8, LF line ends. Three header lines
//     sorimba-imported 1
//     mode plain            (or "mode titles")
//     save-file PATH        (percent-encoded; for people, not read back)
// then one key per imported issue: "id MESSAGE-ID" (percent-encoded) for a
// message with a Message-ID, "body SHA-256" (hex, of its decoded text)
// without one.
//
// Whose: the save file's, after symbolic links, so every name of one save
// file shares one record (and one lock). A record that an earlier version
// kept under the name given through a link is found, and its keys are
// copied into the new record, so nothing is imported twice.
// Never opened through a symbolic link; anything else in its place, or
// another content, is refused and kept.
//
// The issues go into their files through the save file's writer and its
// journal (saving/journal.h), each batch under the writer's lock:
//  1. every file the batch appends to is made ready (created, its old last
//     line given a line end, exactly as a save does);
//  2. the journal of the batch is written and flushed;
//  3. the bytes are appended to the files, the files flushed;
//  4. the keys are appended to the record, the record flushed.
// A run killed during 3 or 4 leaves the journal: the next open() finishes
// its batch and records its keys. So after a kill at any moment and a second
// run, each issue is in its files once. The journal stays from batch to
// batch and goes when the record is closed after a batch recorded whole.

#include <QByteArray>
#include <QSet>
#include <QString>
#include <memory>
#include <vector>

#include "files/files.h"
#include "saving/journal.h"
#include "saving/writer.h"

namespace sorimba::mailimport {

// What one issue adds: bytes for files (as the save command would append them).
struct IssueBlocks {
    QByteArray key;
    std::vector<std::pair<QString, QByteArray>> files;  // path, bytes
};

// The outcome of a batch: the issues whose files could not even be made
// ready (refused, as a save refuses them: the failure names the file) are
// left out of it and listed; anything else that fails stops the import
// (`fatal`).
struct BatchResult {
    std::vector<std::pair<int, Failure>> refused;  // index in the batch, why
    Fault fatal;
};

class ImportRecord {
public:
    ImportRecord() = default;
    ~ImportRecord();
    ImportRecord(const ImportRecord&) = delete;
    ImportRecord& operator=(const ImportRecord&) = delete;

    // Opens the record (creating it), takes its lock (one import per save
    // file and mode at a time), reads its keys and finishes a batch that an
    // interrupted run left. *finished counts the issues finished so. The
    // failures name the step (Failure::Use: RecordOpen, RecordRead,
    // RecordWrite, RecordRepair; JournalRead for a refused journal; Finish,
    // FinishFolder), or Busy with the save file when its writer is busy.
    Fault open(const QString& savePath, bool withTitles, int* finished);

    bool contains(const QByteArray& key) const { return keys_.contains(key); }
    const QString& path() const { return path_; }

    // Adds a batch of issues to their files and to the record (see above).
    BatchResult writeBatch(const std::vector<IssueBlocks>& issues);

    // The key of a message: its Message-ID, or without one the hash of its text.
    static QByteArray keyFor(const QString& messageId, const QString& text);

private:
    Fault openFile();
    Fault readKeys(const QByteArray& modeLine, const QString& legacyPath);
    Fault appendKeys(const std::vector<QByteArray>& keys);
    Fault finishPending(const saving::Journal& journal, int* finished);
    bool makeReady(const std::vector<IssueBlocks>& issues, BatchResult* result,
                   std::vector<bool>* left);

    QString path_;
    std::unique_ptr<saving::SaveWriter> writer_;
    std::unique_ptr<saving::Journal> journal_;
    files::FileDescriptor fd_;
    bool pendingDone_ = false;  // ".pending" holds a batch already recorded
    QSet<QByteArray> keys_;
};

}  // namespace sorimba::mailimport
