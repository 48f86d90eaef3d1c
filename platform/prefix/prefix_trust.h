// When the platform may trust a folder as its prefix, and how it lays one out. Root follows the prefix's
// links and runs the programs its registrations name, so a prefix that another user could have planted or
// could still change is refused rather than used.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace platform::prefix {

// Modes of what the platform creates, whatever the umask. The prefix and pipe/ may be crossed by everyone:
// clients of another user reach a pipe's socket by its name, and the socket's own ACL decides who connects;
// nobody but the owner lists, creates or replaces entries. The rest is the owner's alone. platform.conf is
// readable by all because those clients read the same [accounts] and holds nothing secret.
inline constexpr mode_t prefix_mode = 0711;
inline constexpr mode_t pipe_folder_mode = 0711;
inline constexpr mode_t private_folder_mode = 0700;
inline constexpr mode_t conf_mode = 0644;
inline constexpr mode_t private_file_mode = 0600;

// Where the prefix is when PLATFORM_PREFIX does not say: ~/.platform; without a home /var/lib/platform for
// root and nothing for other users (never a folder under /tmp, which another user could create first).
struct Location {
    std::filesystem::path path;  // empty when there is none
    std::string problem;         // why there is none
};
Location default_location(const char *home, uid_t user);

// A prefix that passed the checks: its real path (symbolic links resolved) and its owner.
struct TrustedPrefix {
    std::filesystem::path path;
    uid_t owner = 0;
};

// Checks `path` for `user`, creating what is missing of it and of its default layout with the modes above.
// Trusted means: every folder on the way is owned by `user` or root and writable by nobody else (sticky
// folders such as /tmp excepted), every symbolic link on the way is owned by `user` or root, and the prefix is
// not directly in a sticky folder that others may write unless it is `user`'s and mode 0700; the same holds
// for the layout's folders and platform.conf. On failure, `problem` says why.
std::optional<TrustedPrefix> open_prefix(const std::filesystem::path &path, uid_t user, std::string &problem);

}  // namespace platform::prefix
