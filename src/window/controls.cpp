#include "window/controls.h"

#include <QAction>
#include <QFont>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>

#include "window/accessibility.h"
#include "window/text_area.h"

namespace sorimba {

const std::array<QString, kOptionCount>& optionCaptions() {
    static const std::array<QString, kOptionCount> captions = {
        QStringLiteral("取り込んだ後クリップボードにコピー"),
        QStringLiteral("「●タイトル」も取り込む"),
        QStringLiteral("「◇これに一票」も取り込む"),
        QStringLiteral("「スタッフのひとこと」を取り込む"),
        QStringLiteral("「ぴこぴこについて」を取り込む"),
        QStringLiteral("常に手前に表示"),
        QStringLiteral("文章連結"),
        QStringLiteral("取り込んだ後すぐ保存"),
        QStringLiteral("保存確認メッセージ"),
    };
    return captions;
}

const std::array<QString, kOptionCount>& optionDescriptions() {
    static const std::array<QString, kOptionCount> descriptions = {
        QStringLiteral("取り込んだ文章をすぐクリップボードにコピーします"),
        QStringLiteral("「●」のお題も取り込み、保存はお題ごとのファイルに分けます"),
        QStringLiteral("「◇これに一票」の行も取り込みます"),
        QStringLiteral("スタッフのひとことも取り込みます"),
        QStringLiteral("ぴこぴこについての説明も取り込みます"),
        QStringLiteral("このウィンドウをいつもほかのウィンドウより手前に表示します"),
        QStringLiteral("段落ごとに行をつないで一行にします"),
        QStringLiteral("ドロップで取り込んだらすぐ保存します"),
        QStringLiteral("保存のたびに保存したことを知らせます"),
    };
    return descriptions;
}

namespace {

void describe(QWidget* widget, const QString& name, const QString& description) {
    widget->setAccessibleName(name);
    widget->setAccessibleDescription(description);
}

// The parts of the text area a screen reader also meets.
void describeTextArea(TextArea* text) {
    describe(text, QStringLiteral("取り込んだ文章"),
             QStringLiteral("取り込んだ投稿欄の文章です。手で直せます。"
                            "号の文章やファイルをここにドロップすると取り込みます"));
    describe(text->viewport(), QStringLiteral("文章の表示"),
             QStringLiteral("取り込んだ文章を表示します"));
    for (QScrollBar* bar : {text->verticalScrollBar(), text->horizontalScrollBar()}) {
        describe(bar, QStringLiteral("文章のスクロールバー"),
                 QStringLiteral("文章を動かして見る場所を変えます"));
        if (QWidget* frame = bar->parentWidget(); frame && frame != text)
            describe(frame, QStringLiteral("スクロールバーの枠"),
                     QStringLiteral("文章のスクロールバーを収めます"));
    }
}

void describeMenus(QMainWindow& window) {
    const auto menu = [&](const char* name) {
        return window.findChild<QMenu*>(QLatin1String(name));
    };
    const auto entry = [&](const char* name) {
        return window.findChild<QAction*>(QLatin1String(name));
    };
    describe(window.menuBar(), QStringLiteral("メニューバー"),
             QStringLiteral("設定の Option、変換の convert、メールからの取り込みの mail"));
    describe(menu("options"), QStringLiteral("Option"), QStringLiteral("取り込みと保存の設定"));
    describeMenuEntry(menu("options")->menuAction(),
                      QStringLiteral("取り込みと保存の設定を開きます"));
    describeMenuEntry(entry("convert"),
                      QStringLiteral("テキストファイルの段落をそれぞれ一行にまとめます"));
    describe(menu("mail"), QStringLiteral("mail"), QStringLiteral("メールボックスからの取り込み"));
    describeMenuEntry(menu("mail")->menuAction(),
                      QStringLiteral("メールボックスの号をまとめて保存先に取り込みます"));
    describeMenuEntry(entry("mbox"),
                      QStringLiteral("mbox ファイルのメールから号をすべて保存先に取り込みます"));
    describeMenuEntry(entry("maildir"),
                      QStringLiteral("Maildir フォルダのメールから号をすべて保存先に取り込みます"));
}

}  // namespace

void describeControls(QMainWindow& window) {
    const auto button = [&](const char* name) {
        return window.findChild<QPushButton*>(QLatin1String(name));
    };
    window.setAccessibleDescription(
        QStringLiteral("ウィークリーぴこぴこの投稿欄を取り込み、ファイルに保存します"));
    describe(window.centralWidget(), QStringLiteral("操作と文章"),
             QStringLiteral("ボタンと取り込んだ文章"));
    describe(button("import"), QStringLiteral("取り込み"),
             QStringLiteral("クリップボードにコピーした号から投稿欄を取り込みます"));
    // 保存's description names the save file: the window keeps it current.
    button("save")->setAccessibleName(QStringLiteral("保存"));
    describe(button("copyAll"), QStringLiteral("すべてコピー"),
             QStringLiteral("文章をすべてクリップボードにコピーします"));
    describe(button("font"), QStringLiteral("フォント"),
             QStringLiteral("文章のフォントと色を選びます"));
    describeTextArea(window.findChild<TextArea*>(QStringLiteral("text")));
    describeMenus(window);
}

void installFontFallbacks() {
    const QStringList gothic = {QStringLiteral("IPAGothic"),
                                QStringLiteral("IPAゴシック"),
                                QStringLiteral("Noto Sans Mono CJK JP"),
                                QStringLiteral("Noto Sans CJK JP"),
                                QStringLiteral("VL Gothic"),
                                QStringLiteral("TakaoGothic")};
    const QStringList pGothic =
        QStringList{QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック")} + gothic;
    const QStringList mincho = {QStringLiteral("IPAMincho"), QStringLiteral("IPA明朝"),
                                QStringLiteral("Noto Serif CJK JP"), QStringLiteral("TakaoMincho")};
    QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"), gothic);
    QFont::insertSubstitutions(QStringLiteral("MS Gothic"), gothic);
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), pGothic);
    QFont::insertSubstitutions(QStringLiteral("MS PGothic"), pGothic);
    QFont::insertSubstitutions(QStringLiteral("ＭＳ 明朝"), mincho);
    QFont::insertSubstitutions(QStringLiteral("MS Mincho"), mincho);
}

}  // namespace sorimba
