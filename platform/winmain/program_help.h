// --help for a program on the platform: its own usage text on standard output, before anything of the
// program runs (no window, no service dispatcher). program_usage() in CMake gives a program its text.
#pragma once

namespace platform::startup {

// Prints `usage` and ends the process with exit code 0 when the only argument is --help; else returns.
void answer_help(int argc, char **argv, const char *usage);

}  // namespace platform::startup
