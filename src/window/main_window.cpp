#include "window/main_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QThread>
#include <QTimer>

#include "import/import.h"
#include "saving/saving.h"
#include "saving/writer.h"
#include "settings/settings_record.h"
#include "window/accessibility.h"
#include "window/controls.h"
#include "window/convert_command.h"
#include "window/dialog_prompts.h"
#include "window/kept_settings.h"
#include "window/layout.h"
#include "window/mail_import_run.h"
#include "window/save_button.h"
#include "window/save_command.h"
#include "window/text_area.h"
#include "window/window_look.h"
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
const QString kNotFound = QStringLiteral("取り込めませんでした");

// What a first start has, before any settings file: the window's own font
// and the option marks.
const settings::SettingsRecord kFirstStart;

}  // namespace

MainWindow::MainWindow(Prompts* prompts, QWidget* parent) : QMainWindow(parent) {
    dialogPrompts_ = std::make_unique<DialogPrompts>(this, sharedDialog_, [this] { checkIdle(); });
    prompts_ = prompts ? prompts : dialogPrompts_.get();
    buildLook();
    setCentralWidget(new QWidget(this));
    buildButtons();
    buildTextArea();
    buildMenus();
    buildShortcuts();
    look_ = std::make_unique<WindowLook>(*this, *clipView_, optionItems_);
    describeControls(*this);
    saveButton_->showSaveFile(saveState_.savePath);
    layOut();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildLook() {
    initWindowResources();
    installFontFallbacks();
    setWindowTitle(kCaption);
    QIcon icon;
    icon.addFile(QStringLiteral(":/sorimba/icon-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/sorimba/icon-32.png"), QSize(32, 32));
    setWindowIcon(icon);
    QFont font(kFirstStart.font);
    font.setPointSizeF(kFirstStart.size);
    font.setWeight(QFont::Normal);
    setFont(font);
}

void MainWindow::buildButtons() {
    QWidget* client = centralWidget();
    importButton_ = new QPushButton(QStringLiteral("取り込み"), client);
    saveButton_ = new SaveButton(client);
    copyAllButton_ = new QPushButton(QStringLiteral("すべてコピー"), client);
    fontButton_ = new QPushButton(QStringLiteral("フォント"), client);
    placeButton(importButton_, "import", 60);
    placeButton(saveButton_, "save", 1440);
    placeButton(copyAllButton_, "copyAll", 2880);
    placeButton(fontButton_, "font", 4260);
    connect(importButton_, &QPushButton::clicked, this, &MainWindow::importFromClipboard);
    connect(copyAllButton_, &QPushButton::clicked, this, &MainWindow::copyAll);
    connect(fontButton_, &QPushButton::clicked, this, &MainWindow::chooseFont);
    connect(saveButton_, &QPushButton::clicked, this, &MainWindow::saveClicked);
    connect(saveButton_, &SaveButton::chooseFileAsked, this, &MainWindow::chooseSaveFile);
}

void MainWindow::placeButton(QPushButton* button, const char* name, double leftTwips) {
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    button->setGeometry(buttonGeometry(*this, leftTwips));
}

void MainWindow::buildTextArea() {
    clipView_ = new TextArea(centralWidget());
    clipView_->setObjectName(QStringLiteral("text"));
    clipView_->setGeometry(textAreaGeometry(*this));
    // The hint shows only while the text area is empty; it is never its
    // content, so no save or copy can take it for a clip.
    clipView_->setPlaceholderText(kHint);
    clipView_->onDrop = [this](const import::Drop& drop) { importDrop(drop); };
    // Its context menu and a drag out of it run event loops of their own.
    connect(clipView_, &TextArea::loopEnded, this, &MainWindow::checkIdle);
    setTabOrder(importButton_, clipView_);
    setTabOrder(clipView_, copyAllButton_);
    setTabOrder(copyAllButton_, fontButton_);
    setTabOrder(fontButton_, saveButton_);
    centralWidget()->installEventFilter(this);
}

QMenu* MainWindow::addMenu(const QString& title, const char* name) {
    QMenu* menu = menuBar()->addMenu(title);
    menu->setObjectName(QLatin1String(name));
    menu->setFont(font());
    connect(menu, &QMenu::aboutToHide, this, &MainWindow::checkIdle);
    return menu;
}

void MainWindow::buildMenus() {
    // Alt+O, Alt+C and Alt+M open the entries of the menu bar.
    QMenu* options = addMenu(QStringLiteral("&Option"), "options");
    for (int i = 0; i < kOptionCount; ++i) {
        QAction* item = options->addAction(optionCaptions()[std::size_t(i)]);
        item->setObjectName(QStringLiteral("option%1").arg(i));
        item->setCheckable(true);
        item->setChecked(kFirstStart.options[std::size_t(i)]);
        describeMenuEntry(item, optionDescriptions()[std::size_t(i)]);
        optionItems_[std::size_t(i)] = item;
    }
    connect(optionItems_[AlwaysOnTop], &QAction::toggled, this,
            [this](bool onTop) { look_->keepOnTop(onTop); });
    convertAction_ = menuBar()->addAction(QStringLiteral("&convert"));
    convertAction_->setObjectName(QStringLiteral("convert"));
    connect(convertAction_, &QAction::triggered, this, &MainWindow::convertClicked);
    QMenu* mailMenu = addMenu(QStringLiteral("&mail"), "mail");
    mboxAction_ = mailMenu->addAction(QStringLiteral("mbox ファイルから取り込む…"));
    maildirAction_ = mailMenu->addAction(QStringLiteral("Maildir フォルダから取り込む…"));
    mboxAction_->setObjectName(QStringLiteral("mbox"));
    maildirAction_->setObjectName(QStringLiteral("maildir"));
    connect(mboxAction_, &QAction::triggered, this, [this] { chooseMailbox(false); });
    connect(maildirAction_, &QAction::triggered, this, [this] { chooseMailbox(true); });
}

void MainWindow::buildShortcuts() {
    // The keys of a desktop program: Ctrl+S saves, Ctrl+Shift+S chooses the
    // save file (as the right button, the menu key and Shift+F10 on 保　存).
    // The text area keeps its own Ctrl+A, C, V, X and Z.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this), &QShortcut::activated, this,
            [this] {
                if (saveButton_->isEnabled()) saveClicked();
            });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), this),
            &QShortcut::activated, this, [this] {
                if (saveButton_->isEnabled()) chooseSaveFile();
            });
}

