#pragma once
// One mail message and the issue text in it.
//
// GMime parses the message (headers, MIME structure, transfer encodings);
// this layer chooses the part that holds the text and decodes it with the
// charset layer (charset.h), so Japanese mail reads as its senders meant it.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

#include "files/failure.h"

namespace sorimba::mail {

// The rule that tells a message file from an issue's plain text: a file is
// a message when its first block, up to the first empty line, consists of
// header fields alone (folded lines included) and has a From: field and a
// Date: or Message-ID: field; or when it starts with an mbox "From " line
// followed by such a block of header fields. An issue text starts with
// Japanese prose, never with a field name and a colon on every line, so it
// never takes this path.
bool looksLikeMessage(QByteArrayView bytes);

// How the bytes of a message are framed. In an mbox a body line that began
// with "From " was written as ">From ", and ">From " as ">>From " (the
// mboxrd rule): reading one from an mbox takes one ">" off each such line.
// Read this way, an mboxo file (which escaped only "From ") loses the ">"
// only on lines that were "From " before: the best any reader can do.
enum class Framing { Message, Mbox };

// A decoded text part larger than this is not read (a newsletter issue is
// tens of kilobytes; the extraction refuses far less already). The limits
// of a whole message are in structure.h.
constexpr qint64 kMaxTextPartBytes = qint64{64} << 20;

struct Message {
    enum class Kind {
        Text,      // `text` holds the message's text
        NoText,    // no text part at all (attachments only, encrypted...)
        HtmlOnly,  // the only text is HTML
        Broken,    // cannot be read: truncated, broken base64, too large...
    };
    Kind kind = Kind::NoText;
    // The text of the body's text/plain part, lines ended by CR LF. Bytes
    // invalid in its charset are marks (see charset.h): invalidBytes counts
    // them, and whoever takes text out of the message decides whether they
    // may stand where they are.
    QString text;
    qsizetype invalidBytes = 0;
    QByteArray charset;  // the charset the text was read with
    bool unknownCharset = false;
    // Why it is not Text: NotIssue for NoText and HtmlOnly (`detail`
    // "html-only" for the latter); for Broken, NotMessage (`detail`
    // "cut-short" when it was cut off), OverLimit (structure.h's limits, or
    // "text-part" over kMaxTextPartBytes), NotText (`detail` "base64": its
    // base64 is broken), or, for a file, System or NotRegular.
    Fault problem;
    QString messageId;           // without "<>"; empty when missing or not an id
    std::optional<qint64> date;  // from the Date: field, seconds since the epoch
    QString subject;             // decoded
};

// Decodes one message. Bytes that start with an mbox "From " line are read
// as an mbox and its first message is taken. A message that breaks a limit
// of structure.h (its size, its header, its MIME parts) is Broken, its
// problem naming the limit, and never reaches GMime.
Message decodeMessage(QByteArrayView bytes);

// The same for a message file, read as a stream (a large attachment is
// never held in memory; the file is looked at in pieces before GMime
// parses it). A file that cannot be read at all is Broken too, its problem
// System (errno) or NotRegular.
Message decodeMessageFile(const QString& path);

}  // namespace sorimba::mail
