// The window and mail: the "mail" entry's import from a mailbox under a
// progress dialog, and messages dropped or opened as issues.

#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include "encoding/encoding.h"
#include "saving/saving.h"
#include "support/files.h"
#include "window/accessibility.h"
#include "window/wording.h"
#include "window_test_support.h"

namespace sorimba {
namespace {

using testing::ScriptedWindow;
using testing::slurp;
using testing::spit;

// An issue whose one entry is "投稿 N", and its clip text with all options off.
QString issue(int n) {
    return QStringLiteral(
               "ウィークリーぴこぴこ\r\n■ぴこぴこＺＯＫ\r\n\r\n●お題\r\n\r\n○投稿 %1\r\n")
        .arg(n);
}
QString clip(int n) {
    return QStringLiteral("○投稿 %1\r\n").arg(n);
}

// The issue as a newsletter mail: code page 932 in base64.
QByteArray message(int n) {
    QString lf = issue(n);
    lf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return "From: editor@example.com\nDate: Mon, " + QByteArray::number(n % 28 + 1) +
           " Jan 2024 09:00:00 +0900\nMessage-ID: <" + QByteArray::number(n) +
           "@example.com>\nMIME-Version: 1.0\nContent-Type: text/plain; charset=Shift_JIS\n"
           "Content-Transfer-Encoding: base64\n\n" +
           encoding::toCp932(lf).toBase64() + "\n";
}

QByteArray mbox(int count) {
    QByteArray out;
    for (int n = 1; n <= count; ++n)
        out += "From editor@example.com Mon Jan  1 00:00:00 2024\n" + message(n) + "\n";
    return out;
}

// Lets the window run until its mail import is over and its summary shown.
bool waitForSummary(ScriptedWindow& form, int timeoutMs = 60000) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!form.mailImportRunning() && !form.messages.empty()) return true;
        QThread::msleep(5);
    }
    return false;
}

class MailWindow : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < kOptionCount; ++i) form.setOption(i, false);
        form.saveState().savePath = path("save.txt");
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
    ScriptedWindow form;
};

TEST(MailMenu, ThirdEntryOfTheMenuBar) {
    ScriptedWindow form;
    const QList<QAction*> entries = form.menuBar()->actions();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[2]->text(), QStringLiteral("&mail"));
    EXPECT_EQ(QKeySequence::mnemonic(entries[2]->text()), QKeySequence(Qt::ALT | Qt::Key_M));
    ASSERT_NE(entries[2]->menu(), nullptr);
    const QList<QAction*> items = entries[2]->menu()->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0], form.mboxAction());
    EXPECT_EQ(items[1], form.maildirAction());
    for (QAction* entry : {entries[2], items[0], items[1]})
        EXPECT_FALSE(menuEntryDescription(entry).isEmpty()) << entry->text().toStdString();
}

TEST_F(MailWindow, ImportsUnderProgressWithOneSummary) {
    spit(path("in.mbox"), mbox(3));
    form.setText(QStringLiteral("手で直した文章\r\n"));
    form.saveState().saved = true;
    ASSERT_TRUE(form.importMailbox(path("in.mbox")));
    // Meanwhile (until the summary): save and convert wait, a progress
    // dialog holds the window, a second import does not start.
    EXPECT_TRUE(form.mailImportRunning());
    EXPECT_TRUE(form.busy());
    EXPECT_FALSE(form.saveButton()->isEnabled());
    EXPECT_FALSE(form.convertAction()->isEnabled());
    EXPECT_FALSE(form.mboxAction()->isEnabled());
    EXPECT_TRUE(qobject_cast<QProgressDialog*>(QApplication::activeModalWidget()));
    EXPECT_FALSE(form.importMailbox(path("in.mbox")));
    form.saveClicked();  // Ctrl+S, say: the save file is busy; nothing is saved
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0].text, kBusyInJapanese);
    form.messages.clear();
    EXPECT_FALSE(form.saveButton()->isEnabled());
    ASSERT_TRUE(waitForSummary(form));
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_TRUE(form.messages[0].text.startsWith(QStringLiteral(
        "メール 3 通：取り込み 3 件、取り込み済み 0 件、号ではない 0 通、失敗 0 通")))
        << form.messages[0].text.toStdString();
    EXPECT_EQ(slurp(path("save.txt")),
              encoding::toCp932(clip(1) + "\r\n" + clip(2) + "\r\n" + clip(3) + "\r\n"));
    // The text area and the saved state are the user's; the commands are back.
    EXPECT_EQ(form.text(), QStringLiteral("手で直した文章\r\n"));
    EXPECT_TRUE(form.saveState().saved);
    EXPECT_TRUE(form.saveButton()->isEnabled());
    EXPECT_TRUE(form.convertAction()->isEnabled());
    EXPECT_TRUE(form.maildirAction()->isEnabled());
    // Again: nothing new, and the summary says so.
    form.messages.clear();
    ASSERT_TRUE(form.importMailbox(path("in.mbox")));
    ASSERT_TRUE(waitForSummary(form));
    EXPECT_TRUE(form.messages[0].text.contains(QStringLiteral("取り込み 0 件、取り込み済み 3 件")));
}

