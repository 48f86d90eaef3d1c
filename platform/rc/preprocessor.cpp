#include "preprocessor.h"

#include <cctype>
#include <set>

namespace platform::rc {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxIncludeDepth = 32;

std::string trim(const std::string &text) {
    std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return {};
    std::size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

bool is_identifier_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

class Preprocessor {
public:
    explicit Preprocessor(const std::vector<fs::path> &include_dirs) : include_dirs_(include_dirs) {}

    PreprocessedScript run(const fs::path &script) {
        result_.directory = script.parent_path();
        Location site{script.string(), 0};
        auto lines = read_source_lines(script, site);
        result_.dependencies.push_back(script.string());
        result_.end = {script.string(), 1};
        for (const auto &line : lines) {
            if (!trim(line.text).empty())
                result_.end.line = line.line;
            Location where{script.string(), line.line};
            std::string text = trim(line.text);
            if (!text.empty() && text[0] == '#') {
                script_directive(text, where, script);
                continue;
            }
            auto tokens = tokenize(line.text, where);
            result_.tokens.insert(result_.tokens.end(), tokens.begin(), tokens.end());
        }
        return std::move(result_);
    }

private:
    // Splits "#name rest" into its two parts.
    static std::pair<std::string, std::string> split_directive(const std::string &text) {
        std::size_t i = 1;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        std::size_t begin = i;
        while (i < text.size() && is_identifier_char(text[i]))
            ++i;
        return {text.substr(begin, i - begin), trim(text.substr(i))};
    }

    // The script itself allows #include, #define and #undef only: anything else would change what the
    // script means in ways this compiler does not follow.
    void script_directive(const std::string &text, const Location &where, const fs::path &file) {
        auto [name, rest] = split_directive(text);
        if (name == "include")
            include(rest, where, file, 1, false);
        else if (name == "define")
            define(rest, where);
        else if (name == "undef")
            result_.macros.erase(trim(rest));
        else
            throw ScriptError(where, "unsupported directive '#" + name + "'");
    }

    // In a header only the definitions count; its declarations and conditionals are passed over, so every
    // #define it holds is known (the first definition of a name is kept).
    void header_directive(const std::string &text, const Location &where, const fs::path &file, int depth,
                          int &conditional_depth) {
        auto [name, rest] = split_directive(text);
        if (name == "include")
            include(rest, where, file, depth, conditional_depth > 0);
        else if (name == "define")
            define(rest, where, /*keep_first=*/true);
        else if (name == "if" || name == "ifdef" || name == "ifndef")
            ++conditional_depth;
        else if (name == "endif" && conditional_depth > 0)
            --conditional_depth;
    }

    void include(const std::string &operand, const Location &where, const fs::path &from, int depth, bool optional) {
        if (operand.size() < 2)
            throw ScriptError(where, "#include needs a file name in quotes or angle brackets");
        char open = operand.front();
        char close = open == '"' ? '"' : open == '<' ? '>' : 0;
        std::size_t end = close ? operand.find(close, 1) : std::string::npos;
        if (!close || end == std::string::npos || !trim(operand.substr(end + 1)).empty())
            throw ScriptError(where, "#include needs a file name in quotes or angle brackets");
        std::string name = operand.substr(1, end - 1);
        if (name.empty())
            throw ScriptError(where, "#include has an empty file name");
        if (depth >= kMaxIncludeDepth)
            throw ScriptError(where, "#include nested too deeply");

        std::vector<fs::path> candidates;
        if (open == '"')
            candidates.push_back(from.parent_path() / name);
        for (const auto &dir : include_dirs_)
            candidates.push_back(dir / name);
        for (const auto &candidate : candidates) {
            std::error_code ec;
            if (fs::is_regular_file(candidate, ec)) {
                read_header(candidate, where, depth + 1);
                return;
            }
        }
        // A header may name optional headers under a conditional (__has_include), and the C library's headers
        // in angle brackets, which hold nothing a script uses; those may be absent.
        if (!optional && !(depth > 1 && open == '<'))
            throw ScriptError(where, "cannot find include file '" + name + "'");
    }

    void read_header(const fs::path &path, const Location &site, int depth) {
        std::error_code ec;
        fs::path canonical = fs::weakly_canonical(path, ec);
        if (!seen_headers_.insert(ec ? path.string() : canonical.string()).second)
            return;  // every header here is include-once
        auto lines = read_source_lines(path, site);
        result_.dependencies.push_back(path.string());
        int conditional_depth = 0;
        for (const auto &line : lines) {
            std::string text = trim(line.text);
            if (!text.empty() && text[0] == '#')
                header_directive(text, {path.string(), line.line}, path, depth, conditional_depth);
        }
    }

    void define(const std::string &rest, const Location &where, bool keep_first = false) {
        std::size_t i = 0;
        while (i < rest.size() && is_identifier_char(rest[i]))
            ++i;
        std::string name = rest.substr(0, i);
        if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])))
            throw ScriptError(where, "#define needs a name");
        Macro macro;
        macro.where = where;
        macro.function_like = i < rest.size() && rest[i] == '(';
        macro.body = trim(rest.substr(i));
        if (keep_first && result_.macros.count(name))
            return;
        result_.macros[name] = std::move(macro);
    }

    std::vector<fs::path> include_dirs_;
    std::set<std::string> seen_headers_;
    PreprocessedScript result_;
};

}  // namespace

PreprocessedScript preprocess(const fs::path &script, const std::vector<fs::path> &include_dirs) {
    return Preprocessor(include_dirs).run(script);
}

}  // namespace platform::rc
