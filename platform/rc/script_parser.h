// Turns a preprocessed script into resources: MENU, DIALOG and ICON statements.
#pragma once

#include <filesystem>
#include <vector>

#include "preprocessor.h"

namespace platform::rc {

Script parse_script(const PreprocessedScript &source);

// Preprocess and parse: the whole front end. Throws ScriptError.
Script compile_script(const std::filesystem::path &script, const std::vector<std::filesystem::path> &include_dirs);

}  // namespace platform::rc
