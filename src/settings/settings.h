#pragma once
// Settings: data.dat and data2.dat beside the program, start-up and shut-down.
// The files themselves are in settings/dat_format.h.

#include "port/form_port.h"

namespace sorimba::settings {

// Start-up: paths, stored settings, save path, on-top state, dialog defaults.
// programDir is the folder of the executable.
void Form_Load(FormPort& form, const QString& programDir);

// Shut-down: stores the settings (and the save path when there is one).
// Never refuses the closing, asks nothing and never throws.
void Form_QueryUnload(FormPort& form);

}  // namespace sorimba::settings
