// The C runtime's file-name calls take DOS names, as they do on Windows: programs are linked with
// --wrap=fopen/freopen (see CMakeLists.txt), which sends their calls here. Names that are not DOS names
// pass through untouched, so the platform's own and the test framework's files are not affected.
#include "dos_paths.h"

#include <cstdio>
#include <optional>
#include <string>

extern "C" {
FILE *__real_fopen(const char *name, const char *mode);
FILE *__real_freopen(const char *name, const char *mode, FILE *stream);
FILE *__real_fopen64(const char *name, const char *mode);
FILE *__real_freopen64(const char *name, const char *mode, FILE *stream);
}

namespace {

// The Linux name for a DOS name; nothing for other names (and for null, which freopen allows).
std::optional<std::string> translated(const char *name) {
    if (!name || !platform::kernel::is_dos_path(name))
        return std::nullopt;
    return platform::kernel::unix_path(name);
}

}  // namespace

extern "C" FILE *__wrap_fopen(const char *name, const char *mode) {
    auto path = translated(name);
    return __real_fopen(path ? path->c_str() : name, mode);
}

extern "C" FILE *__wrap_freopen(const char *name, const char *mode, FILE *stream) {
    auto path = translated(name);
    return __real_freopen(path ? path->c_str() : name, mode, stream);
}

extern "C" FILE *__wrap_fopen64(const char *name, const char *mode) {
    auto path = translated(name);
    return __real_fopen64(path ? path->c_str() : name, mode);
}

extern "C" FILE *__wrap_freopen64(const char *name, const char *mode, FILE *stream) {
    auto path = translated(name);
    return __real_freopen64(path ? path->c_str() : name, mode, stream);
}
