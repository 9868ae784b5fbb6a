// The save command as the window runs it: question, save-file choice,
// notices, the Saved flag and the button.

#include <sys/stat.h>

#include "saving/saving.h"
#include "saving/saving_test_util.h"

namespace sorimba::saving::test {
namespace {

const QString kNoticeSuffix = QStringLiteral("\r\nに保存しました");
const QString kFailureHead = QStringLiteral("次のファイルに保存できませんでした：");

class SaveCommand : public SavingTest {};

TEST_F(SaveCommand, PlainModeAppendsEveryLineWithCrLfAndShowsTheNotice) {
    struct Case {
        QString text;
        QByteArray appended;
    };
    const Case cases[] = {
        {"A\r\nB", "A\r\nB\r\n"},                           // no final CR LF: one is added
        {"A\r\nB\r\n", "A\r\nB\r\n\r\n"},                   // the empty last line is written too
        {"", ""},                                           // nothing new
        {"○あ～\r\n", "\x81\x9b\x82\xa0\x81\x60\r\n\r\n"},  // code page 932 on disk
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        spit(path("save.txt"), "old1\r\nold2\r\n");
        form = testing::FakeForm();
        prepare("save.txt", c.text);
        saveCommand(form);
        EXPECT_EQ(slurp(path("save.txt")), "old1\r\nold2\r\n" + c.appended);
        ASSERT_EQ(form.messages.size(), 1u);
        EXPECT_EQ(form.messages[0].text, path("save.txt") + kNoticeSuffix);
        EXPECT_EQ(form.messages[0].buttons, Buttons::Ok);
        EXPECT_EQ(form.values().saved, 1);
        EXPECT_EQ(form.saveEnabledHistory, (std::vector<bool>{false, true}));
    }
}

TEST_F(SaveCommand, MissingSaveFileIsCreatedAndNoNoticeWithoutConfirmSave) {
    prepare("new.txt", "X\r\n");
    form.setOption(ConfirmSave, false);
    saveCommand(form);
    EXPECT_EQ(slurp(path("new.txt")), "X\r\n\r\n");
    EXPECT_TRUE(form.messages.empty());
    EXPECT_EQ(form.values().saved, 1);
}

TEST_F(SaveCommand, RepeatedSaveAsksFirst) {
    prepare("save.txt", "A\r\n");
    saveCommand(form);
    const QByteArray once = slurp(path("save.txt"));
    ASSERT_EQ(once, "A\r\n\r\n");

    // No: nothing written, Saved stays 1, the button is usable again.
    form.messages.clear();
    form.saveEnabledHistory.clear();
    form.answers = {Answer::No};
    saveCommand(form);
    EXPECT_EQ(slurp(path("save.txt")), once);
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0].text, QStringLiteral("再び保存しますか？"));
    EXPECT_EQ(form.messages[0].buttons, Buttons::YesNo);
    EXPECT_EQ(form.values().saved, 1);
    EXPECT_EQ(form.saveEnabledHistory, (std::vector<bool>{false, true}));

    // Yes: the same text goes in a second time.
    form.messages.clear();
    form.answers = {Answer::Yes};
    saveCommand(form);
    EXPECT_EQ(slurp(path("save.txt")), once + once);
    ASSERT_EQ(form.messages.size(), 2u);
    EXPECT_EQ(form.messages[1].text, path("save.txt") + kNoticeSuffix);
    EXPECT_EQ(form.values().saved, 1);

    // After a new import (Saved = 0) there is no question.
    form.messages.clear();
    form.values().saved = 0;
    saveCommand(form);
    EXPECT_EQ(form.messages.size(), 1u);
}

TEST_F(SaveCommand, ModeFollowsWithTitlesAtTheMomentOfSaving) {
    const QString clip = "\r\n●A　c\r\n\r\nentry\r\n";
    // Imported with titles, saved with the option off: all into SavePath.
    prepare("save.txt", clip, false);
    saveCommand(form);
    EXPECT_EQ(slurp(path("save.txt")), textfile::toCp932(clip) + "\r\n");
    EXPECT_FALSE(exists(path("A.txt")));

    // With the option on: per-title files, SavePath untouched.
    form.values().saved = 0;
    form.messages.clear();
    form.setOption(WithTitles, true);
    const QByteArray before = slurp(path("save.txt"));
    saveCommand(form);
    EXPECT_EQ(slurp(path("save.txt")), before);
    EXPECT_EQ(slurp(path("A.txt")), "\r\nentry\r\n");
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0].text, QStringLiteral("「●タイトル」別に保存しました"));
}

TEST_F(SaveCommand, EmptySavePathAsksForTheFileFirst) {
    prepare("", "A\r\n");
    form.openChoices = {path("chosen")};  // typed without ".txt": kept as it is
    saveCommand(form);
    EXPECT_EQ(form.openDialogShown, 1);
    EXPECT_EQ(form.values().savePath, path("chosen"));
    EXPECT_EQ(slurp(path("chosen")), "A\r\n\r\n");
    EXPECT_EQ(form.values().saved, 1);
}

