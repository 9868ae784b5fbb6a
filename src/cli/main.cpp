// sorimba-clip: the command-line companion of the window. It runs the same
// core without a display, for scripts and for checking behaviour by hand.

#include <cstdio>
#include <cstring>

#include "cli/commands.h"

namespace {

constexpr const char* kUsage =
    "usage: sorimba-clip extract [--with-titles] [--with-votes] [--with-staff-word]\n"
    "                            [--with-about] [--join-lines] [--raw] [--encoding cp932] [FILE]\n"
    "       sorimba-clip save [--with-titles] --save-path PATH [FILE]\n"
    "       sorimba-clip settings FILE\n"
    "       sorimba-clip convert FILE | --folder DIR\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    sorimba::cli::Args args(argv + 2, argv + argc);
    const char* command = argv[1];
    if (std::strcmp(command, "extract") == 0) return sorimba::cli::runExtract(args);
    if (std::strcmp(command, "save") == 0) return sorimba::cli::runSave(args);
    if (std::strcmp(command, "settings") == 0) return sorimba::cli::runSettings(args);
    if (std::strcmp(command, "convert") == 0) return sorimba::cli::runConvert(args);
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::fputs(kUsage, stderr);
    return 2;
}
