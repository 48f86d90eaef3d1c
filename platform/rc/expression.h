// Reading a script's token stream: a cursor with clear messages at the end of input, and the numeric
// expressions of resource statements (numbers, defined names, | + - ~, parentheses, and NOT in styles).
#pragma once

#include <cstdint>
#include <vector>

#include "preprocessor.h"

namespace platform::rc {

class TokenCursor {
public:
    TokenCursor(const std::vector<Token> &tokens, Location end) : tokens_(tokens), end_(std::move(end)) {}

    bool at_end() const { return position_ >= tokens_.size(); }
    const Token *peek() const { return at_end() ? nullptr : &tokens_[position_]; }
    // The next token; `what` names what was expected, for the message at the end of input.
    const Token &next(const std::string &what);
    bool accept_punct(char c);
    void expect_punct(char c, const std::string &context);
    bool peek_keyword(const char *keyword) const;
    bool accept_keyword(const char *keyword);
    Location here() const { return at_end() ? end_ : tokens_[position_].where; }

private:
    const std::vector<Token> &tokens_;
    Location end_;
    std::size_t position_ = 0;
};

// Keywords compare without regard to case, as the resource compiler always has.
bool keyword_equals(const Token &token, const char *keyword);

class ExpressionReader {
public:
    explicit ExpressionReader(const MacroTable &macros) : macros_(macros) {}

    std::int64_t value(TokenCursor &cursor);
    // A style: `base` with each term ORed in, or cleared when the term is written NOT term.
    std::uint32_t style(TokenCursor &cursor, std::uint32_t base);
    // Whether an identifier names a defined value (a resource name written that way is a number).
    bool is_defined(const std::string &name) const { return macros_.count(name) != 0; }

private:
    std::int64_t or_expression(TokenCursor &cursor);
    std::int64_t additive(TokenCursor &cursor);
    std::int64_t unary(TokenCursor &cursor);
    std::int64_t primary(TokenCursor &cursor);
    std::int64_t expand(const Token &name);

    const MacroTable &macros_;
    int expansion_depth_ = 0;
};

}  // namespace platform::rc
