// The main window: layout, resizing, options, imports, copy all, font.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QDialog>
#include <QDir>
#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontComboBox>
#include <QFontInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <functional>

#include "encoding/encoding.h"
#include "files/files.h"
#include "window/font_dialog.h"
#include "window/layout.h"
#include "window/text_area.h"
#include "window_test_support.h"

namespace sorimba {
namespace {

using testing::clipboard;
using testing::ScriptedWindow;
using testing::whenModalOpens;

const QString kHint = QStringLiteral("[ Weekly Piko2 ] をドラッグドロップして下さい");
const QString kNotFound = QStringLiteral("取り込めませんでした");
// A tiny issue and what the extraction makes of it with all options off.
const QString kIssue = QStringLiteral("■ぴこぴこＺＯＫ\r\n●お題\r\n\r\n○投稿\r\n");
const QString kClip = QStringLiteral("○投稿\r\n");

void settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

QRect twipRect(const MainWindow& form, const QRect& pixels) {
    return QRect(qRound(twipsX(form, pixels.x())), qRound(twipsY(form, pixels.y())),
                 qRound(twipsX(form, pixels.width())), qRound(twipsY(form, pixels.height())));
}

// Resizes the window so that its client area gets the given pixel size.
void setClientSize(MainWindow& form, int width, int height) {
    for (int i = 0; i < 3 && form.centralWidget()->size() != QSize(width, height); ++i) {
        const QSize extra = form.size() - form.centralWidget()->size();
        form.resize(width + extra.width(), height + extra.height());
        settle();
    }
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        clipboard()->clear();
        for (int i = 0; i < kOptionCount; ++i) form.setOption(i, false);
    }
    ScriptedWindow form;
};

TEST(MainWindowLayout, FirstStartHasTheDesignLayout) {
    ScriptedWindow form;
    form.show();
    settle();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("!Sorimba"));
    EXPECT_FALSE(form.windowIcon().pixmap(32, 32).isNull());

    EXPECT_EQ(twipRect(form, QRect(QPoint(), form.centralWidget()->size())),
              QRect(0, 0, 7065, 5820));
    EXPECT_EQ(twipRect(form, form.clipView()->geometry()), QRect(60, 660, 6900, 5055));
    // The hint is a placeholder: shown while the text area is empty, never its text.
    EXPECT_EQ(form.text(), QString());
    EXPECT_EQ(form.clipView()->placeholderText(), kHint);

    struct Button {
        QPushButton* button;
        QString caption;
        int left;
    };
    for (const Button& b : {Button{form.importButton(), QStringLiteral("取り込み"), 60},
                            Button{form.saveButton(), QStringLiteral("保　存"), 1440},
                            Button{form.copyAllButton(), QStringLiteral("すべてコピー"), 2880},
                            Button{form.fontButton(), QStringLiteral("フォント"), 4260}}) {
        EXPECT_EQ(b.button->text(), b.caption);
        EXPECT_EQ(twipRect(form, b.button->geometry()), QRect(b.left, 120, 1275, 435)) << b.left;
    }
    EXPECT_EQ(form.saveButton()->toolTip(),
              QStringLiteral("右クリックで保存場所の変更\n保存先：まだ選ばれていません"));

    // Tab order importButton, clipView, copyAllButton, fontButton, saveButton; importButton
    // first, and its focus is drawn as keyboard focus, so it shows.
    EXPECT_EQ(form.focusWidget(), form.importButton());
    EXPECT_TRUE(form.testAttribute(Qt::WA_KeyboardFocusChange));
    std::vector<QWidget*> order;
    QWidget* w = form.importButton();
    for (int i = 0; i < 5; ++i) {
        order.push_back(w);
        do w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
    }
    EXPECT_EQ(order,
              (std::vector<QWidget*>{form.importButton(), form.clipView(), form.copyAllButton(),
                                     form.fontButton(), form.saveButton()}));

    // The window font is kept by name; Japanese text renders with a gothic face.
    EXPECT_EQ(form.font().family(), QStringLiteral("ＭＳ ゴシック"));
    EXPECT_EQ(form.font().pointSizeF(), 9);
    EXPECT_EQ(form.settings().fontName(), QStringLiteral("ＭＳ ゴシック"));
    EXPECT_EQ(form.settings().fontSize(), 9);
    EXPECT_EQ(form.settings().textColour(), kWindowTextColour);
    EXPECT_TRUE(QFontInfo(form.clipView()->font()).family().startsWith(QStringLiteral("IPA")))
        << QFontInfo(form.clipView()->font()).family().toStdString();
}

