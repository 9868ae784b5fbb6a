#include <cstdio>

#include "cli/commands.h"

namespace sorimba::cli {

int runConvert(const Args&) {
    std::fputs("sorimba-clip convert: not built yet\n", stderr);
    return 2;
}

}  // namespace sorimba::cli
