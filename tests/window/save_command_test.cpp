// The save command as the window runs it: question, save-file choice,
// notices, the Saved flag and the button.

#include <sys/stat.h>

#include "encoding/encoding.h"
#include "saving/saving.h"
#include "saving/saving_test_util.h"
#include "window/wording.h"

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
        {"○あ～\r\n", "\x81\x9b\x82\xa0\x81\x60\r\n\r\n"},  // code page 932 on disk
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        spit(path("save.txt"), "old1\r\nold2\r\n");
        reset();
        prepare("save.txt", c.text);
        runSave();
        EXPECT_EQ(slurp(path("save.txt")), "old1\r\nold2\r\n" + c.appended);
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, path("save.txt") + kNoticeSuffix);
        EXPECT_EQ(prompts.messages[0].buttons, Buttons::Ok);
        EXPECT_TRUE(state.saved);
    }
}

TEST_F(SaveCommand, NothingToSaveIsSaidFirstAndChangesNothing) {
    struct Case {
        QString text;
        bool perTitle;
        QString said;
    };
    const Case cases[] = {
        {"", false, kEmptyText},
        {"", true, kEmptyText},
        {"○投稿\r\n\r\n○次\r\n", true, kNoTitle},         // imported without titles
        {"●A\r\n\r\nentry\r\n", true, kNoTitle},          // the first line is never a title
        {"\r\n●A", true, kNoTitle},                       // nor is the last
        {"entry\r\n●A\r\n\r\nmore\r\n", true, kNoTitle},  // "●" not after an empty line
    };
    for (const Case& c : cases) {
        for (bool savedBefore : {false, true}) {
            for (bool confirm : {false, true}) {
                for (const QString& saveFile : {QString(), QStringLiteral("save.txt")}) {
                    SCOPED_TRACE(c.text.toStdString() + (c.perTitle ? " per title" : " plain") +
                                 (savedBefore ? ", saved" : "") + (confirm ? ", confirm" : "") +
                                 ", " + saveFile.toStdString());
                    reset();
                    if (!saveFile.isEmpty()) spit(path(saveFile), "old\r\n");
                    prepare(saveFile, c.text, c.perTitle);
                    mode.confirm = confirm;
                    state.saved = savedBefore;
                    // No answers and no file choices are scripted: a question
                    // or the file chooser would throw.
                    runSave();
                    ASSERT_EQ(prompts.messages.size(), 1u);
                    EXPECT_EQ(prompts.messages[0].text, c.said);
                    EXPECT_EQ(prompts.messages[0].buttons, Buttons::Ok);
                    EXPECT_EQ(state.saved, savedBefore);
                    EXPECT_EQ(state.savePath, saveFile.isEmpty() ? QString() : path(saveFile));
                    EXPECT_EQ(tree(tmp.path()),
                              saveFile.isEmpty() ? QStringList() : QStringList{saveFile});
                    if (!saveFile.isEmpty()) {
                        EXPECT_EQ(slurp(path(saveFile)), "old\r\n");
                        QFile::remove(path(saveFile));
                    }
                }
            }
        }
    }
    // One title line is enough, even with an empty section: its file is made.
    reset();
    prepare("save.txt", "\r\n●A\r\n\r\n", true);
    runSave();
    EXPECT_EQ(tree(tmp.path()), QStringList{"A.txt"});
    EXPECT_TRUE(state.saved);
}

TEST_F(SaveCommand, MissingSaveFileIsCreatedAndNoNoticeWithoutConfirmSave) {
    prepare("new.txt", "X\r\n");
    mode.confirm = false;
    runSave();
    EXPECT_EQ(slurp(path("new.txt")), "X\r\n\r\n");
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(state.saved);
}

TEST_F(SaveCommand, RepeatedSaveAsksFirst) {
    prepare("save.txt", "A\r\n");
    runSave();
    const QByteArray once = slurp(path("save.txt"));
    ASSERT_EQ(once, "A\r\n\r\n");

    // No: nothing written, Saved stays 1, the button is usable again.
    prompts.messages.clear();
    prompts.answers = {Answer::No};
    runSave();
    EXPECT_EQ(slurp(path("save.txt")), once);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, QStringLiteral("再び保存しますか？"));
    EXPECT_EQ(prompts.messages[0].buttons, Buttons::YesNo);
    EXPECT_TRUE(state.saved);

    // Yes: the same text goes in a second time.
    prompts.messages.clear();
    prompts.answers = {Answer::Yes};
    runSave();
    EXPECT_EQ(slurp(path("save.txt")), once + once);
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text, path("save.txt") + kNoticeSuffix);
    EXPECT_TRUE(state.saved);

    // After a new import (Saved = 0) there is no question.
    prompts.messages.clear();
    state.saved = false;
    runSave();
    EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST_F(SaveCommand, ModeFollowsWithTitlesAtTheMomentOfSaving) {
    const QString clip = "\r\n●A　c\r\n\r\nentry\r\n";
    // Imported with titles, saved with the option off: all into SavePath.
    prepare("save.txt", clip, false);
    runSave();
    EXPECT_EQ(slurp(path("save.txt")), encoding::toCp932(clip) + "\r\n");
    EXPECT_FALSE(exists(path("A.txt")));

    // With the option on: per-title files, SavePath untouched.
    state.saved = false;
    prompts.messages.clear();
    mode.perTitle = true;
    const QByteArray before = slurp(path("save.txt"));
    runSave();
    EXPECT_EQ(slurp(path("save.txt")), before);
    EXPECT_EQ(slurp(path("A.txt")), "\r\nentry\r\n");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, QStringLiteral("「●タイトル」別に保存しました"));
}

