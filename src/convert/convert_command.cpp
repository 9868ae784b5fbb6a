#include "convert/convert_command.h"

#include <cerrno>

#include "convert/convert.h"

namespace sorimba::convert {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The failure message lists at most this many files by name.
constexpr int kListedFailures = 20;

// Words for the user, in place of what the file layer reports.
QString reasonFor(textfile::Refusal refusal, int systemError, const QString& words) {
    using textfile::Refusal;
    switch (refusal) {
        case Refusal::NotRegular:
            return QStringLiteral("通常のファイルではありません");
        case Refusal::ReadOnly:
            return QStringLiteral("読み取り専用です");
        case Refusal::NoName:
            return QStringLiteral("ファイル名がありません");
        case Refusal::Unconfirmed:
            // Converted, but whether it would survive a power cut is not known.
            return QStringLiteral("ディスクへの書き込みを確かめられませんでした");
        case Refusal::None:
        case Refusal::System:
            break;
    }
    switch (systemError) {
        case ENOENT:
            return QStringLiteral("見つかりません");
        case ENOTDIR:
            return QStringLiteral("フォルダがありません");
        case EISDIR:
            return QStringLiteral("通常のファイルではありません");
        case EACCES:
        case EPERM:
            return QStringLiteral("読み書きが許されていません");
        case EROFS:
            return QStringLiteral("書き込みのできない場所です");
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("ディスクに空きがありません");
        case ENAMETOOLONG:
            return QStringLiteral("名前が長すぎます");
        case EFBIG:
            return QStringLiteral("ファイルが大きすぎます");
        case EILSEQ:
            return QStringLiteral("名前をこの環境の文字コードで表せません");
        default:
            return QStringLiteral("読み書きできませんでした：") + words;
    }
}

// A path as shown in a message: a NUL would cut the text short.
QString shown(const QString& path) {
    QString text = path;
    text.replace(QChar(0), QChar(0x2400));  // ␀
    return text;
}

QString item(const QString& path, const QString& reason) {
    return kCrLf + shown(path) + QStringLiteral("（") + reason + QStringLiteral("）");
}

}  // namespace

QString question() {
    return QStringLiteral("まとめて変換しますか？") + QStringLiteral("\r\n") +
           QStringLiteral("「はい」\u3000\u3000フォルダ内全部変換") + QStringLiteral("\r\n") +
           QStringLiteral("「いいえ」\u3000指定したファイルのみ変換");
}

QString failureMessage(const QString& target, const FolderOutcome& outcome) {
    if (!outcome.listed) {
        return QStringLiteral("次のフォルダを変換できませんでした：") +
               item(target.isEmpty() ? QStringLiteral("./") : target,
                    reasonFor(textfile::Refusal::System, outcome.systemError, outcome.error));
    }
    if (outcome.failures.empty()) return {};
    QString text = QStringLiteral("次のファイルを変換できませんでした：");
    int listed = 0;
    for (const FileFailure& failure : outcome.failures) {
        if (listed == kListedFailures) break;
        text += item(failure.path, reasonFor(failure.refusal, failure.systemError, failure.error));
        ++listed;
    }
    const qsizetype more = static_cast<qsizetype>(outcome.failures.size()) - listed;
    if (more > 0) text += kCrLf + QStringLiteral("ほか %1 件").arg(more);
    if (outcome.converted > 0) text += kCrLf + QStringLiteral("ほかのファイルは変換しました。");
    return text;
}

void convertCommand(Prompts& prompts) {
    const std::optional<QString> chosen = prompts.chooseFile(FileChoice::FileToConvert);
    if (!chosen) return;
    QString target;
    Scope scope = Scope::File;
    switch (prompts.ask(question(), Buttons::YesNoCancel)) {
        case Answer::Yes:
            target = textfile::folderOf(*chosen);
            scope = Scope::Folder;
            break;
        case Answer::No:
            target = *chosen;
            break;
        default:
            return;
    }
    // A conversion that went well is silent; each file that could not be
    // converted is named, so no failure passes unnoticed.
    const QString failed = failureMessage(target, convertChosen(target, scope));
    if (!failed.isEmpty()) prompts.ask(failed, Buttons::Ok);
}

}  // namespace sorimba::convert
