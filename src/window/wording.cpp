#include "window/wording.h"

#include <QStringList>
#include <cerrno>
#include <vector>

#include "convert/convert.h"
#include "files/files.h"
#include "mailwords/mail_words.h"
#include "saving/saving.h"
#include "settings/settings.h"

namespace sorimba {
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

// Why the system refused, by its errno.
QString systemReason(int systemError, bool rewrite) {
    if (auto known = mailwords::systemReasonInJapanese(systemError, rewrite)) return *known;
    return (rewrite ? QStringLiteral("読み書きできませんでした：")
                    : QStringLiteral("書き込めませんでした：")) +
           files::systemMessage(systemError);
}

// What the system said, as the settings message has always quoted it.
QString systemWords(const Failure& failure) {
    switch (failure.kind) {
        case Failure::Kind::NotRegular:
            return QStringLiteral("not a regular file");
        case Failure::Kind::ReadOnly:
            return QStringLiteral("the file is read-only");
        case Failure::Kind::NoName:
            return QStringLiteral("no file name");
        case Failure::Kind::Unconfirmed:
            return QStringLiteral("written, but its folder could not be flushed to the disk: ") +
                   files::systemMessage(failure.systemError);
        default:
            return files::systemMessage(failure.systemError);
    }
}

// One file of a failure list, with its reason in words.
struct FailedFile {
    QString path;
    QString reason;
};

// The heading, then each file as "path（reason）" on a line of its own (at
// most twenty, then how many more), then `othersDone` when some other file
// went well. Lines are joined by CR LF.
QString failureList(const QString& heading, const std::vector<FailedFile>& failed,
                    const QString& othersDone) {
    QString text = heading;
    const std::size_t listed = std::min(failed.size(), kListedFailures);
    for (std::size_t i = 0; i < listed; ++i)
        text += kCrLf + shownPath(failed[i].path) + QStringLiteral("（") + failed[i].reason +
                QStringLiteral("）");
    if (failed.size() > listed)
        text += kCrLf + QStringLiteral("ほか %1 件").arg(failed.size() - listed);
    if (!othersDone.isEmpty()) text += kCrLf + othersDone;
    return text;
}

}  // namespace

const QString kBusyInJapanese = QStringLiteral(
    "保存ファイルはほかで書き込み中です。何も保存していません。しばらくしてからもう一度保存してくだ"
    "さい");

QString inJapanese(const Failure& failure) {
    using Kind = Failure::Kind;
    const bool rewrite = failure.use == Failure::Use::Rewrite;
    switch (failure.kind) {
        case Kind::NotRegular:
            return QStringLiteral("通常のファイルではありません");
        case Kind::ReadOnly:
            return QStringLiteral("読み取り専用です");
        case Kind::NoName:
            return QStringLiteral("ファイル名がありません");
        case Kind::BadName:
            // A name this locale cannot spell, or one holding a NUL.
            return failure.systemError == EILSEQ
                       ? QStringLiteral("名前をこの環境の文字コードで表せません")
                       : QStringLiteral("ファイル名に使えない文字（NUL）が入っています");
        case Kind::NotConfined:
            return QStringLiteral("保存先のフォルダの外のファイルです");
        case Kind::Busy:
            return kBusyInJapanese;
        case Kind::Unconfirmed:
            // The new content is in the file; whether it would survive a
            // power cut is not known.
            return QStringLiteral("ディスクへの書き込みを確かめられませんでした（") +
                   files::systemMessage(failure.systemError) + QStringLiteral("）");
        case Kind::PartialEntry:
            return systemReason(failure.systemError, rewrite) +
                   QStringLiteral(
                       "。ほかのプログラムが書き足したため、新しい行の一部が残っているかもしれませ"
                       "ん");
        default:
            return systemReason(failure.systemError, rewrite);
    }
}

QString saveFailures(const saving::SaveResult& result) {
    if (result.busy) return kBusyInJapanese;
    std::vector<FailedFile> failed;
    for (const Failure& failure : result.failures)
        failed.push_back({failure.path, inJapanese(failure)});
    return failureList(
        QStringLiteral("次のファイルに保存できませんでした："), failed,
        result.filesWritten > 0 ? QStringLiteral("ほかのファイルには保存しました。") : QString());
}

QString convertFailures(const QString& target, const convert::FolderOutcome& outcome) {
    if (outcome.listing) {
        Failure listing = *outcome.listing;
        listing.use = Failure::Use::Rewrite;
        return failureList(
            QStringLiteral("次のフォルダを変換できませんでした："),
            {{target.isEmpty() ? QStringLiteral("./") : target, inJapanese(listing)}}, QString());
    }
    if (outcome.failures.empty()) return {};
    std::vector<FailedFile> failed;
    for (Failure failure : outcome.failures) {
        failure.use = Failure::Use::Rewrite;
        failed.push_back({failure.path, inJapanese(failure)});
    }
    return failureList(
        QStringLiteral("次のファイルを変換できませんでした："), failed,
        outcome.converted > 0 ? QStringLiteral("ほかのファイルは変換しました。") : QString());
}

QString unreadableSettings(const settings::SettingsFiles& files,
                           const settings::Unreadable& unreadable) {
    QString text = QStringLiteral("設定ファイルを読み込めませんでした：");
    if (unreadable.data) text += QStringLiteral("\n") + files.data;
    if (unreadable.data2) text += QStringLiteral("\n") + files.data2;
    return text + QStringLiteral("\nこのファイルの設定は使わず、終了するときも保存しません。");
}

QString settingsFailure(const settings::StoreResult& stored) {
    QString text = stored.failure == settings::StoreResult::Failure::Folder
                       ? QStringLiteral("設定を保存できませんでした。フォルダを作れません：\n")
                       : QStringLiteral("設定を保存できませんでした：\n");
    text += stored.path;
    if (stored.cause) text += QStringLiteral("\n") + systemWords(*stored.cause);
    return text;
}

}  // namespace sorimba
