// The per-title file names and paths over arbitrary clip texts and save
// paths. Input: two bytes give the length of the save path in UTF-16 units,
// then the save path, then the clip text (both UTF-16, so NULs and lone
// surrogates come for free).
// Checked: every file a per-title save writes lies in the folder of the save
// path: its name part holds no "/", is not "." or "..", and ends in ".txt",
// also in the bytes the system is handed; no two blocks name the same path;
// a path holding a NUL is refused before the file system sees it.

#include <QFile>
#include <QSet>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "encoding/encoding.h"
#include "files/files.h"
#include "saving/saving.h"

namespace {

QString utf16(const std::uint8_t* data, size_t units) {
    QString text(static_cast<qsizetype>(units), QChar());
    std::memcpy(text.data(), data, units * 2);
    return text;
}

void checkName(const QString& name) {
    if (name.contains(QLatin1Char('/'))) std::abort();
    if (name == QLatin1String(".") || name == QLatin1String("..")) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sorimba::saving;
    if (size < 2) return 0;
    const size_t units = (size - 2) / 2;
    const size_t pathUnits = std::min<size_t>((data[0] | (data[1] << 8)) % 512, units);
    const QString savePath = utf16(data + 2, pathUnits);
    const QString text = utf16(data + 2 + pathUnits * 2, units - pathUnits);

    const std::vector<QString> lines = sorimba::encoding::cutAtCrLf(text);
    const QString folder = sorimba::files::folderOf(savePath);
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/'))) std::abort();
    const QByteArray nativeFolder = QFile::encodeName(folder);

    QSet<QString> seen;
    for (const FileBlock& block : titleBlocks(lines, savePath)) {
        if (sorimba::files::folderOf(block.path) != folder) std::abort();
        if (!block.path.startsWith(folder)) std::abort();
        const QString name = block.path.mid(folder.size());
        checkName(name);
        if (!name.endsWith(QLatin1String(".txt"))) std::abort();
        if (seen.contains(block.path)) std::abort();
        seen.insert(block.path);

        // What the system is handed: the folder's bytes, then a name
        // without a slash.
        const QByteArray native = QFile::encodeName(block.path);
        if (!native.startsWith(nativeFolder)) std::abort();
        if (native.mid(nativeFolder.size()).contains('/')) std::abort();

        // The system would cut the name at a NUL: such a path must be
        // refused before any file is touched. (Paths without a NUL are not
        // written here.)
        if (block.path.contains(QChar(0)) && !appendToSaveFile(block.path, block.bytes))
            std::abort();
    }

    // The name alone, as each title line gives it.
    for (const QString& line : lines) {
        const QString name = titleName(line, QStringLiteral("prev"));
        for (QChar c : QStringLiteral("\\/:,;*?<>|\""))
            if (name.contains(c)) std::abort();
    }
    return 0;
}
