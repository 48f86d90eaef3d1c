// Mutexes: ownership by one thread, recursion, ERROR_NOT_OWNER, and abandonment when the owner ends.
#include "conformance.h"

namespace {

using namespace conformance;

// What a wait of 0 ms from another thread sees; an acquired mutex is released again before that thread ends.
DWORD TryFromOtherThread(HANDLE mutex) {
    return RunOnOtherThread([mutex] {
        DWORD result = WaitForSingleObject(mutex, 0);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
            ReleaseMutex(mutex);
        return result;
    });
}

DWORD WINAPI TakeAndExitThread(LPVOID mutex) {
    WaitForSingleObject((HANDLE)mutex, INFINITE);
    ExitThread(3);
}

// A mutex whose owner thread ended without releasing it.
HANDLE CreateAbandonedMutex() {
    HANDLE mutex = CreateMutexA(NULL, FALSE, NULL);
    EXPECT_RESULT(RunOnOtherThread([mutex] { return WaitForSingleObject(mutex, 0); }), WAIT_OBJECT_0);
    return mutex;
}

TEST(Mutexes, CreateClearsLastErrorAndOwnsOnlyWhenAsked) {
    SetLastError(kSentinel);
    HANDLE free_mutex = CreateMutexA(NULL, FALSE, NULL);
    ASSERT_NE(free_mutex, (HANDLE)NULL);
    EXPECT_LAST_ERROR(ERROR_SUCCESS);
    EXPECT_RESULT(TryFromOtherThread(free_mutex), WAIT_OBJECT_0);

    HANDLE owned = CreateMutexA(NULL, TRUE, NULL);
    ASSERT_NE(owned, (HANDLE)NULL);
    EXPECT_RESULT(TryFromOtherThread(owned), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(owned));
    EXPECT_RESULT(TryFromOtherThread(owned), WAIT_OBJECT_0);
    CloseHandle(free_mutex);
    CloseHandle(owned);
}

TEST(Mutexes, OwnerTakesItAgainAndMustReleaseAsOften) {
    HANDLE mutex = CreateMutexA(NULL, TRUE, NULL);
    EXPECT_RESULT(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_RESULT(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    for (int held = 3; held > 0; --held) {
        EXPECT_RESULT(TryFromOtherThread(mutex), WAIT_TIMEOUT);
        SetLastError(kSentinel);
        EXPECT_TRUE(ReleaseMutex(mutex));
        EXPECT_LAST_ERROR(kSentinel);
    }
    EXPECT_RESULT(TryFromOtherThread(mutex), WAIT_OBJECT_0);
    SetLastError(kSentinel);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_LAST_ERROR(ERROR_NOT_OWNER);
    CloseHandle(mutex);
}

TEST(Mutexes, ReleaseByAnyoneButTheOwnerFailsWithNotOwner) {
    HANDLE mutex = CreateMutexA(NULL, TRUE, NULL);
    DWORD error = RunOnOtherThread([mutex] {
        SetLastError(kSentinel);
        return ReleaseMutex(mutex) ? (DWORD)0 : GetLastError();
    });
    EXPECT_RESULT(error, ERROR_NOT_OWNER);
    EXPECT_RESULT(TryFromOtherThread(mutex), WAIT_TIMEOUT);  // still ours
    EXPECT_TRUE(ReleaseMutex(mutex));

    SetLastError(kSentinel);
    EXPECT_FALSE(ReleaseMutex(mutex));  // owned by nobody
    EXPECT_LAST_ERROR(ERROR_NOT_OWNER);
    CloseHandle(mutex);
}

TEST(Mutexes, ReleaseOfAnythingButAMutexFailsWithInvalidHandle) {
    HANDLE event = CreateEventA(NULL, TRUE, TRUE, NULL);
    const HANDLE bad[] = {NULL, event};
    for (HANDLE handle : bad) {
        SetLastError(kSentinel);
        EXPECT_FALSE(ReleaseMutex(handle));
        EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
    }
    CloseHandle(event);
}

TEST(Mutexes, OwnerEndingMakesTheNextWaitReportAbandonedOnce) {
    HANDLE mutex = CreateAbandonedMutex();
    SetLastError(kSentinel);
    EXPECT_RESULT(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
    EXPECT_LAST_ERROR(kSentinel);
    // The wait that reported the abandonment owns the mutex, and the next one is an ordinary wait.
    EXPECT_RESULT(TryFromOtherThread(mutex), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_RESULT(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST(Mutexes, OwnerCallingExitThreadAbandonsIt) {
    HANDLE mutex = CreateMutexA(NULL, FALSE, NULL);
    HANDLE thread = CreateThread(NULL, 0, TakeAndExitThread, mutex, 0, NULL);
    ASSERT_NE(thread, (HANDLE)NULL);
    EXPECT_RESULT(WaitForSingleObject(thread, kLongWait), WAIT_OBJECT_0);
    EXPECT_RESULT(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(thread);
    CloseHandle(mutex);
}

TEST(Mutexes, ThreadBlockedOnTheMutexIsToldOfTheAbandonment) {
    HANDLE mutex = CreateMutexA(NULL, FALSE, NULL);
    HANDLE taken = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE finish = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE owner = StartThread([&] {
        WaitForSingleObject(mutex, INFINITE);
        SetEvent(taken);
        return WaitForSingleObject(finish, INFINITE);  // ends still owning the mutex
    });
    EXPECT_RESULT(WaitForSingleObject(taken, kLongWait), WAIT_OBJECT_0);
    HANDLE waiter = StartThread([&] {
        DWORD result = WaitForSingleObject(mutex, INFINITE);
        ReleaseMutex(mutex);
        return result;
    });
    EXPECT_RESULT(WaitForSingleObject(waiter, kShortWait), WAIT_TIMEOUT);
    SetEvent(finish);
    HANDLE both[] = {owner, waiter};
    ExpectAllEnd(both, 2);
    DWORD code = kSentinel;
    EXPECT_TRUE(GetExitCodeThread(waiter, &code));
    EXPECT_RESULT(code, WAIT_ABANDONED);
    for (HANDLE handle : {owner, waiter, taken, finish, mutex})
        CloseHandle(handle);
}

TEST(Mutexes, WaitForAnyReportsTheAbandonedMutexByIndex) {
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE mutex = CreateAbandonedMutex();
    HANDLE handles[] = {event, mutex};
    EXPECT_RESULT(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_ABANDONED_0 + 1);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(event);
    CloseHandle(mutex);
}

TEST(Mutexes, WaitForAllReportsAnAbandonedMutexAndTakesEverything) {
    HANDLE event = CreateEventA(NULL, FALSE, TRUE, NULL);
    HANDLE mutex = CreateAbandonedMutex();
    HANDLE handles[] = {event, mutex};
    // Unlike a wait for any, the result names no index: it only says that an abandoned mutex was among them.
    EXPECT_RESULT(WaitForMultipleObjects(2, handles, TRUE, 0), WAIT_ABANDONED_0);
    EXPECT_RESULT(WaitForSingleObject(event, 0), WAIT_TIMEOUT);  // consumed with the mutex
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(event);
    CloseHandle(mutex);
}

TEST(Mutexes, ReleaseHandsTheMutexToAWaitingThread) {
    HANDLE mutex = CreateMutexA(NULL, TRUE, NULL);
    LONG inside = 0;
    HANDLE thread = StartThread([&] {
        DWORD result = WaitForSingleObject(mutex, kLongWait);
        InterlockedIncrement(&inside);
        ReleaseMutex(mutex);
        return result;
    });
    EXPECT_RESULT(WaitForSingleObject(thread, kShortWait), WAIT_TIMEOUT);
    EXPECT_EQ(inside, 0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_RESULT(WaitForSingleObject(thread, kLongWait), WAIT_OBJECT_0);
    DWORD code = kSentinel;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_RESULT(code, WAIT_OBJECT_0);
    EXPECT_EQ(inside, 1);
    CloseHandle(thread);
    CloseHandle(mutex);
}

}  // namespace