TEST(MainWindowLayout, MenuBarHasOptionAndConvert) {
    ScriptedWindow form;
    const QList<QAction*> entries = form.menuBar()->actions();
    ASSERT_GE(entries.size(), 2);
    // The captions read "Option" and "convert"; Alt+O and Alt+C open them.
    EXPECT_EQ(entries[0]->text(), QStringLiteral("&Option"));
    EXPECT_EQ(QKeySequence::mnemonic(entries[0]->text()), QKeySequence(Qt::ALT | Qt::Key_O));
    ASSERT_NE(entries[0]->menu(), nullptr);
    EXPECT_EQ(entries[1], form.convertAction());
    EXPECT_EQ(entries[1]->text(), QStringLiteral("&convert"));
    EXPECT_EQ(QKeySequence::mnemonic(entries[1]->text()), QKeySequence(Qt::ALT | Qt::Key_C));
    EXPECT_EQ(entries[1]->menu(), nullptr);  // acts on click, no drop-down

    const QStringList captions = {QStringLiteral("取り込んだ後クリップボードにコピー"),
                                  QStringLiteral("「●タイトル」も取り込む"),
                                  QStringLiteral("「◇これに一票」も取り込む"),
                                  QStringLiteral("「スタッフのひとこと」を取り込む"),
                                  QStringLiteral("「ぴこぴこについて」を取り込む"),
                                  QStringLiteral("常に手前に表示"),
                                  QStringLiteral("文章連結"),
                                  QStringLiteral("取り込んだ後すぐ保存"),
                                  QStringLiteral("保存確認メッセージ")};
    const QList<QAction*> items = entries[0]->menu()->actions();
    ASSERT_EQ(items.size(), kOptionCount);
    for (int i = 0; i < kOptionCount; ++i) {
        EXPECT_EQ(items[i], form.optionItem(std::size_t(i)));
        EXPECT_EQ(items[i]->text(), captions[i]);
        EXPECT_TRUE(items[i]->isCheckable());
        EXPECT_EQ(form.option(i), i == AlwaysOnTop || i == ConfirmSave) << i;
    }
}

TEST(MainWindowLayout, TextAreaFollowsTheClientAreaAboveTheSmallestSize) {
    ScriptedWindow form;
    form.show();
    settle();
    std::vector<QRect> buttons;
    for (QPushButton* b :
         {form.importButton(), form.copyAllButton(), form.fontButton(), form.saveButton()})
        buttons.push_back(b->geometry());

    // Margins 165 x 765 twips (11 x 51 pixels at 96 DPI).
    const int right = pixelsX(form, 165);
    const int bottom = pixelsY(form, 765);
    setClientSize(form, 700, 500);
    EXPECT_EQ(form.clipView()->size(), QSize(700 - right, 500 - bottom));
    setClientSize(form, 300, 400);
    EXPECT_EQ(form.clipView()->size(), QSize(300 - right, 400 - bottom));
    // A window 1300 twips high (wide) or less keeps the text area's height
    // (width) as it was, so it never becomes nothing or less.
    setClientSize(form, form.centralWidget()->width(), bottom + 1);
    ASSERT_LE(form.settings().outerHeight(), 1300);
    EXPECT_EQ(form.clipView()->size(), QSize(300 - right, 400 - bottom));
    form.resize(1, 1);  // as small as the window goes
    settle();
    ASSERT_LE(form.settings().outerWidth(), 1300);
    EXPECT_EQ(form.clipView()->size(), QSize(300 - right, 400 - bottom));
    // A usual size again: the text area follows once more.
    setClientSize(form, 471, 388);
    EXPECT_EQ(twipRect(form, form.clipView()->geometry()), QRect(60, 660, 6900, 5055));

    std::vector<QRect> after;
    for (QPushButton* b :
         {form.importButton(), form.copyAllButton(), form.fontButton(), form.saveButton()})
        after.push_back(b->geometry());
    EXPECT_EQ(after, buttons);
}

TEST(MainWindowLayout, OuterSizeIsTheFrameAndRejectsAbsurdValues) {
    ScriptedWindow form;
    // Asked before the window is shown: the frame gets that size once framed.
    ASSERT_TRUE(form.settings().setOuterWidth(9000));
    ASSERT_TRUE(form.settings().setOuterHeight(7500));
    form.show();
    settle();
    EXPECT_NEAR(form.settings().outerWidth(), 9000, 15);
    EXPECT_NEAR(form.settings().outerHeight(), 7500, 15);
    EXPECT_GE(form.frameGeometry().width(), form.width());

    ASSERT_TRUE(form.settings().setOuterWidth(8100));
    settle();
    EXPECT_NEAR(form.settings().outerWidth(), 8100, 15);

    const QRect before = form.frameGeometry();
    for (double bad : {std::nan(""), HUGE_VAL, -1.0, 0.0, 299.0, 100001.0, 1e30}) {
        EXPECT_FALSE(form.settings().setOuterWidth(bad)) << bad;
        EXPECT_FALSE(form.settings().setOuterHeight(bad)) << bad;
    }
    settle();
    EXPECT_EQ(form.frameGeometry(), before);
}

