#include "program_help.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform::startup {

void answer_help(int argc, char **argv, const char *usage) {
    if (argc != 2 || std::strcmp(argv[1], "--help") != 0)
        return;
    std::fputs(usage, stdout);
    std::exit(std::fflush(stdout) == 0 ? 0 : 1);
}

}  // namespace platform::startup
