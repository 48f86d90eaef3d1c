// Writes a compiled script as a C++ file: constant tables and a start-up object that registers them.
#pragma once

#include <string>

#include "script_model.h"

namespace platform::rc {

std::string write_cpp(const Script &script, const std::string &source_name);

// A make-style dependency file: the generated file depends on every file the script read.
std::string write_depfile(const Script &script, const std::string &output_name);

}  // namespace platform::rc
