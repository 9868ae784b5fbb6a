#pragma once
// Builds mail for the tests: a text in any of the charsets and transfer
// encodings Japanese newsletters use, wrapped in headers, alone or in an
// mbox or a Maildir.

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>
#include <ostream>
#include <vector>

// Test failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace sorimba::mail::test {

// Code page 932 bytes of a text.
QByteArray cp932(const QString& text);
// ISO-2022-JP as a code page 932 mail program writes it: each double-byte
// character of the code page 932 form as its JIS code between ESC $ B and
// ESC ( B, half-width katakana between ESC ( I and ESC ( B.
QByteArray iso2022jp(const QString& text);
// EUC-JP (with the code page 932 extensions).
QByteArray eucjp(const QString& text);

enum class Transfer { SevenBit, EightBit, Base64, QuotedPrintable };

QByteArray base64Lines(const QByteArray& bytes);
QByteArray quotedPrintable(const QByteArray& bytes);

// A text/plain part's bytes in the charset ("ISO-2022-JP", "Shift_JIS",
// "EUC-JP", "UTF-8", any case) with LF line ends (the text's CR LF become
// LF, as mail files on Linux hold them).
QByteArray encodeAs(const QString& text, const QByteArray& charset);

struct Mail {
    QByteArray from = "editor@example.com";
    QByteArray date = "Mon, 01 Jan 2024 09:00:00 +0900";  // empty: no Date field
    QByteArray messageId = "<1@example.com>";             // empty: no Message-ID
    QByteArray subject;  // as it stands in the header (encoded words included)
    QByteArray charset = "ISO-2022-JP";
    Transfer transfer = Transfer::SevenBit;
    QString body;
    QByteArray contentType;  // replaces text/plain; charset=... when set
    QByteArray rawBody;      // replaces the encoded body when set
    QByteArray extraHeaders;
};

// The message's bytes, lines ended by LF.
QByteArray build(const Mail& mail);

// An mboxrd file of the messages: each after a "From " line, body lines
// that start with (">"*) "From " escaped by one more ">".
QByteArray mbox(const std::vector<QByteArray>& messages);

// Writes a Maildir (cur/, new/, tmp/) under `dir` with one file per
// message; the first `inNew` go into new/, the rest into cur/ with flags.
void writeMaildir(const QString& dir, const std::vector<QByteArray>& messages, int inNew = 0);

// An issue of the newsletter whose column holds the given entries (each
// under its own title), with CR LF line ends.
QString issue(const QStringList& entries, const QString& title = QStringLiteral("お題"));

// The same clip text the extraction gives for issue(entries) in plain mode.
QString clipOf(const QStringList& entries);

}  // namespace sorimba::mail::test
