// The extraction as a whole: the worked issue, locating the column, and the
// per-line steps whose order decides what is taken.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extraction_test_helpers.h"

using namespace extraction_test;

namespace {

// The worked issue: 35 lines, the column marker twice (table of contents and
// column), two titles, a vote line, a recruitment header, a long rule with
// an advertisement, a staff section and the self-description.
std::u16string workedIssue() {
    std::u16string text = crlf({
        u"ウィークリーぴこぴこ　第100号",
        u"目次：■ぴこぴこＺＯＫ",
        u"",
        u"■ぴこぴこＺＯＫ",
        u"",
        u"●お題その一　身近な発見",
        u"今週のお題です。",
        u"",
        u"○投稿その一",
        u"続き",
        u"◇これに一票",
        u"",
        u"〇投稿その二",
        u"",
        u"【次回の回答募集中】",
        u"説明",
        u"",
        u"●お題その二",
        u"",
        u"○投稿その三",
        u"==============================[PR]",
        u"広告",
        u"■スタッフより",
        u"  今週もありがとう",
        u"=====",
        u"【ウィークリーぴこぴこは、毎週, 発行です】",
    });
    for (int i = 27; i <= 35; ++i) text += u"\r\n";
    return text;
}

TEST(WorkedIssue, TitlesStaffAndAbout) {
    EXPECT_EQ(clip(workedIssue(), {.withTitles = true, .withStaffWord = true, .withAbout = true}),
              lines({u"", u"●お題その一　身近な発見", u"", u"○投稿その一", u"続き", u"",
                     u"○投稿その二", u"", u"●お題その二", u"", u"○投稿その三", u"",
                     u"●スタッフのひとこと", u"○スタッフより", u"  今週もありがとう", u"",
                     u"●ぴこぴこについて", u"○【ウィークリーぴこぴこは、毎週、発行です】"}));
}

TEST(WorkedIssue, NoOptions) {
    EXPECT_EQ(clip(workedIssue()),
              lines({u"○投稿その一", u"続き", u"", u"○投稿その二", u"", u"○投稿その三"}));
}

TEST(WorkedIssue, TitlesStaffAndJoining) {
    EXPECT_EQ(clip(workedIssue(), {.withTitles = true, .withStaffWord = true, .joinLines = true}),
              lines({u"", u"", u"●お題その一　身近な発見", u"", u"○投稿その一続き", u"",
                     u"○投稿その二", u"", u"●お題その二", u"", u"○投稿その三", u"",
                     u"●スタッフのひとこと", u"○スタッフより今週もありがとう", u""}));
}

// The group of a title, with and without its options.
TEST(EntrySelection, GroupOfOneTitle) {
    const std::u16string issue =
        column({u"●お題", u"", u"○投稿その一", u"続き", u"", u"◇これに一票", u"○投稿その二",
                u"【次回の回答募集中】", u"説明"});
    EXPECT_EQ(clip(issue, {.withTitles = true}),
              lines({u"", u"●お題", u"", u"○投稿その一", u"続き", u"", u"○投稿その二"}));
    EXPECT_EQ(
        clip(issue, {.withTitles = true, .withVotes = true}),
        lines({u"", u"●お題", u"", u"○投稿その一", u"続き", u"◇これに一票", u"", u"○投稿その二"}));
    EXPECT_EQ(clip(issue), lines({u"○投稿その一", u"続き", u"", u"○投稿その二"}));
}

TEST(Locating, MissingMarkerFailsButAnEmptyColumnSucceeds) {
    EXPECT_EQ(clip(u""), "<missing>");
    EXPECT_EQ(clip(crlf({u"●お題", u"", u"○投稿"})), "<missing>");
    EXPECT_EQ(clip(u"■ぴこぴこZOK\r\n●お題\r\n\r\n○投稿\r\n"), "<missing>");  // half-width
    // The column is there but holds nothing to take: an empty clip text.
    EXPECT_EQ(clip(u"■ぴこぴこＺＯＫ"), "");
    EXPECT_EQ(clip(column({u"お知らせ", u"○まだ何も"}), {.withTitles = true}), "");
}

TEST(Locating, OnlyTheLastMarkerCounts) {
    const std::u16string issue = crlf({u"■ぴこぴこＺＯＫ", u"●古いお題", u"", u"○古い投稿",
                                       u"■ぴこぴこＺＯＫ", u"●新しいお題", u"", u"○新しい投稿"});
    EXPECT_EQ(clip(issue, {.withTitles = true}), lines({u"", u"●新しいお題", u"", u"○新しい投稿"}));
}

TEST(Locating, LineEnds) {
    // CR alone ends a line; LF alone is removed and joins the lines around it.
    const std::u16string issue = u"■ぴこぴこＺＯＫ\r\n●お題\r\n\r\n○一\rつづ\nき\r\n〇二";
    EXPECT_EQ(clip(issue), lines({u"○一", u"つづき", u"", u"○二"}));
    EXPECT_EQ(clip(issue, {.withTitles = true}),
              lines({u"", u"●お題", u"", u"○一", u"つづき", u"", u"○二"}));
}

// Each case is an issue body after the marker line, the options and the
// expected clip text.
struct Case {
    const char* what;
    std::u16string issue;
    sorimba::extraction::Options options;
    std::string expected;
};

void check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(clip(c.issue, c.options), c.expected);
    }
}

