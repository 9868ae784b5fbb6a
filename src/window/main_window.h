#pragma once
// The program's one window: four buttons, the text area that holds the clip
// text, the "Option" menu with the nine option switches and the "convert"
// entry. It answers the file commands' questions (Prompts) and is what the
// stored settings apply to (WindowSettings); the work itself is done by
// saving, settings and convert.

#include <QMainWindow>
#include <array>
#include <memory>
#include <optional>

#include "import/import.h"
#include "port/prompts.h"
#include "port/window_settings.h"
#include "settings/settings.h"
#include "window/save_command.h"
#include "window/shared_dialog.h"

class QAction;
class QMenu;
class QMimeData;
class QPushButton;

namespace sorimba {

class MailImportRun;
class TextArea;

class MainWindow : public QMainWindow, public Prompts, public WindowSettings {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up: reads the settings files and applies them (which also shows
    // the window); they are written back when the window closes, except
    // those that could not be read. Either trouble is told in a message box.
    void loadSettingsFrom(const settings::SettingsFiles& files);

    // --- Controls ----------------------------------------------------
    QPushButton* importButton;  // "取り込み": import the issue on the clipboard
    // "保　存": save (also Ctrl+S); right button, menu key, Shift+F10 or
    // Ctrl+Shift+S: choose the save file. Its tooltip names the save file.
    QPushButton* saveButton;
    QPushButton* copyAllButton;  // "すべてコピー"
    QPushButton* fontButton;     // "フォント"
    TextArea* clipView;
    std::array<QAction*, kOptionCount> optionItems{};
    QAction* convertAction;  // the "convert" entry of the menu bar
    // The "mail" entry of the menu bar: issues from an mbox file or a
    // Maildir folder into the save file.
    QAction* mboxAction;
    QAction* maildirAction;

    // --- Commands ----------------------------------------------------
    void importFromClipboard();
    void copyAll();
    void chooseFont();
    void saveClicked();
    void chooseSaveFile();
    void convertClicked();
    // Asks for an mbox file (or a Maildir folder) with a dialog of its own
    // and imports the issues in it.
    void chooseMailbox(bool folder);
    // Imports every issue in a mailbox into the save file (asking for the
    // save file first when none is chosen) with the current option marks,
    // off the window's thread, under a progress dialog that can cancel;
    // save and convert wait meanwhile. One summary at the end; the text
    // area and the saved state are left alone. False when it did not start.
    bool importMailbox(const QString& source);
    // The same for several mailboxes (mbox files, Maildir folders, message
    // files) in one import.
    bool importMailboxes(const QStringList& sources);
    bool mailImportRunning() const;
    // While a mail import runs, says so in a message box and returns true:
    // what would change the save file or the text area waits for it.
    bool refuseWhileMailImportRuns();
    // A drop: its text, or one dropped message, goes into the text area as
    // an issue (then SaveAfterImport saves); several dropped messages go
    // into the save file as one mail import, after a question.
    void importDrop(const QMimeData& mime);
    void importDrop(const import::Drop& drop);
    // Imports a file named on the command line exactly as a drop of that
    // file (so SaveAfterImport applies), whatever its name ends with.
    void importFile(const QString& path);
    // Inside a command, a dialog or a menu: a file that arrives now waits.
    bool busy() const;
    // Shows the window above the others, as when a second start reaches it.
    void bringToFront();
    void toggleOption(int index);
    // Cuts the column out of an issue and shows it; reports an issue
    // without the column and returns false.
    bool importIssue(const QString& issueText);
    // Keeps the text area's margins to the window's client area.
    void fitTextArea();

    // The clip text: the text area's lines joined by CR LF.
    QString text() const;
    void setText(const QString& text);

    // The save file and whether the text was saved.
    saving::SaveState& saveState() { return saveState_; }
    // The file chooser's starting file.
    SharedDialog& sharedDialog() { return sharedDialog_; }

    // Window measures: twips to pixels and back, by the logical DPI.
    int pixelsX(double twips) const;
    int pixelsY(double twips) const;
    double twipsX(int pixels) const;
    double twipsY(int pixels) const;

    // The client area: the part of the window below the menu bar.
    QWidget* clientArea() const;

    // Plain text on the clipboard (CLIPBOARD selection), lines ended CR LF.
    QString clipboardText() const;
    void setClipboardText(const QString& text);

    // --- Prompts -------------------------------------------------------
    Answer ask(const QString& text, Buttons buttons) override;
    std::optional<QString> chooseFile(FileChoice purpose) override;

    // --- WindowSettings --------------------------------------------------
    double outerWidth() const override;
    double outerHeight() const override;
    bool setOuterWidth(double twips) override;
    bool setOuterHeight(double twips) override;
    QString fontName() const override;
    double fontSize() const override;
    std::int32_t textColour() const override { return textColour_; }
    bool setFontName(const QString& name) override;
    bool setFontSize(double points) override;
    bool setTextColour(std::int32_t colourCode) override;
    bool option(int index) const override;
    void setOption(int index, bool checked) override;
    void keepOnTop(bool onTop) override;

    // Outer sizes the window takes, in twips.
    static constexpr double kMinOuterTwips = 300;
    static constexpr double kMaxOuterTwips = 100000;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QPushButton* makeButton(const QString& caption, int left);
    // Accessible names and descriptions of every control.
    void describeControls(QMenu* options, QMenu* mailMenu);
    // Shows the current save file in 保　存's tooltip and description.
    void showSaveFile();
    void showStartFocus();
    bool setOuterSize(std::optional<double> widthTwips, std::optional<double> heightTwips);
    void applyPendingOuterSize();

    // Save, convert and the mail entry, off while a mail import runs.
    void setFileCommandsEnabled(bool enabled);
    void mailImportFinished(const QString& summary);
    // Several dropped messages: asks, then imports them into the save file.
    void importDroppedMessages(const import::Drop& drop, int messages);

    std::unique_ptr<MailImportRun> mailImport_;
    // The dropped messages that the mail import reads, kept until it ends.
    std::shared_ptr<const QTemporaryDir> dropCopies_;
    QString lastMailbox_;  // the mailbox chosen last, where the next choice starts
    SharedDialog sharedDialog_;
    saving::SaveState saveState_;
    std::optional<settings::SettingsFiles> settingsFiles_;
    // Settings files that could not be read: closing leaves them alone.
    settings::Unreadable unreadableSettings_;
    std::int32_t textColour_ = kWindowTextColour;
    // An outer size asked for before the window manager framed the window:
    // applied again once the frame is known, so the frame gets that size.
    std::optional<double> pendingOuterWidth_;
    std::optional<double> pendingOuterHeight_;
    bool startFocusShown_ = false;  // the window was activated once
};

}  // namespace sorimba
