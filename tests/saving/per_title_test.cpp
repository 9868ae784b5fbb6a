// The per-title save: title lines, names, the files and what goes into them.

#include <unistd.h>

#include "encoding/encoding.h"
#include "saving/saving.h"
#include "saving/saving_test_util.h"

namespace sorimba::saving::test {
namespace {

class PerTitle : public SavingTest {
protected:
    // Saves the text in per-title mode with SavePath = folder/save.txt.
    void save(const QString& text) {
        prepare("save.txt", text, true);
        runSave();
    }
};

TEST_F(PerTitle, WorkedExampleByteForByte) {
    // Line 0 empty; "●A" + full-width space + comment; empty; an entry;
    // empty; "●B"; empty; a second entry; the text ends with CR LF.
    const QString text = QStringLiteral("\r\n●A　コメント\r\n\r\n○あ～\r\n\r\n●B\r\n\r\n○い\r\n");
    save(text);
    EXPECT_EQ(slurp(path("A.txt")), QByteArray("\r\n\x81\x9b\x82\xa0\x81\x60\r\n\r\n\r\n"));
    EXPECT_EQ(slurp(path("B.txt")), QByteArray("\r\n\x81\x9b\x82\xa2\r\n"));
    EXPECT_EQ(tree(tmp.path()), (QStringList{"A.txt", "B.txt"}));  // save.txt untouched
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, QStringLiteral("「●タイトル」別に保存しました"));
    EXPECT_TRUE(state.saved);

    // A second save appends the same sections below the first ones.
    prompts.answers = {Answer::Yes};
    runSave();
    EXPECT_EQ(slurp(path("A.txt")),
              QByteArray("\r\n\x81\x9b\x82\xa0\x81\x60\r\n\r\n\r\n").repeated(2));
}

TEST_F(PerTitle, TitleNames) {
    const QString prev = "prev";
    EXPECT_EQ(titleName(QStringLiteral("●A　comment　more"), prev), "A");
    EXPECT_EQ(titleName(QStringLiteral("●ＡＢ"), prev),
              QStringLiteral("ＡＢ"));                         // whole line, full-width kept
    EXPECT_EQ(titleName(QStringLiteral("●"), prev), "");       // -> ".txt"
    EXPECT_EQ(titleName(QStringLiteral("●　x"), prev), "");    // empty before the space
    EXPECT_EQ(titleName(QStringLiteral("　●x"), prev), prev);  // no name of its own
    EXPECT_EQ(titleName(QStringLiteral("○entry ●x"), prev),
              QStringLiteral("entry ●x"));                        // first character dropped
    EXPECT_EQ(titleName(QStringLiteral("● a. "), prev), " a. ");  // no trimming
    EXPECT_EQ(titleName(QStringLiteral("●a/b:c\"d"), prev), "abcd");
    EXPECT_EQ(titleName(QStringLiteral("●\\/:,;*?<>|\"x"), prev),
              "x");  // the eleven removed characters
    EXPECT_EQ(titleName(QStringLiteral("●＼／：x"), prev),
              QStringLiteral("＼／：x"));  // full-width forms stay
}

TEST_F(PerTitle, WhatCountsAsATitleAndWhereLinesGo) {
    save(
        "before\r\n"        // line 0: never examined, never written
        "\r\n"              // before the first title: written nowhere
        "●S　x\r\n"         // title S
        "●not a title\r\n"  // does not follow an empty line: ordinary
        "\r\n"              //
        "○e ●mid\r\n"       // follows an empty line: a title "e ●mid"
        "body\r\n"          //
        "\r\n"              //
        "　●same\r\n"       // begins with U+3000: the previous name again
        "again\r\n"         //
        "\r\n"              //
        "●S　y\r\n"         // the same title once more: same file, in order
        "\r\n"              //
        "s2\r\n");
    EXPECT_EQ(slurp(path("S.txt")),
              encoding::toCp932(QStringLiteral("●not a title\r\n\r\n\r\ns2\r\n")));
    EXPECT_EQ(slurp(path("e ●mid.txt")), "body\r\n\r\nagain\r\n\r\n\r\n");
    EXPECT_EQ(tree(tmp.path()), (QStringList{"S.txt", "e ●mid.txt"}));
}

TEST_F(PerTitle, TextsWithoutTitlesOrTooShortWriteNothingAndSaySo) {
    for (const QString& text : {QString(), QStringLiteral("●A"), QStringLiteral("\r\n●A"),
                                QStringLiteral("a\r\nb\r\nc\r\n")}) {
        reset();
        save(text);
        EXPECT_TRUE(tree(tmp.path()).isEmpty()) << text.toStdString();
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, text.isEmpty() ? kEmptyText : kNoTitle);
        EXPECT_FALSE(state.saved);
    }
}

