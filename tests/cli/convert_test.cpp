// sorimba-clip convert, run as a user would from a shell.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "support/files.h"

namespace {

using sorimba::testing::slurp;
using sorimba::testing::spit;

struct ClipResult {
    int status = -1;
    QString err;
};

ClipResult clip(const QStringList& args, const QString& workingDirectory = QString()) {
    QProcess p;
    p.setWorkingDirectory(workingDirectory);
    p.start(qEnvironmentVariable("SORIMBA_CLIP"), QStringList{"convert"} + args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return ClipResult{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                      QString::fromUtf8(p.readAllStandardError())};
}

const QByteArray kBefore("A\r\nB\r\n\r\nC\r\n");
const QByteArray kAfter("AB\r\n\r\nC\r\n\r\n");

class ConvertCommand : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(qEnvironmentVariable("SORIMBA_CLIP").isEmpty()); }
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
};

}  // namespace

TEST_F(ConvertCommand, ConvertsOneFileWhateverItsExtension) {
    spit(path("notes.md"), kBefore);
    ClipResult r = clip({path("notes.md")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_EQ(slurp(path("notes.md")), kAfter);
}

TEST_F(ConvertCommand, MissingFileIsReportedAndNotCreated) {
    ClipResult r = clip({path("missing.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(path("missing.txt"))) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path("missing.txt")));
}

TEST_F(ConvertCommand, FolderReportsEachFileItCouldNotConvert) {
    spit(path("a.txt"), kBefore);
    spit(path("b.TXT"), kBefore);
    spit(path("ro.txt"), kBefore);
    spit(path("other.csv"), kBefore);
    ASSERT_EQ(::chmod(path("ro.txt").toLocal8Bit().constData(), 0444), 0);

    ClipResult r = clip({"--folder", dir.path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(path("ro.txt"))) << r.err.toStdString();
    EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1) << r.err.toStdString();
    EXPECT_EQ(slurp(path("a.txt")), kAfter);
    EXPECT_EQ(slurp(path("b.TXT")), kAfter);
    EXPECT_EQ(slurp(path("ro.txt")), kBefore);
    EXPECT_EQ(slurp(path("other.csv")), kBefore);

    ASSERT_EQ(::chmod(path("ro.txt").toLocal8Bit().constData(), 0644), 0);
    r = clip({"--folder", dir.path() + QLatin1Char('/')});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(slurp(path("ro.txt")), kAfter);

    r = clip({"--folder", path("nowhere")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(path("nowhere"))) << r.err.toStdString();
}

TEST_F(ConvertCommand, UsageErrorsChangeNothing) {
    spit(path("a.txt"), kBefore);
    for (const QStringList& args :
         {QStringList{}, QStringList{"--folder"}, QStringList{"--bogus", path("a.txt")},
          QStringList{path("a.txt"), path("a.txt")},
          QStringList{path("a.txt"), "--folder", dir.path()}, QStringList{""}}) {
        ClipResult r = clip(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("usage"))) << r.err.toStdString();
    }
    EXPECT_EQ(slurp(path("a.txt")), kBefore);

    // A file whose name starts with "-" can still be named after "--".
    spit(path("-x.txt"), kBefore);
    EXPECT_EQ(clip({"--", "-x.txt"}, dir.path()).status, 0);
    EXPECT_EQ(slurp(path("-x.txt")), kAfter);
}
