// DOS names (drive letters, \\.\ devices, backslashes) turned into Linux paths through the prefix's
// dosdevices/ folder of symlinks: "c:\x" is dosdevices/c:/x, "\\.\A:" is the symlink dosdevices/a: itself.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace platform::kernel {

// True for names that only make sense on Windows: "X:..." or anything starting with two backslashes. Other
// names (Linux paths such as "/tmp/x" or "notes.txt") are used as they are.
bool is_dos_path(std::string_view name);

// The pipe's own name for "\\.\pipe\NAME" (prefix compared without case), or nothing for other names.
std::optional<std::string> pipe_name(std::string_view name);

// The Linux path for a file or device name. A DOS path is rooted in the prefix's dosdevices/ folder, with
// "." and ".." resolved so that they never climb above the drive; any other name only has its
// backslashes turned into slashes. Nothing, with the last error set, for names that name no file, and for DOS
// paths that pass through a symbolic link not made by the prefix's owner or root (ERROR_ACCESS_DENIED).
std::optional<std::string> unix_path(std::string_view name);

}  // namespace platform::kernel
