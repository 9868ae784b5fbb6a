// The one write path of the save files: confinement, the lock every writer
// shares, and take-backs that never take another writer's bytes.

#include "saving/writer.h"

#include <QDir>
#include <chrono>

#include "files/files.h"
#include "saving/saving.h"
#include "saving_test_util.h"

namespace sorimba::saving::test {
namespace {

class Writer : public SavingTest {};

TEST_F(Writer, EverySpellingOfTheSavePathIsOneAbsolutePath) {
    QDir().mkpath(path("real/sub"));
    ASSERT_EQ(
        ::symlink(path("real").toLocal8Bit().constData(), path("link").toLocal8Bit().constData()),
        0);
    const QString canonical = QDir(path("real")).canonicalPath() + "/save.txt";
    for (const QString& spelling : {path("real/save.txt"), path("link/save.txt"),
                                    path("real/sub/../save.txt"), path("./real/./save.txt")})
        EXPECT_EQ(absoluteSavePath(spelling), canonical) << spelling.toStdString();
    // Relative to the current folder; a missing folder is only made absolute.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(path("link")));
    EXPECT_EQ(absoluteSavePath("save.txt"), canonical);
    EXPECT_EQ(absoluteSavePath("sub/../save.txt"), canonical);
    EXPECT_TRUE(absoluteSavePath("gone/save.txt").endsWith("/real/gone/save.txt"));
    QDir::setCurrent(before);
}

TEST_F(Writer, WritesOnlyTheSaveFileOrTitleFilesBesideIt) {
    QDir().mkpath(path("inner"));
    SaveWriter plain(path("save.txt"), false);
    SaveWriter titles(path("save.txt"), true);
    EXPECT_FALSE(plain.confined(path("save.txt")).isEmpty());
    EXPECT_TRUE(plain.confined(path("other.txt")).isEmpty());
    EXPECT_FALSE(titles.confined(path("お題.txt")).isEmpty());
    EXPECT_FALSE(titles.confined(path("inner/../お題.txt")).isEmpty());
    for (const QString& outside : {path("inner/a.txt"), path("../a.txt"), path(".bashrc"),
                                   QString("/etc/a.txt"), path("a.txt") + QChar(0) + "x"})
        EXPECT_TRUE(titles.confined(outside).isEmpty()) << outside.toStdString();
    const std::vector<sorimba::Fault> outcomes =
        titles.append({{path("inner/a.txt"), "x\r\n"}, {path("b.txt"), "y\r\n"}});
    EXPECT_TRUE(outcomes[0]);
    EXPECT_FALSE(outcomes[1]);
    EXPECT_EQ(tree(tmp.path()), (QStringList{"b.txt", "inner"}));
}

// A take-back cuts a file back only while it ends with this writer's bytes:
// the bytes another program appended after them (it ignored the lock)
// stay, and so do ours, reported as a possible partial entry.
TEST_F(Writer, TakeBackLeavesAnotherWritersBytes) {
    struct Case {
        const char* name;
        QByteArray foreign;  // appended by another program before the take-back
        QByteArray expected;
        bool partial;
    };
    const QByteArray old = "old\r\n", ours = "ours\r\n";
    for (const Case& c : {Case{"alone", "", old, false}, Case{"another program wrote", "theirs\r\n",
                                                              old + ours + "theirs\r\n", true}}) {
        spit(path("save.txt"), old);
        SaveWriter writer(path("save.txt"), false);
        ASSERT_FALSE(writer.append({{path("save.txt"), ours}}, true)[0]);
        if (!c.foreign.isEmpty()) {
            QFile file(path("save.txt"));
            ASSERT_TRUE(file.open(QIODevice::Append));
            file.write(c.foreign);
        }
        const std::vector<Fault> back = writer.takeBack();
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0] && back[0]->kind == Failure::Kind::PartialEntry, c.partial) << c.name;
        EXPECT_EQ(slurp(path("save.txt")), c.expected) << c.name;
    }
}

// Every writer takes the same lock, whatever the name of the save file: a
// save that finds it taken waits a moment, then writes nothing and says so.
// The lock creates nothing, not even the save file of a per-title save.
TEST_F(Writer, ASaveWaitsForTheLockThenSaysTheFileIsBusy) {
    QDir().mkpath(path("real"));
    ASSERT_EQ(::symlink("real/save.txt", path("link.txt").toLocal8Bit().constData()), 0);
    spit(path("real/save.txt"), "old\r\n");
    files::FolderLock other;  // another writer, holding the real file's folder
    ASSERT_EQ(other.take(path("real"), 0), files::FolderLock::State::Held);
    int waits = 0;
    const auto start = std::chrono::steady_clock::now();
    const SaveResult busy = saveLines({"new"}, false, path("link.txt"), [&] { ++waits; });
    EXPECT_TRUE(busy.busy);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_GT(waits, 0);  // the window keeps drawing meanwhile
    ASSERT_FALSE(busy.failures.empty());
    EXPECT_EQ(busy.failures[0].kind, Failure::Kind::Busy);
    EXPECT_EQ(slurp(path("real/save.txt")), "old\r\n");
    other.release();
    EXPECT_TRUE(saveLines({"new"}, false, path("link.txt")).failures.empty());
    EXPECT_EQ(slurp(path("real/save.txt")), "old\r\nnew\r\n");

    // Per title: the folder's lock; the save file itself is never created.
    ASSERT_TRUE(saveLines({"", "●A", "a", ""}, true, path("real/none.txt")).failures.empty());
    EXPECT_FALSE(exists(path("real/none.txt")));
    EXPECT_EQ(slurp(path("real/A.txt")), "a\r\n");
}

}  // namespace
}  // namespace sorimba::saving::test
