#include "dos_paths.h"

#include "prefix/prefix.h"

#include <algorithm>
#include <cctype>
#include <sys/stat.h>
#include <vector>

namespace platform::kernel {
namespace {

bool is_separator(char c) {
    return c == '\\' || c == '/';
}

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), lower);
    return result;
}

bool starts_with_ignoring_case(std::string_view text, std::string_view start) {
    return text.size() >= start.size() && lowered(text.substr(0, start.size())) == lowered(start);
}

bool is_drive_prefix(std::string_view name) {
    return name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
}

// Splits a path below a device or drive into components, dropping "." and letting ".." remove the last
// component but never more, as Windows does at the root of a drive.
std::vector<std::string_view> normalized_components(std::string_view rest) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = start;
        while (end < rest.size() && !is_separator(rest[end]))
            ++end;
        auto part = rest.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    return parts;
}

// A link in dosdevices/ or below a drive is followed only when the prefix's owner (or root) made it: the
// owner decides where c:\ and the drives lead, and nobody else may redirect a file the platform opens there.
bool link_trusted(const std::string &path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return true;
    return info.st_uid == platform::prefix::owner() || info.st_uid == 0;
}

std::optional<std::string> device_path(std::string_view device, std::string_view rest) {
    std::string path = (platform::prefix::root() / "dosdevices").string() + "/" + lowered(device);
    bool trusted = link_trusted(path);
    for (auto part : normalized_components(rest)) {
        path.append("/").append(part);
        trusted = trusted && link_trusted(path);
    }
    if (!trusted) {
        SetLastError(ERROR_ACCESS_DENIED);
        return std::nullopt;
    }
    return path;
}

}  // namespace

bool is_dos_path(std::string_view name) {
    return is_drive_prefix(name) || (name.size() >= 2 && name[0] == '\\' && name[1] == '\\');
}

std::optional<std::string> pipe_name(std::string_view name) {
    constexpr std::string_view pipe_prefix = "\\\\.\\pipe\\";
    if (!starts_with_ignoring_case(name, pipe_prefix) || name.size() == pipe_prefix.size())
        return std::nullopt;
    return std::string(name.substr(pipe_prefix.size()));
}

std::optional<std::string> unix_path(std::string_view name) {
    if (name.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return std::nullopt;
    }
    if (starts_with_ignoring_case(name, "\\\\?\\") && is_drive_prefix(name.substr(4)))
        name.remove_prefix(4);  // the long-path form of a drive path
    if (is_drive_prefix(name))
        return device_path(name.substr(0, 2), name.substr(2));
    if (starts_with_ignoring_case(name, "\\\\.\\")) {
        auto rest = name.substr(4);
        auto end = std::find_if(rest.begin(), rest.end(), is_separator) - rest.begin();
        if (end == 0) {
            SetLastError(ERROR_INVALID_NAME);
            return std::nullopt;
        }
        return device_path(rest.substr(0, end), rest.substr(end));
    }
    if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') {
        // \\server\share\...: no network redirector here.
        SetLastError(ERROR_BAD_NETPATH);
        return std::nullopt;
    }
    if (name[0] == '\\')  // the root of the current drive, which is always C: here
        return device_path("c:", name);
    std::string path(name);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

}  // namespace platform::kernel
