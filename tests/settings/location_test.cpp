#include "settings/location.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "settings/settings.h"
#include "support/fake_window_settings.h"
#include "support/files.h"

using namespace sorimba;
using namespace sorimba::settings;

namespace {

class Location : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString program() const { return dir.filePath("bin"); }
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(program())); }
};

int modeOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return int(st.st_mode & 07777);
}

TEST_F(Location, AnInstalledCopyUsesTheUsersConfigurationFolder) {
    // The program's folder is writable here (and always for root): that
    // must not make the copy portable.
    EXPECT_EQ(settingsFolder(program(), {"/home/r/conf", "/home/r"}), "/home/r/conf/sorimba");
    EXPECT_EQ(settingsFolder(program(), {"", "/home/r"}), "/home/r/.config/sorimba");
    EXPECT_EQ(settingsFolder(program(), {"", "/root/"}), "/root/.config/sorimba");
    // A relative $XDG_CONFIG_HOME is not a place: it counts as unset.
    EXPECT_EQ(settingsFolder(program(), {"conf", "/home/r"}), "/home/r/.config/sorimba");
    EXPECT_EQ(settingsFolder(program(), {"", ""}), "");
    EXPECT_EQ(settingsFolder(program(), {"", "relative"}), "");
    EXPECT_FALSE(isPortable(program()));
}

TEST_F(Location, APortableCopyKeepsItsSettingsBesideItself) {
    // data.dat as a folder is not a settings file and makes nothing portable.
    ASSERT_TRUE(QDir().mkpath(program() + "/data.dat"));
    EXPECT_EQ(settingsFolder(program(), {"", "/home/r"}), "/home/r/.config/sorimba");
    ASSERT_TRUE(QDir(program() + "/data.dat").removeRecursively());

    // A folder carried over from before: its data.dat keeps it portable.
    sorimba::testing::spit(program() + "/data.dat", " 7185 \r\n");
    EXPECT_EQ(settingsFolder(program(), {"/home/r/conf", "/home/r"}), program());
    QFile::remove(program() + "/data.dat");

    // The marker, as the build writes it.
    sorimba::testing::spit(program() + "/" + kPortableMarker, "");
    EXPECT_EQ(settingsFolder(program() + "/", {"/home/r/conf", "/home/r"}), program());
    EXPECT_EQ(settingsFolder(program(), {"", ""}), program());
}

TEST_F(Location, TheFolderIsMadeForItsUserOnlyWhenTheWindowFirstCloses) {
    const QString config = dir.filePath("home/.config");
    const QString folder = config + "/sorimba";
    sorimba::testing::FakeWindowSettings window;
    window.files = SettingsFiles::in(folder);
    EXPECT_EQ(loadSettings(window, window.files).savePath, "");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("home")));  // starting writes nothing

    storeSettings(window, window.files, "/tmp/save.txt");
    EXPECT_TRUE(QFileInfo(window.files.data).isFile());
    EXPECT_TRUE(QFileInfo(window.files.data2).isFile());
    EXPECT_EQ(modeOf(folder), 0700);
    EXPECT_EQ(modeOf(config), 0700);

    // An existing folder keeps its mode; a file in the way is not replaced.
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    EXPECT_TRUE(makeSettingsFolder(folder));
    EXPECT_EQ(modeOf(folder), 0755);
    sorimba::testing::spit(dir.filePath("plain"), "x");
    EXPECT_FALSE(makeSettingsFolder(dir.filePath("plain/sorimba")));
    EXPECT_EQ(sorimba::testing::slurp(dir.filePath("plain")), "x");
    EXPECT_FALSE(makeSettingsFolder("relative/sorimba"));
}

}  // namespace
