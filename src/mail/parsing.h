#pragma once
// Shared by the message and mailbox readers: one GMime parse with the
// problems it reports, and the step from a parsed message to a Message.

#include <optional>

#include "mail/gmime_support.h"
#include "mail/message.h"

namespace sorimba::mail {

// Parser options that collect what GMime reports while it parses.
class ParseOptions {
public:
    ParseOptions();
    ~ParseOptions();
    ParseOptions(const ParseOptions&) = delete;
    ParseOptions& operator=(const ParseOptions&) = delete;

    GMimeParserOptions* get() const { return options_; }
    // Forgets what the last parse reported.
    void clear() { truncated = nestedTooDeep = false; }

    bool truncated = false;      // the message ends before its structure does
    bool nestedTooDeep = false;  // more MIME levels than GMime follows

private:
    GMimeParserOptions* options_;
};

// A parser over a stream: persistent (the content of a part stays in the
// stream and is read only when asked for), in the given format.
GRef<GMimeParser> makeParser(GMimeStream* stream, GMimeFormat format);

// The header facts of a parsed message (id, date, subject).
void readHeaders(GMimeMessage* message, Message& into);

// In an mbox an empty line stands between one message and the next "From "
// line: it belongs to no message. GMime leaves it out before a "From "
// line, not at the end of the input; a message read on its own (its bytes
// up to the next "From " line, or the end) leaves it out through this, so
// it reads the same wherever it stands.
QByteArrayView withoutSeparatorLine(QByteArrayView bytes);

// Everything: the header facts and the text of the body.
Message readMessage(GMimeMessage* message, Framing framing, const ParseOptions& parse);

// A message file parsed as a stream: a file that starts with an mbox "From "
// line is read as an mbox and its first message taken.
struct ParsedFile {
    GRef<GMimeStream> stream;
    GRef<GMimeParser> parser;
    GRef<GMimeMessage> message;  // null when the file holds no message
    Fault refused;               // why it was not parsed: the limit it broke (structure.h)
    Framing framing = Framing::Message;
};

// nullopt when the file cannot be opened or is not a regular file: *error
// says why (System with errno, or NotRegular).
std::optional<ParsedFile> parseMessageFile(const QString& path, ParseOptions& parse,
                                           Failure* error);

}  // namespace sorimba::mail
