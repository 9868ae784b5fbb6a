#pragma once
// Text of a mail in the charsets Japanese newsletters are sent in.
//
// Invalid bytes are never turned into a replacement character: each byte
// that is not valid in the charset used becomes a mark in the text, the lone
// surrogate U+DC00 + byte. A lone surrogate is never the result of decoding
// valid bytes, so a mark cannot be confused with a character the sender
// wrote; the caller decides what a mark in the part it uses means (the import
// refuses an issue whose clip text holds one, and says why).

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace sorimba::mail {

struct DecodedText {
    QString text;
    qsizetype invalidBytes = 0;   // marks in text
    QByteArray charset;           // the charset the text was decoded with, as named here
    bool unknownCharset = false;  // the declared charset is not one this program can read
};

// Decodes bytes declared to be in `charset` (a MIME charset name, any case;
// empty when none was declared). ISO-2022-JP is read the way code page 932
// mail programs write it; Shift_JIS and its aliases are code page 932;
// EUC-JP takes the same extensions. When the declared charset is missing,
// unknown, or wrong for the bytes (they hold invalid bytes in it), the bytes
// are tried as UTF-8, ISO-2022-JP (when they hold its escapes), EUC-JP and
// code page 932, and the first that reads them without an invalid byte is
// used; when none does, the declared charset (or code page 932) gives the
// text, with marks.
DecodedText decodeText(QByteArrayView bytes, QByteArrayView charset);

// ISO-2022-JP as code page 932 means it: each JIS X 0208 code becomes the
// Shift-JIS code of the same character and is read with the code page 932
// table, so the NEC special rows (①, ㈱, Ⅲ) and the IBM extensions decode,
// and 〜 − ∥ come out as U+FF5E, U+FF0D, U+2225, exactly what a code page 932
// file holding them reads back as. Half-width katakana (ESC ( I, SO/SI or
// 8-bit bytes) and JIS X 0212 (ESC $ ( D) are read too. *unknownEscape is
// set when an escape sequence of another ISO-2022 set was met (its bytes are
// marked).
QString decodeIso2022Jp(QByteArrayView bytes, qsizetype* invalidBytes, bool* unknownEscape);

// Decodes a raw header value: RFC 2047 encoded words in any charset above
// (adjacent words in the same charset are joined before decoding, so a
// character split across two words survives), unencoded 8-bit text as
// UTF-8, EUC-JP or code page 932, folding undone. Marks as in decodeText.
QString decodeHeaderValue(QByteArrayView raw);

// True when the text holds a mark for an invalid byte.
bool hasInvalidMark(QStringView text);

// The marks of a text shown as "\xNN" (for messages to the user).
QString showMarks(QStringView text);

}  // namespace sorimba::mail
