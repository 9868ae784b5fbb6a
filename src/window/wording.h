#pragma once
// The window's words: every failure the core reports, in Japanese, and the
// lists of failed files a save or a conversion shows. The only place where
// the window puts a failure into words.

#include <QString>

#include "files/failure.h"

namespace sorimba {

namespace saving {
struct SaveResult;
}
namespace convert {
struct FolderOutcome;
}
namespace settings {
struct SettingsFiles;
struct StoreResult;
struct Unreadable;
}  // namespace settings

// Why it failed, in Japanese words (without the path).
QString inJapanese(const Failure& failure);

// What a save says when another writer holds its files.
extern const QString kBusyInJapanese;

// The message that names the files a save could not write.
QString saveFailures(const saving::SaveResult& result);

// What the user is told after a conversion of `target` (the file, or the
// folder in folder mode): each file that could not be converted, with the
// reason, or the folder that could not be read; empty when all went well.
QString convertFailures(const QString& target, const convert::FolderOutcome& outcome);

// What the window says at start-up about settings files it could not read.
QString unreadableSettings(const settings::SettingsFiles& files,
                           const settings::Unreadable& unreadable);

// What the window says when its settings could not be stored at closing.
QString settingsFailure(const settings::StoreResult& stored);

}  // namespace sorimba
