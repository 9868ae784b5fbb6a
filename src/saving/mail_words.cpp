#include "saving/mail_words.h"

#include <cerrno>

#include "files/files.h"

namespace sorimba::saving {

const QString kBusy = QStringLiteral(
    "保存ファイルはほかで書き込み中です。何も保存していません。しばらくしてからもう一度保存してくだ"
    "さい");

QString inWordsForMail(const Failure& failure) {
    using Kind = Failure::Kind;
    const QString system = files::systemMessage(failure.systemError);
    switch (failure.kind) {
        case Kind::NoName:
            return QStringLiteral("no file name");
        case Kind::NotRegular:
            return QStringLiteral("not a regular file");
        case Kind::ReadOnly:
            return QStringLiteral("the file is read-only");
        case Kind::NotConfined:
            return QStringLiteral("not the save file nor a title file beside it");
        case Kind::Unconfirmed:
            return QStringLiteral("written, but its folder could not be flushed to the disk: ") +
                   system;
        case Kind::PartialEntry:
            return system + QStringLiteral(
                                " (another program wrote to the file meanwhile: it may hold a "
                                "part of the new lines)");
        default:
            return system;
    }
}

QString failureInWords(const Fault& outcome) {
    if (!outcome) return {};
    using Kind = Failure::Kind;
    switch (outcome->kind) {
        case Kind::NotConfined:
            return QStringLiteral("保存先のフォルダの外のファイルです");
        case Kind::NotRegular:
            return QStringLiteral("通常のファイルではありません");
        case Kind::ReadOnly:
            return QStringLiteral("読み取り専用です");
        case Kind::NoName:
            return QStringLiteral("ファイル名がありません");
        case Kind::Unconfirmed:
            return QStringLiteral("ディスクへの書き込みを確かめられませんでした（") +
                   files::systemMessage(outcome->systemError) + QStringLiteral("）");
        default:
            break;
    }
    QString words;
    switch (outcome->systemError) {
        case EISDIR:
            words = QStringLiteral("通常のファイルではありません");
            break;
        case ENOENT:
        case ENOTDIR:
            words = QStringLiteral("フォルダがありません");
            break;
        case ENAMETOOLONG:
            words = QStringLiteral("名前が長すぎます");
            break;
        case EACCES:
        case EPERM:
            words = QStringLiteral("書き込みが許されていません");
            break;
        case EROFS:
            words = QStringLiteral("書き込みのできない場所です");
            break;
        case ENOSPC:
        case EDQUOT:
            words = QStringLiteral("ディスクに空きがありません");
            break;
        case EFBIG:
            words = QStringLiteral("ファイルが大きすぎます");
            break;
        case EILSEQ:
            words = QStringLiteral("名前をこの環境の文字コードで表せません");
            break;
        default:
            words = QStringLiteral("書き込めませんでした：") + inWordsForMail(*outcome);
    }
    if (outcome->kind == Kind::PartialEntry)
        words += QStringLiteral(
            "。ほかのプログラムが書き足したため、新しい行の一部が残っているかもしれません");
    return words;
}

}  // namespace sorimba::saving
