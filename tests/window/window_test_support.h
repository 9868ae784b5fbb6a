#pragma once
// Helpers of the window tests: a MainWindow whose message boxes are recorded
// and answered by script, and a way to act on a modal dialog once it is open.

#include <QApplication>
#include <QClipboard>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "window/main_window.h"

namespace sorimba::testing {

class ScriptedWindow : public MainWindow {
public:
    struct Shown {
        QString text;
        Buttons buttons;
    };
    std::vector<Shown> messages;
    std::deque<Answer> answers;

    Answer ask(const QString& text, Buttons buttons) override {
        messages.push_back({text, buttons});
        if (buttons == Buttons::Ok) return Answer::Ok;
        if (answers.empty()) return Answer::Cancel;
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    // The file chooser answers by script too: nullopt cancels.
    std::deque<std::optional<QString>> fileChoices;
    int fileChooserShown = 0;
    std::optional<QString> chooseFile(FileChoice) override {
        ++fileChooserShown;
        if (fileChoices.empty()) return std::nullopt;
        const std::optional<QString> choice = fileChoices.front();
        fileChoices.pop_front();
        return choice;
    }
};

inline QClipboard* clipboard() {
    return QGuiApplication::clipboard();
}

// Runs `act` on the modal dialog that the next call opens (as soon as the
// dialog's event loop runs), then lets the call go on.
template <typename Dialog>
void whenModalOpens(std::function<void(Dialog*)> act) {
    auto attempt = std::make_shared<std::function<void(int)>>();
    std::weak_ptr<std::function<void(int)>> weak = attempt;  // no cycle
    *attempt = [act, weak](int left) {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr) {
            act(dialog);
        } else if (left > 0) {
            if (auto self = weak.lock())
                QTimer::singleShot(10, [self, left] { (*self)(left - 1); });
        }
    };
    QTimer::singleShot(0, [attempt] { (*attempt)(300); });
}

}  // namespace sorimba::testing
