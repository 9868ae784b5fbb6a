#pragma once
// Names and descriptions for assistive technologies (screen readers reach
// them through AT-SPI). Widgets carry theirs as accessibleName and
// accessibleDescription; menu entries (QAction) have no such properties in
// Qt, so they get theirs here.

#include <QString>

class QAction;

namespace sorimba {

// Gives a menu entry a description (its name is its caption, without the
// "&" of a mnemonic). The entry must stand in one menu or menu bar.
void describeMenuEntry(QAction* action, const QString& description);

// The description given to a menu entry; empty when it has none.
QString menuEntryDescription(const QAction* action);

}  // namespace sorimba
