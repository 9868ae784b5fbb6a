#pragma once
// The "convert" command: asks for a .txt file, then whether to convert the
// whole folder it stands in or that file alone.

#include <QString>

#include "port/prompts.h"

namespace sorimba::convert {

// The question asked after the file is chosen: Yes converts the whole
// folder, No the chosen file only, Cancel nothing.
QString question();

// Runs the command. Success is silent; failures are reported by name.
void convertCommand(Prompts& prompts);

}  // namespace sorimba::convert
