// Threads: exit codes, small stacks, CREATE_SUSPENDED, and the counts of SuspendThread and ResumeThread.
#include "conformance.h"

namespace {

using namespace conformance;

TEST(Threads, ExitCodeAndTheSuspendCountOfAThreadCreatedSuspended) {
    LONG after_exit_thread = 0;
    for (bool exit_thread : {false, true}) {
        HANDLE thread = StartThread(
            [&, exit_thread] {
                volatile char buffer[2048];
                for (int i = 0; i < 2048; ++i)
                    buffer[i] = (char)i;
                if (exit_thread)
                    ExitThread(buffer[42]);  // ends at once, with that code
                InterlockedExchange(&after_exit_thread, exit_thread);
                return (DWORD)buffer[42];
            },
            CREATE_SUSPENDED, nullptr, 4000);
        DWORD code = kSentinel;
        EXPECT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, (DWORD)STILL_ACTIVE);
        // Created suspended counts as one SuspendThread, up to a limit.
        for (DWORD count = 1; count < 127; ++count)
            ASSERT_EQ(SuspendThread(thread), count);
        EXPECT_FAILS(SuspendThread(thread) == (DWORD)-1, ERROR_SIGNAL_REFUSED);
        for (DWORD count = 127; count > 0; --count)
            ASSERT_EQ(ResumeThread(thread), count);
        EXPECT_EQ(ResumeThread(thread), 0u);  // running: nothing to undo
        EXPECT_RESULT(WaitForSingleObject(thread, kLongWait), WAIT_OBJECT_0);
        EXPECT_FAILS(SuspendThread(thread) == (DWORD)-1, ERROR_ACCESS_DENIED);  // ended
        EXPECT_EQ(JoinThread(thread), 42u);
    }
    EXPECT_EQ(after_exit_thread, 0);
}

// A suspended waiter takes nothing: the signal stays for threads that run until its count is back at zero.
TEST(Threads, SuspendCountsAndASuspendedWaiterTakesNothing) {
    HANDLE event = CreateEventA(NULL, FALSE, FALSE, NULL);
    DWORD id = 0;
    HANDLE thread = StartThread([&] { return WaitForSingleObject(event, kLongWait); }, 0, &id);
    ASSERT_TRUE(WaitUntilParked(id));
    EXPECT_EQ(SuspendThread(thread), 0u);
    EXPECT_EQ(SuspendThread(thread), 1u);
    for (DWORD count : {2u, 1u}) {
        EXPECT_TRUE(SetEvent(event));
        EXPECT_RESULT(WaitForSingleObject(event, kLongWait), WAIT_OBJECT_0);
        EXPECT_TRUE(SetEvent(event));
        EXPECT_EQ(ResumeThread(thread), count);
    }
    EXPECT_RESULT(JoinThread(thread), WAIT_OBJECT_0);
    EXPECT_RESULT(WaitForSingleObject(event, 0), WAIT_TIMEOUT);  // the resumed wait took the signal
    CloseHandle(event);
}

// A thread that suspends itself stops once it leaves the kernel's locked sections, until another resumes it.
TEST(Threads, ThreadMaySuspendItselfUntilAnotherResumesIt) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows does not report when a suspension has taken effect";
#elif defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer delivers the stopping signal only at its own safe points";
#else
    unsigned stops = platform::testing::stops_so_far();
    HANDLE self = StartThread([] { return SuspendThread(GetCurrentThread()); });
    ASSERT_TRUE(platform::testing::wait_until_stops_exceed(stops));
    EXPECT_EQ(ResumeThread(self), 1u);
    EXPECT_EQ(JoinThread(self), 0u);  // SuspendThread's previous count, returned once resumed
#endif
}

}  // namespace
