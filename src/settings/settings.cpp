#include "settings/settings.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "files/files.h"
#include "settings/dat_format.h"
#include "settings/location.h"

namespace sorimba::settings {

SettingsFiles SettingsFiles::in(const QString& folder) {
    return {folder + QStringLiteral("/data.dat"), folder + QStringLiteral("/data2.dat")};
}

namespace {

// Something stands at `path`, or the system could not even look: only a
// name that is plainly absent may be written without having been read.
bool somethingAt(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0) return true;
    return errno != ENOENT && errno != ENOTDIR;
}

}  // namespace

Loaded loadSettings(WindowSettings& window, const SettingsFiles& files) {
    // Start-up goes on whatever the files hold; what was applied stays.
    // Nothing here throws: every read is bounded (dat_files.cpp), and a
    // damaged field is skipped, not thrown.
    Loaded loaded;
    loaded.unreadable.data = !applyDataFile(window, files.data).opened && somethingAt(files.data);
    bool unreadable = files::fileKind(files.data2) != files::FileKind::Regular;
    if (!unreadable) loaded.savePath = readSavePath(files.data2, &unreadable);
    loaded.unreadable.data2 = unreadable && somethingAt(files.data2);
    window.keepOnTop(window.option(AlwaysOnTop));
    return loaded;
}

StoreResult storeSettings(const WindowSettings& window, const SettingsFiles& files,
                          const QString& savePath, const Unreadable& keep) {
    if (keep.data && (keep.data2 || savePath.isEmpty())) return {};
    // An installed copy's settings folder is made when the window first
    // closes. A settings file that cannot be written keeps its older content.
    const QString folder = QFileInfo(files.data).absolutePath();
    if (!makeSettingsFolder(folder)) return {StoreResult::Failure::Folder, folder, {}};
    return writeSettings(window, files, savePath, keep);
}

}  // namespace sorimba::settings