TEST_F(WindowTest, TwoClicksOnAnOptionRestoreIt) {
    form.show();
    settle();
    for (int i = 0; i < kOptionCount; ++i) {
        const bool before = form.option(i);
        form.optionItem(i)->trigger();
        EXPECT_EQ(form.option(i), !before) << i;
        form.optionItem(i)->trigger();
        EXPECT_EQ(form.option(i), before) << i;
    }
}

TEST_F(WindowTest, AlwaysOnTopFollowsItsItemAndKeepsTheGeometry) {
    form.show();
    settle();
    const QRect geometry = form.geometry();
    form.optionItem(AlwaysOnTop)->trigger();
    settle();
    EXPECT_TRUE(form.option(AlwaysOnTop));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.geometry(), geometry);
    form.optionItem(AlwaysOnTop)->trigger();
    settle();
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.geometry(), geometry);
    // A mark set from the stored settings is only a mark: start-up applies
    // the on-top state once, after all of them.
    form.settings().setOption(AlwaysOnTop, true);
    settle();
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

// Files handed over by later starts wait for these signals.
TEST(MainWindowIdle, SaysSoOnlyOnceItsMessageBoxDialogOrMenuHasClosed) {
    MainWindow form;  // real message boxes
    form.show();
    settle();
    int idle = 0;
    QObject::connect(&form, &MainWindow::idle, [&] { ++idle; });
    int whileOpen = -1;
    const auto close = [&](QDialog* dialog) {
        settle();
        whileOpen = idle;
        EXPECT_TRUE(form.busy());
        dialog->reject();
    };
    whenModalOpens<QMessageBox>(close);
    EXPECT_FALSE(form.importIssue(QStringLiteral("号ではない文章")));
    settle();
    EXPECT_EQ(whileOpen, 0);
    EXPECT_EQ(idle, 1);

    idle = 0;
    whileOpen = -1;
    whenModalOpens<FontDialog>(close);
    form.findChild<QPushButton*>(QStringLiteral("font"))->click();
    settle();
    EXPECT_EQ(whileOpen, 0);
    EXPECT_EQ(idle, 1);

    idle = 0;
    auto* options = form.findChild<QMenu*>(QStringLiteral("options"));
    options->popup(form.mapToGlobal(QPoint(0, 0)));
    settle();
    EXPECT_TRUE(form.busy());
    EXPECT_EQ(idle, 0);
    options->hide();
    settle();
    EXPECT_EQ(idle, 1);
}

TEST_F(WindowTest, ClipboardImportTakesCrLfAndLfTextAlike) {
    form.setOption(CopyAfterImport, true);
    for (const QString& issue :
         {kIssue, QString(kIssue).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))}) {
        form.saveState().saved = true;
        form.setText(QString());
        clipboard()->setText(issue);
        form.importButton()->click();
        EXPECT_TRUE(form.messages.empty());
        EXPECT_EQ(form.text(), kClip);
        EXPECT_EQ(form.clipView()->toPlainText(), QStringLiteral("○投稿\n"));
        // The Linux clipboard gets LF line ends.
        EXPECT_EQ(clipboard()->text(), QStringLiteral("○投稿\n"));
        EXPECT_FALSE(form.saveState().saved);
    }
}

TEST_F(WindowTest, ImportWithoutCopyLeavesTheClipboardAlone) {
    clipboard()->setText(kIssue);
    form.importButton()->click();
    EXPECT_EQ(form.text(), kClip);
    EXPECT_EQ(clipboard()->text(), kIssue);
}

TEST_F(WindowTest, NotFoundChangesNothing) {
    form.setOption(CopyAfterImport, true);
    form.setOption(SaveAfterImport, true);  // a clipboard import never saves
    const QString handEdited = QStringLiteral("手で書いた\r\n");
    form.setText(handEdited);
    form.saveState().saved = true;
    QTemporaryDir dir;
    form.saveState().savePath = dir.filePath(QStringLiteral("save.txt"));

    const QString junk =
        QStringLiteral("ぴこぴこＺＯＫ\r\n○投稿\r\n") + QChar(0) + QStringLiteral("\x01");
    for (const QString& held : {junk, QString()}) {
        form.messages.clear();
        if (held.isEmpty())
            clipboard()->clear();
        else
            clipboard()->setText(held);
        form.importButton()->click();
        ASSERT_EQ(form.messages.size(), 1u);
        EXPECT_EQ(form.messages[0].text, kNotFound);
        EXPECT_EQ(form.messages[0].buttons, Buttons::Ok);
        EXPECT_EQ(form.text(), handEdited);
        EXPECT_EQ(clipboard()->text(), held);
        EXPECT_TRUE(form.saveState().saved);
    }
    EXPECT_FALSE(QFile::exists(form.saveState().savePath));
}

