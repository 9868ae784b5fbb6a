// sorimba-clip settings FILE, run as a user would.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "textfile/textfile.h"

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

CliRun settingsOf(const QString& file) {
    QProcess p;
    p.start(clipProgram(), {"settings", file});
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput())};
}

class SettingsCommand : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString write(const QString& text) {
        QString path = dir.filePath("data.dat");
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(sorimba::textfile::toCp932(text));
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

TEST_F(SettingsCommand, SaysWhereReadingStops) {
    CliRun r = settingsOf(write(" 8000 \r\n 5000 \r\nIPAゴシック\r\n 12 \r\nabc\r\nTrue\r\n"));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(
        r.out.contains("line 5: text colour: 'abc' cannot be read; reading stops here, "
                       "the rest keep their defaults\n"))
        << r.out.toStdString();
    EXPECT_FALSE(r.out.contains("line 6"));

    r = settingsOf(write(" 8000 \r\n"));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("line 2: window height: missing, the file ends; reading stops"));

    r = settingsOf(dir.filePath("absent.dat"));
    EXPECT_EQ(r.status, 2);
    r = settingsOf(dir.path());  // a folder
    EXPECT_EQ(r.status, 2);
}
