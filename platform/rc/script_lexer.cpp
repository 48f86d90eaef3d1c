#include "script_lexer.h"

#include <cctype>
#include <fstream>
#include <iterator>

namespace platform::rc {
namespace {

constexpr std::uintmax_t kMaxSourceBytes = 16u << 20;  // no script or header comes near this

// Replaces comments by blanks (keeping their line ends, so line numbers stay right); strings are left whole.
std::string strip_comments(const std::string &text, const std::string &file) {
    std::string out;
    out.reserve(text.size());
    int line = 1;
    for (std::size_t i = 0; i < text.size();) {
        char c = text[i];
        if (c == '"') {
            // Copy the literal; an unterminated one ends at the line end and is reported by the tokenizer.
            out += text[i++];
            while (i < text.size() && text[i] != '\n') {
                char d = text[i];
                out += d;
                ++i;
                if (d == '\\' && i < text.size() && text[i] != '\n') {
                    out += text[i++];
                } else if (d == '"') {
                    if (i < text.size() && text[i] == '"') {
                        out += text[i++];
                        continue;
                    }
                    break;
                }
            }
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n')
                ++i;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            int opened = line;
            i += 2;
            while (i + 1 < text.size() && !(text[i] == '*' && text[i + 1] == '/')) {
                if (text[i] == '\n') {
                    out += '\n';
                    ++line;
                }
                ++i;
            }
            if (i + 1 >= text.size())
                throw ScriptError({file, opened}, "comment is not closed");
            i += 2;
            out += ' ';
        } else {
            if (c == '\n')
                ++line;
            out += c;
            ++i;
        }
    }
    return out;
}

bool is_identifier_start(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool is_identifier_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

}  // namespace

std::vector<SourceLine> read_source_lines(const std::filesystem::path &path, const Location &site) {
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    if (ec || !std::filesystem::is_regular_file(path, ec))
        throw ScriptError(site, "cannot read '" + path.string() + "'");
    if (size > kMaxSourceBytes)
        throw ScriptError(site, "'" + path.string() + "' is too large");
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof())
        throw ScriptError(site, "cannot read '" + path.string() + "'");

    std::string file = path.string();
    text = strip_comments(text, file);
    std::vector<SourceLine> lines;
    std::string current;
    int first_line = 1;
    int line = 1;
    bool continuing = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string piece = text.substr(start, end - start);
        if (!piece.empty() && piece.back() == '\r')
            piece.pop_back();
        if (!continuing) {
            current.clear();
            first_line = line;
        }
        continuing = !piece.empty() && piece.back() == '\\';
        if (continuing)
            piece.pop_back();
        current += piece;
        if (!continuing)
            lines.push_back({current, first_line});
        ++line;
        start = end + 1;
    }
    if (continuing)
        lines.push_back({current, first_line});
    return lines;
}

std::vector<Token> tokenize(const std::string &text, const Location &where) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
        } else if (is_identifier_start(c)) {
            std::size_t begin = i;
            while (i < text.size() && is_identifier_char(text[i]))
                ++i;
            tokens.push_back({TokenKind::Identifier, text.substr(begin, i - begin), 0, where});
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            std::size_t begin = i;
            int base = 10;
            if (c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
                base = 16;
                i += 2;
            }
            std::uint64_t value = 0;
            std::size_t digits = 0;
            while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i]))) {
                char d = text[i];
                int digit = std::isdigit(static_cast<unsigned char>(d)) ? d - '0' : std::tolower(d) - 'a' + 10;
                if (digit >= base)
                    break;
                value = value * base + digit;
                if (value > 0xFFFFFFFFu)
                    throw ScriptError(where, "number '" + text.substr(begin, i + 1 - begin) + "' is too large");
                ++digits;
                ++i;
            }
            while (i < text.size() && (text[i] == 'L' || text[i] == 'l' || text[i] == 'U' || text[i] == 'u'))
                ++i;
            if (digits == 0 || (i < text.size() && is_identifier_char(text[i]))) {
                std::size_t end = i;
                while (end < text.size() && is_identifier_char(text[end]))
                    ++end;
                throw ScriptError(where, "malformed number '" + text.substr(begin, end - begin) + "'");
            }
            tokens.push_back({TokenKind::Number, text.substr(begin, i - begin), value, where});
        } else if (c == '"') {
            std::string value;
            ++i;
            bool closed = false;
            while (i < text.size()) {
                char d = text[i++];
                if (d == '"') {
                    if (i < text.size() && text[i] == '"') {  // "" stands for one quote
                        value += '"';
                        ++i;
                        continue;
                    }
                    closed = true;
                    break;
                }
                if (d == '\\' && i < text.size()) {
                    char e = text[i++];
                    switch (e) {
                        case 'n':
                            value += '\n';
                            break;
                        case 'r':
                            value += '\r';
                            break;
                        case 't':
                            value += '\t';
                            break;
                        case 'a':
                            value += '\a';
                            break;
                        case '\\':
                            value += '\\';
                            break;
                        case '"':
                            value += '"';
                            break;
                        default:
                            throw ScriptError(where, std::string("unknown escape '\\") + e + "' in a string");
                    }
                    continue;
                }
                value += d;
            }
            if (!closed)
                throw ScriptError(where, "string is not closed");
            tokens.push_back({TokenKind::String, value, 0, where});
        } else if (std::string_view(",|()+-~{}").find(c) != std::string_view::npos) {
            tokens.push_back({TokenKind::Punct, std::string(1, c), 0, where});
            ++i;
        } else {
            std::string shown = std::isprint(static_cast<unsigned char>(c))
                                    ? std::string(1, c)
                                    : "\\x" + std::string(1, "0123456789abcdef"[(c >> 4) & 15]) +
                                          std::string(1, "0123456789abcdef"[c & 15]);
            throw ScriptError(where, "unexpected character '" + shown + "'");
        }
    }
    return tokens;
}

}  // namespace platform::rc
