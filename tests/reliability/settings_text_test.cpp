// Settings text that must come back exactly as it was stored, found by the
// settings fuzz target.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "settings/dat_format.h"
#include "support/fake_form.h"

namespace sorimba::reliability {
namespace {

// A text that begins with U+FEFF (ZERO WIDTH NO-BREAK SPACE) is stored as
// UTF-8 behind the byte order mark; reading it back must not take the
// character for a second mark.
TEST(SettingsText, LeadingFeffSurvivesWritingAndReading) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    testing::FakeForm form;
    form.values().datPath = dir.filePath(QStringLiteral("data.dat"));
    form.values().dat2Path = dir.filePath(QStringLiteral("data2.dat"));
    form.values().savePath = QStringLiteral("\uFEFF保存/clip.txt");
    ASSERT_TRUE(form.setFontName(QStringLiteral("\uFEFFFont")));
    ASSERT_TRUE(settings::writeSettings(form));

    EXPECT_EQ(settings::readSavePath(form.values().dat2Path), form.values().savePath);
    testing::FakeForm again;
    again.values().datPath = form.values().datPath;
    EXPECT_TRUE(settings::LoDat(again).allApplied());
    EXPECT_EQ(again.fontName(), form.fontName());
}

}  // namespace
}  // namespace sorimba::reliability