void MainWindow::layOut() {
    // The client area at first start; the menu bar comes on top of it.
    resize(firstClientSize(*this) + QSize(0, menuBar()->sizeHint().height()));
    // The focus starts on 取り込み, drawn so it is seen (showStartFocus).
    importButton_->setFocus();
}

WindowSettings& MainWindow::settings() {
    return *look_;
}

bool MainWindow::optionSet(Option item) const {
    return look_->option(item);
}

// --- Commands -----------------------------------------------------------

void MainWindow::importFromClipboard() {
    importIssue(import::importText(QGuiApplication::clipboard()->text(QClipboard::Clipboard)));
}

void MainWindow::copyAll() {
    // Plain text on the CLIPBOARD selection, lines ended LF there.
    QString lines = text();
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear(QClipboard::Clipboard);
    clipboard->setText(lines, QClipboard::Clipboard);
}

void MainWindow::chooseFont() {
    const auto chosen =
        sharedDialog_.chooseFont(this, {look_->fontName(), look_->fontSize(), look_->textColour()});
    checkIdle();
    if (!chosen) return;
    look_->setFontName(chosen->name);
    look_->setFontSize(chosen->size);
    look_->setTextColour(chosen->colour);
}

void MainWindow::saveClicked() {
    if (refuseWhileMailImportRuns()) return;
    // The button stays disabled while the command runs, so a second click
    // cannot start a second save behind a message box.
    saveButton_->setEnabled(false);
    saving::saveCommand(*prompts_, text(), {optionSet(WithTitles), optionSet(ConfirmSave)},
                        saveState_);
    saveButton_->setEnabled(true);
    saveButton_->showSaveFile(saveState_.savePath);  // the save may have chosen the file
}

void MainWindow::chooseSaveFile() {
    saving::chooseSaveFile(*prompts_, saveState_);
    saveButton_->showSaveFile(saveState_.savePath);
}

