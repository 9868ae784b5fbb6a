// Mail messages as a way in: a .eml file named or dropped, a message on
// standard input, message/rfc822 data dropped from a mail program. Each
// gives the text of the message's body; an issue text never takes this path.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include "encoding/encoding.h"
#include "import/import.h"
#include "support/files.h"

namespace {

namespace im = sorimba::import;
using sorimba::testing::spit;

const QString kIssue = QStringLiteral("■ぴこぴこＺＯＫ\r\n\r\n●お題\r\n\r\n○①㈱～の投稿\r\n");

// A message whose body is the issue in code page 932, base64, lines ended LF.
QByteArray message(const QByteArray& extraHeaders = {}) {
    QString lf = kIssue;
    lf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return "From: editor@example.com\nDate: Mon, 1 Jan 2024 09:00:00 +0900\n"
           "Message-ID: <1@example.com>\nMIME-Version: 1.0\n" +
           extraHeaders +
           "Content-Type: text/plain; charset=Shift_JIS\nContent-Transfer-Encoding: base64\n\n" +
           sorimba::encoding::toCp932(lf).toBase64() + "\n";
}

const QByteArray kHtmlOnly =
    "From: a@example.com\nDate: Mon, 1 Jan 2024 09:00:00 +0900\n"
    "Content-Type: text/html; charset=UTF-8\n\n<p>HTML</p>\n";

class Messages : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

TEST_F(Messages, AMessageFileGivesTheTextOfItsBody) {
    spit(path("issue.eml"), message());
    im::FileImport file = im::importFile(path("issue.eml"));
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(file.text, kIssue);
    // Whatever its name, and however small the size limit: its attachments
    // would never be read.
    spit(path("issue.txt"), message());
    EXPECT_EQ(im::importFile(path("issue.txt"), {.maxBytes = 10}).text, kIssue);
    // A forced encoding reads the bytes as they stand.
    file = im::importFile(path("issue.eml"), {.encoding = im::Encoding::Utf8});
    EXPECT_TRUE(file.text.startsWith(QStringLiteral("From: editor@example.com\r\n")));
    // An issue text, however it starts, is read as a text.
    spit(path("plain.txt"), ("From: editor\n" + kIssue).toUtf8());
    EXPECT_EQ(im::importFile(path("plain.txt")).text, "From: editor\r\n" + kIssue);
}

TEST_F(Messages, WithoutTextOrUnsound) {
    spit(path("html.eml"), kHtmlOnly);
    im::FileImport file = im::importFile(path("html.eml"));
    EXPECT_TRUE(file.ok());
    EXPECT_TRUE(file.text.isEmpty());
    ASSERT_TRUE(file.note);
    EXPECT_EQ(file.note->detail, QStringLiteral("html-only"));
    QByteArray broken = message();
    broken.chop(4);  // base64 cut off
    spit(path("broken.eml"), broken);
    file = im::importFile(path("broken.eml"));
    EXPECT_FALSE(file.ok());
    ASSERT_TRUE(file.failure);
    EXPECT_TRUE(file.failure->detail.contains(QStringLiteral("base64")))
        << file.failure->detail.toStdString();
}

TEST_F(Messages, OnStandardInput) {
    for (const QByteArray& bytes :
         {message(), "From editor@example.com Mon Jan  1 00:00:00 2024\n" + message() + "\n"}) {
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        ASSERT_EQ(::write(pipe[1], bytes.constData(), bytes.size()), bytes.size());
        ::close(pipe[1]);
        const im::FileImport file = im::importStream(pipe[0]);
        ::close(pipe[0]);
        EXPECT_TRUE(file.ok());
        EXPECT_EQ(file.text, kIssue);
    }
}

// The issue text a drop gives as the window takes it: its text, or the
// text of its one message file.
QString textOfDrop(const QMimeData& data) {
    const im::Drop drop = im::readDrop(data);
    if (drop.kind != im::Drop::Kind::Messages) return drop.text;
    EXPECT_EQ(drop.files.size(), 1);
    return im::importFile(drop.files.value(0)).text;
}

TEST_F(Messages, Drops) {
    // From a mail program: the message itself.
    QMimeData fromMail;
    fromMail.setData(QStringLiteral("message/rfc822"), message());
    fromMail.setText(QStringLiteral("the subject line only"));
    EXPECT_EQ(textOfDrop(fromMail), kIssue);
    QMimeData htmlMail;
    htmlMail.setData(QStringLiteral("message/rfc822"), kHtmlOnly);
    EXPECT_EQ(textOfDrop(htmlMail), QString());
    // From a file manager: a .eml file counts like a .txt file.
    spit(path("issue.EML"), message());
    spit(path("picture.png"), "PNG");
    QMimeData files;
    files.setUrls(
        {QUrl::fromLocalFile(path("picture.png")), QUrl::fromLocalFile(path("issue.EML"))});
    EXPECT_EQ(textOfDrop(files), kIssue);
}

}  // namespace
