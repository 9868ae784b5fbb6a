#pragma once
// The program's one window: four buttons, the text area that holds the clip
// text, the "Option" menu with the nine option switches, the "convert"
// entry and the "mail" menu. Its questions go to a Prompts object (real
// dialogs unless one is handed in) and the stored settings apply to its
// WindowLook; the work itself is done by saving, settings, convert, import
// and the mail import.

#include <QMainWindow>
#include <array>
#include <memory>
#include <optional>

#include "import/import.h"
#include "port/prompts.h"
#include "port/window_settings.h"
#include "settings/settings.h"
#include "window/kept_settings.h"
#include "window/save_command.h"
#include "window/shared_dialog.h"

class QAction;
class QMenu;
class QMimeData;
class QPushButton;
class QTemporaryDir;

namespace sorimba {

class DialogPrompts;
class MailImportRun;
class SaveButton;
class TextArea;
class WindowLook;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // `prompts` answers the window's questions in place of its own dialogs
    // (tests answer from a script); it must outlive the window.
    explicit MainWindow(Prompts* prompts = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up: reads the settings files and applies them (which also shows
    // the window); they are written back when the window closes, except
    // those that could not be read. Either trouble is told in a message box.
    void loadSettingsFrom(const settings::SettingsFiles& files);
    // What the stored settings apply to: size, font, colour, option marks.
    WindowSettings& settings();

    // 保　存 (also Ctrl+S): appends the text to the save file.
    void saveClicked();
    // Imports every issue in the mailboxes (mbox files, Maildir folders,
    // message files) into the save file (asking for the save file first when
    // none is chosen) with the current option marks, off the window's
    // thread, under a progress dialog that can cancel; save and convert wait
    // meanwhile. One summary at the end; the text area and the saved state
    // are left alone. False when it did not start.
    bool importMailbox(const QString& source) { return importMailboxes({source}); }
    bool importMailboxes(const QStringList& sources);
    bool mailImportRunning() const { return mailImport_ != nullptr; }
    // A drop: its text, or one dropped message, goes into the text area as
    // an issue (then SaveAfterImport saves); several dropped messages go
    // into the save file as one mail import, after a question.
    void importDrop(const QMimeData& mime);
    void importDrop(const import::Drop& drop);
    // Imports a file named on the command line exactly as a drop of that
    // file (so SaveAfterImport applies), whatever its name ends with.
    void importFile(const QString& path);
    // Cuts the column out of an issue and shows it; reports an issue
    // without the column and returns false.
    bool importIssue(const QString& issueText);
    // Inside a command, a dialog or a menu: a file that arrives now waits
    // until idle() is emitted.
    bool busy() const;
    // Shows the window above the others, as when a second start reaches it.
    void bringToFront();

    // The clip text: the text area's lines joined by CR LF.
    QString text() const;
    void setText(const QString& text);
    // The save file and whether the text was saved.
    saving::SaveState& saveState() { return saveState_; }

signals:
    // A dialog, a menu or a drag of the window has ended and the window is
    // no longer busy.
    void idle();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The steps of building the window.
    void buildLook();
    void buildButtons();
    void buildTextArea();
    void buildMenus();
    void buildShortcuts();
    void layOut();
    void placeButton(QPushButton* button, const char* name, double leftTwips);
    QMenu* addMenu(const QString& title, const char* name);

    void importFromClipboard();
    void copyAll();
    void chooseFont();
    void chooseSaveFile();
    void convertClicked();
    // Asks for an mbox file (or a Maildir folder) with a dialog of its own
    // and imports the issues in it.
    void chooseMailbox(bool folder);
    // While a mail import runs, says so in a message box and returns true:
    // what would change the save file or the text area waits for it.
    bool refuseWhileMailImportRuns();
    // Several dropped messages: asks, then imports them into the save file.
    void importDroppedMessages(const import::Drop& drop, int messages);
    void mailImportFinished(const QString& summary);
    void endMailImport();
    // Save, convert and the mail entry, off while a mail import runs.
    void setFileCommandsEnabled(bool enabled);
    void showStartFocus();
    // Keeps the text area's margins to the window's client area.
    void fitTextArea();
    // From the event loop: emits idle() unless the window is still busy.
    void checkIdle();
    Answer ask(const QString& text, Buttons buttons) { return prompts_->ask(text, buttons); }
    bool optionSet(Option item) const;

    QPushButton* importButton_ = nullptr;   // "取り込み"
    SaveButton* saveButton_ = nullptr;      // "保　存"
    QPushButton* copyAllButton_ = nullptr;  // "すべてコピー"
    QPushButton* fontButton_ = nullptr;     // "フォント"
    TextArea* clipView_ = nullptr;
    std::array<QAction*, kOptionCount> optionItems_{};
    QAction* convertAction_ = nullptr;
    QAction* mboxAction_ = nullptr;
    QAction* maildirAction_ = nullptr;

    SharedDialog sharedDialog_;
    std::unique_ptr<DialogPrompts> dialogPrompts_;
    Prompts* prompts_ = nullptr;
    std::unique_ptr<WindowLook> look_;

    std::unique_ptr<MailImportRun> mailImport_;
    // The dropped messages that the mail import reads, kept until it ends.
    std::shared_ptr<const QTemporaryDir> dropCopies_;
    QString lastMailbox_;  // the mailbox chosen last, where the next choice starts
    saving::SaveState saveState_;
    KeptSettings keptSettings_;
    bool startFocusShown_ = false;  // the window was activated once
};

}  // namespace sorimba
