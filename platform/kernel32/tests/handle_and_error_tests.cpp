// CloseHandle, the per-thread last error, Sleep and the tick count.
#include "conformance.h"

namespace {

using namespace conformance;

TEST(Handles, CloseSucceedsOnceAndLeavesTheLastErrorAlone) {
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    SetLastError(kSentinel);
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_LAST_ERROR(kSentinel);
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
}

TEST(Handles, CloseOfNullFailsAndOfPseudoHandlesSucceeds) {
    SetLastError(kSentinel);
    EXPECT_FALSE(CloseHandle(NULL));
    EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
    SetLastError(kSentinel);
    EXPECT_TRUE(CloseHandle(GetCurrentThread()));
    EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
    EXPECT_LAST_ERROR(kSentinel);
}

TEST(LastError, IsKeptPerThreadAndStartsAtZero) {
    SetLastError(1234);
    DWORD seen = RunOnOtherThread([] {
        DWORD initial = GetLastError();
        SetLastError(5678);
        return initial;
    });
    EXPECT_EQ(seen, 0u);
    EXPECT_LAST_ERROR(1234);
    SetLastError(kSentinel);
    EXPECT_LAST_ERROR(kSentinel);
}

TEST(LastError, ErrorModeReturnsThePreviousMode) {
    UINT original = SetErrorMode(SEM_FAILCRITICALERRORS);
    EXPECT_EQ(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX), (UINT)SEM_FAILCRITICALERRORS);
    EXPECT_EQ(SetErrorMode(original), (UINT)(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
}

TEST(Time, SleepLastsAtLeastItsTimeOnTheTickCount) {
    DWORD start = GetTickCount();
    Sleep(0);  // gives up the rest of the time slice and returns
    Sleep(100);
    // The tick may be as coarse as some 16 ms.
    EXPECT_GE(GetTickCount() - start, 80u);
}

}  // namespace
