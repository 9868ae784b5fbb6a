#include "window/main_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <utility>

#include "import/import.h"
#include "saving/saving.h"
#include "saving/writer.h"
#include "window/accessibility.h"
#include "window/convert_command.h"
#include "window/font_dialog.h"
#include "window/mail_import_run.h"
#include "window/on_top.h"
#include "window/save_command.h"
#include "window/text_area.h"
#include "window/wording.h"

// The icon lives in this library's resources; a static library needs them
// registered by hand.
static void initWindowResources() {
    Q_INIT_RESOURCE(window);
}

namespace sorimba {
namespace {

const QString kCaption = QStringLiteral("!Sorimba");
const QString kHint = QStringLiteral("[ Weekly Piko2 ] をドラッグドロップして下さい");
const QString kWindowFont = QStringLiteral("ＭＳ ゴシック");
const QString kNotFound = QStringLiteral("取り込めませんでした");
const QString kSaveTip = QStringLiteral("右クリックで保存場所の変更");
const QString kSaveFileIs = QStringLiteral("保存先：");
const QString kNoSaveFile = QStringLiteral("保存先：まだ選ばれていません");

// What the user is told about settings files that could not be read at
// start-up, and about settings that could not be stored at closing.
QString unreadableSettingsText(const settings::SettingsFiles& files,
                               const settings::Unreadable& unreadable) {
    QString text = QStringLiteral("設定ファイルを読み込めませんでした：");
    if (unreadable.data) text += QStringLiteral("\n") + files.data;
    if (unreadable.data2) text += QStringLiteral("\n") + files.data2;
    return text + QStringLiteral("\nこのファイルの設定は使わず、終了するときも保存しません。");
}

// Captions of the option items, in item order, and their first-built states.
const std::array<QString, kOptionCount> kOptionCaptions = {
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
// What each option item does, for assistive technologies.
const std::array<QString, kOptionCount> kOptionDescriptions = {
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
constexpr std::array<bool, kOptionCount> kOptionDefaults = {false, false, false, false, false,
                                                            true,  false, false, true};

// Measures in twips (left, top, width, height within the client area).
constexpr double kButtonTop = 120;
constexpr double kButtonWidth = 1275;
constexpr double kButtonHeight = 435;
constexpr double kTextLeft = 60;
constexpr double kTextTop = 660;
constexpr double kTextWidth = 6915;
constexpr double kTextHeight = 5055;
constexpr double kClientWidth = 7065;
constexpr double kClientHeight = 5820;
// The text area ends this far short of the client area's right and bottom.
constexpr double kRightMargin = 165;
constexpr double kBottomMargin = 765;

// Faces of the Windows desktop shown with the Japanese faces installed here
// (fonts-ipafont-gothic and friends). The stored name itself is kept.
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

QString fromU16(const std::u16string& text) {
    return QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    initWindowResources();
    installFontFallbacks();

    setWindowTitle(kCaption);
    QIcon icon;
    icon.addFile(QStringLiteral(":/sorimba/icon-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/sorimba/icon-32.png"), QSize(32, 32));
    setWindowIcon(icon);
    QFont font(kWindowFont);
    font.setPointSizeF(9);
    font.setWeight(QFont::Normal);
    setFont(font);

    auto* client = new QWidget(this);
    setCentralWidget(client);

    importButton = makeButton(QStringLiteral("取り込み"), 60);
    saveButton = makeButton(QStringLiteral("保　存"), 1440);
    copyAllButton = makeButton(QStringLiteral("すべてコピー"), 2880);
    fontButton = makeButton(QStringLiteral("フォント"), 4260);

    clipView = new TextArea(client);
    clipView->setGeometry(pixelsX(kTextLeft), pixelsY(kTextTop), pixelsX(kTextWidth),
                          pixelsY(kTextHeight));
    // The hint shows only while the text area is empty; it is never its
    // content, so no save or copy can take it for a clip.
    clipView->setPlaceholderText(kHint);
    clipView->onDrop = [this](const import::Drop& drop) { importDrop(drop); };

    setTabOrder(importButton, clipView);
    setTabOrder(clipView, copyAllButton);
    setTabOrder(copyAllButton, fontButton);
    setTabOrder(fontButton, saveButton);

    // Alt+O and Alt+C open the two entries of the menu bar.
    QMenu* options = menuBar()->addMenu(QStringLiteral("&Option"));
    options->setFont(font);
    for (int i = 0; i < kOptionCount; ++i) {
        QAction* item = options->addAction(kOptionCaptions[std::size_t(i)]);
        item->setCheckable(true);
        item->setChecked(kOptionDefaults[std::size_t(i)]);
        describeMenuEntry(item, kOptionDescriptions[std::size_t(i)]);
        optionItems[std::size_t(i)] = item;
        connect(item, &QAction::triggered, this, [this, i](bool checked) {
            // Qt flipped the mark already; toggleOption does the flipping.
            optionItems[std::size_t(i)]->setChecked(!checked);
            toggleOption(i);
        });
    }
    convertAction = menuBar()->addAction(QStringLiteral("&convert"));
    connect(convertAction, &QAction::triggered, this, &MainWindow::convertClicked);
    // Alt+M: issues straight from mail.
    QMenu* mailMenu = menuBar()->addMenu(QStringLiteral("&mail"));
    mailMenu->setFont(font);
    mboxAction = mailMenu->addAction(QStringLiteral("mbox ファイルから取り込む…"));
    maildirAction = mailMenu->addAction(QStringLiteral("Maildir フォルダから取り込む…"));
    connect(mboxAction, &QAction::triggered, this, [this] { chooseMailbox(false); });
    connect(maildirAction, &QAction::triggered, this, [this] { chooseMailbox(true); });

    connect(importButton, &QPushButton::clicked, this, &MainWindow::importFromClipboard);
    connect(copyAllButton, &QPushButton::clicked, this, &MainWindow::copyAll);
    connect(fontButton, &QPushButton::clicked, this, &MainWindow::chooseFont);
    connect(saveButton, &QPushButton::clicked, this, &MainWindow::saveClicked);
    saveButton->installEventFilter(this);
    client->installEventFilter(this);

    // The keys of a desktop program: Ctrl+S saves, Ctrl+Shift+S chooses the
    // save file (as the right button, the menu key and Shift+F10 on 保　存).
    // The text area keeps its own Ctrl+A, C, V, X and Z.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this), &QShortcut::activated, this,
            [this] {
                if (saveButton->isEnabled()) saveClicked();
            });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), this),
            &QShortcut::activated, this, [this] {
                if (saveButton->isEnabled()) chooseSaveFile();
            });

