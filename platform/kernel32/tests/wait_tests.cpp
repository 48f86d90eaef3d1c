// WaitForSingleObject and WaitForMultipleObjects: results, WAIT_FAILED with its last error, timeouts, and
// wait-all taking every object in one step or none.
#include "conformance.h"

#include <vector>

namespace {

using namespace conformance;

TEST(Waits, WaitForAnyReturnsTheLowestSignalledIndexAndTakesOnlyThatObject) {
    HANDLE events[] = {CreateEventA(NULL, FALSE, FALSE, NULL), CreateEventA(NULL, FALSE, TRUE, NULL),
                       CreateEventA(NULL, FALSE, TRUE, NULL)};
    SetLastError(kSentinel);
    EXPECT_RESULT(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_LAST_ERROR(kSentinel);
    EXPECT_RESULT(WaitForSingleObject(events[1], 0), WAIT_TIMEOUT);
    EXPECT_RESULT(WaitForSingleObject(events[2], 0), WAIT_OBJECT_0);
    EXPECT_RESULT(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_TIMEOUT);
    for (HANDLE event : events)
        CloseHandle(event);
}

TEST(Waits, WaitForAnyMayNameAnObjectTwice) {
    HANDLE event = CreateEventA(NULL, FALSE, TRUE, NULL);
    HANDLE twice[] = {event, event};
    EXPECT_RESULT(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_RESULT(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(Waits, WaitForAllFailsWhenAnObjectIsNamedTwice) {
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine does not check a wait for all for duplicate objects; Windows fails the call with "
                        "ERROR_INVALID_PARAMETER (STATUS_INVALID_PARAMETER_MIX)";
    HANDLE event = CreateEventA(NULL, TRUE, TRUE, NULL);
    HANDLE other = CreateEventA(NULL, TRUE, TRUE, NULL);
    HANDLE twice[] = {event, other, event};
    SetLastError(kSentinel);
    EXPECT_RESULT(WaitForMultipleObjects(3, twice, TRUE, 0), WAIT_FAILED);
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
    CloseHandle(event);
    CloseHandle(other);
}

TEST(Waits, BadArgumentsFailWithTheirLastError) {
    HANDLE event = CreateEventA(NULL, FALSE, TRUE, NULL);
    HANDLE closed = CreateEventA(NULL, FALSE, TRUE, NULL);
    CloseHandle(closed);
    std::vector<HANDLE> too_many(MAXIMUM_WAIT_OBJECTS + 1, event);

    SetLastError(kSentinel);
    EXPECT_RESULT(WaitForSingleObject(NULL, 0), WAIT_FAILED);
    EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
    SetLastError(kSentinel);
    EXPECT_RESULT(WaitForSingleObject(closed, INFINITE), WAIT_FAILED);
    EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
    SetLastError(kSentinel);
    EXPECT_RESULT(WaitForMultipleObjects(0, &event, FALSE, 0), WAIT_FAILED);
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
    SetLastError(kSentinel);
    EXPECT_RESULT(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, too_many.data(), FALSE, 0), WAIT_FAILED);
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);

    // One bad handle fails the whole wait, in either mode, before anything is taken.
    HANDLE mixed[] = {event, closed};
    for (BOOL wait_all : {FALSE, TRUE}) {
        SetLastError(kSentinel);
        EXPECT_RESULT(WaitForMultipleObjects(2, mixed, wait_all, INFINITE), WAIT_FAILED);
        EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
    }
    EXPECT_RESULT(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    CloseHandle(event);
}

TEST(Waits, TimeoutEndsTheWaitNoSooner) {
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    constexpr DWORD kTimeout = 200;
    DWORD start = GetTickCount();
    SetLastError(kSentinel);
    EXPECT_RESULT(WaitForSingleObject(event, kTimeout), WAIT_TIMEOUT);
    EXPECT_LAST_ERROR(kSentinel);
    // The tick may be as coarse as some 16 ms.
    EXPECT_GE(GetTickCount() - start, kTimeout - 20);
    HANDLE both[] = {event, event};
    start = GetTickCount();
    EXPECT_RESULT(WaitForMultipleObjects(2, both, FALSE, kTimeout), WAIT_TIMEOUT);
    EXPECT_GE(GetTickCount() - start, kTimeout - 20);
    CloseHandle(event);
}

TEST(Waits, ProcessPseudoHandleIsNeverSignalledWhileRunning) {
    EXPECT_RESULT(WaitForSingleObject(GetCurrentProcess(), 0), WAIT_TIMEOUT);
}

TEST(Waits, WaitForAllTakesNothingUntilEverythingIsSignalled) {
    HANDLE set = CreateEventA(NULL, FALSE, TRUE, NULL);
    HANDLE clear = CreateEventA(NULL, FALSE, FALSE, NULL);
    HANDLE handles[] = {set, clear};
    EXPECT_RESULT(WaitForMultipleObjects(2, handles, TRUE, 0), WAIT_TIMEOUT);
    EXPECT_RESULT(WaitForMultipleObjects(2, handles, TRUE, kShortWait), WAIT_TIMEOUT);
    // The signalled event was left alone.
    EXPECT_RESULT(WaitForSingleObject(set, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(SetEvent(set));
    EXPECT_TRUE(SetEvent(clear));
    EXPECT_RESULT(WaitForMultipleObjects(2, handles, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_RESULT(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_TIMEOUT);  // both consumed
    CloseHandle(set);
    CloseHandle(clear);
}

TEST(Waits, BlockedWaitForAllHoldsNoneOfItsObjects) {
    HANDLE mutex = CreateMutexA(NULL, FALSE, NULL);
    HANDLE event = CreateEventA(NULL, FALSE, FALSE, NULL);
    HANDLE thread = StartThread([&] {
        HANDLE handles[] = {mutex, event};
        DWORD result = WaitForMultipleObjects(2, handles, TRUE, kLongWait);
        if (result == WAIT_OBJECT_0)
            ReleaseMutex(mutex);
        return result;
    });
    EXPECT_RESULT(WaitForSingleObject(thread, kShortWait), WAIT_TIMEOUT);
    // The free mutex is not held by the blocked wait: this thread takes it and gives it back.
    EXPECT_RESULT(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(SetEvent(event));
    EXPECT_RESULT(WaitForSingleObject(thread, kLongWait), WAIT_OBJECT_0);
    DWORD code = kSentinel;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_RESULT(code, WAIT_OBJECT_0);
    EXPECT_RESULT(WaitForSingleObject(event, 0), WAIT_TIMEOUT);  // the wait consumed it
    CloseHandle(thread);
    CloseHandle(event);
    CloseHandle(mutex);
}

// Several threads wait for all of two tokens (auto-reset events, and a mutex), in both orders, against threads
// that want only one. Each thread checks that it alone holds what it took. A wait-all that took its objects
// one at a time would sooner or later deadlock two threads that name them in opposite orders.
TEST(Waits, WaitForAllIsAtomicUnderContention) {
    constexpr int kRounds = 300;
    HANDLE token_a = CreateEventA(NULL, FALSE, TRUE, NULL);
    HANDLE token_b = CreateEventA(NULL, FALSE, TRUE, NULL);
    HANDLE mutex = CreateMutexA(NULL, FALSE, NULL);
    LONG holders[3] = {0, 0, 0};  // of token_a, token_b, mutex
    LONG violations = 0;
    LONG failed_waits = 0;

    struct Want {
        std::vector<int> tokens;  // 0 token_a, 1 token_b, 2 mutex
    };
    const std::vector<Want> wants = {{{0, 1}}, {{1, 0}}, {{0, 1}}, {{1, 0}}, {{2, 0}}, {{1, 2}}, {{0}}, {{1}}, {{2}}};
    std::vector<HANDLE> threads;
    for (const Want &want : wants) {
        threads.push_back(StartThread([&, want] {
            HANDLE objects[] = {token_a, token_b, mutex};
            HANDLE handles[2];
            DWORD count = 0;
            for (int token : want.tokens)
                handles[count++] = objects[token];
            for (int round = 0; round < kRounds; ++round) {
                if (WaitForMultipleObjects(count, handles, TRUE, kLongWait) != WAIT_OBJECT_0) {
                    InterlockedIncrement(&failed_waits);
                    return (DWORD)1;
                }
                for (int token : want.tokens)
                    if (InterlockedIncrement(&holders[token]) != 1)
                        InterlockedIncrement(&violations);
                for (int token : want.tokens)
                    InterlockedDecrement(&holders[token]);
                for (int token : want.tokens)
                    if (token == 2)
                        ReleaseMutex(mutex);
                    else
                        SetEvent(objects[token]);
            }
            return (DWORD)0;
        }));
        ASSERT_NE(threads.back(), (HANDLE)NULL);
    }
    EXPECT_RESULT(WaitForMultipleObjects((DWORD)threads.size(), threads.data(), TRUE, 4 * kLongWait), WAIT_OBJECT_0);
    EXPECT_EQ(violations, 0);
    EXPECT_EQ(failed_waits, 0);
    // Every token is back.
    HANDLE all[] = {token_a, token_b, mutex};
    EXPECT_RESULT(WaitForMultipleObjects(3, all, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    for (HANDLE thread : threads)
        CloseHandle(thread);
    for (HANDLE handle : all)
        CloseHandle(handle);
}

}  // namespace
