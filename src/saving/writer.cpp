#include "saving/writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <cstdlib>

namespace sorimba::saving {

namespace {

// A folder (ending with "/", or empty for the current one) made absolute and
// canonical; as given, made absolute, when it cannot be resolved.
QString canonicalFolder(const QString& folder) {
    QString absolute = folder;
    if (!QDir::isAbsolutePath(folder)) absolute = QDir::currentPath() + QLatin1Char('/') + folder;
    if (absolute.contains(QChar(0))) return absolute;  // the system would cut it short
    char* real = ::realpath(absolute.toLocal8Bit().constData(), nullptr);
    if (real == nullptr) return absolute.endsWith(QLatin1Char('/')) ? absolute : absolute + '/';
    QString resolved = QString::fromLocal8Bit(real);
    std::free(real);
    return resolved.endsWith(QLatin1Char('/')) ? resolved : resolved + QLatin1Char('/');
}

}  // namespace

QString absoluteSavePath(const QString& path) {
    if (path.isEmpty()) return path;
    const QString folder = files::folderOf(path);
    const QString name = path.mid(folder.size());
    if (name.isEmpty() || name == u"." || name == u"..") {
        return QDir::isAbsolutePath(path) ? path : QDir::currentPath() + QLatin1Char('/') + path;
    }
    return canonicalFolder(folder) + name;
}

QString resolvedSaveFile(const QString& absolutePath) {
    if (absolutePath.isEmpty() || absolutePath.contains(QChar(0))) return absolutePath;
    char* real = ::realpath(absolutePath.toLocal8Bit().constData(), nullptr);
    if (real == nullptr) return absolutePath;  // not there yet: created under this name
    QString resolved = QString::fromLocal8Bit(real);
    std::free(real);
    return resolved;
}

SaveWriter::SaveWriter(const QString& savePath, bool perTitle)
    : savePath_(absoluteSavePath(savePath)),
      typedFolder_(files::folderOf(savePath)),
      folder_(files::folderOf(savePath_)),
      saveFile_(resolvedSaveFile(savePath_)),
      perTitle_(perTitle) {}

bool SaveWriter::lock(int patienceMs, const std::function<void()>& whileWaiting) {
    // Per title, the files are those of the save file's folder; otherwise
    // the save file, wherever its links lead.
    const QString folder = perTitle_ ? folder_ : files::folderOf(saveFile_);
    return lock_.take(folder, patienceMs, whileWaiting) != files::FolderLock::State::Busy;
}

QString SaveWriter::confined(const QString& path) const {
    if (path.isEmpty() || path.contains(QChar(0))) return {};
    const QString folder = files::folderOf(path);
    const QString name = path.mid(folder.size());
    if (name.isEmpty() || name.contains(QLatin1Char('/'))) return {};
    if (folder != typedFolder_ && folder != folder_ && canonicalFolder(folder) != folder_)
        return {};
    if (!perTitle_) return name == savePath_.mid(folder_.size()) ? savePath_ : QString();
    return name.endsWith(QStringLiteral(".txt")) ? folder_ + name : QString();
}

std::vector<Fault> SaveWriter::append(const std::vector<FileBlock>& blocks, bool asIs) {
    std::vector<Fault> outcomes(blocks.size());
    std::vector<files::Append> appends;
    std::vector<size_t> appended;  // the block of each append
    lastPaths_.clear();
    for (size_t i = 0; i < blocks.size(); ++i) {
        const QString path = confined(blocks[i].path);
        if (path.isEmpty()) {
            outcomes[i] = Failure::of(Failure::Kind::NotConfined, blocks[i].path);
            continue;
        }
        appends.push_back({path, blocks[i].bytes, asIs});
        appended.push_back(i);
        lastPaths_.push_back(path);
    }
    const std::vector<Fault> done = files::appendToFiles(appends, &lastAppended_);
    for (size_t k = 0; k < done.size(); ++k) outcomes[appended[k]] = done[k];
    return outcomes;
}

std::vector<Fault> SaveWriter::takeBack() {
    std::vector<Fault> outcomes;
    outcomes.reserve(lastPaths_.size());
    for (size_t k = 0; k < lastPaths_.size(); ++k)
        outcomes.push_back(files::takeBack(lastPaths_[k], lastAppended_[k], false));
    lastPaths_.clear();
    lastAppended_.clear();
    return outcomes;
}

void SaveWriter::removeIfEmpty(const QString& path) {
    const QString file = confined(path);
    struct stat st {};
    const QByteArray native = file.toLocal8Bit();
    if (!file.isEmpty() && ::lstat(native.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
        st.st_size == 0)
        ::unlink(native.constData());
}

}  // namespace sorimba::saving
