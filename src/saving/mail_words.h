#pragma once
// Transitional: the words of the mail import's journal and record, which
// still report in text. Goes when the mail import reports values and the
// window words them (window/wording.*, cli/wording.*).

#include <QString>

#include "files/failure.h"

namespace sorimba::saving {

// The file layer's short English words for a failure, as the journal's
// messages have always quoted them.
QString inWordsForMail(const Failure& failure);

// Why a file of a mail import's batch could not be written, in Japanese.
QString failureInWords(const Fault& outcome);

// What a batch says when another writer holds its files.
extern const QString kBusy;

}  // namespace sorimba::saving