TEST_F(WindowTest, TextKeepsEveryCharacterThroughTheTextArea) {
    const QString odd = QStringLiteral("\r\n a\u00A0b\u2028c\u3000\r\n") + QChar(0) +
                        QStringLiteral("x") + QChar(0xD800) + QStringLiteral("\r\n\r\n");
    form.setText(odd);
    EXPECT_EQ(form.text(), odd);
    form.setText(QString());
    EXPECT_EQ(form.text(), QString());

    // Long texts go in gathered into few paragraphs; they read back the same.
    QString many;
    for (int i = 0; i < 200; ++i)
        many += (i % 3 == 0) ? QStringLiteral("\r\n") : QStringLiteral("○行%1\r\n").arg(i);
    many += QString(5000, QChar(0x3042)) + QStringLiteral("\r\n\r\n");
    form.setText(many);
    EXPECT_EQ(form.text(), many);
    EXPECT_LT(form.clipView()->document()->blockCount(), 20);
    // A line break the user types (Shift+Enter) is a line end like Enter.
    form.setText(QStringLiteral("上\r\n下"));
    form.clipView()->moveCursor(QTextCursor::End);
    form.clipView()->insertPlainText(QString(QChar::LineSeparator) + QStringLiteral("足した"));
    EXPECT_EQ(form.text(), QStringLiteral("上\r\n下\r\n足した"));

    // A paste by the user (LF lines from the clipboard) replaces the selection.
    QString pasted;
    for (int i = 0; i < 100; ++i) pasted += QStringLiteral("貼%1\n").arg(i);
    clipboard()->setText(pasted);
    form.clipView()->selectAll();
    form.clipView()->paste();
    EXPECT_EQ(form.text(), QString(pasted).replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
}

TEST_F(WindowTest, ImportedNulAndJunkStayAsTheyAre) {
    const QString entry = QStringLiteral("○a") + QChar(0) + QStringLiteral("b\u00A0\uFFFF");
    clipboard()->setText(QStringLiteral("■ぴこぴこＺＯＫ\r\n●お題\r\n\r\n") + entry +
                         QStringLiteral("\r\n"));
    form.importButton()->click();
    EXPECT_TRUE(form.messages.empty());
    EXPECT_EQ(form.text(), entry + QStringLiteral("\r\n"));
}

TEST_F(WindowTest, DropImportsTheTextAndSavesWhenAsked) {
    QTemporaryDir dir;
    const QString savePath = dir.filePath(QStringLiteral("save.txt"));
    form.saveState().savePath = savePath;
    form.setOption(SaveAfterImport, true);

    QMimeData data;
    data.setText(QString(kIssue).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    form.importDrop(data);
    EXPECT_EQ(form.text(), kClip);
    QByteArray saved;
    ASSERT_FALSE(files::readFile(savePath, &saved));
    EXPECT_TRUE(saved.startsWith(encoding::toCp932(kClip)));
    EXPECT_TRUE(form.saveState().saved);

    // A drop without the column saves nothing: the old clip is not added
    // again, and no question about saving it again is asked.
    for (const bool savedBefore : {true, false}) {
        form.messages.clear();
        form.saveState().saved = savedBefore;
        form.answers.push_back(Answer::Yes);  // were "save again?" asked
        data.setText(QStringLiteral("関係ない文章"));
        form.importDrop(data);
        ASSERT_EQ(form.messages.size(), 1u);
        EXPECT_EQ(form.messages.front().text, kNotFound);
        EXPECT_EQ(form.saveState().saved, savedBefore);
        form.answers.clear();
    }
    QByteArray after;
    ASSERT_FALSE(files::readFile(savePath, &after));
    EXPECT_EQ(after, saved);
}

TEST_F(WindowTest, TheStartUpHintIsNeverSaved) {
    QTemporaryDir dir;
    const QString savePath = dir.filePath(QStringLiteral("save.txt"));
    ScriptedWindow fresh;
    fresh.saveState().savePath = savePath;
    fresh.show();
    settle();
    fresh.saveButton()->click();
    ASSERT_EQ(fresh.messages.size(), 1u);
    EXPECT_EQ(fresh.messages[0].text, saving::kEmptyText);
    EXPECT_FALSE(QFile::exists(savePath));
    EXPECT_FALSE(fresh.saveState().saved);
    EXPECT_TRUE(fresh.saveButton()->isEnabled());
    fresh.copyAllButton()->click();
    EXPECT_EQ(clipboard()->text(), QString());
}

TEST_F(WindowTest, DropWithoutSaveAfterImportDoesNotSave) {
    QTemporaryDir dir;
    form.saveState().savePath = dir.filePath(QStringLiteral("save.txt"));
    QMimeData data;
    data.setText(kIssue);
    form.importDrop(data);
    EXPECT_EQ(form.text(), kClip);
    EXPECT_FALSE(QFile::exists(form.saveState().savePath));
}

TEST_F(WindowTest, DroppedTextFilesAreReadAsUtf8OrCodePage932) {
    QTemporaryDir dir;
    const QString lfIssue = QString(kIssue).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    struct Case {
        QString name;
        QByteArray bytes;
    };
    for (const Case& c : {Case{QStringLiteral("utf8.txt"), lfIssue.toUtf8()},
                          Case{QStringLiteral("bom.TXT"), "\xEF\xBB\xBF" + lfIssue.toUtf8()},
                          Case{QStringLiteral("sjis.txt"), encoding::toCp932(kIssue)}}) {
        const QString path = dir.filePath(c.name);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.bytes);
        file.close();
        form.setText(QString());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        data.setText(path);  // file managers offer the path as text too
        form.importDrop(data);
        EXPECT_EQ(form.text(), kClip) << c.name.toStdString();
    }
    EXPECT_TRUE(form.messages.empty());
}

// The window and sorimba-clip make the same clip text of the same bytes.
TEST_F(WindowTest, ADroppedFileGivesTheClipTextOfSorimbaClip) {
    QFile sampleFile(qEnvironmentVariable("SORIMBA_SOURCE") + "/samples/issue-sample.txt");
    ASSERT_TRUE(sampleFile.open(QIODevice::ReadOnly));
    const QString sample = QString::fromUtf8(sampleFile.readAll());
    const QString lf = QString(sample).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const auto withMark = [](QStringConverter::Encoding encoding, const QString& text) {
        QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
        return QByteArray(encoder(text));
    };
    form.setOption(WithTitles, true);
    form.setOption(WithStaffWord, true);
    QTemporaryDir dir;
    int n = 0;
    for (const QByteArray& bytes :
         {lf.toUtf8(), encoding::toCp932(sample), withMark(QStringConverter::Utf16LE, lf),
          withMark(QStringConverter::Utf16BE, sample)}) {
        const QString path = dir.filePath(QStringLiteral("issue%1.txt").arg(n++));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        form.setText(kHint);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        form.importDrop(data);

        QProcess clip;
        clip.start(qEnvironmentVariable("SORIMBA_CLIP"),
                   {"extract", "--with-titles", "--with-staff-word", path});
        ASSERT_TRUE(clip.waitForFinished(30000));
        EXPECT_EQ(clip.exitCode(), 0);
        const QByteArray out = clip.readAllStandardOutput();
        EXPECT_TRUE(out.contains("●スタッフのひとこと")) << n;
        EXPECT_EQ(form.text().toUtf8(), out) << n;
    }
    EXPECT_TRUE(form.messages.empty());
}

TEST_F(WindowTest, DropsWithoutTextAreIgnored) {
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("picture.png"));
    QFile file(image);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kIssue.toUtf8());
    file.close();
    form.setOption(SaveAfterImport, true);
    form.saveState().savePath = dir.filePath(QStringLiteral("save.txt"));

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(image)});
    form.importDrop(files);
    QMimeData picture;
    picture.setData(QStringLiteral("image/png"), QByteArray("\x89PNG", 4));
    form.importDrop(picture);

    EXPECT_TRUE(form.messages.empty());
    EXPECT_EQ(form.text(), QString());
    EXPECT_FALSE(QFile::exists(form.saveState().savePath));
}

