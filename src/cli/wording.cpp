#include "cli/wording.h"

#include <QStringList>
#include <cerrno>

#include "files/files.h"

namespace sorimba {

QString inEnglish(const Failure& failure) {
    using Kind = Failure::Kind;
    const QString system = files::systemMessage(failure.systemError);
    switch (failure.kind) {
        case Kind::NoName:
            return QStringLiteral("no file name");
        case Kind::BadName:
            return failure.systemError == EILSEQ
                       ? QStringLiteral("the file name is not valid in this locale")
                       : QStringLiteral("the file name holds a NUL character");
        case Kind::NotRegular:
            return QStringLiteral("not a regular file");
        case Kind::ReadOnly:
            return QStringLiteral("the file is read-only");
        case Kind::NotConfined:
            return QStringLiteral("not the save file nor a title file beside it");
        case Kind::Busy:
            return QStringLiteral(
                "the save file is busy (another program is writing to it); nothing was saved");
        case Kind::Unconfirmed:
            return QStringLiteral("written, but its folder could not be flushed to the disk: ") +
                   system;
        case Kind::TooLarge: {
            constexpr qint64 kMiB = qint64{1} << 20;
            if (failure.limit % kMiB == 0)
                return QStringLiteral("larger than %1 MiB").arg(failure.limit / kMiB);
            return QStringLiteral("larger than %1 bytes").arg(failure.limit);
        }
        case Kind::NotMessage:
            return failure.detail;  // the mail reader's own words
        case Kind::PartialEntry:
            return system + QStringLiteral(
                                " (another program wrote to the file meanwhile: it may hold a "
                                "part of the new lines)");
        default:
            return system;
    }
}

}  // namespace sorimba

namespace sorimba::cli {

// Mail

QString mailboxFailure(const Failure& failure) {
    QString why;
    switch (failure.kind) {
        case Failure::Kind::NoName:
            why = QStringLiteral("名前がありません");
            break;
        case Failure::Kind::NotRegular:
            why = QStringLiteral("通常のファイルでもフォルダでもありません");
            break;
        case Failure::Kind::NotMessage:
            why = QStringLiteral("mbox でもメールのファイルでもありません");
            break;
        case Failure::Kind::NotFound:
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

QString mailImportSummary(const mailimport::ImportSummary& summary) {
    QStringList lines;
    if (!summary.stopped.isEmpty())
        lines << QStringLiteral("取り込みを途中で止めました：") + summary.stopped;
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
    for (const auto& [why, count] : summary.notIssueReasons)
        lines << QStringLiteral("  号ではない：%1（%2 通）").arg(why).arg(count);
    for (const auto& [where, why] : summary.failures)
        lines << QStringLiteral("  失敗：%1：%2").arg(where, why);
    if (summary.unlistedFailures > 0)
        lines << QStringLiteral("  ほか %1 通の失敗").arg(summary.unlistedFailures);
    if (!summary.recordPath.isEmpty())
        lines << QStringLiteral("取り込みの記録：") + summary.recordPath;
    return lines.join(QLatin1Char('\n'));
}

}  // namespace sorimba::cli
