// Large files piece by piece: line walking, reading in pieces, and the
// atomic replacement written as it goes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "files/files.h"
#include "support/files.h"

namespace tf = sorimba::files;

namespace {

using sorimba::testing::slurp;
using sorimba::testing::spit;

class Pieces : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    QStringList entries() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    }
};

}  // namespace

TEST_F(Pieces, ReadsAWholeFileInPiecesOfTheGivenSize) {
    QByteArray data;
    for (int i = 0; i < 1000; ++i) data += "line " + QByteArray::number(i) + "\r\n";
    spit(path("a.txt"), data);
    QByteArray back;
    size_t largest = 0;
    ASSERT_FALSE(tf::readInPieces(
        path("a.txt"),
        [&](std::string_view piece) {
            back.append(piece.data(), static_cast<qsizetype>(piece.size()));
            largest = std::max(largest, piece.size());
        },
        100));
    EXPECT_EQ(back, data);
    EXPECT_EQ(largest, 100u);

    int calls = 0;
    ASSERT_EQ(::mkfifo(path("fifo").toLocal8Bit().constData(), 0644), 0);
    EXPECT_TRUE(tf::readInPieces(path("fifo"), [&](std::string_view) { ++calls; }));
    EXPECT_TRUE(tf::readInPieces(dir.path(), [&](std::string_view) { ++calls; }));
    EXPECT_TRUE(tf::readInPieces(path("missing"), [&](std::string_view) { ++calls; }));
    EXPECT_EQ(calls, 0);
}

TEST_F(Pieces, ReplacementTakesThePlaceOnlyWhenCommitted) {
    spit(path("t.txt"), "old");
    ::chmod(path("t.txt").toLocal8Bit().constData(), 0640);
    ASSERT_EQ(::symlink("t.txt", path("link.txt").toLocal8Bit().constData()), 0);
    {
        tf::Replacement r(path("link.txt"), true);
        ASSERT_FALSE(r.status());
        EXPECT_TRUE(r.write("new "));
        EXPECT_TRUE(r.write("content"));
        EXPECT_EQ(slurp(path("t.txt")), "old");  // not yet
        ASSERT_FALSE(r.commit());
    }
    EXPECT_EQ(slurp(path("t.txt")), "new content");
    EXPECT_TRUE(QFileInfo(path("link.txt")).isSymLink());
    struct stat st {};
    ::stat(path("t.txt").toLocal8Bit().constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    {
        tf::Replacement r(path("t.txt"), true);
        EXPECT_TRUE(r.write("abandoned"));
    }  // not committed: discarded, no temporary file left behind
    EXPECT_EQ(slurp(path("t.txt")), "new content");
    EXPECT_EQ(entries(), (QStringList{"link.txt", "t.txt"}));
}

TEST_F(Pieces, ReplacementRefusesWhatItMustNotWrite) {
    spit(path("ro.txt"), "old");
    ::chmod(path("ro.txt").toLocal8Bit().constData(), 0444);
    ASSERT_EQ(::mkfifo(path("fifo").toLocal8Bit().constData(), 0644), 0);
    for (const QString& p :
         {path("ro.txt"), path("fifo"), path("absent.txt"), dir.path(), QString()}) {
        tf::Replacement r(p, true);
        EXPECT_TRUE(r.status()) << p.toStdString();
        EXPECT_FALSE(r.write("x"));
        EXPECT_TRUE(r.commit());
    }
    EXPECT_EQ(slurp(path("ro.txt")), "old");
    EXPECT_EQ(entries(), (QStringList{"fifo", "ro.txt"}));

    tf::Replacement created(path("new.txt"), false);  // may create when asked to
    ASSERT_TRUE(created.write("n"));
    ASSERT_FALSE(created.commit());
    EXPECT_EQ(slurp(path("new.txt")), "n");
}

TEST_F(Pieces, ReplacementSetPlacesManyFilesAndReportsEachInOrder) {
    // More files than are held open at once, and one that is refused.
    constexpr int kFiles = 300;
    tf::ReplacementSet set;
    for (int i = 0; i < kFiles; ++i) {
        const QString name = QStringLiteral("f%1.txt").arg(i);
        spit(dir.filePath(name), "old");
        if (i == 7) ::chmod(dir.filePath(name).toLocal8Bit().constData(), 0444);
        auto r = std::make_unique<tf::Replacement>(dir.filePath(name), true);
        r->write("new " + std::to_string(i));
        set.add(std::move(r));
    }
    const std::vector<sorimba::Fault> outcomes = set.commit();
    ASSERT_EQ(outcomes.size(), size_t{kFiles});
    for (int i = 0; i < kFiles; ++i) {
        const QByteArray now = slurp(dir.filePath(QStringLiteral("f%1.txt").arg(i)));
        if (i == 7) {
            EXPECT_TRUE(outcomes[i]);
            EXPECT_EQ(outcomes[i]->kind, sorimba::Failure::Kind::ReadOnly);
            EXPECT_EQ(now, "old");
        } else {
            EXPECT_FALSE(outcomes[i]) << i;
            EXPECT_EQ(now, "new " + QByteArray::number(i));
        }
    }
    EXPECT_EQ(entries().size(), kFiles);  // no temporary file left
}
