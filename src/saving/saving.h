#pragma once
// Saving: appending the clip text to the save file, or cutting it at its
// "●" title lines into one file per title beside the save file.
//
// A save only ever appends to a file: each file's new lines are gathered in
// memory first and then added to its end in one go, so the old content keeps
// every byte, a crash leaves it whole, and the cost follows what is added.

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

#include "files/files.h"

namespace sorimba::saving {

// The file work of a save, shared by the save command and `sorimba-clip save`.

struct SaveResult {
    std::vector<Failure> failures;  // each file that could not take its lines
    int filesWritten = 0;           // files that took their new lines
    bool busy = false;              // another writer held the files: nothing was written
};

// One file of a save and the lines (already encoded, each ended by CR LF)
// that it receives.
struct FileBlock {
    QString path;
    QByteArray bytes;
};

// Appends `bytes` (the new lines of one save) to the save file `path`
// through its writer (see writer.h), keeping every old byte: CR LF goes
// first when the old content does not end with a line end; a missing file
// is created. Refuses names the file system would misread (a NUL inside),
// read-only and non-regular files.
Fault appendToSaveFile(const QString& path, const QByteArray& bytes);

// What the plain mode writes: every line followed by CR LF, into savePath.
std::vector<FileBlock> plainBlocks(const std::vector<QString>& lines, const QString& savePath);

// What the per-title mode writes: the lines cut at their "●" title lines,
// each section for the file named after its title in the folder of
// savePath, in the order the files first appear in the text. A file may get
// no new lines (a title with an empty section): it is still created.
std::vector<FileBlock> titleBlocks(const std::vector<QString>& lines, const QString& savePath);

// Whether lines[i] is a title line: it holds "●" and follows an empty
// line. The first and the last line never are.
bool isTitleLine(const std::vector<QString>& lines, size_t i);

// Whether the per-title mode finds a title line in the lines, that is,
// whether it would write anything at all.
bool hasTitleLine(const std::vector<QString>& lines);

// The file name of a title line (without folder and ".txt"); `previous` is
// the name kept from the title line before, used again when the line begins
// with a full-width space.
QString titleName(const QString& line, const QString& previous);

// Writes the text's lines (cut at CR LF) in plain or per-title mode, through
// the save file's writer (see writer.h). When another writer holds the
// files it waits a moment, calling whileWaiting between the tries, then
// writes nothing and says the file is busy.
SaveResult saveLines(const std::vector<QString>& lines, bool withTitles, const QString& savePath,
                     const std::function<void()>& whileWaiting = {});

}  // namespace sorimba::saving