TEST_F(WindowTest, AnUnreadableDroppedFileIsNotImportable) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.txt")));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dir.filePath(QStringLiteral("folder.txt")))});
    form.importDrop(data);
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0].text, kNotFound);
    EXPECT_EQ(form.text(), QString());
}

TEST_F(WindowTest, ANamedFileImportsAsItsDropWouldWhateverItsName) {
    QTemporaryDir dir;
    const QString issue = dir.filePath(QStringLiteral("issue 12.eml"));
    QFile file(issue);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(encoding::toCp932(kIssue));
    file.close();
    const QString savePath = dir.filePath(QStringLiteral("save.txt"));
    form.saveState().savePath = savePath;
    form.setOption(SaveAfterImport, true);
    form.setOption(ConfirmSave, false);

    form.importFile(issue);
    EXPECT_EQ(form.text(), kClip);
    QByteArray saved;
    ASSERT_FALSE(files::readFile(savePath, &saved));
    EXPECT_TRUE(saved.startsWith(encoding::toCp932(kClip)));
    EXPECT_TRUE(form.messages.empty());

    // A file that is not there is not importable, as a dropped one, and
    // the old clip is not saved again.
    form.importFile(dir.filePath(QStringLiteral("gone.txt")));
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0].text, kNotFound);
    EXPECT_EQ(form.text(), kClip);
    QByteArray after;
    ASSERT_FALSE(files::readFile(savePath, &after));
    EXPECT_EQ(after, saved);
}

