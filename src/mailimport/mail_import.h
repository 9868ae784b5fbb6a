#pragma once
// Issues from mail: the clip text of one message (where a message is
// recognised as an issue), and the batch import of whole mailboxes into the
// save file.

#include <QString>
#include <functional>
#include <utility>
#include <vector>

#include "extraction/extraction.h"
#include "mail/mailbox.h"
#include "mail/message.h"

namespace sorimba::mailimport {

// What one message gives.
struct MessageClip {
    enum class Kind {
        Clip,      // `clip` holds the clip text
        NotIssue,  // no column in it (or no text at all): `reason`, NotIssue
        Failed,    // it holds one but cannot be read soundly: `reason`
    };
    Kind kind = Kind::NotIssue;
    QString clip;
    // NotIssue: its `detail` "no-marker", "empty-column", "html-only" or
    // empty (no text). Failed: the message's problem, NotText from
    // invalidInColumn, or OverLimit "column" (the extraction refused it).
    Failure reason;
};

// The clip text of a decoded message. A message whose column (from its
// last marker on, as the extraction cuts it) holds bytes that are invalid
// in its charset is Failed, its reason naming the line: no clip text ever
// holds one, so none is saved with a byte replaced or dropped.
MessageClip clipOfMessage(const mail::Message& message, const extraction::Options& options);

// Why a decoded message with text cannot give a sound issue text: bytes
// invalid in its charset inside its column. NotText, its `detail` the
// charset, a line end, and the line (at most 80 characters, the bytes shown
// as mail::showMarks shows them). Empty when it can.
Fault invalidInColumn(const mail::Message& message);

struct ImportSettings {
    QString savePath;
    // The extraction's options; withTitles also chooses the per-title mode
    // of saving, as it does for the save command.
    extraction::Options extraction;
    // Messages decoded while the mailboxes are scanned are kept, up to this
    // many bytes, so that they need not be read a second time; the rest are
    // read again when their turn comes. Memory stays bounded either way.
    qsizetype keptBytes = qsizetype{64} << 20;
};

struct ImportProgress {
    enum class Stage { Reading, Importing };
    Stage stage = Stage::Reading;
    qint64 done = 0;  // Reading: bytes of the mailboxes; Importing: messages
    qint64 total = 0;
    int imported = 0;
    int alreadyImported = 0;
    int notIssues = 0;
    int failed = 0;
};

struct ImportSummary {
    int messages = 0;
    int imported = 0;
    int alreadyImported = 0;
    int notIssues = 0;
    int failed = 0;
    int notReached = 0;          // messages left when cancelled or stopped
    int finishedFromBefore = 0;  // issues an interrupted import had left half-written
    std::vector<std::pair<QString, Failure>> failures;     // where, why
    int unlistedFailures = 0;                              // failed messages beyond that list
    std::vector<std::pair<Failure, int>> notIssueReasons;  // why (NotIssue), how many
    bool cancelled = false;
    Fault stopped;  // why the import stopped before its end
    QString recordPath;

    // Something failed: a message, a mailbox, or the import itself.
    bool anyFailure() const { return failed > 0 || !failures.empty() || stopped.has_value(); }
};

// The progress callback: called often, from the thread that runs the
// import; returning false cancels. After a cancel the issues gathered so
// far are written (a batch takes milliseconds), nothing more is read, and
// what was saved stays saved.
using ProgressFn = std::function<bool(const ImportProgress&)>;

// Imports every issue in the opened mailboxes into the save file, oldest
// first by Date (SOURCE and mailbox order break ties; messages without a
// valid Date come after the dated ones), each issue once (see record.h).
ImportSummary importMail(mail::Mailboxes& mailboxes, const ImportSettings& settings,
                         const ProgressFn& progress);

}  // namespace sorimba::mailimport
