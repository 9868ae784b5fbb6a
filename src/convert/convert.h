#pragma once
// Paragraph conversion: the "convert" menu puts every paragraph of a .txt
// file (or of every .txt file of a folder) on one line.

#include "port/form_port.h"

namespace sorimba::convert {

// Click on a top-level menu entry; index 1 ("convert") runs the command.
void menu_Click(FormPort& form, int index);

}  // namespace sorimba::convert