TEST(MainWindowBusy, BusyInsideADialogOnly) {
    MainWindow form;
    EXPECT_FALSE(form.busy());
    bool busyInside = false;
    testing::whenModalOpens<QDialog>([&](QDialog* dialog) {
        busyInside = form.busy();
        dialog->reject();
    });
    QDialog dialog(&form);
    dialog.exec();
    EXPECT_TRUE(busyInside);
    EXPECT_FALSE(form.busy());
}

TEST_F(WindowTest, ADropEventImportsAfterTheDropWithoutInsertingIt) {
    form.show();
    settle();
    QMimeData data;
    data.setText(kIssue);
    const QPointF at(20, 20);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(form.clipView()->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.clipView()->viewport(), &drop);
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);  // the source keeps its text
    EXPECT_EQ(form.text(), QString());             // nothing inserted by the text area
    settle();
    EXPECT_EQ(form.text(), kClip);
}

TEST_F(WindowTest, CopyAllTakesTheHandEditedText) {
    form.setText(kClip);
    form.saveState().saved = true;
    form.clipView()->moveCursor(QTextCursor::End);
    form.clipView()->insertPlainText(QStringLiteral("手で足した"));
    clipboard()->setText(QStringLiteral("前の中身"));
    form.copyAllButton()->click();
    EXPECT_EQ(clipboard()->text(), QStringLiteral("○投稿\n手で足した"));
    EXPECT_EQ(form.text(), QStringLiteral("○投稿\r\n手で足した"));
    EXPECT_TRUE(form.saveState().saved);

    form.setText(QString());
    form.copyAllButton()->click();
    EXPECT_EQ(clipboard()->text(), QString());
}

TEST_F(WindowTest, CancelledFontDialogChangesNothing) {
    form.show();
    settle();
    const QFont before = form.clipView()->font();
    whenModalOpens<FontDialog>([](FontDialog* d) {
        EXPECT_EQ(d->fontName(), QStringLiteral("ＭＳ ゴシック"));
        EXPECT_EQ(d->fontSize(), 9);
        EXPECT_EQ(d->colourCode(), kWindowTextColour);
        d->faceBox()->setEditText(QStringLiteral("IPAMincho"));
        d->sizeBox()->setValue(20.5);
        d->setColourCode(0x0000FF);
        d->reject();
    });
    form.fontButton()->click();
    EXPECT_EQ(form.clipView()->font(), before);
    EXPECT_EQ(form.settings().fontName(), QStringLiteral("ＭＳ ゴシック"));
    EXPECT_EQ(form.settings().fontSize(), 9);
    EXPECT_EQ(form.settings().textColour(), kWindowTextColour);
}

TEST_F(WindowTest, FontDialogAppliesFaceFractionalSizeAndColourOnly) {
    form.show();
    settle();
    whenModalOpens<FontDialog>([](FontDialog* d) {
        d->sizeBox()->setValue(10.5);
        d->setColourCode(0x0000FF);
        d->accept();
    });
    form.fontButton()->click();
    EXPECT_EQ(form.settings().fontName(),
              QStringLiteral("ＭＳ ゴシック"));  // untouched face kept by name
    EXPECT_EQ(form.settings().fontSize(), 10.5);
    EXPECT_EQ(form.settings().textColour(), 0x0000FF);
    EXPECT_EQ(form.clipView()->palette().color(QPalette::Text), QColor(255, 0, 0));
    EXPECT_FALSE(form.clipView()->font().bold());
    EXPECT_FALSE(form.clipView()->font().italic());

    whenModalOpens<FontDialog>([](FontDialog* d) {
        EXPECT_EQ(d->sizeBox()->text(), QStringLiteral("10.5"));
        d->faceBox()->setEditText(QStringLiteral("IPAMincho"));
        d->accept();
    });
    form.fontButton()->click();
    EXPECT_EQ(form.settings().fontName(), QStringLiteral("IPAMincho"));
    EXPECT_EQ(form.settings().fontSize(), 10.5);
    EXPECT_EQ(form.settings().textColour(), 0x0000FF);
}

