#pragma once
// The mail import in Japanese words: the window shows them, and
// sorimba-clip prints the same lines (scripts read them), so they live here
// once, below both, rather than in each one's wording.

#include <QString>
#include <optional>

#include "files/failure.h"
#include "mailimport/mail_import.h"

namespace sorimba::mailwords {

// Why a mailbox (an mbox, a Maildir or a message file) cannot be read:
// "PATH: why".
QString mailboxFailure(const Failure& failure);

// Why a message gives no issue or cannot be read (mail::Message::problem,
// a mailbox's problem, a message's clip text refused): the mail reader's
// words, also what sorimba-clip says of a message file.
QString messageProblem(const Failure& failure);

// Why an import stopped (its record, journal or save files failed), or why
// one of its issues could not be saved: "PATH: why".
QString importFailure(const Failure& failure);

// The words for a system error that the save, convert and import messages
// name in Japanese of their own; nullopt for the others, which quote the
// system. `rewrite`: a file read and rewritten (convert), not appended to.
std::optional<QString> systemReasonInJapanese(int systemError, bool rewrite);

// The summary of a mail import, one fact a line, and where its record is.
QString summary(const mailimport::ImportSummary& summary);

}  // namespace sorimba::mailwords
