#pragma once
// The subcommands of sorimba-clip. Each takes the arguments after its own
// name and returns the exit status.

#include <string>
#include <vector>

namespace sorimba::cli {

using Args = std::vector<std::string>;

int runExtract(const Args& args);
int runSave(const Args& args);
int runSettings(const Args& args);
int runConvert(const Args& args);

}  // namespace sorimba::cli
