// sorimba-clip import [options] --save-path PATH SOURCE...
// Imports every issue in mailboxes (mbox files, Maildir folders, message
// files) into the save file, as the window's save command appends it,
// oldest first, each issue once. Progress on standard error when it is a
// terminal; the summary on standard output.

#include <signal.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <atomic>
#include <cstdio>

#include "cli/subcommand.h"
#include "cli/wording.h"
#include "mail/mailbox.h"
#include "mail/structure.h"
#include "mailimport/mail_import.h"
#include "mailwords/mail_words.h"
#include "saving/writer.h"

namespace sorimba::cli {
namespace {

const QString kSavePath = QStringLiteral("save-path");

// Ctrl+C ends the import after the issues being written, with its summary.
std::atomic<bool> interrupted{false};

void onInterrupt(int) {
    interrupted.store(true);
}

void declare(QCommandLineParser& parser) {
    declareOptionFlags(parser);
    parser.addOption(QCommandLineOption(
        kSavePath,
        QStringLiteral("The save file (needed); with --with-titles, the title files go into its "
                       "folder."),
        QStringLiteral("PATH")));
    parser.addPositionalArgument(
        QStringLiteral("SOURCE"),
        QStringLiteral("An mbox file, a Maildir folder (cur/ and new/) or a message file; "
                       "one or more."),
        QStringLiteral("SOURCE..."));
}

// One line of progress, written over the last one.
class ProgressLine {
public:
    explicit ProgressLine(bool shown) : shown_(shown) { clock_.start(); }
    ~ProgressLine() {
        if (written_) std::fputs("\r\x1b[K", stderr);
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(const mailimport::ImportProgress& progress) {
        if (!shown_ || clock_.elapsed() < 100) return;
        clock_.restart();
        QString line;
        if (progress.stage == mailimport::ImportProgress::Stage::Reading) {
            const qint64 percent = progress.total > 0 ? progress.done * 100 / progress.total : 100;
            line = QStringLiteral("メールを読んでいます　%1%").arg(percent);
        } else {
            line = QStringLiteral("取り込み中　%1 / %2 通（取り込み %3 件）")
                       .arg(progress.done)
                       .arg(progress.total)
                       .arg(progress.imported);
        }
        print(stderr, QStringLiteral("\r\x1b[K") + line);
        std::fflush(stderr);
        written_ = true;
    }

private:
    bool shown_;
    bool written_ = false;
    QElapsedTimer clock_;
};

int run(const Invocation& call) {
    const QCommandLineParser& parser = call.parser();
    const QString savePathArgument = parser.value(kSavePath);
    if (savePathArgument.isEmpty()) return call.usageError(QStringLiteral("--save-path is needed"));
    if (call.arguments().isEmpty()) return call.usageError(QStringLiteral("no SOURCE given"));
    const std::optional<QString> savePath = call.fileName(savePathArgument);
    if (!savePath) {
        call.report(savePathArgument + QStringLiteral(": the name is not valid in this locale"));
        return 2;
    }
    QStringList sources;
    for (const QString& argument : call.arguments()) {
        const std::optional<QString> source = call.fileName(argument);
        if (!source) {
            call.report(argument + QStringLiteral(": the name is not valid in this locale"));
            return 2;
        }
        sources << *source;
    }

    mail::Mailboxes mailboxes;
    if (const Fault failure = mailboxes.open(sources)) {
        call.report(mailwords::mailboxFailure(*failure));
        return 2;
    }
    mailimport::ImportSettings settings;
    // Absolute, its folder canonical: a rerun from any folder, with any
    // spelling of the save file, finishes what this one leaves.
    settings.savePath = saving::absoluteSavePath(*savePath);
    settings.extraction = optionFlags(parser);

    struct sigaction action {};
    action.sa_handler = onInterrupt;
    struct sigaction before {};
    ::sigaction(SIGINT, &action, &before);
    mailimport::ImportSummary summary;
    {
        ProgressLine line(::isatty(STDERR_FILENO) == 1);
        summary = mailimport::importMail(mailboxes, settings,
                                         [&line](const mailimport::ImportProgress& p) {
                                             line.show(p);
                                             return !interrupted.load();
                                         });
    }
    ::sigaction(SIGINT, &before, nullptr);

    print(stdout, mailwords::summary(summary) + QLatin1Char('\n'));
    std::fflush(stdout);
    return summary.anyFailure() || summary.cancelled ? 1 : 0;
}

}  // namespace

Subcommand importCommand() {
    return {
        QStringLiteral("import"),
        QStringLiteral("[options] --save-path PATH SOURCE..."),
        QStringLiteral(
            "Imports the issues in mailboxes into the save file.\n"
            "The messages of all SOURCEs are taken oldest first by their Date (SOURCE and\n"
            "mailbox order break ties; messages without a valid Date come last). Each one\n"
            "that holds the column is extracted with the option flags and appended as the\n"
            "window's save button appends it: to the save file, or with --with-titles to one\n"
            "file per title in the save file's folder. Messages without the column are\n"
            "counted and skipped. Progress goes to standard error when it is a terminal; the\n"
            "summary (imported, already imported, not an issue, failed, with reasons) to\n"
            "standard output.\n\n"
            "Each issue is imported once. The record of what was imported stands beside the\n"
            "save file: .NAME.sorimba-imported, or .NAME.sorimba-imported-titles with\n"
            "--with-titles (NAME is the save file's name). It holds the Message-ID of each\n"
            "issue imported, or a hash of its text when it has none; importing the same\n"
            "mailbox again, or another that holds a copy, appends nothing. Issues saved\n"
            "earlier by hand (from the window) are not in the record and are not recognised.\n"
            "An import that was interrupted (Ctrl+C, a crash, a full disk) is finished by the\n"
            "next one, each issue still once.\n\n"
            "A message larger than %1 MiB, or with more than %2 MiB of header, %3 header\n"
            "fields or %4 MIME parts, or nested more than %5 levels deep, fails with the\n"
            "limit it breaks, and the import goes on with the next message.")
            .arg(mail::kMaxMessageBytes >> 20)
            .arg(mail::kMaxHeaderBytes >> 20)
            .arg(mail::kMaxHeaderFields)
            .arg(mail::kMaxParts)
            .arg(mail::kMaxNesting),
        QStringLiteral("  0  every message was read; its issue imported, or it was none\n"
                       "  1  a message, a mailbox or a save file failed (the summary says which),\n"
                       "     or the import was interrupted\n"
                       "  2  usage error, or a SOURCE that cannot be read as a mailbox\n"),
        declare,
        run};
}

}  // namespace sorimba::cli
