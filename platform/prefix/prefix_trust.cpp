#include "prefix_trust.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <string_view>
#include <vector>

namespace platform::prefix {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view default_conf =
    R"(; Settings of the Win32 platform. Every key is optional; the defaults serve a normal machine.
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

constexpr int link_limit = 40;  // as the kernel's own limit on links in one lookup

struct Folder {
    const char *name;
    mode_t mode;
};
constexpr Folder layout_folders[] = {{"dosdevices", private_folder_mode},
                                     {"drive_c", private_folder_mode},
                                     {"pipe", pipe_folder_mode},
                                     {"services", private_folder_mode}};
constexpr std::pair<const char *, const char *> default_devices[] = {
    {"a:", "/dev/fd0"}, {"b:", "/dev/fd1"}, {"c:", "../drive_c"}};

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() {
        if (fd_ >= 0)
            close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

std::string error_text(int error) {
    return std::strerror(error);
}

std::string mode_text(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

bool trusted_owner(uid_t owner, uid_t user) {
    return owner == user || owner == 0;
}

std::string owner_problem(uid_t owner, uid_t user) {
    return "owned by uid " + std::to_string(owner) + ", not by uid " + std::to_string(user);
}

// How far a path exists: the real path of its deepest existing folder and the names still missing below it.
struct Walk {
    fs::path real = "/";
    std::vector<std::string> missing;
};

// Walks the path from the root as the kernel would, checking each folder and link on the way before
// anything below it is believed.
std::optional<Walk> walk(const fs::path &path, uid_t user, std::string &problem) {
    Walk result;
    std::deque<std::string> todo;
    for (auto &part : path.relative_path())
        todo.push_back(part.string());
    struct stat info {};
    if (lstat("/", &info) != 0 || !trusted_owner(info.st_uid, user) || (info.st_mode & 022)) {
        problem = "/: not a folder that only root may change";
        return std::nullopt;
    }
    int links = 0;
    while (!todo.empty()) {
        std::string name = std::move(todo.front());
        todo.pop_front();
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            result.real = result.real.parent_path();
            continue;
        }
        fs::path next = result.real / name;
        if (lstat(next.c_str(), &info) != 0) {
            if (errno != ENOENT) {
                problem = next.string() + ": " + error_text(errno);
                return std::nullopt;
            }
            result.missing.push_back(name);
            for (auto &rest : todo) {
                if (rest == "..") {
                    problem = next.string() + ": does not exist";
                    return std::nullopt;
                }
                if (!rest.empty() && rest != ".")
                    result.missing.push_back(rest);
            }
            return result;
        }
        if (S_ISLNK(info.st_mode)) {
            // A link decides where everything below it lies, so it must be as trusted as a folder.
            if (!trusted_owner(info.st_uid, user)) {
                problem = next.string() + ": a symbolic link " + owner_problem(info.st_uid, user);
                return std::nullopt;
            }
            std::error_code error;
            fs::path target = fs::read_symlink(next, error);
            if (error || ++links > link_limit) {
                problem = next.string() + ": " + (error ? error.message() : "too many symbolic links");
                return std::nullopt;
            }
            std::vector<std::string> parts;
            for (auto &part : target.relative_path())
                parts.push_back(part.string());
            todo.insert(todo.begin(), parts.begin(), parts.end());
            if (target.is_absolute())
                result.real = "/";
            continue;
        }
        bool last = todo.empty();
        if (!S_ISDIR(info.st_mode)) {
            problem = last ? "not a folder" : next.string() + ": not a folder";
            return std::nullopt;
        }
        if (!trusted_owner(info.st_uid, user)) {
            problem = (last ? "" : next.string() + ": ") + owner_problem(info.st_uid, user);
            return std::nullopt;
        }
        // A folder on the way that others may write lets them replace what lies below it; a sticky one (such
        // as /tmp) lets them replace only their own entries.
        if (!last && (info.st_mode & 022) && !(info.st_mode & S_ISVTX)) {
            problem = next.string() + ": writable by group or others (mode " + mode_text(info.st_mode) + ")";
            return std::nullopt;
        }
        result.real = next;
    }
    return result;
}

// The checks of the prefix folder itself, once it exists.
bool prefix_itself_trusted(const fs::path &real, uid_t user, std::string &problem) {
    struct stat info {
    }, parent{};
    if (lstat(real.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        problem = "not a folder";
        return false;
    }
    if (!trusted_owner(info.st_uid, user)) {
        problem = owner_problem(info.st_uid, user);
        return false;
    }
    if (info.st_mode & 022) {
        problem = "writable by group or others (mode " + mode_text(info.st_mode) + ")";
        return false;
    }
    // In a shared sticky folder anyone may have made the name first: only a private folder of our own counts.
    if (lstat(real.parent_path().c_str(), &parent) == 0 && (parent.st_mode & S_ISVTX) && (parent.st_mode & 002) &&
        (info.st_uid != user || (info.st_mode & 077))) {
        problem = "in the shared folder " + real.parent_path().string() + " only a folder of uid " +
                  std::to_string(user) + " with mode 0700 is trusted (it is uid " + std::to_string(info.st_uid) +
                  "'s, mode " + mode_text(info.st_mode) + ")";
        return false;
    }
    return true;
}

// An entry of the prefix the platform follows: of the expected kind, owned by the user or root, and
// writable by nobody else.
bool entry_trusted(int folder_fd, const char *name, bool folder, uid_t user, std::string &problem) {
    struct stat info {};
    if (fstatat(folder_fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return true;  // not there (a client of another user's prefix cannot create it); its user reports that
    std::string where = std::string(name) + ": ";
    if (folder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode))
        problem = where + (S_ISLNK(info.st_mode) ? "a symbolic link, not a " : "not a ") + (folder ? "folder" : "file");
    else if (!trusted_owner(info.st_uid, user))
        problem = where + owner_problem(info.st_uid, user);
    else if (info.st_mode & 022)
        problem = where + "writable by group or others (mode " + mode_text(info.st_mode) + ")";
    return problem.empty();
}

bool make_folder_at(int parent_fd, const char *name, mode_t mode) {
    if (mkdirat(parent_fd, name, mode) != 0)
        return false;
    Fd created(openat(parent_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return created.get() >= 0 && fchmod(created.get(), mode) == 0;  // the umask took bits away
}

bool create_layout(const fs::path &real, uid_t user, std::string &problem) {
    // O_PATH: a client of another user's prefix may only cross it (mode 0711), and that is all it needs.
    Fd root(open(real.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (root.get() < 0) {
        problem = "cannot open it: " + error_text(errno);
        return false;
    }
    for (auto &folder : layout_folders) {
        make_folder_at(root.get(), folder.name, folder.mode);
        if (!entry_trusted(root.get(), folder.name, true, user, problem))
            return false;
    }
    Fd devices(openat(root.get(), "dosdevices", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (devices.get() >= 0)
        for (auto [link, target] : default_devices)
            symlinkat(target, devices.get(), link);  // an existing entry stays as its owner set it
    Fd conf(openat(root.get(), "platform.conf", O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, conf_mode));
    if (conf.get() >= 0) {
        fchmod(conf.get(), conf_mode);
        for (std::string_view rest = default_conf; !rest.empty();) {
            ssize_t written = write(conf.get(), rest.data(), rest.size());
            if (written <= 0)
                break;
            rest.remove_prefix(static_cast<std::size_t>(written));
        }
    }
    return entry_trusted(root.get(), "platform.conf", false, user, problem);
}

}  // namespace

Location default_location(const char *home, uid_t user) {
    if (home && *home)
        return {fs::path(home) / ".platform", {}};
    if (user == 0)
        return {"/var/lib/platform", {}};
    return {{},
            "neither PLATFORM_PREFIX nor HOME is set (a shared folder such as /tmp is never the default: another "
            "user could create the prefix there first)"};
}

std::optional<TrustedPrefix> open_prefix(const fs::path &path, uid_t user, std::string &problem) {
    problem.clear();
    auto found = walk(path.lexically_normal(), user, problem);
    if (!found)
        return std::nullopt;
    if (!found->missing.empty()) {
        // Each missing folder is made inside the checked one above it; the walk after it checks the result.
        fs::path at = found->real;
        for (auto &name : found->missing) {
            Fd parent(open(at.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (parent.get() < 0 || (!make_folder_at(parent.get(), name.c_str(), prefix_mode) && errno != EEXIST)) {
                problem = "cannot create " + (at / name).string() + ": " + error_text(errno);
                return std::nullopt;
            }
            at /= name;
        }
        found = walk(path.lexically_normal(), user, problem);
        if (!found)
            return std::nullopt;
        if (!found->missing.empty()) {
            problem = "it vanished while being created";
            return std::nullopt;
        }
    }
    if (!prefix_itself_trusted(found->real, user, problem) || !create_layout(found->real, user, problem))
        return std::nullopt;
    struct stat info {};
    if (lstat(found->real.c_str(), &info) != 0) {
        problem = error_text(errno);
        return std::nullopt;
    }
    return TrustedPrefix{found->real, info.st_uid};
}

}  // namespace platform::prefix
