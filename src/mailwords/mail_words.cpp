#include "mailwords/mail_words.h"

#include <QStringList>
#include <cerrno>
#include <map>

#include "files/files.h"

namespace sorimba::mailwords {
namespace {

using Kind = Failure::Kind;
using Use = Failure::Use;

const QString kBusy = QStringLiteral(
    "保存ファイルはほかで書き込み中です。何も保存していません。しばらくしてからもう一度保存してくだ"
    "さい");

// The file layer's short words, as the import's messages have always quoted them.
QString fileWords(const Failure& failure) {
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

QString systemWords(const Failure& failure) {
    if (auto known = systemReasonInJapanese(failure.systemError, false)) return *known;
    return QStringLiteral("書き込めませんでした：") + fileWords(failure);
}

// Why a file of an issue could not even be made ready, as a save says it.
QString refusedWords(const Failure& failure) {
    switch (failure.kind) {
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
                   files::systemMessage(failure.systemError) + QStringLiteral("）");
        default:
            break;
    }
    QString words = systemWords(failure);
    if (failure.kind == Kind::PartialEntry)
        words += QStringLiteral(
            "。ほかのプログラムが書き足したため、新しい行の一部が残っているかもしれません");
    return words;
}

QString recordWords(const Failure& failure) {
    const QString system = files::systemMessage(failure.systemError);
    switch (failure.kind) {
        case Kind::Suspicious:
            if (failure.systemError == ELOOP)
                return QStringLiteral(
                    "取り込みの記録の名前にシンボリックリンクが置かれているので、"
                    "使いません（確かめてから消してください）");
            return QStringLiteral("取り込みの記録ではないか、形式が違います");
        case Kind::NotRegular:
            return QStringLiteral("取り込みの記録が通常のファイルではありません");
        case Kind::Busy:
            return QStringLiteral("同じ保存ファイルへの取り込みがほかで実行中です");
        default:
            break;
    }
    switch (failure.use) {
        case Use::RecordOpen:
            return QStringLiteral("取り込みの記録を開けません（%1）").arg(system);
        case Use::RecordRead:
            return QStringLiteral("取り込みの記録を読めません");
        case Use::RecordRepair:
            return QStringLiteral("取り込みの記録を直せません（%1）").arg(system);
        default:
            return QStringLiteral("取り込みの記録を書けません（%1）").arg(system);
    }
}

QString journalRefused(const Failure& failure) {
    QString why;
    if (failure.kind == Kind::NotRegular)
        why = QStringLiteral("シンボリックリンクか通常のファイルではないか、読めません");
    else if (failure.kind == Kind::NotConfined)
        why = QStringLiteral(
            "保存ファイルとそのフォルダの「●タイトル」別のファイル以外を指しています");
    else
        why = QStringLiteral("読めません");
    return QStringLiteral(
               "前回中断された取り込みの記録を使いません（%1）。確かめてから消してください")
        .arg(why);
}

QString batchWords(const Failure& failure) {
    QString words = fileWords(failure);
    if (failure.detail.isEmpty()) return words;
    for (const QString& partial : failure.detail.split(QLatin1Char('\n')))
        words +=
            QStringLiteral("\n") + partial +
            QStringLiteral(
                ": ほかのプログラムが書き足したため、取り込みの一部が残っているかもしれません");
    return words;
}

// One failure of the summary's list: a message's or a mailbox's (no path:
// the list names where it is) or a file's.
QString listedWords(const Failure& failure) {
    if (!failure.path.isEmpty() || failure.use != Use::Append) return importFailure(failure);
    return messageProblem(failure);
}

// A structure limit a message broke (mail/structure.h), or one of its own.
QString overLimit(const Failure& failure) {
    const QString& which = failure.detail;
    const qint64 limit = failure.limit;
    if (which == u"message-bytes")
        return QStringLiteral("メールが大きすぎます（1 通 %1 MiB まで）").arg(limit >> 20);
    if (which == u"header-bytes")
        return QStringLiteral("ヘッダーが大きすぎます（合わせて %1 MiB まで）").arg(limit >> 20);
    if (which == u"field-bytes")
        return QStringLiteral("ヘッダーの項目が長すぎます（1 項目 %1 KiB まで）").arg(limit >> 10);
    if (which == u"header-fields")
        return QStringLiteral("ヘッダーの項目が多すぎます（%1 個まで）").arg(limit);
    if (which == u"encoded-words")
        return QStringLiteral("ヘッダーのエンコードされた語が多すぎます（%1 個まで）").arg(limit);
    if (which == u"parts")
        return QStringLiteral("MIME のパートが多すぎます（%1 個まで）").arg(limit);
    if (which == u"text-part")
        return QStringLiteral("本文が大きすぎるか読めません（%1 MiB まで）").arg(limit >> 20);
    if (which == u"column") return QStringLiteral("コラムが大きすぎます");
    // Nesting: counted here (with its limit) or by the MIME parser (without).
    if (limit == 0) return QStringLiteral("MIME の入れ子が深すぎます");
    return QStringLiteral("MIME の入れ子が深すぎます（%1 段まで）").arg(limit);
}

QString notIssue(const Failure& failure) {
    if (failure.detail == u"html-only") return QStringLiteral("HTML だけのメールです");
    if (failure.detail == u"no-marker") return QStringLiteral("「■ぴこぴこＺＯＫ」がありません");
    if (failure.detail == u"empty-column")
        return QStringLiteral("コラムに取り込むものがありません");
    return QStringLiteral("本文のテキストがありません");
}

}  // namespace

QString mailboxFailure(const Failure& failure) {
    QString why;
    switch (failure.kind) {
        case Kind::NoName:
            why = QStringLiteral("名前がありません");
            break;
        case Kind::NotRegular:
            why = QStringLiteral("通常のファイルでもフォルダでもありません");
            break;
        case Kind::NotMessage:
            why = QStringLiteral("mbox でもメールのファイルでもありません");
            break;
        case Kind::NotFound:
            why = QStringLiteral("Maildir ではありません（cur/ も new/ もありません）");
            break;
        default:
            // A subfolder of a Maildir that cannot be listed is named.
            why = failure.detail.isEmpty() ? files::systemMessage(failure.systemError)
                                           : failure.detail + QStringLiteral(" が読めません");
            break;
    }
    return failure.path + QStringLiteral(": ") + why;
}

QString messageProblem(const Failure& failure) {
    switch (failure.kind) {
        case Kind::NotIssue:
            return notIssue(failure);
        case Kind::OverLimit:
            return overLimit(failure);
        case Kind::NotText: {
            if (failure.detail == u"base64") return QStringLiteral("base64 の本文が壊れています");
            const qsizetype lineEnd = failure.detail.indexOf(QLatin1Char('\n'));
            return QStringLiteral("投稿欄に文字コード %1 として正しくないバイトがあります：%2")
                .arg(failure.detail.left(lineEnd), failure.detail.mid(lineEnd + 1));
        }
        case Kind::NotMessage:
            if (failure.detail == u"cut-short") return QStringLiteral("メールが途中で切れています");
            if (failure.detail == u"mbox-cut-short")
                return QStringLiteral("mbox の最後のメールが途中で切れています");
            return QStringLiteral("メールとして読めません");
        case Kind::Changed:
            return failure.detail.isEmpty()
                       ? QStringLiteral("読んでいる間に変更されました")
                       : QStringLiteral("メールボックスが読んでいる間に変更されました");
        case Kind::NotRegular:
            return QStringLiteral("通常のファイルではありません");
        default:
            return files::systemMessage(failure.systemError);
    }
}

QString importFailure(const Failure& failure) {
    const QString at = failure.path + QStringLiteral(": ");
    switch (failure.use) {
        case Use::RecordOpen:
        case Use::RecordRead:
        case Use::RecordWrite:
        case Use::RecordRepair:
            if (failure.kind == Kind::NoName)
                return QStringLiteral("保存ファイルが決まっていません");
            return at + recordWords(failure);
        case Use::JournalRead:
            return at + journalRefused(failure);
        case Use::JournalWrite:
            return at + QStringLiteral("書き込めません（%1）").arg(fileWords(failure));
        case Use::Batch:
            return at + batchWords(failure);
        case Use::Finish:
            return at + QStringLiteral("前回中断された取り込みを仕上げられません（") +
                   fileWords(failure) + QStringLiteral("）");
        case Use::FinishFolder:
            return at + QStringLiteral("フォルダを書き込めません");
        case Use::Append:
        case Use::Rewrite:
            break;
    }
    if (failure.kind == Kind::Busy) return at + kBusy;
    return failure.path + QStringLiteral("（") + refusedWords(failure) + QStringLiteral("）");
}

QString summary(const mailimport::ImportSummary& summary) {
    QStringList lines;
    if (summary.stopped)
        lines << QStringLiteral("取り込みを途中で止めました：") + importFailure(*summary.stopped);
    else if (summary.cancelled)
        lines << QStringLiteral("取り込みを中止しました。");
    if (summary.finishedFromBefore > 0)
        lines << QStringLiteral("前回中断された取り込みの %1 件を仕上げました。")
                     .arg(summary.finishedFromBefore);
    lines << QStringLiteral(
                 "メール %1 通：取り込み %2 件、取り込み済み %3 件、号ではない %4 通、失敗 %5 通")
                 .arg(summary.messages)
                 .arg(summary.imported)
                 .arg(summary.alreadyImported)
                 .arg(summary.notIssues)
                 .arg(summary.failed);
    if (summary.notReached > 0) lines << QStringLiteral("未処理 %1 通").arg(summary.notReached);
    // In the order of their words, as they have always been listed.
    std::map<QString, int> notIssues;
    for (const auto& [why, count] : summary.notIssueReasons) notIssues[notIssue(why)] += count;
    for (const auto& [why, count] : notIssues)
        lines << QStringLiteral("  号ではない：%1（%2 通）").arg(why).arg(count);
    for (const auto& [where, why] : summary.failures)
        lines << QStringLiteral("  失敗：%1：%2").arg(where, listedWords(why));
    if (summary.unlistedFailures > 0)
        lines << QStringLiteral("  ほか %1 通の失敗").arg(summary.unlistedFailures);
    if (!summary.recordPath.isEmpty())
        lines << QStringLiteral("取り込みの記録：") + summary.recordPath;
    return lines.join(QLatin1Char('\n'));
}

std::optional<QString> systemReasonInJapanese(int systemError, bool rewrite) {
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
            return std::nullopt;
    }
}

}  // namespace sorimba::mailwords
