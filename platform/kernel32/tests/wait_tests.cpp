// WaitForSingleObject and WaitForMultipleObjects: results, failures, and wait-all taking all or nothing.
#include "conformance.h"

#include <vector>

namespace {

using namespace conformance;

TEST(Waits, WaitForAnyTakesTheLowestSignalledObjectOnlyWaitForAllAllOrNothing) {
    HANDLE events[] = {CreateEventA(NULL, FALSE, FALSE, NULL), CreateEventA(NULL, FALSE, TRUE, NULL),
                       CreateEventA(NULL, FALSE, TRUE, NULL)};
    SetLastError(kSentinel);
    for (DWORD expected : {WAIT_OBJECT_0 + 1, WAIT_OBJECT_0 + 2, (DWORD)WAIT_TIMEOUT})
        EXPECT_RESULT(WaitForMultipleObjects(3, events, FALSE, 0), expected);
    EXPECT_LAST_ERROR(kSentinel);
    HANDLE twice[] = {events[0], events[0]};  // a wait for any may name an object twice
    SetEvent(events[0]);
    EXPECT_RESULT(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_RESULT(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_TIMEOUT);
    // A wait for all takes nothing until everything is signalled, even while it blocks.
    HANDLE set_and_clear[] = {events[1], events[2]};
    SetEvent(events[1]);
    EXPECT_RESULT(WaitForMultipleObjects(2, set_and_clear, TRUE, 0), WAIT_TIMEOUT);
    SetLastError(kSentinel);
    EXPECT_RESULT(WaitForMultipleObjects(2, set_and_clear, TRUE, 10), WAIT_TIMEOUT);
    EXPECT_LAST_ERROR(kSentinel);
    EXPECT_RESULT(WaitForSingleObject(events[1], 0), WAIT_OBJECT_0);  // left alone
    EXPECT_TRUE(SetEvent(events[1]) && SetEvent(events[2]));
    EXPECT_RESULT(WaitForMultipleObjects(2, set_and_clear, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_RESULT(WaitForMultipleObjects(2, set_and_clear, FALSE, 0), WAIT_TIMEOUT);  // both taken
    for (HANDLE event : events)
        CloseHandle(event);
}

// One bad argument fails the whole wait, in either mode, before anything is taken.
TEST(Waits, BadArgumentsFailWithTheirLastError) {
    HANDLE event = CreateEventA(NULL, FALSE, TRUE, NULL), other = CreateEventA(NULL, FALSE, TRUE, NULL);
    HANDLE closed = CreateEventA(NULL, FALSE, TRUE, NULL);
    CloseHandle(closed);
    std::vector<HANDLE> many(MAXIMUM_WAIT_OBJECTS + 1, event);
    struct Case {
        std::vector<HANDLE> handles;
        BOOL wait_all;
        DWORD error;
    };
    const Case cases[] = {
        {{}, FALSE, ERROR_INVALID_PARAMETER},
        {many, FALSE, ERROR_INVALID_PARAMETER},
        {{event, closed}, FALSE, ERROR_INVALID_HANDLE},
        {{event, NULL}, TRUE, ERROR_INVALID_HANDLE},
    };
    for (const Case &c : cases) {
        SetLastError(kSentinel);
        EXPECT_RESULT(WaitForMultipleObjects((DWORD)c.handles.size(), c.handles.empty() ? &event : c.handles.data(),
                                             c.wait_all, INFINITE),
                      WAIT_FAILED);
        EXPECT_LAST_ERROR(c.error) << c.handles.size();
    }
    HANDLE both[] = {event, other};
    EXPECT_RESULT(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
    SetEvent(event);  // exactly the limit is allowed
    EXPECT_RESULT(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, many.data(), FALSE, 0), WAIT_OBJECT_0);
    HANDLE twice[] = {event, other, event};  // a wait for all of one object twice
    SetLastError(kSentinel);
    DWORD result = WaitForMultipleObjects(3, twice, TRUE, 0);
    CloseHandle(event);
    CloseHandle(other);
    SKIP_KNOWN_DIFFERENCE(result != WAIT_FAILED, "a wait for all of one object twice is not refused here");
    EXPECT_RESULT(result, WAIT_FAILED);
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
}

}  // namespace