TEST_F(MailWindow, AsksForTheSaveFileFirstAndReportsAnUnreadableMailbox) {
    spit(path("in.mbox"), mbox(1));
    form.saveState().savePath.clear();
    form.fileChoices.push_back(std::nullopt);  // cancelled: nothing happens
    EXPECT_FALSE(form.importMailbox(path("in.mbox")));
    EXPECT_EQ(form.fileChooserShown, 1);
    EXPECT_TRUE(form.messages.empty());
    form.fileChoices.push_back(path("chosen.txt"));
    ASSERT_TRUE(form.importMailbox(path("in.mbox")));
    ASSERT_TRUE(waitForSummary(form));
    EXPECT_EQ(form.saveState().savePath, path("chosen.txt"));
    EXPECT_EQ(slurp(path("chosen.txt")), encoding::toCp932(clip(1) + "\r\n"));
    // A folder that is no Maildir: said at once, nothing runs.
    form.messages.clear();
    EXPECT_FALSE(form.importMailbox(dir.path()));
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_TRUE(form.messages[0].text.startsWith(QStringLiteral("メールボックスを読めません：")));
    EXPECT_TRUE(form.saveButton()->isEnabled());
}

TEST_F(MailWindow, CancelStopsAfterTheIssuesBeingWritten) {
    spit(path("in.mbox"), mbox(4000));
    ASSERT_TRUE(form.importMailbox(path("in.mbox")));
    auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(progress, nullptr);
    QPushButton* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("キャンセル"));
    cancel->click();
    ASSERT_TRUE(waitForSummary(form));
    EXPECT_TRUE(form.messages[0].text.startsWith(QStringLiteral("取り込みを中止しました。")))
        << form.messages[0].text.toStdString();
    // What was saved stays saved, whole issues only.
    const QString saved =
        QFile::exists(path("save.txt")) ? encoding::fromCp932(slurp(path("save.txt"))) : QString();
    EXPECT_TRUE(saved.isEmpty() || saved.endsWith(QStringLiteral("\r\n\r\n")));
}

TEST_F(MailWindow, ClosingCancelsWaitsAndStoresTheSettings) {
    spit(path("in.mbox"), mbox(1500));
    form.loadSettingsFrom(settings::SettingsFiles::in(dir.path()));
    form.saveState().savePath = path("save.txt");
    form.show();
    ASSERT_TRUE(form.importMailbox(path("in.mbox")));
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.mailImportRunning());
    EXPECT_TRUE(form.messages.empty());  // no summary after closing
    EXPECT_TRUE(QFile::exists(path("data.dat")));
    EXPECT_TRUE(QFile::exists(path("data2.dat")));
    // The record holds exactly the issues in the save file.
    const int saved =
        QFile::exists(path("save.txt"))
            ? int(encoding::fromCp932(slurp(path("save.txt"))).count(QStringLiteral("○投稿")))
            : 0;
    EXPECT_EQ(int(slurp(path(".save.txt.sorimba-imported")).count("\nid ")), saved);
}

TEST_F(MailWindow, DroppedAndOpenedMessagesImportAsTheirText) {
    spit(path("issue.eml"), message(7));
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(path("issue.eml"))});
    form.importDrop(file);
    EXPECT_EQ(form.text(), clip(7));
    QMimeData fromMail;
    fromMail.setData(QStringLiteral("message/rfc822"), message(8));
    form.importDrop(fromMail);
    EXPECT_EQ(form.text(), clip(8));
    // As a drop of its text: SaveAfterImport applies.
    form.setOption(SaveAfterImport, true);
    form.importFile(path("issue.eml"));
    EXPECT_EQ(form.text(), clip(7));
    EXPECT_EQ(slurp(path("save.txt")), encoding::toCp932(clip(7) + "\r\n"));
    EXPECT_TRUE(form.messages.empty());
}

TEST_F(MailWindow, SeveralDroppedMessagesImportAsOneBatchAfterAQuestion) {
    QMimeData data;
    for (int n : {3, 1, 2}) {
        spit(path(QStringLiteral("%1.eml").arg(n)), message(n));
        data.setUrls(data.urls() << QUrl::fromLocalFile(path(QStringLiteral("%1.eml").arg(n))));
    }
    const import::Drop drop = import::readDrop(data);
    for (int n : {1, 2, 3})
        QFile::remove(path(QStringLiteral("%1.eml").arg(n)));  // as mail programs do
    form.setText(QStringLiteral("前の文章\r\n"));
    form.answers.push_back(Answer::No);
    form.importDrop(drop);
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0].text, QStringLiteral("3 通のメールを保存先に取り込みますか？"));
    EXPECT_EQ(form.messages[0].buttons, Buttons::YesNo);
    EXPECT_FALSE(form.mailImportRunning());

    form.messages.clear();
    form.answers.push_back(Answer::Yes);
    form.importDrop(drop);
    EXPECT_TRUE(form.mailImportRunning());
    // Another drop meanwhile is declined.
    QMimeData text;
    text.setText(issue(9));
    form.importDrop(text);
    ASSERT_EQ(form.messages.size(), 2u);
    EXPECT_EQ(form.messages[1].text, kBusyInJapanese);
    form.messages.clear();
    ASSERT_TRUE(waitForSummary(form));
    EXPECT_TRUE(form.messages[0].text.startsWith(QStringLiteral("メール 3 通：取り込み 3 件")))
        << form.messages[0].text.toStdString();
    EXPECT_EQ(slurp(path("save.txt")),
              encoding::toCp932(clip(1) + "\r\n" + clip(2) + "\r\n" + clip(3) + "\r\n"));
    EXPECT_EQ(form.text(), QStringLiteral("前の文章\r\n"));
}

TEST_F(MailWindow, AnMboxOfOneDroppedMessageIsAnIssueDrop) {
    spit(path("one"), mbox(1));
    form.setOption(SaveAfterImport, true);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path("one"))});
    form.importDrop(data);
    EXPECT_TRUE(form.messages.empty());
    EXPECT_EQ(form.text(), clip(1));
    EXPECT_EQ(slurp(path("save.txt")), encoding::toCp932(clip(1) + "\r\n"));
}

}  // namespace
}  // namespace sorimba
