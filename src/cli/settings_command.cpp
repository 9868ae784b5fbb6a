#include <cstdio>

#include "cli/commands.h"

namespace sorimba::cli {

int runSettings(const Args&) {
    std::fputs("sorimba-clip settings: not built yet\n", stderr);
    return 2;
}

}  // namespace sorimba::cli