void MainWindow::convertClicked() {
    if (mailImportRunning()) return;
    convert::convertCommand(*prompts_);
}

void MainWindow::chooseMailbox(bool folder) {
    if (mailImportRunning()) return;
    const QString chosen = chooseMailboxPath(this, folder, lastMailbox_);
    checkIdle();
    if (chosen.isEmpty()) return;
    lastMailbox_ = chosen;
    importMailbox(chosen);
}

// --- Mail import ----------------------------------------------------------

bool MainWindow::importMailboxes(const QStringList& sources) {
    if (mailImportRunning()) return false;
    if (saveState_.savePath.isEmpty()) {
        chooseSaveFile();
        if (saveState_.savePath.isEmpty()) return false;
    }
    mailimport::ImportSettings settings;
    // Absolute, its folder canonical; the settings keep the path as chosen.
    settings.savePath = saving::absoluteSavePath(saveState_.savePath);
    settings.extraction =
        import::extractionOptions([this](Option item) { return optionSet(item); });
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
    endMailImport();
    ask(summary, Buttons::Ok);
}

void MainWindow::endMailImport() {
    dropCopies_.reset();
    setFileCommandsEnabled(true);
    checkIdle();  // its progress dialog has closed
}

void MainWindow::setFileCommandsEnabled(bool enabled) {
    saveButton_->setEnabled(enabled);
    convertAction_->setEnabled(enabled);
    mboxAction_->setEnabled(enabled);
    maildirAction_->setEnabled(enabled);
}

// --- Imports --------------------------------------------------------------

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
    if (importIssue(issue) && optionSet(SaveAfterImport)) saveClicked();
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
    if (importIssue(file.text) && optionSet(SaveAfterImport)) saveClicked();
}

bool MainWindow::importIssue(const QString& issueText) {
    const std::optional<std::u16string> clip = import::extractClip(
        issueText, import::extractionOptions([this](Option item) { return optionSet(item); }));
    if (!clip) {
        ask(kNotFound, Buttons::Ok);
        return false;
    }
    setText(QString::fromStdU16String(*clip));
    if (optionSet(CopyAfterImport)) copyAll();
    saveState_.saved = false;
    return true;
}

QString MainWindow::text() const {
    return clipView_->crLfText();
}

void MainWindow::setText(const QString& text) {
    clipView_->setCrLfText(text);
}

// --- The window's state -----------------------------------------------------

bool MainWindow::busy() const {
    // A message box, a file or font dialog and a drag each run an event
    // loop of their own inside the main one; an open menu is a popup.
    return QThread::currentThread()->loopLevel() > 1 || QApplication::activeModalWidget() ||
           QApplication::activePopupWidget();
}

void MainWindow::checkIdle() {
    // Queued: a closing menu is still the active popup, and a dialog's loop
    // may be one of several.
    QTimer::singleShot(0, this, [this] {
        if (!busy()) emit idle();
    });
}

void MainWindow::bringToFront() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void MainWindow::fitTextArea() {
    clipView_->resize(fittedTextArea(*this, clipView_->size(), centralWidget()->size(),
                                     look_->outerWidth(), look_->outerHeight()));
}

bool MainWindow::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
            if (look_) look_->applyPendingOuterSize();
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
        if (look_) fitTextArea();
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- Settings ---------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* event) {
    // A mail import stops after the issues being written, then the
    // settings are stored as always.
    if (mailImport_) {
        mailImport_->cancelAndWait();
        mailImport_.reset();
        endMailImport();
    }
    if (const std::optional<QString> trouble = keptSettings_.store(*look_, saveState_.savePath))
        ask(*trouble, Buttons::Ok);
    event->accept();
}

void MainWindow::loadSettingsFrom(const settings::SettingsFiles& files) {
    std::optional<QString> trouble;
    saveState_.savePath = keptSettings_.load(*look_, files, &trouble);
    // Told once, from the event loop once the window is up; files handed to
    // the window wait until the box is closed.
    if (trouble) QTimer::singleShot(0, this, [this, text = *trouble] { ask(text, Buttons::Ok); });
    if (!saveState_.savePath.isEmpty()) sharedDialog_.fileName = saveState_.savePath;
    saveButton_->showSaveFile(saveState_.savePath);
}

}  // namespace sorimba