    describeControls(options, mailMenu);
    showSaveFile();

    // The client area at first start; the menu bar comes on top of it.
    resize(pixelsX(kClientWidth), pixelsY(kClientHeight) + menuBar()->sizeHint().height());
    // The focus starts on 取り込み, drawn so it is seen (showStartFocus).
    importButton->setFocus();
}

void MainWindow::describeControls(QMenu* options, QMenu* mailMenu) {
    setAccessibleDescription(
        QStringLiteral("ウィークリーぴこぴこの投稿欄を取り込み、ファイルに保存します"));
    centralWidget()->setAccessibleName(QStringLiteral("操作と文章"));
    centralWidget()->setAccessibleDescription(QStringLiteral("ボタンと取り込んだ文章"));
    importButton->setAccessibleName(QStringLiteral("取り込み"));
    importButton->setAccessibleDescription(
        QStringLiteral("クリップボードにコピーした号から投稿欄を取り込みます"));
    saveButton->setAccessibleName(QStringLiteral("保存"));
    copyAllButton->setAccessibleName(QStringLiteral("すべてコピー"));
    copyAllButton->setAccessibleDescription(
        QStringLiteral("文章をすべてクリップボードにコピーします"));
    fontButton->setAccessibleName(QStringLiteral("フォント"));
    fontButton->setAccessibleDescription(QStringLiteral("文章のフォントと色を選びます"));
    clipView->setAccessibleName(QStringLiteral("取り込んだ文章"));
    clipView->setAccessibleDescription(
        QStringLiteral("取り込んだ投稿欄の文章です。手で直せます。"
                       "号の文章やファイルをここにドロップすると取り込みます"));
    // The parts of the text area a screen reader also meets.
    clipView->viewport()->setAccessibleName(QStringLiteral("文章の表示"));
    clipView->viewport()->setAccessibleDescription(QStringLiteral("取り込んだ文章を表示します"));
    for (QScrollBar* bar : {clipView->verticalScrollBar(), clipView->horizontalScrollBar()}) {
        bar->setAccessibleName(QStringLiteral("文章のスクロールバー"));
        bar->setAccessibleDescription(QStringLiteral("文章を動かして見る場所を変えます"));
        if (QWidget* frame = bar->parentWidget(); frame && frame != clipView) {
            frame->setAccessibleName(QStringLiteral("スクロールバーの枠"));
            frame->setAccessibleDescription(QStringLiteral("文章のスクロールバーを収めます"));
        }
    }
    menuBar()->setAccessibleName(QStringLiteral("メニューバー"));
    menuBar()->setAccessibleDescription(
        QStringLiteral("設定の Option、変換の convert、メールからの取り込みの mail"));
    options->setAccessibleName(QStringLiteral("Option"));
    options->setAccessibleDescription(QStringLiteral("取り込みと保存の設定"));
    describeMenuEntry(options->menuAction(), QStringLiteral("取り込みと保存の設定を開きます"));
    describeMenuEntry(convertAction,
                      QStringLiteral("テキストファイルの段落をそれぞれ一行にまとめます"));
    mailMenu->setAccessibleName(QStringLiteral("mail"));
    mailMenu->setAccessibleDescription(QStringLiteral("メールボックスからの取り込み"));
    describeMenuEntry(mailMenu->menuAction(),
                      QStringLiteral("メールボックスの号をまとめて保存先に取り込みます"));
    describeMenuEntry(mboxAction,
                      QStringLiteral("mbox ファイルのメールから号をすべて保存先に取り込みます"));
    describeMenuEntry(maildirAction,
                      QStringLiteral("Maildir フォルダのメールから号をすべて保存先に取り込みます"));
}

