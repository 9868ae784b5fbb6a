// Settings text that must come back exactly as it was stored, found by the
// settings fuzz target.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "settings/dat_format.h"
#include "support/fake_window_settings.h"

namespace sorimba::reliability {
namespace {

// A text that begins with U+FEFF (ZERO WIDTH NO-BREAK SPACE) is stored as
// UTF-8 behind the byte order mark; reading it back must not take the
// character for a second mark.
TEST(SettingsText, LeadingFeffSurvivesWritingAndReading) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    testing::FakeWindowSettings form;
    form.files.data = dir.filePath(QStringLiteral("data.dat"));
    form.files.data2 = dir.filePath(QStringLiteral("data2.dat"));
    form.savePath = QStringLiteral("\uFEFF保存/clip.txt");
    ASSERT_TRUE(form.setFontName(QStringLiteral("\uFEFFFont")));
    ASSERT_TRUE(settings::writeSettings(form, form.files, form.savePath));

    EXPECT_EQ(settings::readSavePath(form.files.data2), form.savePath);
    testing::FakeWindowSettings again;
    again.files.data = form.files.data;
    EXPECT_TRUE(settings::applyDataFile(again, again.files.data).allApplied());
    EXPECT_EQ(again.fontName(), form.fontName());
}

}  // namespace
}  // namespace sorimba::reliability
