// The dialog component: message boxes, the open-file dialog, colour codes,
// and setOnTopMode.

#include "window/shared_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

#include "window/on_top.h"
#include "window_test_support.h"

namespace sorimba {
namespace {

using testing::whenModalOpens;

QStringList buttonTexts(QMessageBox* box) {
    QStringList texts;
    for (QAbstractButton* b : box->buttons()) texts << b->text();
    texts.sort();
    return texts;
}

QAbstractButton* buttonNamed(QMessageBox* box, const QString& text) {
    for (QAbstractButton* b : box->buttons())
        if (b->text() == text) return b;
    return nullptr;
}

TEST(MessageBox, HasTitleJapaneseButtonsNoIconAndYesAsDefault) {
    SharedDialog dialog;
    whenModalOpens<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), QStringLiteral("!Sorimba"));
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box->text(), QStringLiteral("再び保存しますか？ <b>&amp;</b>"));
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(buttonTexts(box), (QStringList{QStringLiteral("いいえ"), QStringLiteral("はい"),
                                                 QStringLiteral("キャンセル")}));
        ASSERT_NE(box->defaultButton(), nullptr);
        EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("はい"));
        buttonNamed(box, QStringLiteral("いいえ"))->click();
    });
    EXPECT_EQ(dialog.message(nullptr, QStringLiteral("再び保存しますか？ <b>&amp;</b>"),
                             Buttons::YesNoCancel),
              Answer::No);

    whenModalOpens<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(buttonTexts(box),
                  (QStringList{QStringLiteral("いいえ"), QStringLiteral("はい")}));
        EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("はい"));
        buttonNamed(box, QStringLiteral("はい"))->click();
    });
    EXPECT_EQ(dialog.message(nullptr, QStringLiteral("?"), Buttons::YesNo), Answer::Yes);

    whenModalOpens<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(buttonTexts(box), QStringList{QStringLiteral("OK")});
        box->defaultButton()->click();
    });
    EXPECT_EQ(dialog.message(nullptr, QStringLiteral("取り込めませんでした"), Buttons::Ok),
              Answer::Ok);
}

TEST(MessageBox, ClosingWithoutAButtonIsCancelOrNo) {
    SharedDialog dialog;
    const auto closeIt = [](QMessageBox* box) { box->close(); };
    whenModalOpens<QMessageBox>(closeIt);
    EXPECT_EQ(dialog.message(nullptr, QStringLiteral("?"), Buttons::YesNoCancel), Answer::Cancel);
    whenModalOpens<QMessageBox>(closeIt);
    EXPECT_EQ(dialog.message(nullptr, QStringLiteral("?"), Buttons::YesNo), Answer::No);
    whenModalOpens<QMessageBox>(closeIt);
    EXPECT_EQ(dialog.message(nullptr, QStringLiteral("!"), Buttons::Ok), Answer::Ok);
}

TEST(FileChooser, StartsFromTheFileNameAndTakesANewName) {
    QTemporaryDir dir;
    SharedDialog dialog;
    dialog.fileName = dir.filePath(QStringLiteral("old.txt"));
    const QString typed = dir.filePath(QStringLiteral("not there yet.txt"));

    whenModalOpens<QFileDialog>([&](QFileDialog* d) {
        EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(d->fileMode(), QFileDialog::AnyFile);
        EXPECT_EQ(d->nameFilters(), QStringList{QStringLiteral("テキストファイル (*.txt)")});
        EXPECT_EQ(QDir(d->directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
        d->selectFile(typed);
        static_cast<QDialog*>(d)->accept();
    });
    ASSERT_EQ(dialog.chooseFile(nullptr, FileChoice::SaveFile), typed);
    EXPECT_EQ(dialog.fileName, typed);

    whenModalOpens<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_EQ(dialog.chooseFile(nullptr, FileChoice::FileToConvert), std::nullopt);
    EXPECT_EQ(dialog.fileName, typed);
}

TEST(FileChooser, IsTitledForItsPurposeAndItsOkButtonSaysSo) {
    SharedDialog dialog;
    struct Case {
        FileChoice purpose;
        QString title;
        QString accept;
    };
    for (const Case& c : {Case{FileChoice::SaveFile, QStringLiteral("保存先のファイルを選ぶ"),
                               QStringLiteral("保存先にする")},
                          Case{FileChoice::FileToConvert, QStringLiteral("変換するファイルを選ぶ"),
                               QStringLiteral("変換へ進む")}}) {
        QString title;
        QString accept;
        whenModalOpens<QFileDialog>([&](QFileDialog* d) {
            title = d->windowTitle();
            accept = d->labelText(QFileDialog::Accept);
            d->reject();
        });
        EXPECT_EQ(dialog.chooseFile(nullptr, c.purpose), std::nullopt);
        EXPECT_EQ(title, c.title);
        EXPECT_EQ(accept, c.accept);
    }
}

TEST(ColourCodes, RgbAndSystemColours) {
    EXPECT_EQ(colourOfCode(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(colourOfCode(0x00FF0000), QColor(0, 0, 255));
    EXPECT_EQ(colourOfCode(0x00332211), QColor(0x11, 0x22, 0x33));
    EXPECT_EQ(colourOfCode(kWindowTextColour), QApplication::palette().color(QPalette::Text));
    EXPECT_EQ(codeOfColour(QColor(0x11, 0x22, 0x33)), 0x00332211);
    // Every system colour from 0 to 30 names a colour, 25 included.
    for (std::uint32_t index = 0; index <= 30; ++index)
        EXPECT_TRUE(colourOfCode(static_cast<std::int32_t>(0x80000000u + index)).has_value())
            << index;
    for (std::int32_t bad : {0x01000000, static_cast<std::int32_t>(0x8000001Fu),
                             static_cast<std::int32_t>(0xFF000000u)})
        EXPECT_FALSE(colourOfCode(bad).has_value()) << std::hex << bad;
}

TEST(OnTopMode, ModesSetClearAndRaiseOthersDoNothing) {
    QWidget window;
    window.resize(200, 150);
    EXPECT_EQ(setOnTopMode(&window, 3), 0);
    EXPECT_EQ(setOnTopMode(&window, -1), 0);
    EXPECT_EQ(setOnTopMode(nullptr, 1), 0);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    EXPECT_NE(setOnTopMode(&window, 1), 0);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    window.move(40, 30);
    QCoreApplication::processEvents();
    const QRect geometry = window.geometry();

    EXPECT_NE(setOnTopMode(&window, 0), 0);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(window.geometry(), geometry);

    EXPECT_NE(setOnTopMode(&window, 2), 0);
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(setOnTopMode(&window, 7), 0);
    EXPECT_EQ(window.geometry(), geometry);
}

}  // namespace
}  // namespace sorimba
