#include "settings/settings.h"

#include <QFileInfo>

#include "settings/dat_format.h"
#include "settings/location.h"
#include "textfile/textfile.h"

namespace sorimba::settings {

SettingsFiles SettingsFiles::in(const QString& folder) {
    return {folder + QStringLiteral("/data.dat"), folder + QStringLiteral("/data2.dat")};
}

QString loadSettings(WindowSettings& window, const SettingsFiles& files) {
    // Start-up goes on whatever the files hold; what was applied stays.
    QString savePath;
    try {
        applyDataFile(window, files.data);
    } catch (...) {
    }
    try {
        if (textfile::fileKind(files.data2) == textfile::FileKind::Regular)
            savePath = readSavePath(files.data2);
    } catch (...) {
    }
    window.keepOnTop(window.option(AlwaysOnTop));
    return savePath;
}

void storeSettings(const WindowSettings& window, const SettingsFiles& files,
                   const QString& savePath) {
    // An installed copy's settings folder is made when the window first
    // closes. A settings file that cannot be written keeps its older content.
    makeSettingsFolder(QFileInfo(files.data).absolutePath());
    try {
        writeSettings(window, files, savePath);
    } catch (...) {
    }
}

}  // namespace sorimba::settings
