// The staff and self-description sections, the spacing and joining passes,
// the output bound, and input that no issue should hold.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "extraction_test_helpers.h"

using namespace extraction_test;
using namespace std::literals;

namespace {

const ex::Options kStaff{.withStaffWord = true};
const ex::Options kAbout{.withAbout = true};

TEST(SelfDescription, CommasUnifiedAndHalfWidthSpacesRemoved) {
    EXPECT_EQ(clip(column({u"【ウィークリーぴこぴこは、毎週, 発行，です】"}), kAbout),
              lines({u"", u"●ぴこぴこについて", u"○【ウィークリーぴこぴこは、毎週、発行、です】"}));
    EXPECT_EQ(clip(column({u"【ウィークリーぴこぴこは、a b】"}), kAbout),
              lines({u"", u"●ぴこぴこについて", u"○【ウィークリーぴこぴこは、ab】"}));
    EXPECT_EQ(clip(column({u"【ウィークリーぴこぴこは、a　b】"}), kAbout),
              lines({u"", u"●ぴこぴこについて", u"○【ウィークリーぴこぴこは、a　b】"}));
    EXPECT_EQ(clip(column({u"【ウィークリーぴこぴこは、a b】"})), "");
}

TEST(StaffSection, CopiedUpToTheFirstLineStartingWithFiveEquals) {
    const std::u16string issue = column({u"■スタッフより", u"  ", u"  字下げ  ", u"", u"====",
                                         u" =====", u"本文", u"=====終わり", u"後ろ"});
    EXPECT_EQ(clip(issue), "");
    EXPECT_EQ(clip(issue, kStaff), lines({u"", u"●スタッフのひとこと", u"○スタッフより",
                                          u"  字下げ  ", u"====", u" =====", u"本文"}));
}

TEST(StaffSection, WithoutAnEndTheScanGoesOnAfterTheStaffLine) {
    // The last line is never copied; the copied lines are then taken again
    // while collecting, and so is the staff line itself.
    const std::u16string issue = u"■ぴこぴこＺＯＫ\r\n●T\r\n\r\n○a\r\n■スタッフ\r\ns1\r\n最後";
    EXPECT_EQ(clip(issue, {.withTitles = true, .withStaffWord = true}),
              lines({u"", u"●T", u"", u"○a", u"■スタッフ", u"", u"●スタッフのひとこと",
                     u"○スタッフ", u"s1", u"s1", u"最後"}));
}

TEST(StaffSection, LaterSectionsWithoutAnEndCopyTheRestFromTheirOwnLine) {
    const std::u16string issue =
        u"■ぴこぴこＺＯＫ\r\n■スタッフA\r\nx\r\n\r\n■スタッフB\r\n  y\r\n \r\nz\r\n■スタッフC";
    EXPECT_EQ(clip(issue, kStaff),
              lines({u"", u"●スタッフのひとこと", u"○スタッフA", u"x", u"■スタッフB", u"  y", u"z",
                     u"", u"●スタッフのひとこと", u"○スタッフB", u"  y", u"z", u"",
                     u"●スタッフのひとこと", u"○スタッフC"}));
}

TEST(StaffSection, ManyOpenSectionsOverBlankLinesFinish) {
    // Each section would walk every blank line to the end of the issue.
    std::u16string issue = u"■ぴこぴこＺＯＫ\r\n";
    for (int i = 0; i < 1000; ++i) issue += u"■スタッフ\r\n";
    for (int i = 0; i < 100000; ++i) issue += u"\r\n";
    const std::optional<std::u16string> result = ex::extractColumn(issue, kStaff);
    ASSERT_TRUE(result);
    // Section k copies the 999 - k staff lines after it.
    const std::size_t heading = u"\r\n●スタッフのひとこと\r\n○スタッフ\r\n"sv.size();
    const std::size_t copied = u"■スタッフ\r\n"sv.size() * (999 * 1000 / 2);
    EXPECT_EQ(result->size(), 1000 * heading + copied);
}

TEST(StaffSection, OrderOfSectionsAndTheLineThatEndsTheStaffSection) {
    const ex::Options both{.withStaffWord = true, .withAbout = true};
    // The self-description is looked for on the line that ended the staff
    // section, as that line stood.
    EXPECT_EQ(clip(column({u"■スタッフ", u"s", u"=====【ウィークリーぴこぴこは、x, y】"}), both),
              lines({u"", u"●スタッフのひとこと", u"○スタッフ", u"s", u"", u"●ぴこぴこについて",
                     u"○=====【ウィークリーぴこぴこは、x、y】"}));
    EXPECT_EQ(clip(column({u"【ウィークリーぴこぴこは、a】", u"■スタッフ", u"s", u"====="}), both),
              lines({u"", u"●ぴこぴこについて", u"○【ウィークリーぴこぴこは、a】", u"",
                     u"●スタッフのひとこと", u"○スタッフ", u"s"}));
}

TEST(StaffSection, FirstCharacterOutsideTheBasicPlaneGoesAsAWhole) {
    EXPECT_EQ(clip(column({u"𠮷■スタッフ", u"====="}), kStaff),
              lines({u"", u"●スタッフのひとこと", u"○■スタッフ"}));
}

// Spacing pass: the entries below follow "●T", "" and "○a" (titles off).
std::string spaced(std::initializer_list<std::u16string_view> after, ex::Options options = {}) {
    std::u16string issue = column({u"●T", u"", u"○a"});
    issue += crlf(after);
    return clip(issue, options);
}

TEST(SpacingPass, QuoteRuns) {
    EXPECT_EQ(spaced({u">一", u">二", u">三", u"b"}),
              lines({u"○a", u"", u">一", u">二", u">三", u"", u"b"}));
    EXPECT_EQ(spaced({u">一", u"b"}), lines({u"○a", u"", u">一", u"", u"b"}));
    EXPECT_EQ(spaced({u">一", u">二"}), lines({u"○a", u"", u">一", u">二"}));
    EXPECT_EQ(spaced({u"＞全角", u"b"}), lines({u"○a", u"＞全角", u"b"}));
    // A quote after an empty line (the separator of a dropped vote entry).
    EXPECT_EQ(spaced({u"○◇これに一票", u">一", u"b"}), lines({u"○a", u"", u">一", u"", u"b"}));
}

TEST(SpacingPass, FirstLineIsNeverChanged) {
    EXPECT_EQ(clip(column({u"●T", u"", u">一", u"b", u"○a"})), lines({u">一", u"b", u"", u"○a"}));
}

TEST(SpacingPass, BracketedHeadings) {
    EXPECT_EQ(spaced({u"【見出し】", u"b", u"【注】付き"}),
              lines({u"○a", u"", u"【見出し】", u"b", u"【注】付き"}));
    // After a quote end two empty lines; a quote right after a heading gets none.
    EXPECT_EQ(spaced({u">一", u"【見出し】", u">二", u"b"}),
              lines({u"○a", u"", u">一", u"", u"", u"【見出し】", u">二", u"", u"b"}));
}

TEST(JoiningPass, ParagraphsBecomeLines) {
    const ex::Options join{.withTitles = true, .joinLines = true};
    EXPECT_EQ(clip(column({u"●お題", u"", u"○投稿その一", u"続き", u"", u"○投稿その二"}), join),
              lines({u"", u"", u"●お題", u"", u"○投稿その一続き", u"", u"○投稿その二", u""}));
    EXPECT_EQ(spaced({u"続き", u">一", u">二", u"b"}, {.joinLines = true}),
              lines({u"○a続き", u"", u">一>二", u"", u"b", u""}));
    // Staff lines keep their spaces until they are joined.
    EXPECT_EQ(clip(column({u"■スタッフ", u"　一行目", u"  二行目 ", u"====="}),
                   {.withStaffWord = true, .joinLines = true}),
              lines({u"", u"", u"●スタッフのひとこと", u"○スタッフ一行目二行目", u""}));
    EXPECT_EQ(
        clip(column({u"【ウィークリーぴこぴこは、a】"}), {.withAbout = true, .joinLines = true}),
        lines({u"", u"", u"●ぴこぴこについて", u"○【ウィークリーぴこぴこは、a】", u""}));
}

TEST(OutputBound, ExceedingTheBoundFailsLikeAMissingColumn) {
    // "\r\n●T\r\n\r\n○a\r\n" is 12 units.
    const std::u16string issue = column({u"●T", u"", u"○a"});
    EXPECT_EQ(clip(issue, {.withTitles = true, .maxOutputUnits = 12}),
              lines({u"", u"●T", u"", u"○a"}));
    EXPECT_EQ(clip(issue, {.withTitles = true, .maxOutputUnits = 11}), "<missing>");
    // The bound holds for the final text, spacing included: 19 units before,
    // 23 after.
    const std::u16string quoted = column({u"●T", u"", u"○a", u">q", u"b"});
    EXPECT_EQ(clip(quoted, {.withTitles = true, .maxOutputUnits = 19}), "<missing>");
    EXPECT_NE(clip(quoted, {.withTitles = true, .maxOutputUnits = 23}), "<missing>");
}

TEST(OutputBound, StopsStaffSectionsThatGrowWithTheSquareOfTheInput) {
    std::u16string issue = u"■ぴこぴこＺＯＫ\r\n";
    for (int i = 0; i < 5000; ++i) issue += u"■スタッフ\r\n";
    EXPECT_FALSE(ex::extractColumn(issue, {.withStaffWord = true, .maxOutputUnits = 100000}));
}

TEST(OddInput, NulAndLoneSurrogatesPassThrough) {
    const std::u16string issue = column({u"●T", u"", u"○a\0b"sv, u"\xD800x"sv, u"y\xDC00"sv});
    const std::optional<std::u16string> result = ex::extractColumn(issue, {});
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, u"○a\0b\r\n\xD800x\r\ny\xDC00\r\n"sv);
}

TEST(OddInput, HugeLinesAndManyLines) {
    const ex::Options all{.withTitles = true,
                          .withVotes = true,
                          .withStaffWord = true,
                          .withAbout = true,
                          .joinLines = true};
    std::u16string oneLine = u"■ぴこぴこＺＯＫ" + std::u16string(10'000'000, u'○');
    std::optional<std::u16string> result = ex::extractColumn(oneLine, all);
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, u"");

    std::u16string manyLines = u"■ぴこぴこＺＯＫ\r\n●T\r\n\r\n";
    for (int i = 0; i < 1'000'000; ++i) manyLines += u"○\r\n";
    result = ex::extractColumn(manyLines, all);
    ASSERT_TRUE(result);
    // "", "", "●T", "", then each entry as "○" and an empty line.
    EXPECT_EQ(result->size(), 4 + 6 + 5 * 1'000'000u);
}

}  // namespace
