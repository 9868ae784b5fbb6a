#pragma once
// Saving: the save command of the "保　存" button, the per-title files and the
// choice of the save file.

#include "port/form_port.h"

namespace sorimba::saving {

// The save command (left click on Command4, and after a drop import).
void saveCommand(FormPort& form);

// The save-file choice: the open-file dialog; a confirmed path becomes SavePath.
void OpenDat2(FormPort& form);

// A mouse button went down on Command4; button 2 (right) chooses the save file.
void Command4_MouseDown(FormPort& form, int button);

}  // namespace sorimba::saving