void MainWindow::showSaveFile() {
    // The save file, or that none is chosen yet, under the button's hint.
    QString path = saveState_.savePath;
    path.replace(QChar(0), QChar(0x2400));  // a NUL would cut the text short
    const QString where = path.isEmpty() ? kNoSaveFile : kSaveFileIs + path;
    saveButton->setToolTip(kSaveTip + QLatin1Char('\n') + where);
    saveButton->setAccessibleDescription(
        QStringLiteral("文章を保存先のファイルに足します（Ctrl+S）。"
                       "保存先は右クリック、メニューキー、Ctrl+Shift+S で選べます。") +
        where);
}

MainWindow::~MainWindow() = default;

QPushButton* MainWindow::makeButton(const QString& caption, int left) {
    auto* button = new QPushButton(caption, centralWidget());
    button->setAutoDefault(false);
    button->setGeometry(pixelsX(left), pixelsY(kButtonTop), pixelsX(kButtonWidth),
                        pixelsY(kButtonHeight));
    return button;
}

int MainWindow::pixelsX(double twips) const {
    return qRound(twips * logicalDpiX() / 1440.0);
}
int MainWindow::pixelsY(double twips) const {
    return qRound(twips * logicalDpiY() / 1440.0);
}
double MainWindow::twipsX(int pixels) const {
    return pixels * 1440.0 / logicalDpiX();
}
double MainWindow::twipsY(int pixels) const {
    return pixels * 1440.0 / logicalDpiY();
}

QWidget* MainWindow::clientArea() const {
    return centralWidget();
}

// --- Events -------------------------------------------------------------

void MainWindow::importFromClipboard() {
    importIssue(clipboardText());
}

void MainWindow::copyAll() {
    setClipboardText(text());
}

void MainWindow::chooseFont() {
    const auto chosen = sharedDialog_.chooseFont(this, {fontName(), fontSize(), textColour()});
    if (!chosen) return;
    setFontName(chosen->name);
    setFontSize(chosen->size);
    setTextColour(chosen->colour);
}

void MainWindow::saveClicked() {
    if (refuseWhileMailImportRuns()) return;
    // The button stays disabled while the command runs, so a second click
    // cannot start a second save behind a message box.
    saveButton->setEnabled(false);
    saving::saveCommand(*this, text(), {option(WithTitles), option(ConfirmSave)}, saveState_);
    saveButton->setEnabled(true);
    showSaveFile();  // the save may have chosen the file
}

void MainWindow::chooseSaveFile() {
    saving::chooseSaveFile(*this, saveState_);
    showSaveFile();
}

void MainWindow::convertClicked() {
    if (mailImportRunning()) return;
    convert::convertCommand(*this);
}

