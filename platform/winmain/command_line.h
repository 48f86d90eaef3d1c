// The command-line tail a Win32 program receives: the arguments after the program name as one string,
// each quoted and escaped so that the usual parsing rules give back the same arguments.
#pragma once

#include <string>

namespace platform::startup {

std::string command_line_tail(int argc, const char *const *argv);

}  // namespace platform::startup
