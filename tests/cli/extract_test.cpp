// sorimba-clip extract, run as a program on the sample issue.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdlib>

#include "encoding/encoding.h"

namespace {

struct ClipRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ClipRun runClip(const QStringList& args, const QByteArray& input = {}) {
    QProcess process;
    process.start(QString::fromLocal8Bit(std::getenv("SORIMBA_CLIP")),
                  QStringList{"extract"} + args);
    EXPECT_TRUE(process.waitForStarted());
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(60000));
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

QByteArray crlfLines(std::initializer_list<const char*> lines) {
    QByteArray text;
    for (const char* line : lines) text += QByteArray(line) + "\r\n";
    return text;
}

const QStringList kAllButJoin{"--with-titles", "--with-votes", "--with-staff-word", "--with-about"};

// The sample issue with every option but joining, checked by hand.
const QByteArray kSampleClip = crlfLines({
    "",
    "●お題その一　雨の日の過ごし方",
    "",
    "○ねこまる（東京都）",
    "雨の日は窓際で本を読みます。",
    "雨音がちょうどいい背景音になるんです。",
    "◇これに一票",
    "",
    "○しろくま（北海道）",
    "長靴を履いて、わざと水たまりを歩きます。",
    "",
    ">大人になってもやめられない",
    "",
    "と友人に言われました。",
    "",
    "○ぽんた（大阪府）",
    "",
    "【家族会議】",
    "雨の日は家族でボードゲーム大会です。",
    "◇これに一票",
    "",
    "●お題その二　○○な思い出",
    "",
    "○みかん（静岡県）",
    "子どもの頃、みかん狩りで",
    "食べすぎてお腹を壊した思い出。",
    "",
    "○こぐま（長野県）",
    "",
    ">山で道に迷ったとき",
    ">一本の木が目印になりました",
    "",
    "今でもその木を見に行きます。",
    "",
    "●スタッフのひとこと",
    "○スタッフより",
    "　今週もたくさんの投稿ありがとうございました。",
    "　来週は特別号です。お楽しみに。",
    "",
    "●ぴこぴこについて",
    "○【ウィークリーぴこぴこは、毎週月曜日、読者のみなさんの投稿で作る、メールマガジンです】",
});

TEST(ExtractCommand, SampleWithCrLfOrLfLineEnds) {
    const QByteArray crlf = sample();
    ASSERT_TRUE(crlf.contains("\r\n"));
    QByteArray lf = crlf;
    lf.replace("\r\n", "\n");

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString lfPath = dir.filePath("issue-lf.txt");
    QFile file(lfPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(lf);
    file.close();

    for (const ClipRun& run :
         {runClip(kAllButJoin, crlf), runClip(kAllButJoin + QStringList{lfPath})}) {
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, kSampleClip);
        EXPECT_EQ(run.err, "");
    }
}

TEST(ExtractCommand, JoinedAndPlainSample) {
    const ClipRun joined = runClip(kAllButJoin + QStringList{"--join-lines"}, sample());
    EXPECT_EQ(joined.exitCode, 0);
    EXPECT_TRUE(joined.out.startsWith("\r\n\r\n●お題その一"));
    EXPECT_TRUE(joined.out.contains(
        "\r\n○ねこまる（東京都）雨の日は窓際で本を読みます。雨音がちょうどいい背景音になるんです。"
        "◇これに一票\r\n"));
    EXPECT_TRUE(joined.out.contains(
        "\r\n●スタッフのひとこと\r\n○スタッフより今週もたくさんの投稿ありがとうございました。"
        "来週は特別号です。お楽しみに。\r\n"));

    const ClipRun plain = runClip({}, sample());
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_TRUE(plain.out.startsWith("○ねこまる（東京都）\r\n"));
    EXPECT_TRUE(plain.out.endsWith("\r\n今でもその木を見に行きます。\r\n"));
    EXPECT_FALSE(plain.out.contains("●"));
    EXPECT_FALSE(plain.out.contains("◇これに一票"));
}

TEST(ExtractCommand, CodePage932Input) {
    const QByteArray cp932 = sorimba::encoding::toCp932(QString::fromUtf8(sample()));
    const ClipRun run = runClip(kAllButJoin + QStringList{"--encoding", "cp932"}, cp932);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, kSampleClip);
}

TEST(ExtractCommand, MissingColumnAndEmptyClipText) {
    const ClipRun missing = runClip(kAllButJoin, "ウィークリーぴこぴこ\r\n●お題\r\n\r\n○投稿\r\n");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "取り込めませんでした\n");

    // With --raw an LF-only issue is one long line: the marker is found,
    // nothing is taken.
    QByteArray lf = sample();
    lf.replace("\r\n", "\n");
    const ClipRun empty = runClip({"--raw", "--with-titles", "--with-votes"}, lf);
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(empty.err, "");
}

TEST(ExtractCommand, InvalidUtf8IsReplacedNotFatalWhenUtf8IsForced) {
    const QByteArray issue = "■ぴこぴこＺＯＫ\r\n●T\r\n\r\n○\xff\xfe\xc3\r\n";
    const ClipRun run = runClip({"--encoding=utf-8"}, issue);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.startsWith("○\xef\xbf\xbd")) << run.out.toStdString();
    // Unforced, bytes that are not UTF-8 are code page 932, as in the window.
    EXPECT_EQ(runClip({}, issue).out, runClip({"--encoding", "cp932"}, issue).out);
}

// Whatever the encoding the window recognises, a file gives the clip text of
// the UTF-8 file, without flags; standard input too.
TEST(ExtractCommand, EveryEncodingGivesTheSameClipText) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString text = QString::fromUtf8(sample());
    QString lf = text;
    lf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const auto withMark = [](QStringConverter::Encoding encoding, const QString& t) {
        QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
        return QByteArray(encoder(t));
    };
    const QList<QByteArray> files = {
        text.toUtf8(),
        sorimba::encoding::toCp932(text),
        sorimba::encoding::toCp932(lf),
        withMark(QStringConverter::Utf16LE, text),
        withMark(QStringConverter::Utf16BE, lf),
        withMark(QStringConverter::Utf32LE, text),
        withMark(QStringConverter::Utf8, lf),
    };
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString path = dir.filePath(QStringLiteral("issue%1.txt").arg(i));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(files[i]);
        file.close();
        const ClipRun run = runClip(kAllButJoin + QStringList{path});
        EXPECT_EQ(run.exitCode, 0) << i;
        EXPECT_EQ(run.out, kSampleClip) << i;
        EXPECT_EQ(runClip(kAllButJoin, files[i]).out, kSampleClip) << i;
    }
}

TEST(ExtractCommand, UsageErrors) {
    const ClipRun unknown = runClip({"--with-everything"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains("usage: sorimba-clip extract"));

    const ClipRun badEncoding = runClip({"--encoding", "latin1"});
    EXPECT_EQ(badEncoding.exitCode, 2);

    const ClipRun unreadable = runClip({"/nonexistent/issue.txt"});
    EXPECT_EQ(unreadable.exitCode, 2);
    EXPECT_TRUE(unreadable.err.contains("/nonexistent/issue.txt"));
    EXPECT_EQ(unreadable.out, "");
}

}  // namespace
