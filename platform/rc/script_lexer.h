// Source text of a script or header: comments removed, continued lines joined, lines cut into tokens.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "script_model.h"

namespace platform::rc {

struct SourceLine {
    std::string text;
    int line;  // where the logical line begins
};

// Reads a file as logical lines without comments. Throws ScriptError at `site` when it cannot be read.
std::vector<SourceLine> read_source_lines(const std::filesystem::path &path, const Location &site);

enum class TokenKind { Identifier, Number, String, Punct };

struct Token {
    TokenKind kind;
    std::string text;          // identifier or punctuation as written; string contents with escapes resolved
    std::uint64_t number = 0;  // value of a Number
    Location where;
};

// Cuts one logical line into tokens; throws ScriptError for a character or literal that is not allowed.
std::vector<Token> tokenize(const std::string &text, const Location &where);

}  // namespace platform::rc
