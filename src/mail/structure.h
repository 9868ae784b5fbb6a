#pragma once
// A cheap look at a message before GMime parses it.
//
// GMime builds every header field and every MIME part of a message as an
// object before the program sees any of it, and decodes each header value
// in time that grows with the square of its length when it holds encoded
// words that never close: a crafted message of tens of megabytes costs
// gigabytes and minutes there. This pass reads the message once, line by
// line, keeping only a few counters and the boundaries of the multiparts it
// is in, and refuses what no newsletter needs, naming the limit.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

#include "files/failure.h"

namespace sorimba::mail {

// What a message may hold. A newsletter issue has a few dozen header
// fields, one or two parts and tens of kilobytes of text.
inline constexpr qint64 kMaxMessageBytes = qint64{64} << 20;  // one message, as stored
inline constexpr qint64 kMaxHeaderBytes = qint64{1} << 20;    // all its header blocks
inline constexpr qint64 kMaxFieldBytes = qint64{64} << 10;    // one field, folded lines and all
inline constexpr int kMaxHeaderFields = 5000;                 // in all its header blocks
inline constexpr int kMaxEncodedWords = 10000;                // "=?" in all its header blocks
inline constexpr int kMaxParts = 500;                         // MIME parts, at every level
inline constexpr int kMaxNesting = 32;                        // multiparts and messages inside

enum class Limit {
    None,
    MessageBytes,
    HeaderBytes,
    FieldBytes,
    HeaderFields,
    EncodedWords,
    Parts,
    Nesting
};

// The limit a message broke, as a failure: OverLimit, its value in `limit`
// (bytes or a count), its name in `detail` ("message-bytes",
// "header-bytes", "field-bytes", "header-fields", "encoded-words", "parts",
// "nesting"). Not for Limit::None.
Failure limitFailure(Limit limit);

struct Shape {
    Limit limit = Limit::None;
    // Where the message ends: for a message read as part of an mbox, the
    // start of the next "From " line (or the end of the input).
    qint64 end = 0;
};

// Looks at a whole message in memory. With `mbox`, the bytes start with
// the "From " line of an mbox and the message ends before the next one.
Shape checkMessage(QByteArrayView bytes, bool mbox);

// The same for the bytes of a file from `begin` to `end`, read in pieces
// (at most about 2 MiB of memory, whatever the size). nullopt when reading
// fails.
std::optional<Shape> checkMessageFile(int fd, qint64 begin, qint64 end, bool mbox);

}  // namespace sorimba::mail
