#include "files/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/files.h"

namespace tf = sorimba::files;

namespace {

using sorimba::testing::slurp;
using sorimba::testing::spit;

}  // namespace

TEST(FolderOf, KeepsEverythingUpToTheLastSlash) {
    EXPECT_EQ(tf::folderOf(QStringLiteral("/home/u/notes/a.txt")),
              QStringLiteral("/home/u/notes/"));
    EXPECT_EQ(tf::folderOf(QStringLiteral("/a.txt")), QStringLiteral("/"));
    EXPECT_EQ(tf::folderOf(QStringLiteral("a/")), QStringLiteral("a/"));
    EXPECT_EQ(tf::folderOf(QStringLiteral("a.txt")), QString());
    EXPECT_EQ(tf::folderOf(QString()), QString());
    EXPECT_EQ(tf::folderOf(QByteArray("/x/\xff\xfe/y")), QByteArray("/x/\xff\xfe/"));
}

class Files : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
};

TEST_F(Files, AppendKeepsOldBytesAndEndsTheirLastLine) {
    const QByteArray odd("1,000 \"q\"\r\n  lead\rlone\xff\xfe");
    spit(path("a.txt"), odd);
    ASSERT_FALSE(tf::appendToFile(path("a.txt"), "new\r\n"));
    EXPECT_EQ(slurp(path("a.txt")), odd + "\r\nnew\r\n");

    spit(path("b.txt"), "x\r");  // already ends with a line end
    ASSERT_FALSE(tf::appendToFile(path("b.txt"), "y\r\n"));
    EXPECT_EQ(slurp(path("b.txt")), "x\ry\r\n");

    ASSERT_FALSE(tf::appendToFile(path("new.txt"), "z\r\n"));  // created
    EXPECT_EQ(slurp(path("new.txt")), "z\r\n");
}

TEST_F(Files, AppendsToManyFilesEachOnItsOwn) {
    // One refused file stops no other; a file named twice gets both appends.
    spit(path("a.txt"), "a\r\n");
    spit(path("ro.txt"), "r\r\n");
    ::chmod(path("ro.txt").toLocal8Bit().constData(), 0444);
    const std::vector<sorimba::Fault> outcomes = tf::appendToFiles({{path("a.txt"), "1\r\n"},
                                                                    {path("ro.txt"), "2\r\n"},
                                                                    {path("new.txt"), "3\r\n"},
                                                                    {path("a.txt"), "4\r\n"},
                                                                    {path("missing/x.txt"), "5"}});
    ASSERT_EQ(outcomes.size(), 5u);
    EXPECT_FALSE(outcomes[0]);
    EXPECT_EQ(outcomes[1]->kind, sorimba::Failure::Kind::ReadOnly);
    EXPECT_FALSE(outcomes[2]);
    EXPECT_FALSE(outcomes[3]);
    EXPECT_EQ(outcomes[4]->systemError, ENOENT);
    EXPECT_EQ(slurp(path("a.txt")), "a\r\n1\r\n4\r\n");
    EXPECT_EQ(slurp(path("ro.txt")), "r\r\n");
    EXPECT_EQ(slurp(path("new.txt")), "3\r\n");
    EXPECT_TRUE(tf::appendToFiles({}).empty());
}

TEST_F(Files, RefusesWhatIsNotAWritableRegularFile) {
    spit(path("ro.txt"), "old\r\n");
    ::chmod(path("ro.txt").toLocal8Bit().constData(), 0444);
    EXPECT_TRUE(tf::appendToFile(path("ro.txt"), "x"));
    EXPECT_TRUE(tf::replaceFile(path("ro.txt"), "x", true));
    EXPECT_EQ(slurp(path("ro.txt")), "old\r\n");

    EXPECT_TRUE(tf::appendToFile(dir.path(), "x"));  // a directory
    ASSERT_EQ(::mkfifo(path("fifo").toLocal8Bit().constData(), 0644), 0);
    EXPECT_TRUE(tf::appendToFile(path("fifo"), "x"));  // must not hang
    EXPECT_TRUE(tf::replaceFile(path("fifo"), "x", false));
    EXPECT_TRUE(tf::appendToFile(path("missing/x.txt"), "x"));
    EXPECT_TRUE(tf::appendToFile(QString(), "x"));
    EXPECT_EQ(tf::fileKind(path("fifo")), tf::FileKind::Other);
    EXPECT_EQ(tf::fileKind(path("ro.txt")), tf::FileKind::Regular);
    EXPECT_EQ(tf::fileKind(path("nothing")), tf::FileKind::Missing);
}

TEST_F(Files, ReplaceKeepsPermissionsAndLinks) {
    spit(path("t.txt"), "old");
    ::chmod(path("t.txt").toLocal8Bit().constData(), 0640);
    ASSERT_EQ(::symlink("t.txt", path("link.txt").toLocal8Bit().constData()), 0);
    ASSERT_FALSE(tf::replaceFile(path("link.txt"), "new", true));
    EXPECT_EQ(slurp(path("t.txt")), "new");
    EXPECT_TRUE(QFileInfo(path("link.txt")).isSymLink());
    struct stat st {};
    ::stat(path("t.txt").toLocal8Bit().constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    EXPECT_TRUE(tf::replaceFile(path("absent.txt"), "x", true));
    EXPECT_FALSE(QFile::exists(path("absent.txt")));
}

TEST_F(Files, ReadFileStartStopsAtTheLimitAndSaysWhetherThatWasAll) {
    spit(path("r.txt"), "0123456789");
    QByteArray got;
    bool complete = true;
    ASSERT_FALSE(tf::readFileStart(path("r.txt"), 4, &got, &complete));
    EXPECT_EQ(got, "0123");
    EXPECT_FALSE(complete);
    ASSERT_FALSE(tf::readFileStart(path("r.txt"), 10, &got, &complete));  // exactly all
    EXPECT_EQ(got, "0123456789");
    EXPECT_TRUE(complete);
    ASSERT_FALSE(tf::readFileStart(path("r.txt"), -1, &got, &complete));
    EXPECT_EQ(got, "0123456789");
    EXPECT_TRUE(complete);
    EXPECT_TRUE(tf::readFileStart(dir.path(), 4, &got, &complete));
    EXPECT_TRUE(got.isEmpty());
}
