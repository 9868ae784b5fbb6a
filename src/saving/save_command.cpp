#include "saving/save_command.h"

#include "saving/saving.h"
#include "textfile/textfile.h"

namespace sorimba::saving {

void saveCommand(Prompts& prompts, const QString& text, SaveMode mode, SaveState& state) {
    const bool savedBefore = state.saved;

    // The same text twice in the archive is rarely wanted: ask first.
    if (state.saved) {
        if (prompts.ask(QStringLiteral("再び保存しますか？"), Buttons::YesNo) != Answer::Yes)
            return;
        state.saved = false;
    }
    if (state.savePath.isEmpty()) {
        chooseSaveFile(prompts, state);
        // A cancelled choice cancels the save: nothing is written.
        if (state.savePath.isEmpty()) {
            state.saved = savedBefore;
            return;
        }
    }

    const SaveResult result = saveLines(textfile::cutAtCrLf(text), mode.perTitle, state.savePath);

    if (!result.failures.empty()) {
        prompts.ask(failureMessage(result), Buttons::Ok);
    } else if (mode.confirm) {
        prompts.ask(mode.perTitle ? QStringLiteral("「●タイトル」別に保存しました")
                                  : state.savePath + QStringLiteral("\r\nに保存しました"),
                    Buttons::Ok);
    }
    // When nothing at all could be stored, the text counts as not saved, so
    // the next click saves without asking "再び保存しますか？". Once some file
    // took it, the question guards against adding it twice.
    if (result.failures.empty() || result.filesWritten > 0) {
        state.saved = true;
    } else {
        state.saved = savedBefore;
    }
}

void chooseSaveFile(Prompts& prompts, SaveState& state) {
    const std::optional<QString> chosen = prompts.chooseFile(FileChoice::SaveFile);
    if (chosen && !chosen->isEmpty()) state.savePath = *chosen;
}

}  // namespace sorimba::saving
