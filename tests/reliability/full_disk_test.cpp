// Writes that do not fit. A write that fails for want of room must be
// reported and must leave the old content exactly as it was, with no
// temporary file behind.
//
// Each case runs twice: on a small tmpfs that is full (mounting it needs
// root; without root that run is skipped, and says so), and under a file-size
// limit (RLIMIT_FSIZE), where a write beyond the limit fails the same way a
// full disk does, which any user can set.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>

#include "convert/convert.h"
#include "encoding/encoding.h"
#include "files/files.h"
#include "saving/saving.h"
#include "settings/dat_format.h"
#include "support/fake_window_settings.h"
#include "support/files.h"

namespace sorimba::reliability {
namespace {

using testing::slurp;
using testing::spit;

enum class Room { SmallDisk, FileSizeLimit };

class FullDiskTest : public ::testing::TestWithParam<Room> {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch_.isValid());
        disk_ = scratch_.filePath(QStringLiteral("disk"));
        ASSERT_TRUE(QDir().mkpath(disk_));
        if (GetParam() == Room::SmallDisk) {
            if (::mount("tmpfs", QFile::encodeName(disk_).constData(), "tmpfs", 0, "size=64k") !=
                0) {
                std::fprintf(stderr,
                             "*** full disk: cannot mount a small tmpfs here (not root?): the "
                             "full-disk run is SKIPPED; the file-size-limit run still checks "
                             "every case ***\n");
                GTEST_SKIP() << "cannot mount a small tmpfs here (not root?)";
            }
            mounted_ = true;
        }
    }
    void TearDown() override {
        liftLimit();
        if (mounted_) ::umount2(QFile::encodeName(disk_).constData(), MNT_DETACH);
    }

    QString at(const QString& name) const { return disk_ + QLatin1Char('/') + name; }

    // From here on, no file gets beyond `bytes`: the small disk is filled
    // up, or the file-size limit is set to `bytes`.
    void leaveNoRoomBeyond(rlim_t bytes) {
        if (GetParam() == Room::SmallDisk) {
            fill();
        } else {
            limitFileSize(bytes);
        }
    }

    // Only the file-size-limit run needs a limit; the small disk is small.
    void limitFileSize(rlim_t bytes) {
        if (GetParam() != Room::FileSizeLimit) return;
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved_), 0);
        // A write beyond the limit fails with EFBIG instead of ending the
        // process with SIGXFSZ.
        oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = saved_;
        lower.rlim_cur = bytes;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lower), 0);
        limited_ = true;
    }

    void liftLimit() {
        if (!limited_) return;
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, oldHandler_);
        limited_ = false;
    }

    // What the user is told when the bytes do not fit.
    // The system's answer to a write that does not fit.
    int noRoomError() const { return GetParam() == Room::SmallDisk ? ENOSPC : EFBIG; }

    // The files expected in the folder, with the filler of the full disk.
    QStringList withFiller(QStringList names) const {
        if (GetParam() == Room::SmallDisk && filled_) names.append(QStringLiteral("filler"));
        names.sort();
        return names;
    }

    QStringList entries() const {
        return QDir(disk_).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                     QDir::Name);
    }

    QString disk_;

private:
    // Fills what is left of the disk.
    void fill() {
        QFile f(at(QStringLiteral("filler")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Append));
        const QByteArray block(512, 'x');
        while (f.write(block) == block.size() && f.flush()) {
        }
        filled_ = true;
    }

    QTemporaryDir scratch_;
    bool mounted_ = false;
    bool filled_ = false;
    bool limited_ = false;
    rlimit saved_{};
    sighandler_t oldHandler_ = SIG_DFL;
};

INSTANTIATE_TEST_SUITE_P(Room, FullDiskTest,
                         ::testing::Values(Room::SmallDisk, Room::FileSizeLimit),
                         [](const ::testing::TestParamInfo<Room>& run) {
                             return run.param == Room::SmallDisk ? "SmallDisk" : "FileSizeLimit";
                         });

std::vector<QString> manyLines(const QString& tag, int count) {
    std::vector<QString> lines;
    for (int i = 0; i < count; ++i)
        lines.push_back(QStringLiteral("%1 の %2 行目：ディスクがいっぱいです").arg(tag).arg(i));
    return lines;
}

