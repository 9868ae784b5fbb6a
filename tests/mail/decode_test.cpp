// Reading one message: its structure, transfer encodings and charsets, and
// the rule that tells a message file from an issue's text.

#include <gtest/gtest.h>

#include "encoding/encoding.h"
#include "mail/charset.h"
#include "mail/mail_builder.h"
#include "mail/message.h"
#include "mailimport/mail_import.h"
#include "mailwords/mail_words.h"

namespace sorimba::mail::test {
namespace {

using namespace sorimba::mailimport;

// Characters that tell a code page 932 reading from a strict one: NEC
// special rows, IBM extensions, the wave dash family, half-width katakana.
const QString kHard = QStringLiteral("①㈱Ⅲ№∵ｱｲｳ漢字かなカナ ASCII 1,000");

// What a code page 932 file holding the text reads back as.
QString throughCp932(const QString& text) {
    return encoding::fromCp932(encoding::toCp932(text));
}

QString lf(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return out;
}

TEST(Iso2022Jp, ReadsAsCodePage932MeansIt) {
    qsizetype invalid = 0;
    bool unknown = false;
    // ① ㈱ Ⅲ (NEC row 13), 〜 − ∥ (JIS 0x2141, 0x215D, 0x2142), 纊 (NEC's
    // row 89 of IBM characters)
    const QString text = decodeIso2022Jp("\x1b$B-!-j-7!A!]!By!\x1b(B", &invalid, &unknown);
    EXPECT_EQ(text, QStringLiteral("①㈱Ⅲ\uFF5E\uFF0D\u2225纊"));
    EXPECT_EQ(invalid, 0);
    EXPECT_FALSE(unknown);
    // The result saves back to the same code page 932 bytes.
    EXPECT_EQ(encoding::toCp932(text).left(12),
              QByteArray("\x87\x40\x87\x8a\x87\x56\x81\x60\x81\x7c\x81\x61"));
}

TEST(Iso2022Jp, KatakanaSetsJis0212AndBrokenInput) {
    qsizetype invalid = 0;
    bool unknown = false;
    // ESC ( I, SO/SI and 8-bit bytes all give half-width katakana.
    EXPECT_EQ(decodeIso2022Jp("\x1b(I12\x1b(B a\x0e"
                              "3\x0f"
                              "b\xb4",
                              &invalid, &unknown),
              QStringLiteral("ｱｲ aｳbｴ"));
    EXPECT_EQ(invalid, 0);
    // JIS X 0212 (ESC $ ( D): 0x2237 is "～" in that set.
    EXPECT_EQ(decodeIso2022Jp("\x1b$(D\"7\x1b(B", &invalid, &unknown), QStringLiteral("\uFF5E"));
    EXPECT_EQ(invalid, 0);
    // Half a character at the end, a stray 8-bit byte: marked, never U+FFFD.
    const QString broken = decodeIso2022Jp("\x1b$B$\"$\x1b(Bx\x80", &invalid, &unknown);
    EXPECT_EQ(invalid, 2);
    EXPECT_TRUE(hasInvalidMark(broken));
    EXPECT_FALSE(broken.contains(QChar(0xFFFD)));
    EXPECT_EQ(showMarks(broken), QStringLiteral("あ\\x24x\\x80"));
    // An escape of another set is reported.
    decodeIso2022Jp("\x1b$(Q!!\x1b(B", &invalid, &unknown);
    EXPECT_TRUE(unknown);
}

TEST(Charsets, EveryCharsetAndTransferGivesTheText) {
    const QString body = issue({kHard, QStringLiteral("二行目〜です")});
    // IBM extensions have no JIS code of their own; the other charsets carry them.
    const QString ibm = issue({kHard + QStringLiteral("髙﨑"), QStringLiteral("二行目〜です")});
    struct Case {
        QByteArray charset;
        Transfer transfer;
    };
    const std::vector<Case> cases = {
        {"ISO-2022-JP", Transfer::SevenBit},
        {"ISO-2022-JP", Transfer::Base64},
        {"ISO-2022-JP", Transfer::QuotedPrintable},
        {"Shift_JIS", Transfer::EightBit},
        {"Shift_JIS", Transfer::Base64},
        {"Shift_JIS", Transfer::QuotedPrintable},
        {"windows-31j", Transfer::Base64},
        {"CP932", Transfer::EightBit},
        {"EUC-JP", Transfer::EightBit},
        {"EUC-JP", Transfer::Base64},
        {"EUC-JP", Transfer::QuotedPrintable},
        {"UTF-8", Transfer::EightBit},
        {"UTF-8", Transfer::Base64},
        {"utf-8", Transfer::QuotedPrintable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.charset.toStdString() + " " + std::to_string(static_cast<int>(c.transfer)));
        Mail mail;
        mail.charset = c.charset;
        mail.transfer = c.transfer;
        mail.body = c.charset == "ISO-2022-JP" ? body : ibm;
        const Message message = decodeMessage(build(mail));
        ASSERT_EQ(message.kind, Message::Kind::Text);
        EXPECT_EQ(message.invalidBytes, 0);
        // Lines come out ended by CR LF; only UTF-8 keeps 〜 as U+301C.
        const QString expected =
            c.charset.toUpper().startsWith("UTF") ? mail.body : throughCp932(mail.body);
        EXPECT_EQ(message.text, expected);
        EXPECT_FALSE(message.text.contains(QChar(0xFFFD)));
    }
}

TEST(Charsets, WrongMissingAndUnknownCharsets) {
    const QString text = QStringLiteral("漢字①の本文\r\n");
    Mail mail;
    mail.body = text;
    mail.transfer = Transfer::EightBit;
    // Shift-JIS bytes labelled ISO-2022-JP, or not labelled at all, or with
    // a name nobody knows: they read as what they are.
    for (const QByteArray& contentType :
         {QByteArray("text/plain; charset=ISO-2022-JP"), QByteArray("text/plain"),
          QByteArray("text/plain; charset=x-unheard-of")}) {
        SCOPED_TRACE(contentType.toStdString());
        mail.contentType = contentType;
        mail.rawBody = cp932(lf(text));
        const Message message = decodeMessage(build(mail));
        EXPECT_EQ(message.text, text);
        EXPECT_EQ(message.invalidBytes, 0);
        EXPECT_EQ(message.unknownCharset, contentType.contains("unheard"));
    }
    // Bytes that no charset reads: the declared one is used, invalid bytes marked.
    mail.contentType = "text/plain; charset=Shift_JIS";
    mail.rawBody = "ok \x82\xa0 \x85\x40 \xff end\n";
    const Message message = decodeMessage(build(mail));
    EXPECT_EQ(message.kind, Message::Kind::Text);
    EXPECT_EQ(message.invalidBytes, 2);
    EXPECT_EQ(showMarks(message.text), QStringLiteral("ok あ \\x85@ \\xff end\r\n"));
    EXPECT_FALSE(message.text.contains(QChar(0xFFFD)));
    // A charset name that would pass iconv a flag to drop bytes is unknown.
    mail.contentType = "text/plain; charset=\"utf-8//IGNORE\"";
    mail.rawBody = "a\xff b\n";
    EXPECT_EQ(showMarks(decodeMessage(build(mail)).text), QStringLiteral("a\\xff b\r\n"));
    // A U+FFFD the sender wrote is no mark.
    mail.contentType = "text/plain; charset=UTF-8";
    mail.rawBody = "\xef\xbf\xbd \xf0\x9f\x98\x80\n";
    EXPECT_FALSE(hasInvalidMark(decodeMessage(build(mail)).text));
}

TEST(Charsets, InvalidBytesMatterOnlyInTheColumn) {
    Mail mail;
    mail.contentType = "text/plain; charset=Shift_JIS";
    const QByteArray column = cp932(issue({QStringLiteral("投稿")}));
    // Before the column (the articles of the issue): read, marked, harmless.
    mail.rawBody = "bad \xff byte\n" + column;
    Message message = decodeMessage(build(mail));
    ASSERT_EQ(message.kind, Message::Kind::Text);
    EXPECT_EQ(message.invalidBytes, 1);
    const MessageClip clip = clipOfMessage(message, {});
    EXPECT_EQ(clip.kind, MessageClip::Kind::Clip);
    EXPECT_EQ(clip.clip, clipOf({QStringLiteral("投稿")}));
    // In the column: the message is no issue text, the reason naming the line.
    mail.rawBody = QByteArray(column).replace(cp932(QStringLiteral("投稿")), "\x82\xff");
    message = decodeMessage(build(mail));
    ASSERT_EQ(message.kind, Message::Kind::Text);
    const MessageClip refused = clipOfMessage(message, {});
    EXPECT_EQ(refused.kind, MessageClip::Kind::Failed);
    EXPECT_EQ(
        mailwords::messageProblem(refused.reason),
        QStringLiteral("投稿欄に文字コード CP932 として正しくないバイトがあります：○\\x82\\xff"));
}

TEST(Headers, EncodedWordsInEveryCharset) {
    auto word = [](const QByteArray& charset, const QByteArray& bytes) {
        return "=?" + charset + "?B?" + bytes.toBase64() + "?=";
    };
    // A character split over two words, ① in ISO-2022-JP, Q encoding, text
    // around the words and white space between them.
    const QByteArray utf8 = QStringLiteral("ぴこ①").toUtf8();
    EXPECT_EQ(decodeHeaderValue(" Re: " + word("utf-8", utf8.left(4)) + "\r\n " +
                                word("UTF-8", utf8.mid(4)) + " [1]\n"),
              QStringLiteral("Re: ぴこ① [1]"));
    EXPECT_EQ(decodeHeaderValue(word("ISO-2022-JP", iso2022jp(QStringLiteral("第①号")))),
              QStringLiteral("第①号"));
    EXPECT_EQ(decodeHeaderValue(word("shift_jis", cp932(QStringLiteral("号外"))) + " " +
                                word("euc-jp", eucjp(QStringLiteral("です")))),
              QStringLiteral("号外です"));
    EXPECT_EQ(decodeHeaderValue("=?iso-2022-jp?Q?=1B$B$\"=1B(B_x?="), QStringLiteral("あ x"));
    // Unencoded 8-bit text and words that are not valid stay readable.
    EXPECT_EQ(decodeHeaderValue(cp932(QStringLiteral("生の件名"))), QStringLiteral("生の件名"));
    EXPECT_EQ(decodeHeaderValue("=?utf-8?B?***?= =?x?Z?y?="),
              QStringLiteral("=?utf-8?B?***?= =?x?Z?y?="));
}

TEST(Structure, ThePartThatHoldsTheText) {
    const QString text = QStringLiteral("本文です\r\n");
    const QByteArray plain =
        "Content-Type: text/plain; charset=ISO-2022-JP\n\n" + iso2022jp(lf(text)) + "\n";
    const QByteArray html = "Content-Type: text/html; charset=UTF-8\n\n<p>HTML</p>\n";
    const QByteArray pdf =
        "Content-Type: application/pdf\nContent-Transfer-Encoding: base64\n"
        "Content-Disposition: attachment; filename=a.pdf\n\nAAECAwQF\n";
    auto multipart = [](const QByteArray& subtype, std::initializer_list<QByteArray> parts) {
        QByteArray out =
            "Content-Type: multipart/" + subtype + "; boundary=\"b-" + subtype + "\"\n\npreamble\n";
        for (const QByteArray& part : parts) out += "--b-" + subtype + "\n" + part;
        return out + "--b-" + subtype + "--\n";
    };
    auto message = [](const QByteArray& mime) {
        return decodeMessage(
            "From: a@example.com\nDate: Mon, 1 Jan 2024 00:00:00 +0000\n"
            "MIME-Version: 1.0\n" +
            mime);
    };
    // multipart/alternative takes text/plain wherever it stands.
    for (const QByteArray& alternative :
         {multipart("alternative", {html, plain}), multipart("alternative", {plain, html})}) {
        const Message m = message(alternative);
        EXPECT_EQ(m.kind, Message::Kind::Text);
        EXPECT_EQ(m.text, text);
    }
    // Inside mixed with attachments, and inside a forwarded message.
    EXPECT_EQ(message(multipart("mixed", {multipart("alternative", {html, plain}), pdf})).text,
              text);
    EXPECT_EQ(message(multipart("mixed", {pdf, "Content-Type: message/rfc822\n\nFrom: x@y\n" +
                                                   plain.left(0) + plain}))
                  .text,
              text);
    // HTML only is no issue; nor is a message of attachments.
    EXPECT_EQ(message(multipart("alternative", {html})).kind, Message::Kind::HtmlOnly);
    EXPECT_EQ(message(html).kind, Message::Kind::HtmlOnly);
    EXPECT_EQ(message(multipart("mixed", {pdf})).kind, Message::Kind::NoText);
    // A text file attached is the text when there is no other.
    QByteArray attachedText = plain;
    attachedText.prepend("Content-Disposition: attachment; filename=issue.txt\n");
    EXPECT_EQ(message(multipart("mixed", {html.left(0) + attachedText})).text, text);
}

TEST(Structure, DamagedMessagesAreReportedNotGuessed) {
    Mail mail;
    mail.body = QStringLiteral("本文\r\n");
    mail.transfer = Transfer::Base64;
    mail.charset = "UTF-8";
    // Base64 cut off mid-group, or with characters outside its alphabet.
    for (const QByteArray& body :
         {QByteArray("5pys5paH\n5pys5p\n"), QByteArray("5py!5paH\n"), QByteArray("5pys=paH\n")}) {
        mail.rawBody = body;
        const Message message = decodeMessage(build(mail));
        EXPECT_EQ(message.kind, Message::Kind::Broken) << body.toStdString();
        ASSERT_TRUE(message.problem);
        EXPECT_EQ(message.problem->kind, Failure::Kind::NotText);
    }
    // Padding inside the body (joined pieces) and line breaks are fine.
    mail.rawBody = "5pys\n5paH\r\nDQo=\n";
    EXPECT_EQ(decodeMessage(build(mail)).text, QStringLiteral("本文\r\n"));
    // A multipart that ends before its closing boundary.
    const Message cut = decodeMessage(
        "From: a@example.com\nDate: Mon, 1 Jan 2024 00:00:00 +0000\nContent-Type: multipart/mixed;"
        " boundary=b\n\n--b\nContent-Type: text/plain\n\n\xe6\x9c\xac");
    EXPECT_EQ(cut.kind, Message::Kind::Broken);
    // Not a message at all, NUL bytes, an empty input: no crash, an answer.
    EXPECT_NE(decodeMessage(QByteArray("\0\0\0From: x\n\n", 12)).kind, Message::Kind::Text);
    EXPECT_EQ(decodeMessage("").kind, Message::Kind::Broken);
}

TEST(Structure, HeaderFacts) {
    Mail mail;
    mail.body = QStringLiteral("x");
    mail.subject = "=?ISO-2022-JP?B?" + iso2022jp(QStringLiteral("第①号")).toBase64() + "?=";
    mail.date = "Tue, 2 Jan 2024 09:00:00 +0900";
    Message message = decodeMessage(build(mail));
    EXPECT_EQ(message.subject, QStringLiteral("第①号"));
    EXPECT_EQ(message.messageId, QStringLiteral("1@example.com"));
    EXPECT_EQ(message.date, std::optional<qint64>(1704153600));
    // A date that does not parse, and an id without "@", count as none.
    mail.date = "sometime soon";
    mail.messageId = "<placeholder>";
    message = decodeMessage(build(mail));
    EXPECT_FALSE(message.date.has_value());
    EXPECT_TRUE(message.messageId.isEmpty());
}

TEST(MboxFraming, FromLinesAreUnescapedOnlyInMboxes) {
    Mail mail;
    mail.charset = "UTF-8";
    mail.transfer = Transfer::EightBit;
    mail.body = QStringLiteral("From here\r\n>From there\r\n>>From afar\r\n> From no\r\n");
    const QByteArray message = build(mail);
    EXPECT_EQ(decodeMessage(mbox({message})).text, mail.body);
    // A message file is taken as it stands.
    EXPECT_EQ(decodeMessage(message).text, mail.body);
    mail.rawBody = ">From kept\n";
    EXPECT_EQ(decodeMessage(build(mail)).text, QStringLiteral(">From kept\r\n"));
}

TEST(MessageRule, HeaderBlockDecides) {
    const QByteArray headers = "From: editor@example.com\nDate: Mon, 1 Jan 2024 00:00:00 +0900\n";
    EXPECT_TRUE(looksLikeMessage(headers + "\nbody"));
    EXPECT_TRUE(looksLikeMessage("Message-ID: <1@x>\r\nfrom: a@b\r\n\r\nbody"));
    EXPECT_TRUE(looksLikeMessage("Received: from x\n\tby y\nFrom: a@b\nDate: x\n\n"));
    EXPECT_TRUE(looksLikeMessage("From a@b Mon Jan  1 00:00:00 2024\nSubject: x\n\nbody"));
    // From: alone, Date: alone, a line that is no field, a fold first.
    EXPECT_FALSE(looksLikeMessage("From: a@b\nSubject: x\n\nbody"));
    EXPECT_FALSE(looksLikeMessage("Date: x\nMessage-ID: <1@x>\n\n"));
    EXPECT_FALSE(looksLikeMessage(headers + "This is prose.\n\n"));
    EXPECT_FALSE(looksLikeMessage(" From: a@b\nDate: x\n\n"));
    EXPECT_FALSE(looksLikeMessage("From the editor: hello\nDate: x\n\n"));
    // Issue texts, however they start, are not messages.
    EXPECT_FALSE(looksLikeMessage(issue({QStringLiteral("投稿")}).toUtf8()));
    EXPECT_FALSE(looksLikeMessage(cp932(issue({QStringLiteral("投稿")}))));
    EXPECT_FALSE(looksLikeMessage("From here on, the column.\nDate: x\n\n"));
    EXPECT_FALSE(looksLikeMessage("From a@b Mon Jan  1 00:00:00 2024\nnot a field\n"));
    EXPECT_FALSE(looksLikeMessage("\xef\xbb\xbf" + headers + "\n"));
    EXPECT_FALSE(looksLikeMessage(""));
}

}  // namespace
}  // namespace sorimba::mail::test