const sorimba::extraction::Options kTitles{.withTitles = true};

TEST(EntrySelection, WhatCountsAsAnEmptyLine) {
    check({
        {"hyphens only", column({u"●T", u"----", u"○a"}), kTitles, lines({u"", u"●T", u"", u"○a"})},
        {"thirty equals signs only", column({u"●T", u"==============================", u"○a"}),
         kTitles, lines({u"", u"●T", u"", u"○a"})},
        {"spaces only", column({u"●T", u" 　 ", u"○a"}), kTitles, lines({u"", u"●T", u"", u"○a"})},
        {"hyphens and equals mixed are text", column({u"●T", u"-=-=", u"○a"}), kTitles, ""},
    });
}

TEST(EntrySelection, TitleWindow) {
    check({
        {"entry on the ninth line after the title",
         column({u"●T", u"", u"", u"", u"", u"", u"", u"", u"", u"○a"}), kTitles,
         lines({u"", u"●T", u"", u"○a"})},
        {"entry on the tenth line after the title",
         column({u"●T", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"○a"}), kTitles, ""},
        {"indented entries do not count", column({u"●T", u"", u" ○a", u"　○b"}), kTitles, ""},
        {"the window stops at the end of the issue", u"■ぴこぴこＺＯＫ\r\n●T\r\n\r\n○a", kTitles,
         lines({u"", u"●T", u"", u"○a"})},
        {"a title on the last line", u"■ぴこぴこＺＯＫ\r\n●T", kTitles, ""},
    });
}

TEST(EntrySelection, TitlesAndGroups) {
    check({
        {"entries before the first empty line are lost",
         column({u"●T", u"○a", u"続き", u"", u"○b"}), kTitles, lines({u"", u"●T", u"", u"○b"})},
        {"a title without entries before another", column({u"●一", u"●二", u"", u"○a"}), kTitles,
         lines({u"", u"●二", u"", u"○a"})},
        {"a title holding ○ is written once", column({u"●○○な話", u"", u"○a", u"", u"○b"}), kTitles,
         lines({u"", u"●○○な話", u"", u"○a", u"", u"○b"})},
        {"a title without entries met while collecting is skipped",
         column({u"●T", u"", u"○a", u"●注", u"b"}), kTitles, lines({u"", u"●T", u"", u"○a", u"b"})},
        {"without titles the first entry opens the clip text",
         column({u"●T", u"", u"○a", u"●U", u"", u"○b"}),
         {},
         lines({u"○a", u"", u"○b"})},
    });
}

TEST(EntrySelection, EndsOfCollecting) {
    std::vector<Case> cases;
    for (const char16_t* header :
         {u"【次回の回答募集中】", u"【質問募集中】", u"【投稿募集中】", u"【画像投稿募集中】"}) {
        cases.push_back({"recruitment header", column({u"●T", u"", u"○a", header, u"b"}), kTitles,
                         lines({u"", u"●T", u"", u"○a"})});
    }
    cases.push_back({"a header before the lead-in ends does nothing",
                     column({u"●T", u"【回答募集中】", u"", u"○a"}), kTitles,
                     lines({u"", u"●T", u"", u"○a"})});
    cases.push_back({"a long rule with text",
                     column({u"●T", u"", u"○a", u"==============================PR", u"b"}),
                     kTitles, lines({u"", u"●T", u"", u"○a"})});
    cases.push_back({"twenty-nine equals signs with text",
                     column({u"●T", u"", u"○a", u"=============================PR", u"b"}), kTitles,
                     lines({u"", u"●T", u"", u"○a", u"=============================PR", u"b"})});
    check(cases);
}

TEST(EntrySelection, VoteLines) {
    const std::u16string issue = column({u"●T", u"", u"○a", u"○◇これに一票", u"○b"});
    // The vote line gets its separator before it is dropped.
    EXPECT_EQ(clip(issue, kTitles), lines({u"", u"●T", u"", u"○a", u"", u"", u"○b"}));
    EXPECT_EQ(clip(issue, {.withTitles = true, .withVotes = true}),
              lines({u"", u"●T", u"", u"○a", u"", u"○◇これに一票", u"", u"○b"}));
}

}  // namespace