TEST_F(WindowTest, FontSettersRejectWhatTheTextAreaCannotTake) {
    const QFont before = form.clipView()->font();
    EXPECT_FALSE(form.settings().setFontName(QString()));
    EXPECT_FALSE(form.settings().setFontName(QStringLiteral("  ")));
    EXPECT_FALSE(form.settings().setFontName(QStringLiteral("a\r\nb")));
    for (double bad : {0.0, -1.0, 1639.0, std::nan(""), HUGE_VAL})
        EXPECT_FALSE(form.settings().setFontSize(bad));
    for (std::int32_t bad : {0x01000000, static_cast<std::int32_t>(0x80000100u), -1})
        EXPECT_FALSE(form.settings().setTextColour(bad));
    EXPECT_EQ(form.clipView()->font(), before);
    EXPECT_EQ(form.settings().textColour(), kWindowTextColour);

    EXPECT_TRUE(form.settings().setFontSize(10.123456));
    EXPECT_DOUBLE_EQ(form.settings().fontSize(), 10.1235);
    EXPECT_TRUE(form.settings().setTextColour(0x00FF0000));
    EXPECT_EQ(form.clipView()->palette().color(QPalette::Text), QColor(0, 0, 255));
    EXPECT_TRUE(form.settings().setTextColour(kWindowTextColour));
    EXPECT_EQ(form.clipView()->palette().color(QPalette::Text),
              QApplication::palette().color(QPalette::Text));
}

TEST_F(WindowTest, SaveButtonLeftClickSavesRightPressChoosesTheFile) {
    QTemporaryDir dir;
    const QString chosen = dir.filePath(QStringLiteral("chosen.txt"));
    form.setOption(ConfirmSave, false);
    form.setText(kClip);
    form.show();
    settle();

    form.fileChoices.push_back(chosen);
    QMouseEvent right(QEvent::MouseButtonPress, QPointF(5, 5),
                      form.saveButton()->mapToGlobal(QPointF(5, 5)), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.saveButton(), &right);
    EXPECT_EQ(form.fileChooserShown, 1);
    EXPECT_EQ(form.saveState().savePath, chosen);
    EXPECT_FALSE(QFile::exists(chosen));

    form.saveButton()->click();
    QByteArray saved;
    ASSERT_FALSE(files::readFile(chosen, &saved));
    EXPECT_TRUE(saved.startsWith(encoding::toCp932(kClip)));
    EXPECT_TRUE(form.saveButton()->isEnabled());
    EXPECT_EQ(form.fileChooserShown, 1);

    // A disabled button takes no press.
    form.saveButton()->setEnabled(false);
    QCoreApplication::sendEvent(form.saveButton(), &right);
    EXPECT_EQ(form.fileChooserShown, 1);
}

TEST_F(WindowTest, TheMenuKeyAndShiftF10OnSaveChooseTheSaveFile) {
    QTemporaryDir dir;
    form.show();
    settle();
    const QString chosen = dir.filePath(QStringLiteral("<b>鍵</b> & 1.txt"));
    form.fileChoices = {chosen, std::nullopt};

    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5),
                              form.saveButton()->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(form.saveButton(), &menuKey);
    EXPECT_EQ(form.fileChooserShown, 1);
    EXPECT_EQ(form.saveState().savePath, chosen);
    // The tooltip names the save file, as plain text whatever the name holds.
    const QString tip = form.saveButton()->toolTip();
    EXPECT_EQ(tip, QStringLiteral("右クリックで保存場所の変更\n保存先：") + chosen);
    EXPECT_FALSE(Qt::mightBeRichText(tip));
    EXPECT_TRUE(form.saveButton()->accessibleDescription().endsWith(chosen));

    QKeyEvent shiftF10(QEvent::KeyPress, Qt::Key_F10, Qt::ShiftModifier);
    QCoreApplication::sendEvent(form.saveButton(), &shiftF10);
    EXPECT_EQ(form.fileChooserShown, 2);
    EXPECT_EQ(form.saveState().savePath, chosen);  // cancelled: kept

    // The context menu event that follows a right press chooses nothing more.
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(5, 5),
                                 form.saveButton()->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(form.saveButton(), &rightClick);
    QKeyEvent plainF10(QEvent::KeyPress, Qt::Key_F10, Qt::NoModifier);
    QCoreApplication::sendEvent(form.saveButton(), &plainF10);
    EXPECT_EQ(form.fileChooserShown, 2);
    EXPECT_FALSE(QFile::exists(chosen));

    // A save that chose the file shows it too.
    ScriptedWindow fresh;
    fresh.setOption(ConfirmSave, false);
    fresh.setText(kClip);
    const QString first = dir.filePath(QStringLiteral("first.txt"));
    fresh.fileChoices = {first};
    fresh.saveClicked();
    EXPECT_TRUE(fresh.saveButton()->toolTip().endsWith(QStringLiteral("保存先：") + first));
}

