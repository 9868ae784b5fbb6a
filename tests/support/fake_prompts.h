#pragma once
// Scripted answers to the file commands' questions: message boxes and the
// file chooser answer from queues the test fills, and everything shown is
// recorded. An unscripted question throws, so a test sees every one.

#include <deque>
#include <optional>
#include <stdexcept>
#include <vector>

#include "port/prompts.h"

namespace sorimba::testing {

class FakePrompts : public Prompts {
public:
    struct Shown {
        QString text;
        Buttons buttons;
    };

    // --- Script -------------------------------------------------------
    std::deque<Answer> answers;                      // next message box answers
    std::deque<std::optional<QString>> fileChoices;  // nullopt = cancel

    // --- Record -------------------------------------------------------
    std::vector<Shown> messages;
    std::vector<FileChoice> fileChooserShown;  // what the chooser was opened for

    Answer ask(const QString& text, Buttons buttons) override {
        messages.push_back({text, buttons});
        if (answers.empty()) {
            if (buttons == Buttons::Ok) return Answer::Ok;
            throw std::logic_error("unexpected question: " + text.toStdString());
        }
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<QString> chooseFile(FileChoice purpose) override {
        fileChooserShown.push_back(purpose);
        if (fileChoices.empty()) throw std::logic_error("unexpected file chooser");
        auto choice = fileChoices.front();
        fileChoices.pop_front();
        return choice;
    }
};

}  // namespace sorimba::testing
