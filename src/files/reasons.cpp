#include "files/reasons.h"

#include <cerrno>

namespace sorimba::files {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The list names at most this many files.
constexpr std::size_t kListedFailures = 20;

// A path as shown in a message: a NUL would cut the text short.
QString shownPath(const QString& path) {
    QString shown = path;
    shown.replace(QChar(0), QChar(0x2400));  // ␀
    return shown;
}

}  // namespace

QString reasonInWords(Refusal refusal, int systemError, const QString& systemWords, FileUse use) {
    const bool rewrite = use == FileUse::Rewrite;
    switch (refusal) {
        case Refusal::NotRegular:
            return QStringLiteral("通常のファイルではありません");
        case Refusal::ReadOnly:
            return QStringLiteral("読み取り専用です");
        case Refusal::NoName:
            return QStringLiteral("ファイル名がありません");
        case Refusal::Unconfirmed:
            // The new content is in the file; whether it would survive a
            // power cut is not known.
            return QStringLiteral("ディスクへの書き込みを確かめられませんでした（") +
                   systemFailure(systemError).error + QStringLiteral("）");
        case Refusal::None:
        case Refusal::System:
            break;
    }
    switch (systemError) {
        case EISDIR:
            return QStringLiteral("通常のファイルではありません");
        case ENOENT:
            return rewrite ? QStringLiteral("見つかりません")
                           : QStringLiteral("フォルダがありません");
        case ENOTDIR:
            return QStringLiteral("フォルダがありません");
        case ENAMETOOLONG:
            return QStringLiteral("名前が長すぎます");
        case EACCES:
        case EPERM:
            return rewrite ? QStringLiteral("読み書きが許されていません")
                           : QStringLiteral("書き込みが許されていません");
        case EROFS:
            return QStringLiteral("書き込みのできない場所です");
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("ディスクに空きがありません");
        case EFBIG:
            return QStringLiteral("ファイルが大きすぎます");
        case EILSEQ:
            return QStringLiteral("名前をこの環境の文字コードで表せません");
        default:
            return (rewrite ? QStringLiteral("読み書きできませんでした：")
                            : QStringLiteral("書き込めませんでした：")) +
                   systemWords;
    }
}

QString failureList(const QString& heading, const std::vector<FailedFile>& files,
                    const QString& othersDone) {
    QString text = heading;
    const std::size_t listed = std::min(files.size(), kListedFailures);
    for (std::size_t i = 0; i < listed; ++i)
        text += kCrLf + shownPath(files[i].path) + QStringLiteral("（") + files[i].reason +
                QStringLiteral("）");
    if (files.size() > listed)
        text += kCrLf + QStringLiteral("ほか %1 件").arg(files.size() - listed);
    if (!othersDone.isEmpty()) text += kCrLf + othersDone;
    return text;
}

}  // namespace sorimba::files
