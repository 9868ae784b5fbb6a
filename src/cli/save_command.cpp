#include <cstdio>

#include "cli/commands.h"

namespace sorimba::cli {

int runSave(const Args&) {
    std::fputs("sorimba-clip save: not built yet\n", stderr);
    return 2;
}

}  // namespace sorimba::cli
