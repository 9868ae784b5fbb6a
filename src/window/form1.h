#pragma once
// Form1: the program's one window. Four buttons, the text area Text1 that
// holds the clip text, the "Option" menu with the nine option switches and
// the "convert" entry. It implements FormPort, through which saving,
// settings and convert reach it.

#include <QMainWindow>
#include <array>
#include <optional>

#include "port/form_port.h"
#include "window/common_dialog.h"

class QAction;
class QMimeData;
class QPushButton;

namespace sorimba {

class TextArea;

class Form1 : public QMainWindow, public FormPort {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // --- Controls ----------------------------------------------------
    QPushButton* Command1;  // "取り込み": clipboard import
    QPushButton* Command4;  // "保　存": save; right button: choose the save file
    QPushButton* Command2;  // "すべてコピー": copy all
    QPushButton* Command3;  // "フォント": font
    TextArea* Text1;
    std::array<QAction*, kOptionCount> mn{};  // the option items
    QAction* convertEntry;                    // the "convert" entry of the menu bar

    // --- Events and the window's procedures -----------------------------
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Text1_OLEDragDrop(const QMimeData& data);
    void mn_Click(int index);
    void GetPikoZok(const QString& issueText);
    void F_Rs();

    // Window measures: twips to pixels and back, by the logical DPI.
    int pixelsX(double twips) const;
    int pixelsY(double twips) const;
    double twipsX(int pixels) const;
    double twipsY(int pixels) const;

    // The client area: the part of the window below the menu bar.
    QWidget* clientArea() const;

    // --- FormPort ------------------------------------------------------
    Answer message(const QString& text, Buttons buttons) override;
    bool showOpenDialog() override;
    bool showFontDialog() override;
    DialogSettings& dialog() override { return CommonDialog1.settings; }
    FormValues& values() override { return values_; }
    QString text() const override;
    void setText(const QString& text) override;
    bool option(int index) const override;
    void setOption(int index, bool checked) override;
    void setSaveEnabled(bool enabled) override;
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
    std::int32_t setTopMost(int mode) override;
    QString clipboardText() const override;
    void setClipboardText(const QString& text) override;

    // Outer sizes the window takes, in twips.
    static constexpr double kMinOuterTwips = 300;
    static constexpr double kMaxOuterTwips = 100000;
    // Issue files larger than this are not read.
    static constexpr qint64 kMaxDropFileBytes = qint64{128} * 1024 * 1024;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QPushButton* makeButton(const QString& caption, int left);
    std::optional<QString> droppedText(const QMimeData& data);
    bool setOuterSize(std::optional<double> widthTwips, std::optional<double> heightTwips);
    void applyPendingOuterSize();

    CommonDialog CommonDialog1;
    FormValues values_;
    std::int32_t textColour_ = kWindowTextColour;
    // An outer size asked for before the window manager framed the window:
    // applied again once the frame is known, so the frame gets that size.
    std::optional<double> pendingOuterWidth_;
    std::optional<double> pendingOuterHeight_;
};

}  // namespace sorimba
