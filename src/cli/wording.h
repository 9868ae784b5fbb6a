#pragma once
// What went wrong and what was done, in words: sorimba-clip says them.
// The mail import summary is in Japanese, as sorimba-clip has always
// printed it (scripts may read it).

#include <QString>

#include "files/failure.h"
#include "mailimport/mail_import.h"

namespace sorimba::cli {

// Mail

// Why a mailbox (an mbox, a Maildir or a message file) cannot be read:
// "PATH: why".
QString mailboxFailure(const Failure& failure);

// The summary of a mail import, one fact a line, and where its record is.
QString mailImportSummary(const mailimport::ImportSummary& summary);

}  // namespace sorimba::cli