void MainWindow::chooseMailbox(bool folder) {
    if (mailImportRunning()) return;
    // A dialog of its own: the shared one keeps the save file's name.
    QFileDialog dialog(this, folder ? QStringLiteral("取り込む Maildir フォルダを選ぶ")
                                    : QStringLiteral("取り込む mbox ファイルを選ぶ"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("取り込む"));
    if (folder) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (!lastMailbox_.isEmpty()) {
        const QFileInfo last(lastMailbox_);
        dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    }
    if (dialog.exec() != QDialog::Accepted) return;
    const QString chosen = dialog.selectedFiles().value(0);
    if (chosen.isEmpty()) return;
    lastMailbox_ = chosen;
    importMailbox(chosen);
}

bool MainWindow::importMailbox(const QString& source) {
    return importMailboxes({source});
}

bool MainWindow::importMailboxes(const QStringList& sources) {
    if (mailImportRunning()) return false;
    if (saveState_.savePath.isEmpty()) {
        chooseSaveFile();
        if (saveState_.savePath.isEmpty()) return false;
    }
    mail::ImportSettings settings;
    // Absolute, its folder canonical; the settings keep the path as chosen.
    settings.savePath = saving::absoluteSavePath(saveState_.savePath);
    settings.extraction = import::extractionOptions([this](Option item) { return option(item); });
    auto run = std::make_unique<MailImportRun>(this);
    QString error;
    if (!run->start(sources, settings, &error)) {
        ask(QStringLiteral("メールボックスを読めません：") + error, Buttons::Ok);
        return false;
    }
    connect(run.get(), &MailImportRun::finished, this, &MainWindow::mailImportFinished);
    mailImport_ = std::move(run);
    setFileCommandsEnabled(false);
    return true;
}

bool MainWindow::mailImportRunning() const {
    // From the start until its summary has been handed over.
    return mailImport_ != nullptr;
}

bool MainWindow::refuseWhileMailImportRuns() {
    // A mail import writes to the save file now: a save or a dropped issue
    // would find it busy.
    if (!mailImportRunning()) return false;
    ask(kBusyInJapanese, Buttons::Ok);
    return true;
}

void MainWindow::mailImportFinished(const QString& summary) {
    // The run goes once its signal has returned.
    mailImport_.release()->deleteLater();
    dropCopies_.reset();
    setFileCommandsEnabled(true);
    ask(summary, Buttons::Ok);
}

void MainWindow::setFileCommandsEnabled(bool enabled) {
    saveButton->setEnabled(enabled);
    convertAction->setEnabled(enabled);
    mboxAction->setEnabled(enabled);
    maildirAction->setEnabled(enabled);
}

void MainWindow::importDrop(const QMimeData& mime) {
    importDrop(import::readDrop(mime));
}

void MainWindow::importDrop(const import::Drop& drop) {
    if (drop.kind == import::Drop::Kind::Nothing) return;  // nothing in it to import
    if (refuseWhileMailImportRuns()) return;
    QString issue = drop.text;
    if (drop.kind == import::Drop::Kind::Messages) {
        const std::optional<int> count = import::countMessages(drop.files);
        // Mail that cannot be read as mail is reported by the mail import.
        const int messages = count.value_or(int(drop.files.size()));
        if (messages > 1) {
            importDroppedMessages(drop, messages);
            return;
        }
        const import::FileImport file = import::importFile(drop.files.first());
        issue = file.text;
    }
    // Only a new clip is saved: after a drop without the column the text
    // area holds the old clip (or nothing), which must not go in again.
    if (importIssue(issue) && option(SaveAfterImport)) saveClicked();
}

void MainWindow::importDroppedMessages(const import::Drop& drop, int messages) {
    const QString question =
        QStringLiteral("%1 通のメールを保存先に取り込みますか？").arg(messages);
    if (ask(question, Buttons::YesNo) != Answer::Yes) return;
    // The dropped files are read until the import is over.
    if (importMailboxes(drop.files)) dropCopies_ = drop.copies;
}

void MainWindow::importFile(const QString& path) {
    // As a drop of the file, whatever its name ends with: the user named it.
    // A file that cannot be read imports as an empty text, which the
    // extraction reports as not importable.
    const import::FileImport file = import::importFile(path);
    if (importIssue(file.text) && option(SaveAfterImport)) saveClicked();
}

bool MainWindow::busy() const {
    // A message box, a file or font dialog and a drag each run an event
    // loop of their own inside the main one; an open menu is a popup.
    return QThread::currentThread()->loopLevel() > 1 || QApplication::activeModalWidget() ||
           QApplication::activePopupWidget();
}

void MainWindow::bringToFront() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

bool MainWindow::importIssue(const QString& issueText) {
    const std::optional<std::u16string> clip = import::extractClip(
        issueText, import::extractionOptions([this](Option item) { return option(item); }));
    if (!clip) {
        ask(kNotFound, Buttons::Ok);
        return false;
    }
    setText(fromU16(*clip));
    if (option(CopyAfterImport)) setClipboardText(text());
    saveState_.saved = false;
    return true;
}

void MainWindow::toggleOption(int index) {
    if (index < 0 || index >= kOptionCount) return;
    QAction* item = optionItems[std::size_t(index)];
    item->setChecked(!item->isChecked());
    if (index == AlwaysOnTop) keepOnTop(item->isChecked());
}

void MainWindow::fitTextArea() {
    // A window this small or smaller leaves the text area's width (height)
    // as it was: its size would be nothing or less.
    constexpr double kSmallestFittedTwips = 1300;
    const QWidget* client = clientArea();
    QSize size = clipView->size();
    if (outerWidth() > kSmallestFittedTwips)
        size.setWidth(std::max(0, pixelsX(twipsX(client->width()) - kRightMargin)));
    if (outerHeight() > kSmallestFittedTwips)
        size.setHeight(std::max(0, pixelsY(twipsY(client->height()) - kBottomMargin)));
    clipView->resize(size);
}

bool MainWindow::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
            applyPendingOuterSize();
            showStartFocus();
            break;
        case QEvent::WindowActivate:
            showStartFocus();
            startFocusShown_ = true;
            break;
        default:
            break;
    }
    return handled;
}

