#include "window/save_command.h"

#include <QCoreApplication>

#include "encoding/encoding.h"
#include "saving/saving.h"
#include "window/wording.h"

namespace sorimba::saving {

const QString kEmptyText = QStringLiteral("文章が空なので、保存しませんでした");
const QString kNoTitle = QStringLiteral("「●タイトル」の行がないので、保存しませんでした");

QString nothingToSave(const std::vector<QString>& lines, bool perTitle) {
    if (lines.empty()) return kEmptyText;
    if (perTitle && !hasTitleLine(lines)) return kNoTitle;
    return {};
}

void saveCommand(Prompts& prompts, const QString& text, SaveMode mode, SaveState& state) {
    // A save that would write nothing says so before anything else: no
    // question, no file chooser, and the text keeps its saved state, so the
    // user is never told that nothing was saved.
    const std::vector<QString> lines = encoding::cutAtCrLf(text);
    if (const QString why = nothingToSave(lines, mode.perTitle); !why.isEmpty()) {
        prompts.ask(why, Buttons::Ok);
        return;
    }

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

    // While another writer holds the save file, the window keeps drawing
    // itself (input waits: the save button stays pressed until the end).
    const SaveResult result = saveLines(lines, mode.perTitle, state.savePath, [] {
        if (QCoreApplication::instance() != nullptr)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });

    if (!result.failures.empty()) {
        prompts.ask(saveFailures(result), Buttons::Ok);
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
