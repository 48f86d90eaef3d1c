// Conformance of events, mutexes, waits and threads: each test pins the result and the last error of the
// calls as a Win32 program relies on them. Uses only the Win32 API, so it also builds for Windows.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

constexpr DWORD sentinel = 0xdeadbeef;

DWORD WINAPI ReturnParameter(LPVOID parameter) { return (DWORD)(UINT_PTR)parameter; }

DWORD WINAPI TakeMutexAndEnd(LPVOID parameter) {
    WaitForSingleObject((HANDLE)parameter, INFINITE);
    return 0;
}

TEST(Events, AutoResetIsConsumedByOneWait) {
    HANDLE event = CreateEventA(NULL, FALSE, TRUE, NULL);
    ASSERT_NE(event, (HANDLE)NULL);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 10), (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(Events, WaitOnClosedHandleFails) {
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    ASSERT_TRUE(CloseHandle(event));
    SetLastError(sentinel);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST(Mutexes, RecursionOwnershipAndAbandonment) {
    HANDLE mutex = CreateMutexA(NULL, TRUE, NULL);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    SetLastError(sentinel);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_OWNER);

    HANDLE thread = CreateThread(NULL, 0, TakeMutexAndEnd, mutex, 0, NULL);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(mutex, 5000), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(thread);
    CloseHandle(mutex);
}

TEST(Threads, SuspendedThreadRunsAfterResumeAndReportsExitCode) {
    DWORD exit_code = sentinel;
    HANDLE thread = CreateThread(NULL, 4000, ReturnParameter, (LPVOID)42, CREATE_SUSPENDED, NULL);
    ASSERT_NE(thread, (HANDLE)NULL);
    EXPECT_EQ(WaitForSingleObject(thread, 50), (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(GetExitCodeThread(thread, &exit_code));
    EXPECT_EQ(exit_code, (DWORD)STILL_ACTIVE);
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(thread, &exit_code));
    EXPECT_EQ(exit_code, 42u);
    CloseHandle(thread);
}

}  // namespace
