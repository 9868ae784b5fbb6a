#pragma once
// What the user reads when a file could not be written or converted: the
// reason in Japanese words instead of the system's, and the list of files
// that failed, shared by the save and convert commands.

#include <QString>
#include <vector>

#include "files/files.h"

namespace sorimba::files {

// How a file was used. A save appends to (or creates) its file, so a
// missing path means a missing folder; a conversion reads and rewrites a
// file that must exist.
enum class FileUse { Append, Rewrite };

QString reasonInWords(Refusal refusal, int systemError, const QString& systemWords, FileUse use);

// One file of a failure list, with its reason in words.
struct FailedFile {
    QString path;
    QString reason;
};

// The heading, then each file as "path（reason）" on a line of its own (at
// most twenty, then how many more), then `othersDone` when some other file
// went well. Lines are joined by CR LF.
QString failureList(const QString& heading, const std::vector<FailedFile>& files,
                    const QString& othersDone);

}  // namespace sorimba::files
