#include "expression.h"

#include <cctype>

namespace platform::rc {
namespace {

constexpr int kMaxExpansionDepth = 64;

// Raised deep inside a runaway expansion; reported once, at the outermost use.
struct SelfReference {};

std::string describe(const Token &token) {
    switch (token.kind) {
        case TokenKind::String:
            return "string \"" + token.text + "\"";
        case TokenKind::Number:
            return "number " + token.text;
        default:
            return "'" + token.text + "'";
    }
}

}  // namespace

bool keyword_equals(const Token &token, const char *keyword) {
    if (token.kind != TokenKind::Identifier)
        return false;
    std::size_t i = 0;
    for (; keyword[i] && i < token.text.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(token.text[i])) != keyword[i])
            return false;
    }
    return keyword[i] == 0 && i == token.text.size();
}

const Token &TokenCursor::next(const std::string &what) {
    if (at_end())
        throw ScriptError(end_, "unexpected end of file, expected " + what);
    return tokens_[position_++];
}

bool TokenCursor::accept_punct(char c) {
    if (!at_end() && tokens_[position_].kind == TokenKind::Punct && tokens_[position_].text[0] == c) {
        ++position_;
        return true;
    }
    return false;
}

void TokenCursor::expect_punct(char c, const std::string &context) {
    if (accept_punct(c))
        return;
    std::string wanted = std::string("'") + c + "' " + context;
    if (at_end())
        throw ScriptError(end_, "unexpected end of file, expected " + wanted);
    throw ScriptError(here(), "expected " + wanted + ", found " + describe(tokens_[position_]));
}

bool TokenCursor::peek_keyword(const char *keyword) const {
    return !at_end() && keyword_equals(*peek(), keyword);
}

bool TokenCursor::accept_keyword(const char *keyword) {
    if (!peek_keyword(keyword))
        return false;
    ++position_;
    return true;
}

std::int64_t ExpressionReader::value(TokenCursor &cursor) {
    return or_expression(cursor);
}

std::uint32_t ExpressionReader::style(TokenCursor &cursor, std::uint32_t base) {
    std::uint32_t result = base;
    do {
        bool negate = cursor.accept_keyword("NOT");
        auto term = static_cast<std::uint32_t>(additive(cursor));
        result = negate ? (result & ~term) : (result | term);
    } while (cursor.accept_punct('|'));
    return result;
}

std::int64_t ExpressionReader::or_expression(TokenCursor &cursor) {
    std::int64_t result = additive(cursor);
    while (cursor.accept_punct('|'))
        result = static_cast<std::int64_t>(static_cast<std::uint32_t>(result) |
                                           static_cast<std::uint32_t>(additive(cursor)));
    return result;
}

std::int64_t ExpressionReader::additive(TokenCursor &cursor) {
    std::int64_t result = unary(cursor);
    for (;;) {
        if (cursor.accept_punct('+'))
            result = static_cast<std::int32_t>(result + unary(cursor));
        else if (cursor.accept_punct('-'))
            result = static_cast<std::int32_t>(result - unary(cursor));
        else
            return result;
    }
}

std::int64_t ExpressionReader::unary(TokenCursor &cursor) {
    if (cursor.accept_punct('-'))
        return static_cast<std::int32_t>(-unary(cursor));
    if (cursor.accept_punct('~'))
        return static_cast<std::int32_t>(~static_cast<std::uint32_t>(unary(cursor)));
    return primary(cursor);
}

std::int64_t ExpressionReader::primary(TokenCursor &cursor) {
    const Token &token = cursor.next("a number");
    if (token.kind == TokenKind::Number)
        return static_cast<std::int64_t>(token.number);
    if (token.kind == TokenKind::Punct && token.text == "(") {
        std::int64_t result = or_expression(cursor);
        cursor.expect_punct(')', "to close the parenthesis");
        return result;
    }
    if (token.kind == TokenKind::Identifier)
        return expand(token);
    throw ScriptError(token.where, "expected a number, found " + describe(token));
}

std::int64_t ExpressionReader::expand(const Token &name) {
    auto it = macros_.find(name.text);
    if (it == macros_.end())
        throw ScriptError(name.where, "'" + name.text + "' is not defined");
    const Macro &macro = it->second;
    std::string defined_at = macro.where.file + ":" + std::to_string(macro.where.line);
    if (macro.function_like)
        throw ScriptError(name.where, "'" + name.text + "' is a macro with arguments (" + defined_at +
                                          "), which a resource script cannot use");
    if (expansion_depth_ >= kMaxExpansionDepth)
        throw SelfReference{};
    ++expansion_depth_;
    try {
        auto tokens = tokenize(macro.body, macro.where);
        TokenCursor inner(tokens, macro.where);
        std::int64_t result = or_expression(inner);
        if (!inner.at_end())
            throw ScriptError(macro.where, "unexpected " + describe(*inner.peek()));
        --expansion_depth_;
        return result;
    } catch (const SelfReference &) {
        if (--expansion_depth_ > 0)
            throw;
        throw ScriptError(name.where, "'" + name.text + "' refers to itself");
    } catch (const ScriptError &error) {
        --expansion_depth_;
        if (error.where().file == name.where.file && error.where().line == name.where.line)
            throw;  // already reported at the use
        throw ScriptError(name.where, "'" + name.text + "' does not stand for a number (" + defined_at + ": " +
                                          error.message() + ")");
    }
}

}  // namespace platform::rc
