// Drops from mail programs: each offers the message its own way (a file URL
// in message/rfc822, a .txt or extension-less mbox in text/uri-list), and
// deletes its file soon after the drop.

#include <gtest/gtest.h>

#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include "files/files.h"
#include "import/import.h"
#include "support/files.h"

namespace {

namespace im = sorimba::import;
using sorimba::testing::slurp;
using sorimba::testing::spit;

const QString kIssue = QStringLiteral("■ぴこぴこＺＯＫ\r\n\r\n●お題\r\n\r\n○投稿\r\n");

QByteArray message(int n) {
    QByteArray lf = kIssue.toUtf8();
    lf.replace("\r\n", "\n");
    return "From: editor@example.com\nDate: Mon, 1 Jan 2024 09:00:00 +0900\nMessage-ID: <" +
           QByteArray::number(n) +
           "@example.com>\nContent-Type: text/plain; charset=UTF-8\n"
           "Content-Transfer-Encoding: 8bit\n\n" +
           lf;
}

QByteArray mbox(int count) {
    QByteArray out;
    for (int n = 1; n <= count; ++n)
        out += "From editor@example.com Mon Jan  1 00:00:00 2024\n" + message(n) + "\n";
    return out;
}

class Drops : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString& name) const { return dir.filePath(name); }
    QByteArray url(const QString& name) const {
        return QUrl::fromLocalFile(path(name)).toEncoded();
    }
    QTemporaryDir dir;
};

// One message dragged out of each mail program, offered as it offers it.
TEST_F(Drops, EachMailProgramsMessageIsReadFromItsFile) {
    const QString evolution = QStringLiteral("20190107053100_ウィークリーぴこぴこ 　第300号");
    struct Offer {
        const char* program;
        QString file;
        QByteArray bytes;
        std::vector<std::pair<QString, QByteArray>> types;  // in the program's order
    };
    const std::vector<Offer> offers = {
        {"Thunderbird",
         u"第300号.eml"_qs,
         message(1),
         {{u"text/plain"_qs, "mailbox-message://a@b/Inbox#1"},
          {u"text/x-moz-url"_qs, "mailbox-message://a@b/Inbox#1"},
          {u"text/uri-list"_qs, url(u"第300号.eml"_qs)}}},
        {"Claws Mail",
         u"第300号.1.txt"_qs,
         message(1),
         {{u"text/uri-list"_qs, url(u"第300号.1.txt"_qs) + "\r\n"},
          {u"claws-mail/internal"_qs, "0"}}},
        {"Sylpheed",
         u"第300号.eml"_qs,
         message(1),
         {{u"text/plain"_qs, "drag-from-summary"},
          {u"message/rfc822"_qs, url(u"第300号.eml"_qs)},
          {u"text/uri-list"_qs, url(u"第300号.eml"_qs)}}},
        // The path as it is, not percent-encoded, spaces and all.
        {"Evolution",
         evolution,
         mbox(1),
         {{u"x-uid-list"_qs, QByteArray("folder://a/Inbox\0UID\0", 22)},
          {u"text/uri-list"_qs, "file://" + path(evolution).toUtf8() + "\r\n"}}},
    };
    for (const Offer& offer : offers) {
        SCOPED_TRACE(offer.program);
        spit(path(offer.file), offer.bytes);
        QMimeData data;
        for (const auto& [type, bytes] : offer.types) data.setData(type, bytes);
        const im::Drop drop = im::readDrop(data);
        // The mail program deletes its file: the drop keeps its own.
        ASSERT_TRUE(QFile::remove(path(offer.file)));
        ASSERT_EQ(drop.kind, im::Drop::Kind::Messages);
        ASSERT_EQ(drop.files.size(), 1);
        EXPECT_EQ(slurp(drop.files[0]), offer.bytes);
        EXPECT_EQ(im::countMessages(drop.files), 1);
        EXPECT_TRUE(im::importFile(drop.files[0]).text.startsWith(kIssue));
    }
}

TEST_F(Drops, SeveralMessagesAreCountedWhateverTheirFiles) {
    spit(path("a.eml"), message(1));
    spit(path("b"), mbox(3));
    spit(path("notes.txt"), "not a message");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path("a.eml")), QUrl::fromLocalFile(path("notes.txt")),
                  QUrl::fromLocalFile(path("b"))});
    const im::Drop drop = im::readDrop(data);
    ASSERT_EQ(drop.kind, im::Drop::Kind::Messages);
    EXPECT_EQ(drop.files.size(), 2);
    EXPECT_EQ(im::countMessages(drop.files), 4);
    // The copies go with the last drop that holds them.
    const QString copy = drop.files[0];
    { const im::Drop gone = im::readDrop(data); }
    EXPECT_TRUE(QFile::exists(copy));
}

TEST_F(Drops, OffersThatHoldNothingLeaveItToTheNext) {
    spit(path("issue.txt"), kIssue.toUtf8());
    spit(path("picture.png"), "PNG");
    QMimeData emptyMessage;  // empty message data: the files
    emptyMessage.setData(u"message/rfc822"_qs, {});
    emptyMessage.setUrls({QUrl::fromLocalFile(path("issue.txt"))});
    EXPECT_EQ(im::readDrop(emptyMessage).text, kIssue);
    QMimeData goneFile;  // a URL to a file already gone: the URL list
    goneFile.setData(u"message/rfc822"_qs, url(u"gone.eml"_qs));
    goneFile.setData(u"text/uri-list"_qs, url(u"issue.txt"_qs));
    EXPECT_EQ(im::readDrop(goneFile).text, kIssue);
    QMimeData picture;  // files of other kinds: not their names as text
    picture.setUrls({QUrl::fromLocalFile(path("picture.png"))});
    picture.setText(path("picture.png"));
    EXPECT_EQ(im::readDrop(picture).kind, im::Drop::Kind::Nothing);
}

TEST(UrlLists, LocalFilesOfThisMachineOnly) {
    struct Case {
        QByteArray list;
        std::optional<QStringList> files;
    };
    const std::vector<Case> cases = {
        {"file:///tmp/a%20b.eml", QStringList{u"/tmp/a b.eml"_qs}},
        {"# comment\r\nfile://localhost/tmp/x\r\nhttp://example.com/y\r\n",
         QStringList{u"/tmp/x"_qs}},
        {"file:/tmp/%E7%AC%AC300#?.txt\n", QStringList{u"/tmp/第300#?.txt"_qs}},
        {"file://elsewhere.example/tmp/x", QStringList{}},
        {"file:///tmp/a%00b", QStringList{}},
        {"From: a@example.com\nDate: x\n", std::nullopt},
        {"file:///tmp/x\nnot a url\n", std::nullopt},
        {"\r\n", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(im::localFilesOfUrlList(c.list), c.files) << c.list.toStdString();
}

}  // namespace
