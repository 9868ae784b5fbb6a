#include "saving/saving.h"

#include <QHash>
#include <cerrno>
#include <optional>

#include "encoding/encoding.h"
#include "files/reasons.h"
#include "saving/writer.h"

namespace sorimba::saving {
namespace {

const QString kCrLf = QStringLiteral("\r\n");
constexpr QChar kTitleMark = QChar(0x25CF);  // ●
constexpr QChar kWideSpace = QChar(0x3000);  // full-width space
// Removed from a title name, then the double quotation mark.
const QString kRemovedFromNames = QStringLiteral("\\/:,;*?<>|");

// Why a save file's name cannot be used, if it cannot; *inEnglish receives
// the reason in English words.
std::optional<files::Outcome> refusedName(const QString& path, QString* inEnglish) {
    if (path.isEmpty()) {
        *inEnglish = QStringLiteral("no file name");
        return files::Outcome{false, QStringLiteral("ファイル名がありません")};
    }
    // The system would end the name at a NUL and write to another file.
    if (path.contains(QChar(0))) {
        *inEnglish = QStringLiteral("the file name holds a NUL character");
        return files::Outcome{false,
                              QStringLiteral("ファイル名に使えない文字（NUL）が入っています")};
    }
    return std::nullopt;
}

}  // namespace

QString failureInWords(const files::Outcome& outcome) {
    if (outcome.error == kNotConfined) return QStringLiteral("保存先のフォルダの外のファイルです");
    QString words = files::reasonInWords(outcome.refusal, outcome.systemError, outcome.error,
                                         files::FileUse::Append);
    if (outcome.partial)
        words += QStringLiteral(
            "。ほかのプログラムが書き足したため、新しい行の一部が残っているかもしれません");
    return words;
}

namespace {

// Appends each block to its file through the writer, in order. The file
// layer returns once exactly these files (and the folders of new ones) are
// on the disk, with one flush per file for the whole save. `inEnglish`
// receives each failure's reason in English words.
std::vector<files::Outcome> appendAll(SaveWriter& writer, const std::vector<FileBlock>& blocks,
                                      std::vector<QString>* inEnglish) {
    std::vector<files::Outcome> outcomes(blocks.size());
    inEnglish->assign(blocks.size(), QString());
    std::vector<FileBlock> named;
    std::vector<size_t> appended;  // the block of each append
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (std::optional<files::Outcome> refusal = refusedName(blocks[i].path, &(*inEnglish)[i])) {
            outcomes[i] = *refusal;
        } else {
            named.push_back(blocks[i]);
            appended.push_back(i);
        }
    }
    std::vector<files::Outcome> done = writer.append(named);
    for (size_t k = 0; k < done.size(); ++k) {
        if (!done[k].ok) {
            (*inEnglish)[appended[k]] = done[k].error;  // the file layer's own words
            done[k].error = failureInWords(done[k]);
        }
        outcomes[appended[k]] = done[k];
    }
    return outcomes;
}

// The outcome of every block of a save that found its files busy.
std::vector<files::Outcome> allBusy(size_t blocks, std::vector<QString>* inEnglish) {
    inEnglish->assign(blocks, kBusyInEnglish);
    return std::vector<files::Outcome>(blocks, files::failedWith(kBusy));
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

const QString kBusy = QStringLiteral(
    "保存ファイルはほかで書き込み中です。何も保存していません。しばらくしてからもう一度保存してくだ"
    "さい");
const QString kBusyInEnglish =
    QStringLiteral("the save file is busy (another program is writing to it); nothing was saved");

files::Outcome appendToSaveFile(const QString& path, const QByteArray& bytes, QString* inEnglish) {
    SaveWriter writer(path, false);
    std::vector<QString> english;
    const files::Outcome outcome = writer.lock(kSavePatienceMs)
                                       ? appendAll(writer, {FileBlock{path, bytes}}, &english)[0]
                                       : allBusy(1, &english)[0];
    if (inEnglish && !outcome.ok) *inEnglish = english[0];
    return outcome;
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
    std::vector<QString> inEnglish;
    // Another writer (a mail import's batch, another program's save) is
    // waited for a moment; after that nothing is written.
    result.busy = !writer.lock(kSavePatienceMs, whileWaiting);
    const std::vector<files::Outcome> outcomes =
        result.busy ? allBusy(blocks.size(), &inEnglish) : appendAll(writer, blocks, &inEnglish);
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (outcomes[i].ok)
            ++result.filesWritten;
        else
            result.failures.push_back(Failure{blocks[i].path, outcomes[i].error, inEnglish[i]});
    }
    return result;
}

QString failureMessage(const SaveResult& result) {
    if (result.busy) return kBusy;
    std::vector<files::FailedFile> files;
    for (const Failure& failure : result.failures) files.push_back({failure.path, failure.reason});
    return files::failureList(
        QStringLiteral("次のファイルに保存できませんでした："), files,
        result.filesWritten > 0 ? QStringLiteral("ほかのファイルには保存しました。") : QString());
}

}  // namespace sorimba::saving
