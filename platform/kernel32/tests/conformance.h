// Shared helpers for the kernel conformance tests. Only the Win32 API, the standard library and GoogleTest,
// so that the same tests build against the real Windows headers and libraries.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

namespace conformance {

// Put into the last error before a call, to see whether the call changed it.
constexpr DWORD kSentinel = 0xdeadbeef;
// Long enough for anything that should happen on a loaded machine.
constexpr DWORD kLongWait = 30000;
// How long to watch for something that must not happen; a slow machine can only make such a check miss.
constexpr DWORD kShortWait = 100;

// Wine is a second, independent implementation of the API that these tests also run on. Where it is known to
// differ from Windows, a test skips there and says why.
#ifdef _WIN32
inline bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
#else
inline bool RunningUnderWine() {
    return false;
}
#endif

inline DWORD WINAPI RunBody(LPVOID parameter) {
    auto *body = static_cast<std::function<DWORD()> *>(parameter);
    DWORD result = (*body)();
    delete body;
    return result;
}

// Starts a thread that runs `body` and ends with its result.
inline HANDLE StartThread(std::function<DWORD()> body, DWORD flags = 0, SIZE_T stack_size = 0,
                          DWORD *thread_id = nullptr) {
    auto *copy = new std::function<DWORD()>(std::move(body));
    HANDLE thread = CreateThread(NULL, stack_size, RunBody, copy, flags, thread_id);
    if (!thread)
        delete copy;
    return thread;
}

// Runs `body` on another thread and returns its result once it has ended.
inline DWORD RunOnOtherThread(std::function<DWORD()> body) {
    HANDLE thread = StartThread(std::move(body));
    EXPECT_NE(thread, (HANDLE)NULL);
    EXPECT_EQ(WaitForSingleObject(thread, kLongWait), (DWORD)WAIT_OBJECT_0);
    DWORD result = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &result));
    CloseHandle(thread);
    return result;
}

// Waits until every handle is signalled, or fails the test.
inline void ExpectAllEnd(const HANDLE *handles, DWORD count) {
    EXPECT_EQ(WaitForMultipleObjects(count, handles, TRUE, kLongWait), (DWORD)WAIT_OBJECT_0);
}

}  // namespace conformance

// Result and last error of a call, compared as the DWORDs they are on every build.
#define EXPECT_RESULT(call, expected) EXPECT_EQ((DWORD)(call), (DWORD)(expected))
#define EXPECT_LAST_ERROR(expected) EXPECT_EQ(GetLastError(), (DWORD)(expected))
