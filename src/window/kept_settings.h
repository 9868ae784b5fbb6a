#pragma once
// The settings files the window was started with: read at start-up, written
// back at closing except those that could not be read. Trouble either way
// comes back in the words the user is told.

#include <QString>
#include <optional>

#include "settings/settings.h"

namespace sorimba {

class KeptSettings {
public:
    // Applies the files to `window`; the save file they name (or nothing),
    // and in *trouble what to tell about files that could not be read.
    QString load(WindowSettings& window, const settings::SettingsFiles& files,
                 std::optional<QString>* trouble);
    // Writes the settings back (when files were loaded); what went wrong in
    // words, or nothing.
    std::optional<QString> store(const WindowSettings& window, const QString& savePath) const;

private:
    std::optional<settings::SettingsFiles> files_;
    settings::Unreadable unreadable_;  // left alone at closing
};

}  // namespace sorimba
