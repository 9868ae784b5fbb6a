#include "cli/wording.h"

#include <QStringList>
#include <cerrno>

#include "files/files.h"
#include "mailwords/mail_words.h"

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
        case Kind::OverLimit:
        case Kind::NotText:
        case Kind::NotIssue:
        case Kind::Changed:
            // A message file: the mail reader's words, as sorimba-clip has
            // always printed them.
            return mailwords::messageProblem(failure);
        case Kind::PartialEntry:
            return system + QStringLiteral(
                                " (another program wrote to the file meanwhile: it may hold a "
                                "part of the new lines)");
        default:
            return system;
    }
}

}  // namespace sorimba
