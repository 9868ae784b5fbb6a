#include <cstdio>

#include "cli/commands.h"

namespace sorimba::cli {

int runExtract(const Args&) {
    std::fputs("sorimba-clip extract: not built yet\n", stderr);
    return 2;
}

}  // namespace sorimba::cli