TEST_F(SaveCommand, CancelledChoiceCancelsTheSave) {
    for (std::int16_t savedBefore : {0, 1}) {
        form = testing::FakeForm();
        prepare("", "A\r\n");
        form.values().saved = savedBefore;
        if (savedBefore == 1) form.answers = {Answer::Yes};
        form.openChoices = {std::nullopt};
        saveCommand(form);
        EXPECT_TRUE(form.values().savePath.isEmpty());
        EXPECT_EQ(form.values().saved, savedBefore);
        EXPECT_EQ(form.messages.size(), savedBefore == 1 ? 1u : 0u);  // only the question
        EXPECT_EQ(form.saveEnabledHistory, (std::vector<bool>{false, true}));
        EXPECT_TRUE(tree(tmp.path()).isEmpty());
        EXPECT_FALSE(exists("A.txt"));  // nothing relative to the current folder either
    }
}

TEST_F(SaveCommand, RightButtonChoosesTheFileAndNeverSaves) {
    prepare("", "A\r\n");
    form.dialog().fileName = path("last.txt");
    form.openChoices = {std::nullopt, path("x.log"), std::nullopt};
    Command4_MouseDown(form, 2);  // cancel keeps the empty value
    EXPECT_EQ(form.openDialogStartedWith, path("last.txt"));
    EXPECT_TRUE(form.values().savePath.isEmpty());
    Command4_MouseDown(form, 2);
    EXPECT_EQ(form.values().savePath, path("x.log"));
    Command4_MouseDown(form, 2);  // cancel keeps the chosen value
    EXPECT_EQ(form.values().savePath, path("x.log"));
    for (int button : {0, 1, 3, 4}) Command4_MouseDown(form, button);
    EXPECT_EQ(form.openDialogShown, 3);
    EXPECT_TRUE(form.messages.empty());
    EXPECT_TRUE(tree(tmp.path()).isEmpty());
    EXPECT_TRUE(form.saveEnabledHistory.empty());
}

TEST_F(SaveCommand, ReadOnlySaveFileGivesTheFailureMessageAndChangesNothing) {
    const QByteArray old = "keep\r\n";
    spit(path("save.txt"), old);
    ASSERT_EQ(::chmod(path("save.txt").toLocal8Bit().constData(), 0444), 0);
    prepare("save.txt", "A\r\n");
    form.setOption(ConfirmSave, false);  // failures are shown all the same
    saveCommand(form);
    EXPECT_EQ(slurp(path("save.txt")), old);
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0].buttons, Buttons::Ok);
    EXPECT_EQ(form.messages[0].text,
              kFailureHead + "\r\n" + path("save.txt") + QStringLiteral("（読み取り専用です）"));
    EXPECT_EQ(form.values().saved, 0);  // so the next click does not ask again
    EXPECT_EQ(form.saveEnabledHistory, (std::vector<bool>{false, true}));
}

TEST_F(SaveCommand, MissingFolderGivesTheFailureMessageAndCreatesNothing) {
    prepare("no/such/save.txt", "A\r\n");
    form.values().saved = 1;
    form.answers = {Answer::Yes};
    saveCommand(form);
    EXPECT_TRUE(tree(tmp.path()).isEmpty());
    ASSERT_EQ(form.messages.size(), 2u);
    EXPECT_EQ(form.messages[1].text, kFailureHead + "\r\n" + path("no/such/save.txt") +
                                         QStringLiteral("（フォルダがありません）"));
    EXPECT_EQ(form.values().saved, 1);  // as before the click: the earlier save stands
}

TEST_F(SaveCommand, NonRegularSaveFileIsNeverOpened) {
    ASSERT_EQ(::mkfifo(path("fifo").toLocal8Bit().constData(), 0666), 0);
    ASSERT_TRUE(QDir(tmp.path()).mkdir("dir.txt"));
    for (const char* name : {"fifo", "dir.txt"}) {
        form = testing::FakeForm();
        prepare(name, "A\r\n");
        saveCommand(form);  // a FIFO opened for writing would hang here
        ASSERT_EQ(form.messages.size(), 1u);
        EXPECT_TRUE(
            form.messages[0].text.contains(QStringLiteral("（通常のファイルではありません）")));
    }
}

TEST_F(SaveCommand, PartlyFailedPerTitleSaveNamesTheFailedFileAndCountsAsSaved) {
    spit(path("B.txt"), "b\r\n");
    ASSERT_EQ(::chmod(path("B.txt").toLocal8Bit().constData(), 0444), 0);
    prepare("save.txt", "\r\n●A\r\na\r\n\r\n●B\r\nb2\r\n\r\n●C\r\nc\r\n", true);
    saveCommand(form);
    EXPECT_EQ(slurp(path("A.txt")), "a\r\n\r\n");
    EXPECT_EQ(slurp(path("B.txt")), "b\r\n");
    EXPECT_EQ(slurp(path("C.txt")), "c\r\n");
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0].text, kFailureHead + "\r\n" + path("B.txt") +
                                         QStringLiteral("（読み取り専用です）\r\n") +
                                         QStringLiteral("ほかのファイルには保存しました。"));
    // Some files took the text: a second click should ask before adding it twice.
    EXPECT_EQ(form.values().saved, 1);
}

TEST_F(SaveCommand, LongFailureListsAreCut) {
    SaveResult result;
    for (int i = 0; i < 25; ++i) result.failures.push_back({QString::number(i), "x"});
    const QString text = failureMessage(result);
    EXPECT_TRUE(text.contains(QStringLiteral("19（x）")));
    EXPECT_FALSE(text.contains(QStringLiteral("20（x）")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("ほか 5 件")));
}

}  // namespace
}  // namespace sorimba::saving::test
