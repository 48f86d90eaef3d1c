// wsprintfA: printf-style formatting into a buffer that, as on Windows, is taken to hold 1024 bytes; longer
// output is cut there. The conversions programs use with it (c, d, i, u, x, X, s with flags, width,
// precision and the l and h sizes) mean the same as in the C library's formatting.
#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace {
constexpr int buffer_size = 1024;
}

extern "C" int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
    if (!lpOut || !lpFmt) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    va_list args;
    va_start(args, lpFmt);
    int written = std::vsnprintf(lpOut, buffer_size, lpFmt, args);
    va_end(args);
    if (written < 0) {
        lpOut[0] = '\0';
        return 0;
    }
    return written < buffer_size ? written : buffer_size - 1;
}
