// Helpers of the kernel conformance tests: only Win32, the standard library and GoogleTest, so they build for Windows.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#ifndef _WIN32
#include "testing/thread_waits.h"
#endif

namespace conformance {

constexpr DWORD kSentinel = 0xdeadbeef;  // put into the last error before a call, to see whether it changed
constexpr DWORD kLongWait = 30000;       // long enough for anything that should happen on a loaded machine

#ifdef _WIN32
// Wine, a second implementation of the API that these tests also run on, is skipped where it differs.
inline bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
// Windows reports neither when a thread has blocked in a wait nor when a suspension has taken effect.
constexpr bool kSeesThreadStates = false;
inline bool WaitUntilParked(DWORD) {
    return true;
}
#else
inline bool RunningUnderWine() {
    return false;
}
constexpr bool kSeesThreadStates = true;
// True once the thread is blocked in a wait, so that a signal given now completes that wait.
inline bool WaitUntilParked(DWORD thread_id) {
    return platform::testing::wait_until_parked(thread_id, kLongWait);
}
#endif

inline DWORD WINAPI RunBody(LPVOID body) {
    return (*std::unique_ptr<std::function<DWORD()>>(static_cast<std::function<DWORD()> *>(body)))();
}

inline HANDLE StartThread(std::function<DWORD()> body, DWORD flags = 0, DWORD *id = nullptr, SIZE_T stack = 0) {
    return CreateThread(NULL, stack, RunBody, new std::function<DWORD()>(std::move(body)), flags, id);
}

// Waits for the thread to end, closes its handle and returns its exit code.
inline DWORD JoinThread(HANDLE thread) {
    DWORD code = kSentinel;
    EXPECT_EQ(WaitForSingleObject(thread, kLongWait), (DWORD)WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    CloseHandle(thread);
    return code;
}

inline DWORD RunOnOtherThread(std::function<DWORD()> body) {
    return JoinThread(StartThread(std::move(body)));
}

}  // namespace conformance

#define EXPECT_RESULT(call, expected) EXPECT_EQ((DWORD)(call), (DWORD)(expected))
#define EXPECT_LAST_ERROR(expected) EXPECT_EQ(GetLastError(), (DWORD)(expected))
