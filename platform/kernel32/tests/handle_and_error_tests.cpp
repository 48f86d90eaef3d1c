// Wrong, closed and pseudo-handles, the per-thread last error, and fixed and moveable global memory.
#include "conformance.h"

#include <algorithm>
#include <cstring>

namespace {

using namespace conformance;

// Each call fails with ERROR_INVALID_HANDLE for NULL, a closed handle, and an object of another kind.
TEST(Handles, CallsOnAHandleOfTheWrongKindFailWithInvalidHandle) {
    HANDLE event = CreateEventA(NULL, TRUE, TRUE, NULL), mutex = CreateMutexA(NULL, FALSE, NULL);
    HANDLE closed = CreateEventA(NULL, TRUE, TRUE, NULL);
    ASSERT_TRUE(CloseHandle(closed));
    struct Call {
        DWORD (*call)(HANDLE);
        DWORD failure;
        HANDLE other_kind;  // NULL when any kind of object is acceptable
    };
    const Call calls[] = {
        {[](HANDLE h) { return (DWORD)SetEvent(h); }, FALSE, mutex},
        {[](HANDLE h) { return (DWORD)ResetEvent(h); }, FALSE, mutex},
        {[](HANDLE h) { return (DWORD)ReleaseMutex(h); }, FALSE, event},
        {[](HANDLE h) { return SuspendThread(h); }, (DWORD)-1, event},
        {[](HANDLE h) { return ResumeThread(h); }, (DWORD)-1, mutex},
        {[](HANDLE h) {
             DWORD code = kSentinel;
             return (DWORD)(GetExitCodeThread(h, &code) || code != kSentinel);
         },
         0, event},
        {[](HANDLE h) { return WaitForSingleObject(h, INFINITE); }, WAIT_FAILED, NULL},
        {[](HANDLE h) { return (DWORD)CloseHandle(h); }, FALSE, NULL},
    };
    for (const Call &c : calls)
        for (HANDLE handle : {(HANDLE)NULL, closed, c.other_kind ? c.other_kind : closed}) {
            SetLastError(kSentinel);
            EXPECT_RESULT(c.call(handle), c.failure) << (&c - calls) << " " << handle;
            EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE) << (&c - calls) << " " << handle;
        }
    CloseHandle(event);
    CloseHandle(mutex);
}

TEST(Handles, CloseSucceedsOncePseudoHandlesStayUsableAndTheLastErrorIsEachThreadsOwn) {
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    EXPECT_EQ((ULONG_PTR)event % 4, 0u);  // handles are multiples of 4, as some callers rely on
    SetLastError(kSentinel);
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_TRUE(CloseHandle(GetCurrentThread()));
    EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
    EXPECT_EQ(RunOnOtherThread([] { return GetLastError(); }), 0u);  // the last error is per thread, from zero
    EXPECT_LAST_ERROR(kSentinel);
    // The pseudo-handles name the running thread and process: never signalled, still active.
    DWORD code = kSentinel;
    EXPECT_TRUE(GetExitCodeThread(GetCurrentThread(), &code));
    EXPECT_EQ(code, (DWORD)STILL_ACTIVE);
    EXPECT_RESULT(WaitForSingleObject(GetCurrentThread(), 0), WAIT_TIMEOUT);
    EXPECT_RESULT(WaitForSingleObject(GetCurrentProcess(), 0), WAIT_TIMEOUT);
}

constexpr UINT kFixedNoDiscard = 0x20;  // the flags the programs pass: a fixed block, contents undefined
constexpr UINT kZeroInit = 0x40;

TEST(GlobalMemory, BlocksHoldTheirSizeZeroFillWhenAskedAndOnlyMoveableOnesCountLocks) {
    for (UINT flags : {kFixedNoDiscard, kZeroInit, kZeroInit | kFixedNoDiscard, (UINT)GHND}) {
        bool moveable = (flags & GMEM_MOVEABLE) != 0;
        HGLOBAL block = GlobalAlloc(flags, 12248);
        unsigned char *data = static_cast<unsigned char *>(GlobalLock(block));
        ASSERT_NE(data, nullptr) << flags;
        EXPECT_EQ(GlobalLock(block), data);
        EXPECT_EQ((void *)data == (void *)block, !moveable) << flags;  // a fixed block is its address
        EXPECT_GE(GlobalSize(block), (SIZE_T)12248);
        if (flags & kZeroInit) {
            EXPECT_EQ(std::count(data, data + 12248, 0), 12248);
        }
        std::memset(data, 0x5a, 12248);
        EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, moveable ? 2u : 0u) << flags;
        // Moveable: still locked once; now unlocked, reported as zero with no error; not locked at all.
        const std::pair<BOOL, DWORD> unlocks[] = {{TRUE, kSentinel}, {FALSE, NO_ERROR}, {FALSE, ERROR_NOT_LOCKED}};
        for (auto [result, error] : unlocks) {
            SetLastError(kSentinel);
            EXPECT_EQ(GlobalUnlock(block), moveable ? result : TRUE);
            EXPECT_LAST_ERROR(moveable ? error : kSentinel);
        }
        SetLastError(kSentinel);
        EXPECT_EQ(GlobalFree(block), (HGLOBAL)NULL);
        EXPECT_LAST_ERROR(kSentinel);
        if (moveable) {  // the freed handle is invalid
            EXPECT_TRUE(!GlobalLock(block) && !GlobalUnlock(block) && GlobalFree(block) == block);
            EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
        }
    }
}

// The service turns off the critical-error boxes; each call returns the mode before it.
TEST(ErrorMode, SetReturnsThePreviousMode) {
    UINT original = SetErrorMode(SEM_FAILCRITICALERRORS);
    EXPECT_EQ(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX), (UINT)SEM_FAILCRITICALERRORS);
    EXPECT_EQ(SetErrorMode(original), (UINT)(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
}

}  // namespace
