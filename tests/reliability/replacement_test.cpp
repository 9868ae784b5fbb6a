// A conversion replaces the user's file: run as root it keeps the file's
// owner, and it never replaces a file while another writer holds the lock
// of the save files there (it would lose their new lines).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>

#include "convert/convert.h"
#include "files/files.h"
#include "support/files.h"

namespace sorimba::reliability {
namespace {

using sorimba::testing::slurp;
using sorimba::testing::spit;

TEST(Replacement, KeepsTheOwnerAndWaitsForTheWritersLock) {
    QTemporaryDir dir;
    const QString file = dir.filePath("a.txt");
    const QByteArray before = "one\r\ntwo\r\n\r\nthree\r\n";
    spit(file, before);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(file.toLocal8Bit().constData(), 65534, 65534), 0);
    }

    files::FolderLock other;
    ASSERT_EQ(other.take(dir.path(), 0), files::FolderLock::State::Held);
    EXPECT_TRUE(convert::convertFile(file));
    EXPECT_EQ(slurp(file), before);
    other.release();

    ASSERT_FALSE(convert::convertFile(file));
    EXPECT_NE(slurp(file), before);
    struct stat st {};
    ASSERT_EQ(::stat(file.toLocal8Bit().constData(), &st), 0);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
}

}  // namespace
}  // namespace sorimba::reliability
