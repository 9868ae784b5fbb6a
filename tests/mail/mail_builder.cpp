#include "mail/mail_builder.h"

#include <iconv.h>

#include <QFile>
#include <stdexcept>

#include "encoding/encoding.h"

namespace sorimba::mail::test {

QByteArray cp932(const QString& text) {
    return encoding::toCp932(text);
}

QByteArray iso2022jp(const QString& text) {
    const QByteArray sjis = cp932(text);
    enum { Ascii, Kanji, Kana } mode = Ascii;
    QByteArray out;
    auto to = [&](decltype(mode) wanted) {
        if (mode == wanted) return;
        out += wanted == Kanji ? "\x1b$B" : wanted == Kana ? "\x1b(I" : "\x1b(B";
        mode = wanted;
    };
    for (qsizetype i = 0; i < sjis.size(); ++i) {
        const auto s1 = static_cast<unsigned char>(sjis[i]);
        if (s1 < 0x80) {
            if (s1 == '\r' || s1 == '\n') to(Ascii);
            to(Ascii);
            out += static_cast<char>(s1);
        } else if (s1 >= 0xa1 && s1 <= 0xdf) {
            to(Kana);
            out += static_cast<char>(s1 - 0x80);
        } else {
            const auto s2 = static_cast<unsigned char>(sjis[++i]);
            // The inverse of the JIS to Shift-JIS step.
            int j1 = (s1 <= 0x9f ? s1 - 0x70 : s1 - 0xb0) * 2 - 1;
            int j2 = s2;
            if (s2 >= 0x9f) {
                ++j1;
                j2 -= 0x7e;
            } else {
                j2 -= s2 >= 0x80 ? 0x20 : 0x1f;
            }
            to(Kanji);
            out += static_cast<char>(j1);
            out += static_cast<char>(j2);
        }
    }
    to(Ascii);
    return out;
}

QByteArray eucjp(const QString& text) {
    iconv_t cd = iconv_open("EUC-JP-MS", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no EUC-JP-MS");
    QByteArray in = text.toUtf8();
    QByteArray out(in.size() * 3 + 16, '\0');
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1))
        throw std::runtime_error("text not in EUC-JP");
    iconv_close(cd);
    out.truncate(outPtr - out.data());
    return out;
}

QByteArray base64Lines(const QByteArray& bytes) {
    const QByteArray all = bytes.toBase64();
    QByteArray out;
    for (qsizetype i = 0; i < all.size(); i += 76) out += all.mid(i, 76) + "\n";
    return out;
}

QByteArray quotedPrintable(const QByteArray& bytes) {
    QByteArray out;
    int column = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\n') {
            out += '\n';
            column = 0;
            continue;
        }
        QByteArray piece;
        if ((c >= 33 && c <= 126 && c != '=') ||
            (c == ' ' && i + 1 < bytes.size() && bytes[i + 1] != '\n'))
            piece = QByteArray(1, static_cast<char>(c));
        else
            piece = "=" + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
        if (column + piece.size() > 75) {
            out += "=\n";
            column = 0;
        }
        out += piece;
        column += piece.size();
    }
    return out;
}

QByteArray encodeAs(const QString& text, const QByteArray& charset) {
    QString lf = text;
    lf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QByteArray name = charset.toLower();
    if (name == "iso-2022-jp") return iso2022jp(lf);
    if (name == "shift_jis" || name == "cp932" || name == "windows-31j") return cp932(lf);
    if (name == "euc-jp") return eucjp(lf);
    return lf.toUtf8();
}

QByteArray build(const Mail& mail) {
    QByteArray out = "From: " + mail.from + "\n";
    if (!mail.date.isEmpty()) out += "Date: " + mail.date + "\n";
    if (!mail.messageId.isEmpty()) out += "Message-ID: " + mail.messageId + "\n";
    if (!mail.subject.isEmpty()) out += "Subject: " + mail.subject + "\n";
    out += "MIME-Version: 1.0\n";
    out += mail.extraHeaders;
    QByteArray body = mail.rawBody;
    if (mail.contentType.isEmpty()) {
        out += "Content-Type: text/plain; charset=" + mail.charset + "\n";
        const QByteArray bytes = encodeAs(mail.body, mail.charset);
        switch (mail.transfer) {
            case Transfer::SevenBit:
                out += "Content-Transfer-Encoding: 7bit\n";
                if (body.isEmpty()) body = bytes;
                break;
            case Transfer::EightBit:
                out += "Content-Transfer-Encoding: 8bit\n";
                if (body.isEmpty()) body = bytes;
                break;
            case Transfer::Base64:
                out += "Content-Transfer-Encoding: base64\n";
                if (body.isEmpty()) body = base64Lines(bytes);
                break;
            case Transfer::QuotedPrintable:
                out += "Content-Transfer-Encoding: quoted-printable\n";
                if (body.isEmpty()) body = quotedPrintable(bytes);
                break;
        }
    } else {
        out += "Content-Type: " + mail.contentType + "\n";
    }
    return out + "\n" + body;
}

QByteArray mbox(const std::vector<QByteArray>& messages) {
    QByteArray out;
    for (const QByteArray& message : messages) {
        out += "From editor@example.com Mon Jan  1 00:00:00 2024\n";
        for (QByteArray line : message.split('\n')) {
            qsizetype quotes = 0;
            while (quotes < line.size() && line[quotes] == '>') ++quotes;
            if (line.mid(quotes).startsWith("From ")) line.prepend('>');
            out += line + "\n";
        }
        if (!message.endsWith('\n')) out += "\n";
    }
    return out;
}

void writeMaildir(const QString& dir, const std::vector<QByteArray>& messages, int inNew) {
    for (const char* sub : {"cur", "new", "tmp"}) QDir().mkpath(dir + "/" + sub);
    for (size_t i = 0; i < messages.size(); ++i) {
        const bool fresh = static_cast<int>(i) < inNew;
        const QString name = QStringLiteral("%1.M%2P1.host").arg(1700000000 + i).arg(i) +
                             (fresh ? QString() : QStringLiteral(":2,S"));
        QFile file(dir + (fresh ? "/new/" : "/cur/") + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(messages[i]) != messages[i].size())
            throw std::runtime_error("cannot write the Maildir");
    }
}

QString issue(const QStringList& entries, const QString& title) {
    QString text = QStringLiteral("ウィークリーぴこぴこ　第100号\r\n\r\n■ぴこぴこＺＯＫ\r\n\r\n");
    for (const QString& entry : entries)
        text += QStringLiteral("●") + title + QStringLiteral("\r\n\r\n○") + entry +
                QStringLiteral("\r\n\r\n");
    return text + QStringLiteral("==============================[PR]\r\n発行：ぴこぴこ\r\n");
}

QString clipOf(const QStringList& entries) {
    QString clip;
    for (const QString& entry : entries) {
        if (!clip.isEmpty()) clip += QStringLiteral("\r\n");
        clip += QStringLiteral("○") + entry + QStringLiteral("\r\n");
    }
    return clip;
}

}  // namespace sorimba::mail::test
