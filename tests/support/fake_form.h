#pragma once
// A scripted stand-in for the main window: the subsystems talk to it through
// the same interface as to Form1. Message boxes and dialogs take their
// answers from queues filled by the test, and everything shown is recorded.

#include <QStringList>
#include <array>
#include <deque>
#include <optional>
#include <stdexcept>
#include <vector>

#include "port/form_port.h"

namespace sorimba::testing {

class FakeForm : public FormPort {
public:
    struct Shown {
        QString text;
        Buttons buttons;
    };

    FakeForm() {
        options_[AlwaysOnTop] = true;
        options_[ConfirmSave] = true;
    }

    // --- Script -------------------------------------------------------
    std::deque<Answer> answers;                      // next message box answers
    std::deque<std::optional<QString>> openChoices;  // nullopt = cancel
    std::deque<std::optional<DialogSettings>> fontChoices;

    // --- Record -------------------------------------------------------
    std::vector<Shown> messages;
    std::vector<bool> saveEnabledHistory;
    std::vector<int> topMostCalls;
    int openDialogShown = 0;
    QString openDialogStartedWith;  // fileName when the dialog last opened
    bool saveEnabled = true;

    // --- FormPort -----------------------------------------------------
    Answer message(const QString& text, Buttons buttons) override {
        messages.push_back({text, buttons});
        if (answers.empty()) {
            if (buttons == Buttons::Ok) return Answer::Ok;
            throw std::logic_error("unexpected question: " + text.toStdString());
        }
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    bool showOpenDialog() override {
        ++openDialogShown;
        openDialogStartedWith = dialog_.fileName;
        if (openChoices.empty()) throw std::logic_error("unexpected open-file dialog");
        auto choice = openChoices.front();
        openChoices.pop_front();
        if (!choice) return false;
        dialog_.fileName = *choice;
        return true;
    }
    bool showFontDialog() override {
        if (fontChoices.empty()) throw std::logic_error("unexpected font dialog");
        auto choice = fontChoices.front();
        fontChoices.pop_front();
        if (!choice) return false;
        dialog_.fontName = choice->fontName;
        dialog_.fontSize = choice->fontSize;
        dialog_.fontColour = choice->fontColour;
        return true;
    }
    DialogSettings& dialog() override { return dialog_; }
    FormValues& values() override { return values_; }
    QString text() const override { return text_; }
    void setText(const QString& text) override { text_ = text; }
    bool option(int index) const override { return options_.at(index); }
    void setOption(int index, bool checked) override { options_.at(index) = checked; }
    void setSaveEnabled(bool enabled) override {
        saveEnabled = enabled;
        saveEnabledHistory.push_back(enabled);
    }
    double outerWidth() const override { return width_; }
    double outerHeight() const override { return height_; }
    bool setOuterWidth(double twips) override {
        if (!(twips >= 0 && twips <= kMaxTwips)) return false;
        width_ = twips;
        return true;
    }
    bool setOuterHeight(double twips) override {
        if (!(twips >= 0 && twips <= kMaxTwips)) return false;
        height_ = twips;
        return true;
    }
    QString fontName() const override { return fontName_; }
    double fontSize() const override { return fontSize_; }
    std::int32_t textColour() const override { return colour_; }
    bool setFontName(const QString& name) override {
        fontName_ = name;
        return true;
    }
    bool setFontSize(double points) override {
        if (!(points > 0 && points <= 1638)) return false;
        fontSize_ = points;
        return true;
    }
    bool setTextColour(std::int32_t code) override {
        colour_ = code;
        return true;
    }
    std::int32_t setTopMost(int mode) override {
        topMostCalls.push_back(mode);
        return (mode >= 0 && mode <= 2) ? 1 : 0;
    }
    QString clipboardText() const override { return clipboard_; }
    void setClipboardText(const QString& text) override { clipboard_ = text; }

    static constexpr double kMaxTwips = 1e6;

private:
    std::array<bool, kOptionCount> options_{};
    DialogSettings dialog_;
    FormValues values_;
    QString text_ = QStringLiteral("[ Weekly Piko2 ] をドラッグドロップして下さい");
    double width_ = 7185;
    double height_ = 6510;
    QString fontName_ = QStringLiteral("ＭＳ ゴシック");
    double fontSize_ = 9;
    std::int32_t colour_ = kWindowTextColour;
    QString clipboard_;
};

}  // namespace sorimba::testing
