#include "saving/saving.h"

#include <QHash>
#include <cerrno>
#include <cstring>

namespace sorimba::saving {
namespace {

const QString kCrLf = QStringLiteral("\r\n");
constexpr QChar kTitleMark = QChar(0x25CF);  // ●
constexpr QChar kWideSpace = QChar(0x3000);  // full-width space
// Removed from a title name, then the double quotation mark.
const QString kRemovedFromNames = QStringLiteral("\\/:,;*?<>|");

// The failure message lists at most this many files by name.
constexpr int kListedFailures = 20;

// Words for the user, in place of what the file layer reports.
QString reasonFor(const textfile::Outcome& outcome) {
    using textfile::Refusal;
    switch (outcome.refusal) {
        case Refusal::NotRegular:
            return QStringLiteral("通常のファイルではありません");
        case Refusal::ReadOnly:
            return QStringLiteral("読み取り専用です");
        case Refusal::NoName:
            return QStringLiteral("ファイル名がありません");
        case Refusal::None:
        case Refusal::System:
            break;
    }
    switch (outcome.systemError) {
        case EISDIR:
            return QStringLiteral("通常のファイルではありません");
        case ENOENT:
        case ENOTDIR:
            return QStringLiteral("フォルダがありません");
        case ENAMETOOLONG:
            return QStringLiteral("名前が長すぎます");
        case EACCES:
        case EPERM:
            return QStringLiteral("書き込みが許されていません");
        case EROFS:
            return QStringLiteral("書き込みのできない場所です");
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("ディスクに空きがありません");
        case EFBIG:
            return QStringLiteral("ファイルが大きすぎます");
        default:
            return QStringLiteral("書き込めませんでした：") + outcome.error;
    }
}

// A path as shown in a message: a NUL would cut the text short.
QString shownPath(const QString& path) {
    QString shown = path;
    shown.replace(QChar(0), QChar(0x2400));  // ␀
    return shown;
}

// Appends each block to its file, in order, then waits once until all of
// it is on the disk: one flush for the whole save instead of one per file.
// `inEnglish` receives each failure's reason in English words.
std::vector<textfile::Outcome> appendAll(const std::vector<FileBlock>& blocks,
                                         std::vector<QString>* inEnglish) {
    std::vector<textfile::Outcome> outcomes;
    outcomes.reserve(blocks.size());
    inEnglish->assign(blocks.size(), QString());
    const FileBlock* written = nullptr;
    for (size_t i = 0; i < blocks.size(); ++i) {
        outcomes.push_back(appendToSaveFile(blocks[i].path, blocks[i].bytes, &(*inEnglish)[i]));
        if (outcomes.back().ok) written = &blocks[i];
    }
    if (written == nullptr) return outcomes;
    textfile::Outcome flushed = textfile::syncFileSystemOf(written->path);
    if (!flushed.ok) {
        // Whether the new lines reached the disk is unknown: say so.
        const QString words = flushed.error;
        flushed.error = QStringLiteral("ディスクへの書き込みを確かめられませんでした（") +
                        flushed.error + QStringLiteral("）");
        flushed.systemError = 0;
        for (size_t i = 0; i < outcomes.size(); ++i) {
            if (!outcomes[i].ok) continue;
            outcomes[i] = flushed;
            (*inEnglish)[i] = QStringLiteral("cannot make sure the lines reached the disk (") +
                              words + QStringLiteral(")");
        }
    }
    return outcomes;
}

}  // namespace

QString folderPart(const QString& path) {
    qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString titleName(const QString& line, const QString& previous) {
    QString name;
    qsizetype space = line.indexOf(kWideSpace);
    if (space == 0) return previous;  // no name of its own
    name = space < 0 ? line.mid(1) : line.mid(1, space - 1);
    name.removeIf([](QChar c) { return kRemovedFromNames.contains(c) || c == QLatin1Char('"'); });
    return name;
}

textfile::Outcome appendToSaveFile(const QString& path, const QByteArray& bytes,
                                   QString* inEnglish) {
    const auto refused = [inEnglish](const QString& why, const QString& english) {
        if (inEnglish) *inEnglish = english;
        return textfile::Outcome{false, why};
    };
    if (path.isEmpty())
        return refused(QStringLiteral("ファイル名がありません"), QStringLiteral("no file name"));
    // The system would end the name at a NUL and write to another file.
    if (path.contains(QChar(0)))
        return refused(QStringLiteral("ファイル名に使えない文字（NUL）が入っています"),
                       QStringLiteral("the file name holds a NUL character"));
    textfile::Outcome outcome = textfile::appendToFile(path, bytes);
    if (!outcome.ok) {
        if (inEnglish) *inEnglish = outcome.error;  // the file layer's own words
        outcome.error = reasonFor(outcome);
    }
    return outcome;
}

std::vector<FileBlock> plainBlocks(const std::vector<QString>& lines, const QString& savePath) {
    QString text;
    for (const QString& line : lines) text += line + kCrLf;
    return {FileBlock{savePath, textfile::toCp932(text)}};
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
    const QString folder = folderPart(savePath);
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
        blocks.push_back(FileBlock{paths[k], textfile::toCp932(texts[k])});
    return blocks;
}

SaveResult saveLines(const std::vector<QString>& lines, bool withTitles, const QString& savePath) {
    SaveResult result;
    const std::vector<FileBlock> blocks =
        withTitles ? titleBlocks(lines, savePath) : plainBlocks(lines, savePath);
    std::vector<QString> inEnglish;
    const std::vector<textfile::Outcome> outcomes = appendAll(blocks, &inEnglish);
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (outcomes[i].ok)
            ++result.filesWritten;
        else
            result.failures.push_back(Failure{blocks[i].path, outcomes[i].error, inEnglish[i]});
    }
    return result;
}

QString failureMessage(const SaveResult& result) {
    QString text = QStringLiteral("次のファイルに保存できませんでした：");
    int listed = 0;
    for (const Failure& failure : result.failures) {
        if (listed == kListedFailures) break;
        text += kCrLf + shownPath(failure.path) + QStringLiteral("（") + failure.reason +
                QStringLiteral("）");
        ++listed;
    }
    const qsizetype more = static_cast<qsizetype>(result.failures.size()) - listed;
    if (more > 0) text += kCrLf + QStringLiteral("ほか %1 件").arg(more);
    if (result.filesWritten > 0) text += kCrLf + QStringLiteral("ほかのファイルには保存しました。");
    return text;
}

}  // namespace sorimba::saving
