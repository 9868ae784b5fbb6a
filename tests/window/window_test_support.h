#pragma once
// Helpers of the window tests: a Form1 whose message boxes are recorded and
// answered by script, and a way to act on a modal dialog once it is open.

#include <QApplication>
#include <QClipboard>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "window/form1.h"

namespace sorimba::testing {

class ScriptedForm : public Form1 {
public:
    struct Shown {
        QString text;
        Buttons buttons;
    };
    std::vector<Shown> messages;
    std::deque<Answer> answers;

    Answer message(const QString& text, Buttons buttons) override {
        messages.push_back({text, buttons});
        if (buttons == Buttons::Ok) return Answer::Ok;
        if (answers.empty()) return Answer::Cancel;
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    // The open-file dialog answers by script too: nullopt cancels.
    std::deque<std::optional<QString>> openChoices;
    int openDialogShown = 0;
    bool showOpenDialog() override {
        ++openDialogShown;
        if (openChoices.empty()) return false;
        const std::optional<QString> choice = openChoices.front();
        openChoices.pop_front();
        if (!choice) return false;
        dialog().fileName = *choice;
        return true;
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
