#pragma once
// Helpers of the window tests: a MainWindow whose message boxes are recorded
// and answered by script, and a way to act on a modal dialog once it is open.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "window/main_window.h"
#include "window/text_area.h"

namespace sorimba::testing {

// Message boxes recorded and answered by script; the file chooser answers
// by script too (nullopt cancels).
struct ScriptedPrompts : Prompts {
    struct Shown {
        QString text;
        Buttons buttons;
    };
    std::vector<Shown> messages;
    std::deque<Answer> answers;
    std::deque<std::optional<QString>> fileChoices;
    int fileChooserShown = 0;

    Answer ask(const QString& text, Buttons buttons) override {
        messages.push_back({text, buttons});
        if (buttons == Buttons::Ok) return Answer::Ok;
        if (answers.empty()) return Answer::Cancel;
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<QString> chooseFile(FileChoice) override {
        ++fileChooserShown;
        if (fileChoices.empty()) return std::nullopt;
        const std::optional<QString> choice = fileChoices.front();
        fileChoices.pop_front();
        return choice;
    }
};

// The window with scripted prompts, and its controls as a user finds them.
class ScriptedWindow : public ScriptedPrompts, public MainWindow {
public:
    ScriptedWindow() : MainWindow(static_cast<ScriptedPrompts*>(this)) {}

    QPushButton* importButton() const { return control<QPushButton>("import"); }
    QPushButton* saveButton() const { return control<QPushButton>("save"); }
    QPushButton* copyAllButton() const { return control<QPushButton>("copyAll"); }
    QPushButton* fontButton() const { return control<QPushButton>("font"); }
    TextArea* clipView() const { return control<TextArea>("text"); }
    QAction* convertAction() const { return control<QAction>("convert"); }
    QAction* mboxAction() const { return control<QAction>("mbox"); }
    QAction* maildirAction() const { return control<QAction>("maildir"); }
    QAction* optionItem(int index) const {
        return findChild<QAction*>(QStringLiteral("option%1").arg(index));
    }
    bool option(int index) { return settings().option(index); }
    void setOption(int index, bool checked) { settings().setOption(index, checked); }

private:
    template <typename Control>
    Control* control(const char* name) const {
        return findChild<Control*>(QLatin1String(name));
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
