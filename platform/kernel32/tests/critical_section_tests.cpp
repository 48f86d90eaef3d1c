// Critical sections: recursive ownership and mutual exclusion between threads.
#include "conformance.h"

namespace {

using namespace conformance;

struct Section {
    CRITICAL_SECTION section;
    Section() { InitializeCriticalSection(&section); }
    ~Section() { DeleteCriticalSection(&section); }
};

TEST(CriticalSections, OwnerEntersAgainAndOthersWaitForTheLastLeave) {
    Section s;
    EnterCriticalSection(&s.section);
    EnterCriticalSection(&s.section);
    EXPECT_TRUE(TryEnterCriticalSection(&s.section));
    auto other_try = [&] {
        return RunOnOtherThread([&] {
            if (!TryEnterCriticalSection(&s.section))
                return (DWORD)0;
            LeaveCriticalSection(&s.section);
            return (DWORD)1;
        });
    };
    for (int held = 3; held > 0; --held) {
        EXPECT_EQ(other_try(), 0u);
        LeaveCriticalSection(&s.section);
    }
    EXPECT_EQ(other_try(), 1u);
}

TEST(CriticalSections, EnterBlocksUntilTheOwnerLeaves) {
    Section s;
    HANDLE entered = CreateEventA(NULL, TRUE, FALSE, NULL);
    EnterCriticalSection(&s.section);
    HANDLE thread = StartThread([&] {
        EnterCriticalSection(&s.section);
        SetEvent(entered);
        LeaveCriticalSection(&s.section);
        return (DWORD)0;
    });
    EXPECT_RESULT(WaitForSingleObject(entered, kShortWait), WAIT_TIMEOUT);
    LeaveCriticalSection(&s.section);
    EXPECT_RESULT(WaitForSingleObject(entered, kLongWait), WAIT_OBJECT_0);
    EXPECT_RESULT(WaitForSingleObject(thread, kLongWait), WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(entered);
}

TEST(CriticalSections, ExcludeEachOtherUnderContention) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    Section s;
    long counter = 0;  // plain: only the section protects it
    HANDLE threads[kThreads];
    for (auto &thread : threads)
        thread = StartThread([&] {
            for (int i = 0; i < kRounds; ++i) {
                EnterCriticalSection(&s.section);
                long seen = counter;
                counter = seen + 1;
                LeaveCriticalSection(&s.section);
            }
            return (DWORD)0;
        });
    ExpectAllEnd(threads, kThreads);
    EXPECT_EQ(counter, (long)kThreads * kRounds);
    for (HANDLE thread : threads)
        CloseHandle(thread);
}

}  // namespace