void MainWindow::showStartFocus() {
    // Qt draws the focus of a button only after a key moved it there, and
    // clears that state as a window is shown: the start-up focus on
    // 取り込み would not show. Until the window is first activated it is
    // drawn as keyboard focus; a mouse click clears it as usual.
    if (!startFocusShown_) setAttribute(Qt::WA_KeyboardFocusChange);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::Resize) {
        fitTextArea();
    } else if (watched == saveButton && saveButton->isEnabled()) {
        // The right button, and from the keyboard the menu key or Shift+F10,
        // choose the save file. A right press is followed by a context menu
        // event of its own, which must not choose a second time.
        switch (event->type()) {
            case QEvent::MouseButtonPress:
                if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) chooseSaveFile();
                break;
            case QEvent::ContextMenu:
                if (static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard)
                    chooseSaveFile();
                return true;
            case QEvent::KeyPress: {
                const auto* key = static_cast<QKeyEvent*>(event);
                if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
                    chooseSaveFile();
                    return true;
                }
                break;
            }
            default:
                break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A mail import stops after the issues being written, then the
    // settings are stored as always.
    if (mailImport_) {
        mailImport_->cancelAndWait();
        mailImport_.reset();
        dropCopies_.reset();
        setFileCommandsEnabled(true);
    }
    if (settingsFiles_) {
        const settings::StoreResult stored = settings::storeSettings(
            *this, *settingsFiles_, saveState_.savePath, unreadableSettings_);
        if (!stored.ok()) ask(settingsFailure(stored), Buttons::Ok);
    }
    event->accept();
}

void MainWindow::loadSettingsFrom(const settings::SettingsFiles& files) {
    settingsFiles_ = files;
    const settings::Loaded loaded = settings::loadSettings(*this, files);
    saveState_.savePath = loaded.savePath;
    unreadableSettings_ = loaded.unreadable;
    // Told once, from the event loop once the window is up; files handed to
    // the window wait until the box is closed.
    if (unreadableSettings_.any()) {
        QTimer::singleShot(0, this,
                           [this, text = unreadableSettingsText(files, loaded.unreadable)] {
                               ask(text, Buttons::Ok);
                           });
    }
    if (!saveState_.savePath.isEmpty()) sharedDialog_.fileName = saveState_.savePath;
    showSaveFile();
}

// --- Prompts ------------------------------------------------------------

Answer MainWindow::ask(const QString& text, Buttons buttons) {
    return sharedDialog_.message(this, text, buttons);
}

