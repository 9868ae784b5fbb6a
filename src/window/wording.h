#pragma once
// What went wrong and what was done, in words: the window says them (Japanese).

#include <QString>

#include "mailimport/mail_import.h"

namespace sorimba {

// Mail

// The summary of a mail import, one fact a line, and where its record is.
QString mailImportSummary(const mailimport::ImportSummary& summary);

}  // namespace sorimba
