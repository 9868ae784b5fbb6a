#include "saving/saving.h"

#include <QHash>
#include <cerrno>
#include <optional>

#include "encoding/encoding.h"
#include "saving/writer.h"

namespace sorimba::saving {
namespace {

const QString kCrLf = QStringLiteral("\r\n");
constexpr QChar kTitleMark = QChar(0x25CF);  // ●
constexpr QChar kWideSpace = QChar(0x3000);  // full-width space
// Removed from a title name, then the double quotation mark.
const QString kRemovedFromNames = QStringLiteral("\\/:,;*?<>|");

// Why a save file's name cannot be used, if it cannot.
Fault refusedName(const QString& path) {
    if (path.isEmpty()) return Failure::of(Failure::Kind::NoName, path);
    // The system would end the name at a NUL and write to another file.
    if (path.contains(QChar(0))) return Failure::of(Failure::Kind::BadName, path);
    return std::nullopt;
}

// Appends each block to its file through the writer, in order. The file
// layer returns once exactly these files (and the folders of new ones) are
// on the disk, with one flush per file for the whole save.
std::vector<Fault> appendAll(SaveWriter& writer, const std::vector<FileBlock>& blocks) {
    std::vector<Fault> outcomes(blocks.size());
    std::vector<FileBlock> named;
    std::vector<size_t> appended;  // the block of each append
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (Fault refusal = refusedName(blocks[i].path)) {
            outcomes[i] = refusal;
        } else {
            named.push_back(blocks[i]);
            appended.push_back(i);
        }
    }
    std::vector<Fault> done = writer.append(named);
    for (size_t k = 0; k < done.size(); ++k) outcomes[appended[k]] = done[k];
    for (size_t i = 0; i < blocks.size(); ++i)
        if (outcomes[i]) outcomes[i]->path = blocks[i].path;
    return outcomes;
}

// The outcome of every block of a save that found its files busy.
std::vector<Fault> allBusy(const std::vector<FileBlock>& blocks) {
    std::vector<Fault> outcomes;
    for (const FileBlock& block : blocks)
        outcomes.push_back(Failure::of(Failure::Kind::Busy, block.path));
    return outcomes;
}

}  // namespace

QString titleName(const QString& line, const QString& previous) {
    QString name;
    qsizetype space = line.indexOf(kWideSpace);
    if (space == 0) return previous;  // no name of its own
    name = space < 0 ? line.mid(1) : line.mid(1, space - 1);
    name.removeIf([](QChar c) { return kRemovedFromNames.contains(c) || c == QLatin1Char('"'); });
    return name;
}

Fault appendToSaveFile(const QString& path, const QByteArray& bytes) {
    SaveWriter writer(path, false);
    const std::vector<FileBlock> blocks{FileBlock{path, bytes}};
    return writer.lock(kSavePatienceMs) ? appendAll(writer, blocks)[0] : allBusy(blocks)[0];
}

std::vector<FileBlock> plainBlocks(const std::vector<QString>& lines, const QString& savePath) {
    QString text;
    for (const QString& line : lines) text += line + kCrLf;
    return {FileBlock{savePath, encoding::toCp932(text)}};
}

bool isTitleLine(const std::vector<QString>& lines, size_t i) {
    return i >= 1 && i + 1 < lines.size() && lines[i].contains(kTitleMark) &&
           lines[i - 1].isEmpty();
}

bool hasTitleLine(const std::vector<QString>& lines) {
    for (size_t i = 1; i + 1 < lines.size(); ++i)
        if (isTitleLine(lines, i)) return true;
    return false;
}

std::vector<FileBlock> titleBlocks(const std::vector<QString>& lines, const QString& savePath) {
    const QString folder = files::folderOf(savePath);
    std::vector<QString> paths;  // in the order the files first appear
    std::vector<QString> texts;
    QHash<QString, int> indexOf;
    int current = -1;  // the file the lines go to; none before the first title
    QString name;

    auto write = [&](const QString& line) {
        if (current >= 0) texts[current] += line + kCrLf;
    };

    const size_t n = lines.size();
    // The first line and the last are never title lines.
    for (size_t i = 1; i + 1 < n; ++i) {
        const QString& line = lines[i];
        if (!isTitleLine(lines, i)) {
            write(line);
            continue;
        }
        // A change of title: the section before it ends with an empty line
        // when the next section begins with one.
        if (current >= 0 && lines[i + 1].isEmpty()) write(QString());
        name = titleName(line, name);
        const QString path = folder + name + QStringLiteral(".txt");
        auto found = indexOf.constFind(path);
        if (found != indexOf.constEnd()) {
            current = *found;
        } else {
            current = static_cast<int>(paths.size());
            indexOf.insert(path, current);
            paths.push_back(path);
            texts.emplace_back();
        }
    }
    // A text that ends with CR LF has an empty last line, which is not
    // written; any other last line belongs to the current section.
    if (n >= 2 && !lines[n - 1].isEmpty()) write(lines[n - 1]);

    std::vector<FileBlock> blocks;
    blocks.reserve(paths.size());
    for (size_t k = 0; k < paths.size(); ++k)
        blocks.push_back(FileBlock{paths[k], encoding::toCp932(texts[k])});
    return blocks;
}

SaveResult saveLines(const std::vector<QString>& lines, bool withTitles, const QString& savePath,
                     const std::function<void()>& whileWaiting) {
    SaveResult result;
    const std::vector<FileBlock> blocks =
        withTitles ? titleBlocks(lines, savePath) : plainBlocks(lines, savePath);
    SaveWriter writer(savePath, withTitles);
    // Another writer (a mail import's batch, another program's save) is
    // waited for a moment; after that nothing is written.
    result.busy = !writer.lock(kSavePatienceMs, whileWaiting);
    const std::vector<Fault> outcomes = result.busy ? allBusy(blocks) : appendAll(writer, blocks);
    for (const Fault& outcome : outcomes) {
        if (outcome)
            result.failures.push_back(*outcome);
        else
            ++result.filesWritten;
    }
    return result;
}

}  // namespace sorimba::saving
