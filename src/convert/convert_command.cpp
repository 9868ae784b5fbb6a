#include "convert/convert_command.h"

#include "convert/convert.h"

namespace sorimba::convert {

QString question() {
    return QStringLiteral("まとめて変換しますか？") + QStringLiteral("\r\n") +
           QStringLiteral("「はい」\u3000\u3000フォルダ内全部変換") + QStringLiteral("\r\n") +
           QStringLiteral("「いいえ」\u3000指定したファイルのみ変換");
}

void convertCommand(Prompts& prompts) {
    const std::optional<QString> chosen = prompts.chooseFile(FileChoice::FileToConvert);
    if (!chosen) return;
    switch (prompts.ask(question(), Buttons::YesNoCancel)) {
        case Answer::Yes:
            convertFolder(folderOf(*chosen));
            break;
        case Answer::No:
            convertFile(*chosen);
            break;
        default:
            break;
    }
}

}  // namespace sorimba::convert
