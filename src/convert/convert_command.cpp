#include "convert/convert_command.h"

#include "convert/convert.h"
#include "files/reasons.h"

namespace sorimba::convert {
namespace {

QString reasonFor(files::Refusal refusal, int systemError, const QString& words) {
    return files::reasonInWords(refusal, systemError, words, files::FileUse::Rewrite);
}

}  // namespace

QString question() {
    return QStringLiteral("まとめて変換しますか？") + QStringLiteral("\r\n") +
           QStringLiteral("「はい」\u3000\u3000フォルダ内全部変換") + QStringLiteral("\r\n") +
           QStringLiteral("「いいえ」\u3000指定したファイルのみ変換");
}

QString failureMessage(const QString& target, const FolderOutcome& outcome) {
    if (!outcome.listed) {
        return files::failureList(
            QStringLiteral("次のフォルダを変換できませんでした："),
            {{target.isEmpty() ? QStringLiteral("./") : target,
              reasonFor(files::Refusal::System, outcome.systemError, outcome.error)}},
            QString());
    }
    if (outcome.failures.empty()) return {};
    std::vector<files::FailedFile> files;
    for (const FileFailure& failure : outcome.failures)
        files.push_back(
            {failure.path, reasonFor(failure.refusal, failure.systemError, failure.error)});
    return files::failureList(
        QStringLiteral("次のファイルを変換できませんでした："), files,
        outcome.converted > 0 ? QStringLiteral("ほかのファイルは変換しました。") : QString());
}

void convertCommand(Prompts& prompts) {
    const std::optional<QString> chosen = prompts.chooseFile(FileChoice::FileToConvert);
    if (!chosen) return;
    QString target;
    Scope scope = Scope::File;
    switch (prompts.ask(question(), Buttons::YesNoCancel)) {
        case Answer::Yes:
            target = files::folderOf(*chosen);
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
