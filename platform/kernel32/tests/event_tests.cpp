// Events: initial state, manual and auto reset, and how SetEvent releases waiters.
#include "conformance.h"

#include <algorithm>

namespace {

using namespace conformance;

TEST(Events, CreateStartsInTheGivenStateAndClearsLastError) {
    SetLastError(kSentinel);
    HANDLE manual_set = CreateEventA(NULL, TRUE, TRUE, NULL);
    ASSERT_NE(manual_set, (HANDLE)NULL);
    EXPECT_LAST_ERROR(ERROR_SUCCESS);
    HANDLE auto_clear = CreateEventA(NULL, FALSE, FALSE, NULL);
    ASSERT_NE(auto_clear, (HANDLE)NULL);

    EXPECT_RESULT(WaitForSingleObject(manual_set, 0), WAIT_OBJECT_0);
    EXPECT_RESULT(WaitForSingleObject(manual_set, 0), WAIT_OBJECT_0);  // a manual-reset event stays set
    EXPECT_RESULT(WaitForSingleObject(auto_clear, 0), WAIT_TIMEOUT);
    CloseHandle(manual_set);
    CloseHandle(auto_clear);
}

TEST(Events, AutoResetIsConsumedByTheWaitItSatisfies) {
    HANDLE event = CreateEventA(NULL, FALSE, TRUE, NULL);
    SetLastError(kSentinel);
    EXPECT_RESULT(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_LAST_ERROR(kSentinel);
    EXPECT_RESULT(WaitForSingleObject(event, 0), WAIT_TIMEOUT);

    // Setting twice stores one signal, not two.
    EXPECT_TRUE(SetEvent(event));
    EXPECT_TRUE(SetEvent(event));
    EXPECT_RESULT(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_RESULT(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(Events, SetAndResetSucceedWithoutTouchingTheLastError) {
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    SetLastError(kSentinel);
    EXPECT_TRUE(ResetEvent(event));  // already clear
    EXPECT_TRUE(SetEvent(event));
    EXPECT_TRUE(SetEvent(event));  // already set
    EXPECT_LAST_ERROR(kSentinel);
    EXPECT_RESULT(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_RESULT(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_LAST_ERROR(kSentinel);
    CloseHandle(event);
}

TEST(Events, CallsOnAnythingButAnOpenEventFailWithInvalidHandle) {
    HANDLE closed = CreateEventA(NULL, TRUE, FALSE, NULL);
    ASSERT_TRUE(CloseHandle(closed));
    HANDLE mutex = CreateMutexA(NULL, FALSE, NULL);
    const HANDLE bad[] = {NULL, closed, mutex};
    for (HANDLE handle : bad) {
        SetLastError(kSentinel);
        EXPECT_FALSE(SetEvent(handle));
        EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
        SetLastError(kSentinel);
        EXPECT_FALSE(ResetEvent(handle));
        EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
    }
    CloseHandle(mutex);
}

TEST(Events, ManualResetReleasesEveryWaiterAndStaysSet) {
    constexpr int kWaiters = 4;
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    LONG released = 0;
    HANDLE threads[kWaiters];
    for (auto &thread : threads) {
        thread = StartThread([&] {
            DWORD result = WaitForSingleObject(event, kLongWait);
            InterlockedIncrement(&released);
            return result;
        });
        ASSERT_NE(thread, (HANDLE)NULL);
    }
    EXPECT_RESULT(WaitForMultipleObjects(kWaiters, threads, FALSE, kShortWait), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(event));
    ExpectAllEnd(threads, kWaiters);
    EXPECT_EQ(released, kWaiters);
    for (HANDLE thread : threads) {
        DWORD code = kSentinel;
        EXPECT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_RESULT(code, WAIT_OBJECT_0);
        CloseHandle(thread);
    }
    EXPECT_RESULT(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    CloseHandle(event);
}

TEST(Events, AutoResetReleasesExactlyOneWaiterPerSet) {
    constexpr DWORD kWaiters = 3;
    HANDLE event = CreateEventA(NULL, FALSE, FALSE, NULL);
    LONG released = 0;
    HANDLE threads[kWaiters];
    for (auto &thread : threads) {
        thread = StartThread([&] {
            DWORD result = WaitForSingleObject(event, INFINITE);
            InterlockedIncrement(&released);
            return result;
        });
        ASSERT_NE(thread, (HANDLE)NULL);
    }
    HANDLE running[kWaiters];
    std::copy(threads, threads + kWaiters, running);
    for (DWORD left = kWaiters; left > 0; --left) {
        EXPECT_TRUE(SetEvent(event));
        DWORD ended = WaitForMultipleObjects(left, running, FALSE, kLongWait);
        ASSERT_LT(ended, WAIT_OBJECT_0 + left);
        running[ended] = running[left - 1];
        // The signal went to that one thread: the others go on waiting and the event is clear again.
        if (left > 1) {
            EXPECT_RESULT(WaitForMultipleObjects(left - 1, running, FALSE, kShortWait), WAIT_TIMEOUT);
        }
        EXPECT_EQ(released, (LONG)(kWaiters - left + 1));
    }
    EXPECT_RESULT(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    for (HANDLE thread : threads)
        CloseHandle(thread);
    CloseHandle(event);
}

TEST(Events, SetThenResetAtOnceStillReleasesTheWaiter) {
    // A manual-reset event set and reset straight away still releases a thread that was waiting: the wait is
    // satisfied when the event is set, not when the waiting thread next runs. Nothing shows from outside that
    // the thread has begun to wait, so the pulse is repeated with growing pauses until it has.
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE thread = StartThread([&] { return WaitForSingleObject(event, INFINITE); });
    ASSERT_NE(thread, (HANDLE)NULL);
    DWORD ended = WAIT_TIMEOUT;
    for (DWORD pause = kShortWait; pause <= 16 * kShortWait && ended == WAIT_TIMEOUT; pause *= 2) {
        Sleep(pause);
        EXPECT_TRUE(SetEvent(event));
        EXPECT_TRUE(ResetEvent(event));
        ended = WaitForSingleObject(thread, pause);
    }
    EXPECT_RESULT(ended, WAIT_OBJECT_0);
    if (ended != WAIT_OBJECT_0) {
        SetEvent(event);  // let the thread go before its captures go out of scope
        WaitForSingleObject(thread, kLongWait);
    }
    DWORD code = kSentinel;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_RESULT(code, WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(event);
}

}  // namespace