TEST_F(SaveCommand, EmptySavePathAsksForTheFileFirst) {
    prepare("", "A\r\n");
    prompts.fileChoices = {path("chosen")};  // typed without ".txt": kept as it is
    runSave();
    EXPECT_EQ(prompts.fileChooserShown, std::vector<FileChoice>{FileChoice::SaveFile});
    EXPECT_EQ(state.savePath, path("chosen"));
    EXPECT_EQ(slurp(path("chosen")), "A\r\n\r\n");
    EXPECT_TRUE(state.saved);
}

TEST_F(SaveCommand, CancelledChoiceCancelsTheSave) {
    for (bool savedBefore : {false, true}) {
        reset();
        prepare("", "A\r\n");
        state.saved = savedBefore;
        if (savedBefore) prompts.answers = {Answer::Yes};
        prompts.fileChoices = {std::nullopt};
        runSave();
        EXPECT_TRUE(state.savePath.isEmpty());
        EXPECT_EQ(state.saved, savedBefore);
        EXPECT_EQ(prompts.messages.size(), savedBefore ? 1u : 0u);  // only the question
        EXPECT_TRUE(tree(tmp.path()).isEmpty());
        EXPECT_FALSE(exists("A.txt"));  // nothing relative to the current folder either
    }
}

TEST_F(SaveCommand, ChoosingTheSaveFileNeverSaves) {
    prepare("", "A\r\n");
    prompts.fileChoices = {std::nullopt, path("x.log"), std::nullopt};
    chooseSaveFile(prompts, state);  // cancel keeps the empty value
    EXPECT_TRUE(state.savePath.isEmpty());
    chooseSaveFile(prompts, state);
    EXPECT_EQ(state.savePath, path("x.log"));
    chooseSaveFile(prompts, state);  // cancel keeps the chosen value
    EXPECT_EQ(state.savePath, path("x.log"));
    EXPECT_EQ(prompts.fileChooserShown.size(), 3u);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(tree(tmp.path()).isEmpty());
}

TEST_F(SaveCommand, ReadOnlySaveFileGivesTheFailureMessageAndChangesNothing) {
    const QByteArray old = "keep\r\n";
    spit(path("save.txt"), old);
    ASSERT_EQ(::chmod(path("save.txt").toLocal8Bit().constData(), 0444), 0);
    prepare("save.txt", "A\r\n");
    mode.confirm = false;  // failures are shown all the same
    runSave();
    EXPECT_EQ(slurp(path("save.txt")), old);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].buttons, Buttons::Ok);
    EXPECT_EQ(prompts.messages[0].text,
              kFailureHead + "\r\n" + path("save.txt") + QStringLiteral("（読み取り専用です）"));
    EXPECT_FALSE(state.saved);  // so the next click does not ask again
}

TEST_F(SaveCommand, MissingFolderGivesTheFailureMessageAndCreatesNothing) {
    prepare("no/such/save.txt", "A\r\n");
    state.saved = true;
    prompts.answers = {Answer::Yes};
    runSave();
    EXPECT_TRUE(tree(tmp.path()).isEmpty());
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text, kFailureHead + "\r\n" + path("no/such/save.txt") +
                                            QStringLiteral("（フォルダがありません）"));
    EXPECT_TRUE(state.saved);  // as before the click: the earlier save stands
}

TEST_F(SaveCommand, NonRegularSaveFileIsNeverOpened) {
    ASSERT_EQ(::mkfifo(path("fifo").toLocal8Bit().constData(), 0666), 0);
    ASSERT_TRUE(QDir(tmp.path()).mkdir("dir.txt"));
    for (const char* name : {"fifo", "dir.txt"}) {
        reset();
        prepare(name, "A\r\n");
        runSave();  // a FIFO opened for writing would hang here
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_TRUE(
            prompts.messages[0].text.contains(QStringLiteral("（通常のファイルではありません）")));
    }
}

TEST_F(SaveCommand, PartlyFailedPerTitleSaveNamesTheFailedFileAndCountsAsSaved) {
    spit(path("B.txt"), "b\r\n");
    ASSERT_EQ(::chmod(path("B.txt").toLocal8Bit().constData(), 0444), 0);
    prepare("save.txt", "\r\n●A\r\na\r\n\r\n●B\r\nb2\r\n\r\n●C\r\nc\r\n", true);
    runSave();
    EXPECT_EQ(slurp(path("A.txt")), "a\r\n\r\n");
    EXPECT_EQ(slurp(path("B.txt")), "b\r\n");
    EXPECT_EQ(slurp(path("C.txt")), "c\r\n");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, kFailureHead + "\r\n" + path("B.txt") +
                                            QStringLiteral("（読み取り専用です）\r\n") +
                                            QStringLiteral("ほかのファイルには保存しました。"));
    // Some files took the text: a second click should ask before adding it twice.
    EXPECT_TRUE(state.saved);
}

TEST_F(SaveCommand, LongFailureListsAreCut) {
    SaveResult result;
    for (int i = 0; i < 25; ++i)
        result.failures.push_back(Failure::of(Failure::Kind::ReadOnly, QString::number(i)));
    const QString text = saveFailures(result);
    EXPECT_TRUE(text.contains(QStringLiteral("19（読み取り専用です）")));
    EXPECT_FALSE(text.contains(QStringLiteral("20（")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("ほか 5 件")));
}

}  // namespace
}  // namespace sorimba::saving::test
