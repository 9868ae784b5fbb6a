#pragma once
// Issue text as it reaches the program: the clipboard's text, a drop on the
// window, a file named or dropped, standard input. Every way in decodes by
// the same rules and bridges line ends the same way, so the same bytes give
// the same clip text in the window and in sorimba-clip. QtCore only.

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "extraction/extraction.h"
#include "files/failure.h"
#include "port/window_settings.h"

class QMimeData;
class QTemporaryDir;

namespace sorimba::import {

// How the bytes of an issue become text.
enum class Encoding {
    // UTF-16 or UTF-32 when the bytes start with their byte order mark; UTF-8
    // when they start with its mark or are valid UTF-8 as a whole; otherwise
    // code page 932, the encoding of the newsletter's own files.
    Detect,
    Utf8,   // forced; invalid bytes become U+FFFD
    Cp932,  // forced; invalid bytes become U+FFFD
};

// Files larger than this are refused: no issue comes near it, and reading a
// stray disk image dropped on the window would freeze it.
inline constexpr qint64 kMaxFileBytes = qint64{128} * 1024 * 1024;

struct FileOptions {
    Encoding encoding = Encoding::Detect;
    // Off only for looking at the bytes as they stand (sorimba-clip --raw).
    bool bridgeLineEnds = true;
    qint64 maxBytes = kMaxFileBytes;
};

// The text of an issue file, or why there is none.
struct FileImport {
    QString text;  // the issue text, decoded and (as asked) bridged; empty on a failure
    // A mail message that holds no issue text (HTML only, attachments
    // only): no failure and an empty text, and here why (NotIssue, see
    // mail::Message::problem).
    Fault note;
    // Why there is no text: TooLarge (with the limit), NotRegular, NoName,
    // System; for mail that cannot be read soundly, the message's problem
    // (mail::Message::problem) or NotText from mailimport::invalidInColumn.
    Fault failure;
    bool ok() const { return !failure; }
};

// A named or dropped file. Anything but a regular file is refused before a
// byte is read (it is opened without waiting, so a FIFO cannot hang the
// caller), and so is a file larger than options.maxBytes.
//
// A file that is a mail message (mail::looksLikeMessage: a .eml file, or an
// mbox whose first message is taken) gives the text of its body, decoded
// from its MIME structure and charset (mail/message.h): the file is not held
// to maxBytes (its attachments are streamed past, never kept), but a message
// beyond a limit of mail/structure.h (64 MiB a message, its header, its MIME
// parts) or a text part over 64 MiB fails with that limit, as does any
// message that cannot be read soundly. Only with Encoding::Detect: a forced encoding reads
// the bytes as they stand.
FileImport importFile(const QString& path, const FileOptions& options = {});

// All of an open descriptor (standard input), decoded as a file is
// (a message included).
FileImport importStream(int fd, const FileOptions& options = {});

// Text the desktop handed over as text (the clipboard, a drop of text):
// only the line ends are bridged.
QString importText(QString text);

// What a drop on the window carries, read while the drop lasts: a mail
// program deletes the files it dragged soon after the drop.
struct Drop {
    enum class Kind {
        Nothing,   // nothing to import: a picture, files of other kinds
        Text,      // `text` is the issue text
        Messages,  // `files` hold the dropped mail (message files, mboxes)
    };
    Kind kind = Kind::Nothing;
    // A file that could not be read gives an empty text, which the
    // extraction reports as not importable.
    QString text;
    QStringList files;
    // The private copies among `files`; removed with the last Drop that
    // holds them.
    std::shared_ptr<const QTemporaryDir> copies;
};

// Reads a drop by what its data are, in this order; an offer that is empty
// (or cannot be had) leaves it to the next:
// - message/rfc822 data: a message (decoded as importFile decodes one); or,
//   as some mail programs send, a list of file URLs, read as the files;
// - local files: every one whose first bytes show a mail message or an mbox
//   (mail::looksLikeMessage, whatever its name), copied, so the mail
//   program may delete its own; when there is none, the first .txt (or
//   .eml) file, read as importFile reads it. Files of other kinds alone
//   give Nothing, not their names as text;
// - the drop's plain text.
// The data of these offers come from `offerData` when it is given (the
// drop's own reading waits too long for a program that does not answer).
using OfferData = std::function<std::optional<QByteArray>(const QString& type)>;
Drop readDrop(const QMimeData& data, const OfferData& offerData = {});

// The local files a text/uri-list names (also as some mail programs put it
// in message/rfc822 data: one URL without a line end). Nothing when the
// bytes are no URL list; other URLs than file URLs of this machine are
// left out.
std::optional<QStringList> localFilesOfUrlList(QByteArrayView bytes);

// How many messages the files hold (each a message file or an mbox), or
// nothing when one of them cannot be read as mail.
std::optional<int> countMessages(const QStringList& files);

// Bytes in memory decoded by the rules of `encoding` (line ends as they
// are). A byte order mark that decided (or matches) the encoding is not part
// of the text.
QString decodeIssue(QByteArrayView bytes, Encoding encoding = Encoding::Detect);

// The extraction options that the option marks ask for; `marked` tells
// whether the item of an option is checked.
extraction::Options extractionOptions(const std::function<bool(Option)>& marked);

// The clip text of an issue text (extraction::extractColumn).
std::optional<std::u16string> extractClip(const QString& issueText,
                                          const extraction::Options& options);

}  // namespace sorimba::import
