// sorimba-clip settings FILE, run as a user would.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "encoding/encoding.h"

namespace {

struct CliRun {
    int status = -1;
    QString out;
};

// SORIMBA_CLIP, or else the sorimba-clip built beside this test program.
QString clipProgram() {
    QString clip = qEnvironmentVariable("SORIMBA_CLIP");
    if (clip.isEmpty()) clip = QFileInfo("/proc/self/exe").canonicalPath() + "/sorimba-clip";
    return clip;
}

CliRun settingsOf(const QString& file, const QStringList& flags = {}) {
    QProcess p;
    p.start(clipProgram(), QStringList{"settings"} + flags + QStringList{file});
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput())};
}

class SettingsCommand : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString write(const QString& text, const QString& name = "data.dat") {
        QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(sorimba::encoding::toCp932(text));
        return path;
    }
};

}  // namespace

TEST_F(SettingsCommand, ShowsEveryValueAsTheWindowWouldApplyIt) {
    CliRun r =
        settingsOf(write(" 7185 \r\n 6510 \r\nＭＳ ゴシック\r\n 10.5 \r\n-2147483640 \r\n"
                         "False\r\n-1\r\nFalse\r\nFalse\r\nFalse\r\nTrue\r\nFalse\r\nFalse\r\n"
                         "True\r\nextra\r\n"));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("line 1: window width: 7185 twips\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("line 3: font name: \"ＭＳ ゴシック\"\n"));
    EXPECT_TRUE(r.out.contains("line 4: font size: 10.5 points\n"));
    EXPECT_TRUE(r.out.contains("line 5: text colour: -2147483640 (system colour 8)\n"));
    EXPECT_TRUE(r.out.contains("line 7: option item 1 WithTitles: checked\n"));
    EXPECT_TRUE(r.out.contains("line 14: option item 8 ConfirmSave: checked\n"));
    EXPECT_TRUE(r.out.contains("all 14 values read"));
}

TEST_F(SettingsCommand, SaysWhereReadingStopsAndExitsWithOne) {
    CliRun r = settingsOf(write(" 8000 \r\n 5000 \r\nIPAゴシック\r\n 12 \r\nabc\r\nTrue\r\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(
        r.out.contains("line 5: text colour: 'abc' cannot be read; reading stops here, "
                       "the rest keep their defaults\n"))
        << r.out.toStdString();
    EXPECT_FALSE(r.out.contains("line 6"));

    r = settingsOf(write(" 8000 \r\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains("line 2: window height: missing, the file ends; reading stops"));

    r = settingsOf(dir.filePath("absent.dat"));
    EXPECT_EQ(r.status, 2);
    r = settingsOf(dir.path());  // a folder
    EXPECT_EQ(r.status, 2);
}

TEST_F(SettingsCommand, TellsTheSavePathFileByItsNameOrAFlag) {
    const QString savePath = QStringLiteral("/home/u/ぴこ/記録.txt");
    CliRun r = settingsOf(write(savePath + "\r\n", "data2.dat"));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("save path file (data2.dat), code page 932\n"))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("save path: '" + savePath + "'\n")) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains("window width"));

    // Any name with --data2; a data2.dat read as a data.dat with --data.
    r = settingsOf(write(savePath + "\r\n", "saved-path.txt"), {"--data2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("save path: '" + savePath + "'\n"));
    r = settingsOf(dir.filePath("data2.dat"), {"--data"});
    EXPECT_EQ(r.status, 1);  // a path is no window width
    EXPECT_TRUE(r.out.contains("line 1: window width: ")) << r.out.toStdString();
    r = settingsOf(dir.filePath("data2.dat"), {"--data", "--data2"});
    EXPECT_EQ(r.status, 2);

    // A data2.dat that gives no save path.
    r = settingsOf(write(QString(), "data2.dat"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains("no save path")) << r.out.toStdString();
    r = settingsOf(dir.filePath("sub/data2.dat"));
    EXPECT_EQ(r.status, 2);
}
