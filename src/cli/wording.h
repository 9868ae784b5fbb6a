#pragma once
// sorimba-clip's words: every failure the core reports, in English. The
// only place where sorimba-clip puts a failure into words.

#include <QString>

#include "files/failure.h"
#include "mailimport/mail_import.h"

namespace sorimba {

// Why it failed, in English words (without the path).
QString inEnglish(const Failure& failure);

}  // namespace sorimba

namespace sorimba::cli {

// Mail

// Why a mailbox (an mbox, a Maildir or a message file) cannot be read:
// "PATH: why".
QString mailboxFailure(const Failure& failure);

// The summary of a mail import, one fact a line, and where its record is.
QString mailImportSummary(const mailimport::ImportSummary& summary);

}  // namespace sorimba::cli
