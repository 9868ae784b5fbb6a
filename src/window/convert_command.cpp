#include "window/convert_command.h"

#include "convert/convert.h"
#include "files/files.h"
#include "window/wording.h"

namespace sorimba::convert {
QString question() {
    return QStringLiteral("まとめて変換しますか？") + QStringLiteral("\r\n") +
           QStringLiteral("「はい」\u3000\u3000フォルダ内全部変換") + QStringLiteral("\r\n") +
           QStringLiteral("「いいえ」\u3000指定したファイルのみ変換");
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
    const QString failed = convertFailures(target, convertChosen(target, scope));
    if (!failed.isEmpty()) prompts.ask(failed, Buttons::Ok);
}

}  // namespace sorimba::convert
