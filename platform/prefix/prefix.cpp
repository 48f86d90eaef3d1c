#include "prefix.h"

#include "ini_file.h"
#include "prefix_trust.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <system_error>

namespace platform::prefix {
namespace fs = std::filesystem;
namespace {

// Settings that have an environment variable of their own besides the generic PLATFORM_SECTION_KEY.
struct EnvironmentAlias {
    std::string_view section, key, variable;
};
constexpr EnvironmentAlias environment_aliases[] = {
    {"display", "script", "PLATFORM_UI_SCRIPT"},
    {"display", "backend", "PLATFORM_DISPLAY_BACKEND"},
};

struct State {
    std::mutex lock;
    std::atomic<std::uint64_t> generation{0};
    std::optional<fs::path> root;
    std::optional<std::vector<IniEntry>> entries;
    uid_t owner = 0;
};

State &state() {
    static State *instance = new State;
    return *instance;
}

[[noreturn]] void refuse(const std::string &what) {
    std::fprintf(stderr, "platform: %s\n", what.c_str());
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
}

// Finds and checks the prefix once per process (and after reload). Nothing of the platform may run on a
// prefix it cannot trust, so a refusal ends the program with the reason.
void open_locked(State &s) {
    if (s.root)
        return;
    uid_t user = geteuid();
    fs::path location;
    if (const char *explicit_prefix = std::getenv("PLATFORM_PREFIX"); explicit_prefix && *explicit_prefix) {
        location = fs::absolute(explicit_prefix);
    } else {
        auto found = default_location(std::getenv("HOME"), user);
        if (found.path.empty())
            refuse("no prefix: " + found.problem);
        location = found.path;
    }
    std::string problem;
    auto trusted = open_prefix(location, user, problem);
    if (!trusted)
        refuse("refusing prefix " + location.string() + ": " + problem);
    s.root = trusted->path;
    s.owner = trusted->owner;
}

std::string environment_name(std::string_view section, std::string_view key) {
    std::string name = "PLATFORM_";
    for (char c : std::string(section) + "_" + std::string(key))
        name += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::toupper(c)) : '_';
    return name;
}

const std::vector<IniEntry> &entries_locked(State &s) {
    if (!s.entries) {
        open_locked(s);
        std::ifstream file(*s.root / "platform.conf");
        std::stringstream text;
        text << file.rdbuf();
        auto parsed = parse_ini(text.str());
        for (auto &error : parsed.errors)
            std::cerr << (*s.root / "platform.conf").string() << ":" << error << " (line ignored)\n";
        s.entries = std::move(parsed.entries);
    }
    return *s.entries;
}

}  // namespace

fs::path root() {
    auto &s = state();
    std::lock_guard guard(s.lock);
    open_locked(s);
    return *s.root;
}

uid_t owner() {
    auto &s = state();
    std::lock_guard guard(s.lock);
    open_locked(s);
    return s.owner;
}

std::optional<std::string> setting(std::string_view section, std::string_view key) {
    for (auto &alias : environment_aliases) {
        if (equal_ignoring_case(alias.section, section) && equal_ignoring_case(alias.key, key)) {
            if (const char *value = std::getenv(std::string(alias.variable).c_str()); value && *value)
                return value;
        }
    }
    if (const char *value = std::getenv(environment_name(section, key).c_str()); value && *value)
        return value;

    auto &s = state();
    std::lock_guard guard(s.lock);
    std::optional<std::string> found;
    for (auto &entry : entries_locked(s))  // the last of repeated keys wins
        if (equal_ignoring_case(entry.section, section) && equal_ignoring_case(entry.key, key))
            found = entry.value;
    return found;
}

std::vector<std::pair<std::string, std::string>> section_entries(std::string_view section) {
    auto &s = state();
    std::lock_guard guard(s.lock);
    std::vector<std::pair<std::string, std::string>> result;
    for (auto &entry : entries_locked(s))
        if (equal_ignoring_case(entry.section, section))
            result.emplace_back(entry.key, entry.value);
    return result;
}

fs::path resolve(const fs::path &path) {
    return path.is_absolute() ? path : root() / path;
}

void reload() {
    auto &s = state();
    std::lock_guard guard(s.lock);
    s.root.reset();
    s.entries.reset();
    s.generation.fetch_add(1, std::memory_order_release);
}

std::uint64_t generation() {
    return state().generation.load(std::memory_order_acquire);
}

}  // namespace platform::prefix