std::optional<QString> MainWindow::chooseFile(FileChoice purpose) {
    return sharedDialog_.chooseFile(this, purpose);
}

// --- WindowSettings -------------------------------------------------------

QString MainWindow::text() const {
    return clipView->crLfText();
}

void MainWindow::setText(const QString& text) {
    clipView->setCrLfText(text);
}

bool MainWindow::option(int index) const {
    if (index < 0 || index >= kOptionCount) return false;
    return optionItems[std::size_t(index)]->isChecked();
}

void MainWindow::setOption(int index, bool checked) {
    if (index < 0 || index >= kOptionCount) return;
    optionItems[std::size_t(index)]->setChecked(checked);
}

double MainWindow::outerWidth() const {
    return twipsX(frameGeometry().width());
}

double MainWindow::outerHeight() const {
    return twipsY(frameGeometry().height());
}

bool MainWindow::setOuterWidth(double twips) {
    return setOuterSize(twips, std::nullopt);
}

bool MainWindow::setOuterHeight(double twips) {
    return setOuterSize(std::nullopt, twips);
}

bool MainWindow::setOuterSize(std::optional<double> widthTwips, std::optional<double> heightTwips) {
    const auto acceptable = [](double twips) {
        return std::isfinite(twips) && twips >= kMinOuterTwips && twips <= kMaxOuterTwips;
    };
    if ((widthTwips && !acceptable(*widthTwips)) || (heightTwips && !acceptable(*heightTwips)))
        return false;

    // The frame (title bar, borders) is the window manager's; its size is
    // known only once the window is shown and framed.
    const QSize frame = frameGeometry().size() - size();
    QSize inner = size();
    if (widthTwips) inner.setWidth(std::max(1, pixelsX(*widthTwips) - frame.width()));
    if (heightTwips) inner.setHeight(std::max(1, pixelsY(*heightTwips) - frame.height()));
    resize(inner);
    if (!isVisible()) {
        if (widthTwips) pendingOuterWidth_ = widthTwips;
        if (heightTwips) pendingOuterHeight_ = heightTwips;
    }
    return true;
}

void MainWindow::applyPendingOuterSize() {
    if (!pendingOuterWidth_ && !pendingOuterHeight_) return;
    if (!isVisible() || frameGeometry().size() == size()) return;  // not framed yet
    const std::optional<double> width = std::exchange(pendingOuterWidth_, std::nullopt);
    const std::optional<double> height = std::exchange(pendingOuterHeight_, std::nullopt);
    if (isMaximized() || isFullScreen() || isMinimized()) return;
    setOuterSize(width, height);
}

QString MainWindow::fontName() const {
    return clipView->font().family();
}

double MainWindow::fontSize() const {
    return clipView->font().pointSizeF();
}

bool MainWindow::setFontName(const QString& name) {
    if (name.trimmed().isEmpty() || name.size() > 255) return false;
    if (std::any_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x20; }))
        return false;
    QFont font = clipView->font();
    font.setFamily(name);
    clipView->setFont(font);
    return true;
}

bool MainWindow::setFontSize(double points) {
    if (!std::isfinite(points) || points > FontDialog::kMaxSize) return false;
    // Sizes are kept to four decimals.
    const double kept = std::round(points * 10000) / 10000;
    if (kept <= 0) return false;
    QFont font = clipView->font();
    font.setPointSizeF(kept);
    clipView->setFont(font);
    return true;
}

bool MainWindow::setTextColour(std::int32_t colourCode) {
    const std::optional<QColor> colour = colourOfCode(colourCode);
    if (!colour) return false;
    QPalette palette = clipView->palette();
    palette.setColor(QPalette::Active, QPalette::Text, *colour);
    palette.setColor(QPalette::Inactive, QPalette::Text, *colour);
    clipView->setPalette(palette);
    textColour_ = colourCode;
    return true;
}

void MainWindow::keepOnTop(bool onTop) {
    setOnTopMode(this, onTop ? 1 : 0);
}

QString MainWindow::clipboardText() const {
    return import::importText(QGuiApplication::clipboard()->text(QClipboard::Clipboard));
}

void MainWindow::setClipboardText(const QString& text) {
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear(QClipboard::Clipboard);
    clipboard->setText(lines, QClipboard::Clipboard);
}

}  // namespace sorimba
