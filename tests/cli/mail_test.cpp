// sorimba-clip with mail: extract from a message file or a message on
// standard input, and import from mailboxes, run as a program.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>

#include "encoding/encoding.h"
#include "support/files.h"

namespace {

using sorimba::testing::slurp;
using sorimba::testing::spit;

struct ClipRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ClipRun clip(const QStringList& args, const QByteArray& input = {}) {
    QProcess process;
    process.start(QString::fromLocal8Bit(std::getenv("SORIMBA_CLIP")), args);
    EXPECT_TRUE(process.waitForStarted());
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(120000));
    ClipRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QByteArray sample() {
    QFile file(QString::fromLocal8Bit(std::getenv("SORIMBA_SOURCE")) + "/samples/issue-sample.txt");
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

// The sample issue as a newsletter mail: code page 932 in base64, LF line ends.
QByteArray sampleMessage(int number = 1,
                         const QByteArray& date = "Mon, 1 Jan 2024 09:00:00 +0900") {
    QByteArray lf = sample();
    lf.replace("\r\n", "\n");
    QByteArray body = sorimba::encoding::toCp932(QString::fromUtf8(lf)).toBase64();
    for (qsizetype at = 76; at < body.size(); at += 77) body.insert(at, '\n');
    return "From: editor@example.com\nDate: " + date + "\nMessage-ID: <" +
           QByteArray::number(number) +
           "@example.com>\nSubject: =?ISO-2022-JP?B?GyRCJVQlMyVUJTMbKEI=?=\nMIME-Version: 1.0\n"
           "Content-Type: text/plain; charset=Shift_JIS\nContent-Transfer-Encoding: base64\n\n" +
           body + "\n";
}

const QStringList kAllButJoin{"--with-titles", "--with-votes", "--with-staff-word", "--with-about"};

TEST(MailExtract, AMessageGivesWhatItsTextGives) {
    QTemporaryDir dir;
    spit(dir.filePath("issue.eml"), sampleMessage());
    const ClipRun fromText = clip(QStringList{"extract"} + kAllButJoin, sample());
    ASSERT_EQ(fromText.exitCode, 0);
    for (const ClipRun& run :
         {clip(QStringList{"extract"} + kAllButJoin + QStringList{dir.filePath("issue.eml")}),
          clip(QStringList{"extract"} + kAllButJoin, sampleMessage())}) {
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, fromText.out);
        EXPECT_EQ(run.err, "");
    }
    // A message without a text says so.
    const ClipRun html = clip({"extract"},
                              "From: a@example.com\nDate: Mon, 1 Jan 2024 09:00:00 +0900\n"
                              "Content-Type: text/html\n\n<p>x</p>\n");
    EXPECT_EQ(html.exitCode, 1);
    EXPECT_EQ(html.err, "取り込めませんでした\nHTML だけのメールです\n");
    EXPECT_EQ(html.out, "");
}

TEST(MailImport, ImportsOnceAndSays) {
    QTemporaryDir dir;
    const QString save = dir.filePath("save.txt");
    const QString mbox = dir.filePath("in.mbox");
    spit(mbox, "From editor@example.com Mon Jan  1 00:00:00 2024\n" +
                   sampleMessage(2, "Tue, 9 Jan 2024 09:00:00 +0900") +
                   "\nFrom editor@example.com Mon Jan  1 00:00:00 2024\n" + sampleMessage(1) +
                   "\n");
    ClipRun run = clip({"import", "--with-titles", "--save-path", save, mbox});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_EQ(run.err, "");  // no progress: standard error is no terminal
    EXPECT_TRUE(run.out.startsWith(
        "メール 2 通：取り込み 2 件、取り込み済み 0 件、号ではない 0 通、失敗 0 通\n"))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(
        "取り込みの記録：" + QFile::encodeName(dir.filePath(".save.txt.sorimba-imported-titles"))));
    // Per title, as the save button with titles saves: one file per title.
    EXPECT_TRUE(QFile::exists(dir.filePath("お題その一.txt")));
    const QByteArray first = slurp(dir.filePath("お題その一.txt"));
    run = clip({"import", "--with-titles", "--save-path", save, mbox});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.contains("取り込み 0 件、取り込み済み 2 件")) << run.out.toStdString();
    EXPECT_EQ(slurp(dir.filePath("お題その一.txt")), first);
}

TEST(MailImport, ExitStatus) {
    QTemporaryDir dir;
    const QString save = dir.filePath("save.txt");
    spit(dir.filePath("issue.txt"), sample());
    spit(dir.filePath("bad.mbox"), "From editor@example.com Mon Jan  1 00:00:00 2024\n" +
                                       sampleMessage().left(400));  // cut off
    // Usage errors and SOURCEs that are no mailbox: 2, nothing written.
    for (const QStringList& args :
         {QStringList{"import", dir.filePath("bad.mbox")},
          QStringList{"import", "--save-path", save},
          QStringList{"import", "--save-path", save, dir.filePath("issue.txt")},
          QStringList{"import", "--save-path", save, dir.filePath("missing")},
          QStringList{"import", "--bogus", "--save-path", save, dir.filePath("bad.mbox")}}) {
        const ClipRun run = clip(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(run.err.isEmpty());
        EXPECT_FALSE(QFile::exists(save));
    }
    // A message that fails: 1, with the reason in the summary.
    const ClipRun run = clip({"import", "--save-path", save, dir.filePath("bad.mbox")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.contains("失敗 1 通")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("途中で切れています")) << run.out.toStdString();
    // --help tells where the record is and what it does not know.
    const ClipRun help = clip({"import", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(".NAME.sorimba-imported"));
    EXPECT_TRUE(help.out.contains("saved\nearlier by hand") ||
                help.out.contains("saved earlier by hand"));
}

// A Maildir file that the user may not read fails on its own; the others
// go in. Root reads everything, so the import runs as an unprivileged user.
TEST(MailImport, AMaildirFileThatCannotBeRead) {
    if (::geteuid() != 0 || !QFile::exists(QStringLiteral("/usr/bin/setpriv")))
        GTEST_SKIP() << "needs root, to run the import as another user with setpriv";
    QTemporaryDir dir;
    const QString maildir = dir.filePath("Maildir");
    for (const char* sub : {"cur", "new", "tmp"}) ASSERT_TRUE(QDir().mkpath(maildir + "/" + sub));
    spit(maildir + "/cur/1700000001.M1P1.host:2,S", sampleMessage(1));
    spit(maildir + "/cur/1700000002.M2P1.host:2,S", sampleMessage(2));
    const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                          QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    ASSERT_TRUE(
        QFile::setPermissions(dir.path(), everyone | QFile::WriteGroup | QFile::WriteOther));
    ASSERT_TRUE(QFile::setPermissions(maildir + "/cur/1700000002.M2P1.host:2,S", {}));
    QProcess process;
    process.start(QStringLiteral("/usr/bin/setpriv"),
                  {"--reuid=65534", "--regid=65534", "--clear-groups",
                   QString::fromLocal8Bit(std::getenv("SORIMBA_CLIP")), "import", "--save-path",
                   dir.filePath("save.txt"), maildir});
    ASSERT_TRUE(process.waitForFinished(60000));
    const QByteArray out = process.readAllStandardOutput();
    EXPECT_EQ(process.exitCode(), 1)
        << out.toStdString() << process.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains("取り込み 1 件")) << out.toStdString();
    EXPECT_TRUE(out.contains("失敗 1 通")) << out.toStdString();
    EXPECT_TRUE(out.contains("1700000002.M2P1.host")) << out.toStdString();
}

}  // namespace
