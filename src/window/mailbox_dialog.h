#pragma once
// The dialog that picks a mailbox to import: an mbox file or a Maildir
// folder. A dialog of its own: the shared one keeps the save file's name.

#include <QString>

class QWidget;

namespace sorimba {

// The chosen mailbox, starting at `last` (the one chosen before); empty
// when cancelled.
QString chooseMailboxPath(QWidget* parent, bool folder, const QString& last);

}  // namespace sorimba
