#include "settings/location.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "files/files.h"

namespace sorimba::settings {
namespace {

bool isFolder(const QByteArray& path) {
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

Environment processEnvironment() {
    Environment environment;
    environment.xdgConfigHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    environment.home = qEnvironmentVariable("HOME");
    if (environment.home.isEmpty()) {
        if (const passwd* user = ::getpwuid(::geteuid());
            user != nullptr && user->pw_dir != nullptr)
            environment.home = QFile::decodeName(user->pw_dir);
    }
    return environment;
}

bool isPortable(const QString& programFolder) {
    const QDir folder(programFolder);
    return QFileInfo::exists(folder.filePath(QString::fromLatin1(kPortableMarker))) ||
           files::fileKind(folder.filePath(QStringLiteral("data.dat"))) == files::FileKind::Regular;
}

// Our own rather than QStandardPaths: a relative XDG_CONFIG_HOME or an unset
// HOME must give the same folder (or none) as it always has.
QString settingsFolder(const QString& programFolder, const Environment& environment) {
    if (isPortable(programFolder)) return QDir::cleanPath(programFolder);
    QString base = environment.xdgConfigHome;
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        if (environment.home.isEmpty() || !QDir::isAbsolutePath(environment.home)) return {};
        base = environment.home + QStringLiteral("/.config");
    }
    return QDir::cleanPath(base + QStringLiteral("/sorimba"));
}

// Our own rather than QDir::mkpath: each new folder gets mode 0700 and its
// name is flushed to the disk.
bool makeSettingsFolder(const QString& folder) {
    const QByteArray path = QFile::encodeName(QDir::cleanPath(folder));
    if (path.isEmpty() || path[0] != '/') return false;
    // Each missing folder from the top down, as the XDG rules ask: mode 0700.
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (!isFolder(part)) {
            if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) return false;
            // The new folder's name is on the disk once its parent is flushed.
            files::flushFolder(QFile::decodeName(files::folderOf(part)));
        }
        if (slash < 0) break;
    }
    return isFolder(path);
}

}  // namespace sorimba::settings
