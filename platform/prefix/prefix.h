// The platform prefix: the one directory from which the platform takes everything it is told.
// $PLATFORM_PREFIX names it (default ~/.platform, /var/lib/platform for root without a home); it is created
// with defaults on first use. A prefix that another user could have made or could change is refused: the
// program then ends with a message that names the prefix and the reason (see prefix_trust.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace platform::prefix {

// The prefix directory (its real path), created with its default layout when missing.
std::filesystem::path root();

// The prefix's owner: the links in dosdevices/ and the registrations in services/ count only when theirs.
uid_t owner();

// A setting from platform.conf, or the environment variable that overrides it. Section and key compare
// without regard to case. Values are trimmed and lose their trailing "; comment".
std::optional<std::string> setting(std::string_view section, std::string_view key);

// Every key of a section in file order, with its value (for maps such as "lana.N" or account names).
std::vector<std::pair<std::string, std::string>> section_entries(std::string_view section);

// A path from platform.conf: relative paths are relative to the prefix.
std::filesystem::path resolve(const std::filesystem::path &path);

// Forgets the cached prefix and settings, so that a test that points PLATFORM_PREFIX elsewhere (or rewrites
// platform.conf) is seen by the next call.
void reload();

// Counts the reloads: a value derived from the settings is current as long as this has not changed. The
// environment variables that override settings are a program's start-up configuration; a derived value need
// not follow a change made to them while it runs.
std::uint64_t generation();

}  // namespace platform::prefix
