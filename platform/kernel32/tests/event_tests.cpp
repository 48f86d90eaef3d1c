// Events: initial state, manual and auto reset, and how SetEvent releases waiters.
#include "conformance.h"

namespace {

using namespace conformance;

TEST(Events, CreateSetAndResetLeaveTheStateThatWaitsSee) {
    struct Case {
        BOOL manual, initial;
        int sets, resets;     // done in this order after creation
        DWORD first, second;  // two waits of 0 ms
    };
    const Case cases[] = {
        {TRUE, TRUE, 0, 0, WAIT_OBJECT_0, WAIT_OBJECT_0},  // a manual-reset event stays set
        {FALSE, TRUE, 0, 0, WAIT_OBJECT_0, WAIT_TIMEOUT},  // an auto-reset one is taken by the wait
        {FALSE, FALSE, 0, 0, WAIT_TIMEOUT, WAIT_TIMEOUT},  {FALSE, FALSE, 2, 0, WAIT_OBJECT_0, WAIT_TIMEOUT},
        {TRUE, FALSE, 2, 0, WAIT_OBJECT_0, WAIT_OBJECT_0}, {TRUE, TRUE, 1, 1, WAIT_TIMEOUT, WAIT_TIMEOUT},
        {FALSE, TRUE, 0, 2, WAIT_TIMEOUT, WAIT_TIMEOUT},  // resetting a clear event succeeds too
    };
    for (const Case &c : cases) {
        SetLastError(kSentinel);
        HANDLE event = CreateEventA(NULL, c.manual, c.initial, NULL);
        EXPECT_LAST_ERROR(ERROR_SUCCESS);
        SetLastError(kSentinel);
        for (int i = 0; i < c.sets + c.resets; ++i)
            EXPECT_TRUE(i < c.sets ? SetEvent(event) : ResetEvent(event));
        EXPECT_RESULT(WaitForSingleObject(event, 0), c.first) << c.manual << c.initial << c.sets << c.resets;
        EXPECT_RESULT(WaitForSingleObject(event, 0), c.second) << c.manual << c.initial << c.sets << c.resets;
        EXPECT_LAST_ERROR(kSentinel);
        CloseHandle(event);
    }
}

TEST(Events, SetReleasesEveryWaiterOfAManualResetEventEvenWhenResetAtOnce) {
    // The wait is satisfied when the event is set, not when the waiting thread next runs.
    if (!kSeesThreadStates)
        GTEST_SKIP() << "Windows does not report when the threads have begun to wait";
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE threads[3];
    for (HANDLE &thread : threads) {
        DWORD id = 0;
        thread = StartThread([event] { return WaitForSingleObject(event, kLongWait); }, 0, &id);
        ASSERT_TRUE(WaitUntilParked(id));
    }
    EXPECT_RESULT(WaitForMultipleObjects(3, threads, FALSE, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_TRUE(ResetEvent(event));
    for (HANDLE thread : threads)
        EXPECT_RESULT(JoinThread(thread), WAIT_OBJECT_0);
    CloseHandle(event);
}

}  // namespace
