#pragma once
// The messages of mailboxes: mbox files, Maildir folders and message files.
//
// Reading is in two passes so that the messages can be taken in the order
// of their dates while memory stays bounded: scan() reads every message
// once for its header facts and remembers only where it stands; read()
// reads one message again, whole, when its turn comes. Only the message
// being read is held, never a mailbox; a large attachment is not even held,
// as GMime leaves part contents in the file until asked for.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "files/failure.h"
#include "mail/message.h"

namespace sorimba::mail {

// Where a message stands, to read it again.
struct MessageRef {
    std::uint32_t source = 0;   // index of its SOURCE
    std::uint32_t file = 0;     // Maildir: index of its file in that source
    std::int64_t begin = 0;     // mbox: its bytes, from its "From " line
    std::int64_t end = 0;       //       to the next one
    std::int64_t sequence = 0;  // its place within its source, from 0
};

struct ScannedMessage {
    MessageRef where;
    std::optional<qint64> date;  // seconds since the epoch, when its Date: is valid
    Fault problem;               // when it cannot be read at all (see Message::problem)
    // The whole message, when scan() was asked for it: exactly what read()
    // gives for it.
    std::optional<Message> message;
};

// Something wrong with a mailbox as a whole (found while reading it).
struct SourceProblem {
    QString source;
    Failure problem;  // Changed, or System (errno)
};

class Mailboxes {
public:
    Mailboxes();
    ~Mailboxes();
    Mailboxes(const Mailboxes&) = delete;
    Mailboxes& operator=(const Mailboxes&) = delete;

    // Opens the SOURCEs: a folder with cur/ or new/ is a Maildir; a file
    // that starts with an mbox "From " line (or is empty) is an mbox; a
    // file that is a message (looksLikeMessage) is one message. The failure
    // of the first that is none of these or cannot be read, its path the
    // SOURCE; nothing is read then:
    // NoName; System (stat or open failed; for a cur/ or new/ that cannot be
    // listed, EACCES with that folder as `detail`); NotRegular (neither a
    // file nor a folder); NotMessage (a file that is no mbox and no
    // message); NotFound (a folder without cur/ and new/).
    Fault open(const QStringList& paths);

    // Reads every message's header facts, SOURCE by SOURCE in the order
    // given, each in its own order (an mbox from start to end, a Maildir by
    // file name, which starts with the delivery time). `take` receives each
    // message; `progress(done, total)` (bytes) may return false to stop.
    // While `wantWhole()` says so, each message comes whole (read once
    // instead of twice). A message that breaks a limit of structure.h comes
    // with that limit as its problem, and the next one is read. Returns
    // false when stopped.
    bool scan(const std::function<void(ScannedMessage&&)>& take,
              const std::function<bool(qint64, qint64)>& progress,
              const std::function<bool()>& wantWhole = {});

    // What went wrong with whole mailboxes during scan() and read(): a
    // mailbox that changed while it was read, a part that is no mbox...
    const std::vector<SourceProblem>& problems() const;

    // Reads one message again, whole. Broken when it cannot be read: its
    // file went away (System), its mailbox changed (Changed, `detail`
    // "mailbox"), it is no message any more (NotMessage)...
    Message read(const MessageRef& where);

    // The message's place in words: "FILE の 12 通目", or its file's path.
    QString describe(const MessageRef& where) const;

private:
    // Total bytes of all SOURCEs, for progress.
    qint64 totalBytes() const;

    struct Source;
    std::vector<std::unique_ptr<Source>> sources_;
    std::vector<SourceProblem> problems_;
};

}  // namespace sorimba::mail
