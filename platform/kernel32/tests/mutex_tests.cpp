// Mutexes: ownership by one thread, recursion, ERROR_NOT_OWNER, and abandonment when the owner ends.
#include "conformance.h"

namespace {

using namespace conformance;

DWORD TryFromOtherThread(HANDLE mutex) {
    return RunOnOtherThread([mutex] {
        DWORD result = WaitForSingleObject(mutex, 0);
        if (result != WAIT_TIMEOUT)
            ReleaseMutex(mutex);
        return result;
    });
}

TEST(Mutexes, OwnerTakesItAgainAndMustReleaseAsOften) {
    for (BOOL initial_owner : {FALSE, TRUE}) {
        SetLastError(kSentinel);
        HANDLE mutex = CreateMutexA(NULL, initial_owner, NULL);
        EXPECT_LAST_ERROR(ERROR_SUCCESS);
        EXPECT_RESULT(TryFromOtherThread(mutex), initial_owner ? WAIT_TIMEOUT : WAIT_OBJECT_0);
        EXPECT_RESULT(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
        EXPECT_RESULT(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
        for (int held = initial_owner ? 3 : 2; held > 0; --held) {
            EXPECT_RESULT(TryFromOtherThread(mutex), WAIT_TIMEOUT);
            EXPECT_RESULT(RunOnOtherThread([mutex] { return ReleaseMutex(mutex) ? 0 : GetLastError(); }),
                          ERROR_NOT_OWNER);
            SetLastError(kSentinel);
            EXPECT_TRUE(ReleaseMutex(mutex));
            EXPECT_LAST_ERROR(kSentinel);
        }
        EXPECT_RESULT(TryFromOtherThread(mutex), WAIT_OBJECT_0);
        EXPECT_FAILS(!ReleaseMutex(mutex), ERROR_NOT_OWNER);  // owned by nobody
        CloseHandle(mutex);
    }
}

// The first wait after the owner ended without releasing reports the abandonment once and owns the mutex.
TEST(Mutexes, TheWaitAfterTheOwnerEndedReportsAbandonedOnce) {
    HANDLE event = CreateEventA(NULL, FALSE, FALSE, NULL);
    struct Case {
        int wait;        // 0: the mutex alone, 1: any of {event clear, mutex}, 2: all of {event set, mutex}
        DWORD expected;  // a wait for all names no index: only that an abandoned mutex was among them
    };
    const Case cases[] = {{0, WAIT_ABANDONED}, {1, WAIT_ABANDONED_0 + 1}, {2, WAIT_ABANDONED_0}};
    for (const Case &c : cases) {
        HANDLE mutex = CreateMutexA(NULL, FALSE, NULL);
        EXPECT_RESULT(RunOnOtherThread([mutex] { return WaitForSingleObject(mutex, 0); }), WAIT_OBJECT_0);
        HANDLE both[] = {event, mutex};
        if (c.wait == 2)
            SetEvent(event);
        SetLastError(kSentinel);
        DWORD result = c.wait == 0 ? WaitForSingleObject(mutex, 0) : WaitForMultipleObjects(2, both, c.wait == 2, 0);
        EXPECT_RESULT(result, c.expected);
        EXPECT_LAST_ERROR(kSentinel);
        EXPECT_RESULT(WaitForSingleObject(event, 0), WAIT_TIMEOUT);  // a wait for all took the event too
        EXPECT_RESULT(TryFromOtherThread(mutex), WAIT_TIMEOUT);
        EXPECT_TRUE(ReleaseMutex(mutex));
        EXPECT_RESULT(TryFromOtherThread(mutex), WAIT_OBJECT_0);
        CloseHandle(mutex);
    }
    CloseHandle(event);
}

// A thread blocked on an owned mutex gets it when the owner releases it, or hears of the abandonment.
TEST(Mutexes, BlockedWaiterGetsTheMutexWhenTheOwnerLetsGo) {
    for (bool owner_releases : {true, false}) {
        HANDLE mutex = CreateMutexA(NULL, FALSE, NULL);
        HANDLE taken = CreateEventA(NULL, TRUE, FALSE, NULL), finish = CreateEventA(NULL, TRUE, FALSE, NULL);
        HANDLE owner = StartThread([=] {
            WaitForSingleObject(mutex, INFINITE);
            SetEvent(taken);
            WaitForSingleObject(finish, INFINITE);
            return owner_releases ? (DWORD)ReleaseMutex(mutex) : (DWORD)TRUE;
        });
        EXPECT_RESULT(WaitForSingleObject(taken, kLongWait), WAIT_OBJECT_0);
        DWORD id = 0;
        HANDLE waiter = StartThread(
            [=] {
                DWORD result = WaitForSingleObject(mutex, kLongWait);
                return ReleaseMutex(mutex) ? result : kSentinel;
            },
            0, &id);
        ASSERT_TRUE(WaitUntilParked(id));
        EXPECT_RESULT(WaitForSingleObject(waiter, 0), WAIT_TIMEOUT);
        SetEvent(finish);
        EXPECT_RESULT(JoinThread(owner), TRUE);
        EXPECT_RESULT(JoinThread(waiter), owner_releases ? WAIT_OBJECT_0 : WAIT_ABANDONED);
        for (HANDLE handle : {taken, finish, mutex})
            CloseHandle(handle);
    }
}

// A critical section is taken again by its owner as often as it likes, and another thread gets it only
// once every entry is left.
TEST(CriticalSections, OwnerEntersAgainAndAnotherThreadWaitsForTheLastLeave) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    HANDLE entered = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE other = StartThread([&] {
        EnterCriticalSection(&section);
        SetEvent(entered);
        LeaveCriticalSection(&section);
        return 0u;
    });
    LeaveCriticalSection(&section);
    EXPECT_RESULT(WaitForSingleObject(entered, 0), WAIT_TIMEOUT);  // still held once
    LeaveCriticalSection(&section);
    EXPECT_RESULT(WaitForSingleObject(entered, kLongWait), WAIT_OBJECT_0);
    JoinThread(other);
    CloseHandle(entered);
    DeleteCriticalSection(&section);
}

}  // namespace
