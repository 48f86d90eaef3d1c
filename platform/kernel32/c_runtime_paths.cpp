// The C runtime's file-name calls take DOS names, as they do on Windows: programs are linked with
// --wrap=fopen/freopen (see CMakeLists.txt), which sends their calls here. Names that are not DOS names
// pass through untouched, so the platform's own and the test framework's files are not affected. A file that
// a DOS name makes is the caller's alone (mode 0600 whatever the umask), and is never made through a link.
#include "dos_paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

extern "C" {
FILE *__real_fopen(const char *name, const char *mode);
FILE *__real_freopen(const char *name, const char *mode, FILE *stream);
FILE *__real_fopen64(const char *name, const char *mode);
FILE *__real_freopen64(const char *name, const char *mode, FILE *stream);
}

namespace {

// The Linux name for a DOS name; nothing for other names (and for null, which freopen allows). For a mode
// that writes, a missing file is made here first, with its mode set explicitly and without following a link;
// the C runtime then opens the file that is there. Null with errno set when the name is refused.
// An exclusive mode ("wx") is kept by that first creation, so the C runtime gets the mode without its 'x'.
std::optional<std::string> translated(const char *name, const char *&mode, std::string &open_mode, bool &refused) {
    refused = false;
    if (!name || !platform::kernel::is_dos_path(name))
        return std::nullopt;
    auto path = platform::kernel::unix_path(name);
    if (!path) {
        refused = true;
        errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
        return std::nullopt;
    }
    if (mode && (std::strchr(mode, 'w') || std::strchr(mode, 'a'))) {
        int fd = open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            fchmod(fd, 0600);
            close(fd);
        }
        if (std::strchr(mode, 'x')) {
            if (fd < 0) {
                refused = true;  // errno says why: it exists, or cannot be made
                return std::nullopt;
            }
            for (const char *c = mode; *c; ++c)
                if (*c != 'x')
                    open_mode += *c;
            mode = open_mode.c_str();
        }
    }
    return path;
}

// Translates the name and opens it with `open`, the C runtime's own call; a refused name gives null with
// errno set (and, for freopen, closes the stream, as a failed freopen does).
template <typename Open>
FILE *open_translated(const char *name, const char *mode, FILE *stream, Open open) {
    bool refused;
    std::string open_mode;
    auto path = translated(name, mode, open_mode, refused);
    if (refused) {
        if (stream)
            fclose(stream);
        return nullptr;
    }
    return open(path ? path->c_str() : name, mode);
}

}  // namespace

extern "C" FILE *__wrap_fopen(const char *name, const char *mode) {
    return open_translated(name, mode, nullptr, [](const char *n, const char *m) { return __real_fopen(n, m); });
}

extern "C" FILE *__wrap_freopen(const char *name, const char *mode, FILE *stream) {
    return open_translated(name, mode, stream,
                           [stream](const char *n, const char *m) { return __real_freopen(n, m, stream); });
}

extern "C" FILE *__wrap_fopen64(const char *name, const char *mode) {
    return open_translated(name, mode, nullptr, [](const char *n, const char *m) { return __real_fopen64(n, m); });
}

extern "C" FILE *__wrap_freopen64(const char *name, const char *mode, FILE *stream) {
    return open_translated(name, mode, stream,
                           [stream](const char *n, const char *m) { return __real_freopen64(n, m, stream); });
}