TEST_F(PerTitle, TitleWithAnEmptySectionStillCreatesItsFile) {
    save("\r\n●A\r\n");
    EXPECT_EQ(slurp(path("A.txt")), "");
}

TEST_F(PerTitle, LastLineWithoutCrLfIsKept) {
    spit(path("A.txt"), "old");  // no final line end: one is added first
    save("\r\n●A\r\n\r\nentry\r\nlast");
    EXPECT_EQ(slurp(path("A.txt")), "old\r\n\r\nentry\r\nlast\r\n");
}

TEST_F(PerTitle, HiddenTitleFileIsAppendedToNotReplaced) {
    spit(path(".txt"), "old\r\n");
    save("\r\n●\r\nx\r\n");
    EXPECT_EQ(slurp(path(".txt")), "old\r\nx\r\n");
}

TEST_F(PerTitle, TitleNamesNeverWriteOutsideTheFolder) {
    ASSERT_TRUE(QDir(tmp.path()).mkdir("sub"));
    state.savePath = path("sub/save.txt");
    mode.perTitle = true;
    const QString nul = QString(QChar(0));
    const QString longName = QString(300, QLatin1Char('x'));
    clipText = ("\r\n●..\r\na\r\n\r\n●../../evil\r\nb\r\n\r\n●ab" + nul + "cd\r\nc\r\n\r\n●" + nul +
                "\r\nd\r\n\r\n●/\r\ne\r\n\r\n●" + longName + "\r\nf\r\n");
    mode.confirm = true;
    runSave();

    // "/" is removed and ".txt" always follows, so the names stay plain
    // names inside the folder; a NUL or an over-long name is refused.
    EXPECT_EQ(tree(tmp.path()), (QStringList{"sub", "sub/....evil.txt", "sub/...txt", "sub/.txt"}));
    EXPECT_EQ(slurp(path("sub/...txt")), "a\r\n\r\n");
    EXPECT_EQ(slurp(path("sub/....evil.txt")), "b\r\n\r\n");
    EXPECT_EQ(slurp(path("sub/.txt")), "e\r\n\r\n");
    ASSERT_EQ(prompts.messages.size(), 1u);
    const QString shown = prompts.messages[0].text;
    EXPECT_TRUE(shown.startsWith(QStringLiteral("次のファイルに保存できませんでした：")));
    EXPECT_TRUE(
        shown.contains(path("sub/ab␀cd.txt") + QStringLiteral("（ファイル名に使えない文字")));
    EXPECT_TRUE(shown.contains(path("sub/␀.txt")));
    EXPECT_TRUE(
        shown.contains(path("sub/" + longName + ".txt") + QStringLiteral("（名前が長すぎます）")));
    EXPECT_TRUE(shown.endsWith(QStringLiteral("ほかのファイルには保存しました。")));
}

TEST_F(PerTitle, TwoNamesForOneFileAreWrittenOneAfterTheOther) {
    // Files are written side by side; two names that lead to the same file
    // (here a link) must not be written at the same time.
    spit(path("A.txt"), "old");
    ASSERT_EQ(::symlink("A.txt", path("B.txt").toLocal8Bit().constData()), 0);
    std::vector<QString> lines{""};
    for (int t = 0; t < 40; ++t)
        lines.insert(lines.end(), {QStringLiteral("●T%1").arg(t),
                                   QString(t % 2 ? "b" : "a").repeated(100000), ""});
    lines.insert(lines.end(), {"●A", "a1", "", "●B", "b1", "", "●A", "a2", ""});
    const SaveResult result = saveLines(lines, true, path("save.txt"));
    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(result.filesWritten, 42);
    EXPECT_EQ(slurp(path("A.txt")), "old\r\na1\r\n\r\na2\r\nb1\r\n\r\n");
    EXPECT_EQ(slurp(path("T39.txt")), QByteArray("b").repeated(100000) + "\r\n\r\n");
}

TEST_F(PerTitle, SavePathWithoutFolderWritesBesideTheCurrentFolder) {
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(tmp.path()));
    const SaveResult result = saveLines({"", "●T", "x", ""}, true, "save.txt");
    QDir::setCurrent(before);
    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(slurp(path("T.txt")), "x\r\n");
}

TEST_F(PerTitle, MissingFolderFailsForEveryTitle) {
    const SaveResult result =
        saveLines({"", "●A", "a", "", "●B", "b", ""}, true, path("gone/save.txt"));
    EXPECT_EQ(result.filesWritten, 0);
    ASSERT_EQ(result.failures.size(), 2u);
    EXPECT_EQ(result.failures[0].path, path("gone/A.txt"));
    EXPECT_EQ(result.failures[1].path, path("gone/B.txt"));
    EXPECT_TRUE(tree(tmp.path()).isEmpty());
}

}  // namespace
}  // namespace sorimba::saving::test
