// The preprocessing a resource script needs: #include of headers (from which only #define matters) and
// #define; what remains of the script is its resource statements as one token stream.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "script_lexer.h"

namespace platform::rc {

struct Macro {
    std::string body;
    bool function_like = false;
    Location where;
};

using MacroTable = std::map<std::string, Macro>;

struct PreprocessedScript {
    std::vector<Token> tokens;  // the script's resource statements
    MacroTable macros;
    std::vector<std::string> dependencies;
    std::filesystem::path directory;  // where the script is: relative file names start here
    Location end;                     // the script's last line, for "unexpected end of file"
};

// `#include "x"` looks beside the including file, then in include_dirs; `#include <x>` only in include_dirs.
PreprocessedScript preprocess(const std::filesystem::path &script,
                              const std::vector<std::filesystem::path> &include_dirs);

}  // namespace platform::rc
