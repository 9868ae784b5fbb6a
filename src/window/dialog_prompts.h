#pragma once
// The window's answers to the file commands' questions: real message boxes
// and the shared file chooser, over the window.

#include <functional>

#include "port/prompts.h"
#include "window/shared_dialog.h"

class QWidget;

namespace sorimba {

class DialogPrompts : public Prompts {
public:
    // `closed` is called each time a box or the chooser has closed.
    DialogPrompts(QWidget* window, SharedDialog& dialog, std::function<void()> closed)
        : window_(window), dialog_(dialog), closed_(std::move(closed)) {}

    Answer ask(const QString& text, Buttons buttons) override {
        const Answer answer = dialog_.message(window_, text, buttons);
        closed_();
        return answer;
    }
    std::optional<QString> chooseFile(FileChoice purpose) override {
        std::optional<QString> chosen = dialog_.chooseFile(window_, purpose);
        closed_();
        return chosen;
    }

private:
    QWidget* window_;
    SharedDialog& dialog_;
    std::function<void()> closed_;
};

}  // namespace sorimba