TEST_P(FullDiskTest, SaveThatDoesNotFitIsReportedAndTakenBack) {
    const QString path = at(QStringLiteral("clip.txt"));
    // The old content ends part-way into its last page: the first new
    // bytes still fit, the rest do not.
    const QByteArray old = QByteArray(8000, 'o') + "\r\n";
    spit(path, old);
    leaveNoRoomBeyond(12000);
    const saving::SaveResult result = saving::saveLines(manyLines(u"新"_qs, 4000), false, path);
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.filesWritten, 0);
    EXPECT_EQ(result.failures[0].systemError, noRoomError());
    EXPECT_EQ(slurp(path), old);
    EXPECT_EQ(entries(), withFiller({"clip.txt"}));

    // A new save file that does not fit is not left behind, not even empty.
    const QString fresh = at(QStringLiteral("fresh.txt"));
    EXPECT_EQ(saving::saveLines(manyLines(u"新"_qs, 4000), false, fresh).failures.size(), 1u);
    EXPECT_EQ(entries(), withFiller({"clip.txt"}));
}

TEST_P(FullDiskTest, PerTitleSaveReportsEachFileThatDidNotFit) {
    const QString savePath = at(QStringLiteral("clip.txt"));
    QString text = QStringLiteral("ヘッダ\r\n\r\n●小さい\r\n一行だけ\r\n\r\n●大きい\r\n");
    for (const QString& line : manyLines(u"大"_qs, 6000)) text += line + QStringLiteral("\r\n");
    text += QStringLiteral("おわり");
    const QByteArray oldBig("前からある\r\n");
    spit(at(QStringLiteral("大きい.txt")), oldBig);
    limitFileSize(16384);

    const saving::SaveResult result = saving::saveLines(encoding::cutAtCrLf(text), true, savePath);
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].path, at(QStringLiteral("大きい.txt")));
    EXPECT_EQ(result.filesWritten, 1);
    EXPECT_EQ(slurp(at(QStringLiteral("大きい.txt"))), oldBig);
    EXPECT_EQ(slurp(at(QStringLiteral("小さい.txt"))), encoding::toCp932(u"一行だけ\r\n\r\n"_qs));
}

TEST_P(FullDiskTest, ConvertThatDoesNotFitLeavesTheFileAlone) {
    const QString path = at(QStringLiteral("issue.txt"));
    const QByteArray old("one\r\ntwo\r\n\r\nthree\r\nfour\r\n");
    spit(path, old);
    leaveNoRoomBeyond(8);
    EXPECT_TRUE(convert::convertFile(path));
    EXPECT_EQ(slurp(path), old);

    const convert::FolderOutcome folder = convert::convertFolder(disk_);
    EXPECT_EQ(folder.converted, 0);
    EXPECT_EQ(folder.failures.size(), 1u);
    EXPECT_EQ(slurp(path), old);
    EXPECT_EQ(entries(), withFiller({"issue.txt"}));
}

TEST_P(FullDiskTest, ReplacementThatDoesNotFitFailsAndKeepsTheFile) {
    const QString path = at(QStringLiteral("data.dat"));
    const QByteArray old("old content\r\n");
    spit(path, old);
    leaveNoRoomBeyond(8);
    EXPECT_TRUE(files::replaceFile(path, QByteArray("new content, a little longer\r\n"), false));
    EXPECT_EQ(slurp(path), old);
    EXPECT_EQ(entries(), withFiller({"data.dat"}));
}

TEST_P(FullDiskTest, SettingsThatDoNotFitKeepTheOldFiles) {
    testing::FakeWindowSettings form;
    form.files.data = at(QStringLiteral("data.dat"));
    form.files.data2 = at(QStringLiteral("data2.dat"));
    form.savePath = QStringLiteral("/home/user/保存/clip.txt");
    const QByteArray oldDat = settings::datFileBytes(form);
    const QByteArray oldDat2 = *settings::dat2FileBytes(QStringLiteral("/old/clip.txt"));
    spit(form.files.data, oldDat);
    spit(form.files.data2, oldDat2);
    leaveNoRoomBeyond(8);
    form.setOuterWidth(9999);
    EXPECT_FALSE(settings::writeSettings(form, form.files, form.savePath));
    EXPECT_EQ(slurp(form.files.data), oldDat);
    // data2.dat is small and may still fit; it is replaced whole or not at all.
    const QByteArray dat2 = slurp(form.files.data2);
    EXPECT_TRUE(dat2 == oldDat2 || dat2 == *settings::dat2FileBytes(form.savePath));
    EXPECT_EQ(entries(), withFiller({"data.dat", "data2.dat"}));
}

}  // namespace
}  // namespace sorimba::reliability
