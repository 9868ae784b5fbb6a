#pragma once
// What went wrong, as a value. The core never puts a failure into words:
// the window says it in Japanese and sorimba-clip in English, each in one
// place (window/wording.*, cli/wording.*).

#include <QString>
#include <QtGlobal>
#include <optional>

namespace sorimba {

struct Failure {
    enum class Kind {
        // Files.
        NoName,        // an empty path
        BadName,       // a name the file system would misread or the locale cannot name
        NotFound,      // no such file or folder
        NotRegular,    // a folder, FIFO, device...: never opened as a file
        ReadOnly,      // no write bit set for anybody
        System,        // the system refused: `systemError` holds errno
        Unconfirmed,   // written, but flushing its folder failed (`systemError`)
        TooLarge,      // over a size limit: `limit` holds it, in bytes
        Busy,          // another writer holds the save file's lock
        NotConfined,   // outside the save file's folder: a save never writes there
        PartialEntry,  // an append failed and its bytes could not be taken back
        Suspicious,    // a companion file (journal, record) refused as not ours
        Changed,       // a mailbox changed while it was read
        // Content.
        NotText,     // bytes that are not valid in their encoding
        NotMessage,  // not a mail message (`detail` may say more)
        OverLimit,   // a mail message beyond a limit: `detail` names it, `limit` holds it
        NotIssue,    // no column in it (`detail` says why)
        Cancelled,   // the user stopped it
    };

    // How the file was used: a save appends to (or creates) its file, so a
    // missing path means a missing folder; a conversion rewrites a file that
    // must exist. The mail import's own files name the step that failed:
    // its record (opened, read, written, repaired after a kill), its journal
    // (refused when read, or not written), a batch's append to the save
    // files, and the finishing of a batch an interrupted run left (a file,
    // or the folder's flush).
    enum class Use {
        Append,
        Rewrite,
        RecordOpen,
        RecordRead,
        RecordWrite,
        RecordRepair,
        JournalRead,
        JournalWrite,
        Batch,
        Finish,
        FinishFolder,
    };

    Kind kind = Kind::System;
    QString path;         // the file concerned, when there is one
    int systemError = 0;  // errno, for System and Unconfirmed
    qint64 limit = 0;     // the limit broken, for TooLarge and OverLimit
    QString detail;       // a fact the wording may show (a header name; the files a failed
                          // batch may have left a part of it in, one a line), never a sentence
    Use use = Use::Append;

    static Failure of(Kind kind, const QString& path = {}) { return {kind, path, 0, 0, {}, {}}; }
    static Failure system(int error, const QString& path = {}) {
        return {Kind::System, path, error, 0, {}, {}};
    }
    Failure& in(Use how) {
        use = how;
        return *this;
    }
};

// The outcome of an operation that gives nothing back: empty when it went well.
using Fault = std::optional<Failure>;

}  // namespace sorimba
