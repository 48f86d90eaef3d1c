// The per-thread last error, and the process-wide error mode.
#include <windows.h>

#include <atomic>

namespace {
thread_local DWORD last_error = ERROR_SUCCESS;
std::atomic<UINT> error_mode{0};
}  // namespace

extern "C" DWORD WINAPI GetLastError(void) {
    return last_error;
}

extern "C" void WINAPI SetLastError(DWORD dwErrCode) {
    last_error = dwErrCode;
}

extern "C" UINT WINAPI SetErrorMode(UINT uMode) {
    return error_mode.exchange(uMode);
}

extern "C" UINT WINAPI GetErrorMode(void) {
    return error_mode.load();
}
