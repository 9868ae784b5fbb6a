#include "window/kept_settings.h"

#include "window/wording.h"

namespace sorimba {

QString KeptSettings::load(WindowSettings& window, const settings::SettingsFiles& files,
                           std::optional<QString>* trouble) {
    files_ = files;
    const settings::Loaded loaded = settings::loadSettings(window, files);
    unreadable_ = loaded.unreadable;
    if (unreadable_.any()) *trouble = unreadableSettings(files, unreadable_);
    return loaded.savePath;
}

std::optional<QString> KeptSettings::store(const WindowSettings& window,
                                           const QString& savePath) const {
    if (!files_) return std::nullopt;
    const settings::StoreResult stored =
        settings::storeSettings(window, *files_, savePath, unreadable_);
    if (stored.ok()) return std::nullopt;
    return settingsFailure(stored);
}

}  // namespace sorimba
