#include "prefix.h"

#include "ini_file.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <system_error>

namespace platform::prefix {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view default_conf = R"(; Settings of the Win32 platform. Every key is optional; the defaults serve a normal machine.
;
; [netbios]
; lana.0 = eth0            ; fix LANA numbers to interfaces (default: up IPv4 interfaces with a
;                          ;   broadcast address, in interface-index order)
; wins = 192.0.2.1         ; resolve names by unicast to this server instead of broadcast
; retries = 3
; retry_interval_ms = 250
;
; [accounts]
; Administrators = root    ; builtin alias = Unix group
; Power Users = staff
;
; [display]
; backend = headless       ; x11 when $DISPLAY is set, headless otherwise
; script = demo.ui         ; a UI script for the headless backend to play
;
; [eventlog]
; target = file:events.log ; default syslog
;
; [pipes]
; idle_client_ms = 10000   ; a pipe server drops a client that has sent nothing this long after
;                          ;   connecting (0: never)
)";

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
    std::optional<fs::path> root;
    std::optional<std::vector<IniEntry>> entries;
};

State &state() {
    static State *instance = new State;
    return *instance;
}

fs::path prefix_location() {
    if (const char *explicit_prefix = std::getenv("PLATFORM_PREFIX"); explicit_prefix && *explicit_prefix)
        return fs::absolute(explicit_prefix);
    const char *home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/tmp") / ".platform";
}

void make_link(const fs::path &link, const fs::path &target) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(link, error)))
        fs::create_symlink(target, link, error);
}

// Creates whatever part of the default layout is missing; never overwrites what is there.
void create_default_layout(const fs::path &root) {
    std::error_code error;
    for (auto *folder : {"", "dosdevices", "drive_c", "pipe", "services"})
        fs::create_directories(root / folder, error);
    make_link(root / "dosdevices" / "a:", "/dev/fd0");
    make_link(root / "dosdevices" / "b:", "/dev/fd1");
    make_link(root / "dosdevices" / "c:", "../drive_c");
    if (!fs::exists(root / "platform.conf", error)) {
        std::ofstream conf(root / "platform.conf");
        conf << default_conf;
    }
}

std::string environment_name(std::string_view section, std::string_view key) {
    std::string name = "PLATFORM_";
    for (char c : std::string(section) + "_" + std::string(key))
        name += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::toupper(c)) : '_';
    return name;
}

const std::vector<IniEntry> &entries_locked(State &s) {
    if (!s.entries) {
        if (!s.root) {
            s.root = prefix_location();
            create_default_layout(*s.root);
        }
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
    if (!s.root) {
        s.root = prefix_location();
        create_default_layout(*s.root);
    }
    return *s.root;
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

fs::path resolve(const fs::path &path) { return path.is_absolute() ? path : root() / path; }

void reload() {
    auto &s = state();
    std::lock_guard guard(s.lock);
    s.root.reset();
    s.entries.reset();
}

}  // namespace platform::prefix
