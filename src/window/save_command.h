#pragma once
// The save command of the "保　存" button and the choice of the save file:
// the questions and notices around the file work of saving.h.

#include <QString>
#include <vector>

#include "port/prompts.h"

namespace sorimba::saving {

// What the save command reads and changes besides the text: the save file
// (empty until one is chosen) and whether the text was saved since it was
// imported or since the user agreed to save it again.
struct SaveState {
    QString savePath;
    bool saved = false;
};

// How the text is saved: one file, or one file per "●" title; and whether a
// notice follows a save that went well.
struct SaveMode {
    bool perTitle = false;
    bool confirm = true;
};

// What the save command says instead of saving when it would write nothing:
// the text is empty, or (per title) it has no "●" title line.
extern const QString kEmptyText;
extern const QString kNoTitle;

// Why saving these lines (the text cut at CR LF) would write nothing: one of
// the texts above; empty when there is something to save.
QString nothingToSave(const std::vector<QString>& lines, bool perTitle);

// Saves `text` (lines ended by CR LF). When nothing would be written it
// says so and changes nothing, before any question. Otherwise it asks "再び保存しますか？" when the
// text was saved already, chooses the save file when there is none, reports
// files that could not be written, and marks the text as saved.
void saveCommand(Prompts& prompts, const QString& text, SaveMode mode, SaveState& state);

// The save-file choice: a confirmed file becomes the save file; a cancelled
// choice keeps the one there was.
void chooseSaveFile(Prompts& prompts, SaveState& state);

}  // namespace sorimba::saving