TEST(MainWindowAccessibility, EveryControlHasANameAndADescription) {
    ScriptedWindow form;
    form.show();
    settle();
    std::vector<QString> seen;
    int items = 0;
    // Walks the accessible tree of the window as a screen reader would.
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
        ASSERT_NE(node, nullptr);
        const QString name = node->text(QAccessible::Name);
        const bool shown = !node->state().invisible;
        if (shown) {
            EXPECT_FALSE(name.isEmpty())
                << "role " << node->role() << " " << node->object()->metaObject()->className();
            EXPECT_FALSE(node->text(QAccessible::Description).isEmpty())
                << name.toStdString() << ", role " << node->role();
            seen.push_back(name);
        }
        if (node->role() == QAccessible::MenuItem) ++items;
        for (int i = 0; i < node->childCount(); ++i) walk(node->child(i));
    };
    walk(QAccessible::queryAccessibleInterface(&form));
    for (const QString& control :
         {QStringLiteral("取り込み"), QStringLiteral("保存"), QStringLiteral("すべてコピー"),
          QStringLiteral("フォント"), QStringLiteral("取り込んだ文章"), QStringLiteral("Option"),
          QStringLiteral("convert")}) {
        EXPECT_NE(std::find(seen.begin(), seen.end(), control), seen.end())
            << control.toStdString();
    }
    // The nine option items, each with its caption as name and a description.
    EXPECT_GE(items, 2 + kOptionCount);
    QAccessibleInterface* menu =
        QAccessible::queryAccessibleInterface(form.optionItem(0)->parent());
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->childCount(), kOptionCount);
    for (int i = 0; i < kOptionCount; ++i) {
        QAccessibleInterface* item = menu->child(i);
        EXPECT_EQ(item->text(QAccessible::Name), form.optionItem(std::size_t(i))->text());
        EXPECT_FALSE(item->text(QAccessible::Description).isEmpty()) << i;
        EXPECT_EQ(item->state().checked, form.option(i)) << i;
        EXPECT_EQ(item->parent()->object(), menu->object());
    }
    // Pressing an item through its accessible action is a click on it.
    const bool before = form.option(WithVotes);
    menu->child(WithVotes)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(form.option(WithVotes), !before);
}

TEST(MainWindowClose, ClosingStoresTheSettings) {
    QTemporaryDir dir;
    ScriptedWindow form;
    form.loadSettingsFrom(settings::SettingsFiles::in(dir.path()));
    form.show();
    settle();
    EXPECT_TRUE(form.close());
    QByteArray stored;
    ASSERT_FALSE(files::readFile(dir.filePath(QStringLiteral("data.dat")), &stored));
    EXPECT_EQ(stored.count("\r\n"), 5 + kOptionCount);
}

TEST(MainWindowClose, SettingsTroubleIsToldInsteadOfPassingSilently) {
    // data.dat stands as a folder: told once at start-up, left alone at
    // closing, while data2.dat is stored as usual.
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("data.dat")));
    ScriptedWindow form;
    form.loadSettingsFrom(settings::SettingsFiles::in(dir.path()));
    form.saveState().savePath = dir.filePath(QStringLiteral("save.txt"));
    form.show();
    settle();
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_TRUE(form.messages[0].text.contains(dir.filePath(QStringLiteral("data.dat"))));
    EXPECT_TRUE(form.close());
    EXPECT_EQ(form.messages.size(), 1u);
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("data.dat"))).isDir());
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("data2.dat"))).isFile());

    // The settings folder turned into a file: closing says so.
    ScriptedWindow other;
    other.loadSettingsFrom(settings::SettingsFiles::in(dir.filePath(QStringLiteral("save.txt"))));
    files::appendToFile(dir.filePath(QStringLiteral("save.txt")), "x");
    other.show();
    settle();
    EXPECT_TRUE(other.close());
    ASSERT_EQ(other.messages.size(), 1u);
    EXPECT_TRUE(other.messages[0].text.contains(dir.filePath(QStringLiteral("save.txt"))));
}

}  // namespace
}  // namespace sorimba
