// Writes onto a full disk: a small tmpfs (needs root; skipped otherwise).
// A write that does not fit must be reported and must leave the old content
// exactly as it was, with no temporary file behind.

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "convert/convert.h"
#include "saving/saving.h"
#include "settings/dat_format.h"
#include "support/fake_window_settings.h"
#include "support/files.h"
#include "textfile/textfile.h"

namespace sorimba::reliability {
namespace {

using testing::slurp;
using testing::spit;

class FullDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch_.isValid());
        disk_ = scratch_.filePath(QStringLiteral("disk"));
        ASSERT_TRUE(QDir().mkpath(disk_));
        if (::mount("tmpfs", QFile::encodeName(disk_).constData(), "tmpfs", 0, "size=64k") != 0)
            GTEST_SKIP() << "cannot mount a small tmpfs here (not root?)";
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_) ::umount2(QFile::encodeName(disk_).constData(), MNT_DETACH);
    }

    QString at(const QString& name) const { return disk_ + QLatin1Char('/') + name; }

    // Fills what is left of the disk.
    void fill() {
        QFile f(at(QStringLiteral("filler")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Append));
        const QByteArray block(512, 'x');
        while (f.write(block) == block.size() && f.flush()) {
        }
    }

    QStringList entries() const {
        return QDir(disk_).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                     QDir::Name);
    }

    QTemporaryDir scratch_;
    QString disk_;
    bool mounted_ = false;
};

std::vector<QString> manyLines(const QString& tag, int count) {
    std::vector<QString> lines;
    for (int i = 0; i < count; ++i)
        lines.push_back(QStringLiteral("%1 の %2 行目：ディスクがいっぱいです").arg(tag).arg(i));
    return lines;
}

TEST_F(FullDiskTest, SaveThatDoesNotFitIsReportedAndTakenBack) {
    const QString path = at(QStringLiteral("clip.txt"));
    // The old content ends part-way into its last page: the first new
    // bytes still fit, the rest do not.
    const QByteArray old = QByteArray(8000, 'o') + "\r\n";
    spit(path, old);
    fill();
    const saving::SaveResult result = saving::saveLines(manyLines(u"新"_qs, 4000), false, path);
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.filesWritten, 0);
    EXPECT_EQ(result.failures[0].reason, QStringLiteral("ディスクに空きがありません"));
    EXPECT_EQ(slurp(path), old);
    EXPECT_EQ(entries(), (QStringList{"clip.txt", "filler"}));
}

TEST_F(FullDiskTest, PerTitleSaveReportsEachFileThatDidNotFit) {
    const QString savePath = at(QStringLiteral("clip.txt"));
    QString text = QStringLiteral("ヘッダ\r\n\r\n●小さい\r\n一行だけ\r\n\r\n●大きい\r\n");
    for (const QString& line : manyLines(u"大"_qs, 6000)) text += line + QStringLiteral("\r\n");
    text += QStringLiteral("おわり");
    const QByteArray oldBig("前からある\r\n");
    spit(at(QStringLiteral("大きい.txt")), oldBig);

    const saving::SaveResult result = saving::saveLines(textfile::cutAtCrLf(text), true, savePath);
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].path, at(QStringLiteral("大きい.txt")));
    EXPECT_EQ(result.filesWritten, 1);
    EXPECT_EQ(slurp(at(QStringLiteral("大きい.txt"))), oldBig);
    EXPECT_EQ(slurp(at(QStringLiteral("小さい.txt"))), textfile::toCp932(u"一行だけ\r\n\r\n"_qs));
}

TEST_F(FullDiskTest, ConvertThatDoesNotFitLeavesTheFileAlone) {
    const QString path = at(QStringLiteral("issue.txt"));
    const QByteArray old("one\r\ntwo\r\n\r\nthree\r\nfour\r\n");
    spit(path, old);
    fill();
    EXPECT_FALSE(convert::convertFile(path).ok);
    EXPECT_EQ(slurp(path), old);

    const convert::FolderOutcome folder = convert::convertFolder(disk_);
    EXPECT_EQ(folder.converted, 0);
    EXPECT_EQ(folder.failures.size(), 1u);
    EXPECT_EQ(slurp(path), old);
    EXPECT_EQ(entries(), (QStringList{"filler", "issue.txt"}));
}

TEST_F(FullDiskTest, ReplacementThatDoesNotFitFailsAndKeepsTheFile) {
    const QString path = at(QStringLiteral("data.dat"));
    const QByteArray old("old content\r\n");
    spit(path, old);
    fill();
    EXPECT_FALSE(
        textfile::replaceFile(path, QByteArray("new content, a little longer\r\n"), false).ok);
    EXPECT_EQ(slurp(path), old);
    EXPECT_EQ(entries(), (QStringList{"data.dat", "filler"}));
}

TEST_F(FullDiskTest, SettingsThatDoNotFitKeepTheOldFiles) {
    testing::FakeWindowSettings form;
    form.files.data = at(QStringLiteral("data.dat"));
    form.files.data2 = at(QStringLiteral("data2.dat"));
    form.savePath = QStringLiteral("/home/user/保存/clip.txt");
    const QByteArray oldDat = settings::datFileBytes(form);
    const QByteArray oldDat2 = *settings::dat2FileBytes(QStringLiteral("/old/clip.txt"));
    spit(form.files.data, oldDat);
    spit(form.files.data2, oldDat2);
    fill();
    form.setOuterWidth(9999);
    EXPECT_FALSE(settings::writeSettings(form, form.files, form.savePath));
    EXPECT_EQ(slurp(form.files.data), oldDat);
    // data2.dat is small and may still fit; it is replaced whole or not at all.
    const QByteArray dat2 = slurp(form.files.data2);
    EXPECT_TRUE(dat2 == oldDat2 || dat2 == *settings::dat2FileBytes(form.savePath));
    EXPECT_EQ(entries(), (QStringList{"data.dat", "data2.dat", "filler"}));
}

}  // namespace
}  // namespace sorimba::reliability
