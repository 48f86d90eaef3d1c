// Timers and thread messages: what WM_TIMER carries, timer procedures, killing and replacing timers, and
// posting to a thread. Every wait is for a message; a timer's own WM_TIMER is the event that time passed.
#include "message_log.h"

#include <thread>
#include <tuple>
#include <utility>

namespace {

using Logged = std::tuple<HWND, UINT, WPARAM>;
using Log = std::vector<Logged>;
Log window_calls, timer_calls;  // what the logging window's procedure and the timer procedure got

LRESULT CALLBACK timer_logging_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_TIMER || message >= WM_USER)
        window_calls.push_back({hwnd, message, wparam});
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

void CALLBACK record_timer(HWND hwnd, UINT message, UINT_PTR id, DWORD) {
    timer_calls.push_back({hwnd, message, id});
}

// The next WM_TIMER of this thread, dispatching every message before it.
MSG next_timer() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message != WM_TIMER)
        DispatchMessageA(&msg);
    return msg;
}

Logged logged(const MSG &msg) {
    return {msg.hwnd, msg.message, msg.wParam};
}

class Timers : public ::testing::Test {
protected:
    HWND hwnd = nullptr;
    void SetUp() override {
        ui::headless();
        register_class("TimerClass", timer_logging_proc);
        ASSERT_NE(hwnd = make_window("TimerClass", "", WS_OVERLAPPED), nullptr);
        window_calls.clear();
        timer_calls.clear();
    }
    void TearDown() override {
        DestroyWindow(hwnd);
        ui::pump_pending();
    }
};

TEST_F(Timers, WmTimerCarriesIdAndProcedureAndDispatchCallsTheProcedureInstead) {
    const std::tuple<bool, UINT_PTR, TIMERPROC> cases[] = {
        {true, 7, nullptr}, {true, 8, record_timer}, {false, 0, nullptr}, {false, 0, record_timer}};
    for (auto [window, asked, proc] : cases) {
        HWND owner = window ? hwnd : nullptr;
        UINT_PTR id = SetTimer(owner, asked, 10, proc);
        ASSERT_NE(id, 0u);
        MSG msg = next_timer();
        EXPECT_EQ(logged(msg), (Logged{owner, WM_TIMER, window ? asked : id}));
        EXPECT_EQ(msg.lParam, reinterpret_cast<LPARAM>(proc));
        DispatchMessageA(&msg);
        EXPECT_TRUE(KillTimer(owner, msg.wParam));
        Log got{logged(msg)};
        EXPECT_EQ(std::exchange(timer_calls, {}), proc ? got : Log{});
        EXPECT_EQ(std::exchange(window_calls, {}), window && !proc ? got : Log{});
    }
}

TEST_F(Timers, KilledTimersAndTimersOfDestroyedWindowsNeverFire) {
    HWND doomed = make_window("TimerClass", "", WS_OVERLAPPED);
    ASSERT_TRUE(SetTimer(hwnd, 1, 10, nullptr) && SetTimer(doomed, 2, 10, nullptr));
    ASSERT_TRUE(SetTimer(hwnd, 3, 10, nullptr));  // elapses last: the other two would come before it
    EXPECT_TRUE(KillTimer(hwnd, 1));
    DestroyWindow(doomed);
    PostMessageA(hwnd, WM_USER, 0, 0);
    EXPECT_EQ(logged(next_timer()), (Logged{hwnd, WM_TIMER, 3}));
    EXPECT_EQ(window_calls, (Log{{hwnd, WM_USER, 0}}));
    EXPECT_TRUE(KillTimer(hwnd, 3));
}

TEST_F(Timers, SettingAnExistingTimerReplacesItAndShortElapsesCountAsTheMinimum) {
    ASSERT_EQ(SetTimer(hwnd, 5, USER_TIMER_MINIMUM, record_timer), 5u);
    ASSERT_EQ(SetTimer(hwnd, 5, USER_TIMER_MINIMUM, nullptr), 5u);
    ASSERT_EQ(SetTimer(hwnd, 6, 0, nullptr), 6u);  // at once, before timer 5, were it not for the minimum
    MSG msg = next_timer();
    EXPECT_TRUE(msg.wParam == 5u && msg.lParam == 0);
    EXPECT_TRUE(KillTimer(hwnd, 5) && KillTimer(hwnd, 6));
    // A thread timer is replaced only under an id that SetTimer gave; any other id makes a new timer.
    UINT_PTR first = SetTimer(nullptr, 0, 10, nullptr);
    EXPECT_EQ(SetTimer(nullptr, first, 10, record_timer), first);
    UINT_PTR second = SetTimer(nullptr, first + 1000, 10, nullptr);
    EXPECT_TRUE(second != first && second != first + 1000);
    EXPECT_EQ(next_timer().lParam, reinterpret_cast<LPARAM>(record_timer));
    EXPECT_TRUE(KillTimer(nullptr, first) && KillTimer(nullptr, second));
}

TEST_F(Timers, TimerMessagesNeverPileUp) {
    // However often a timer elapsed while nobody looked, one message waits: another thread's timer of five
    // periods says when, and this thread does not look at its queue meanwhile.
    ASSERT_TRUE(SetTimer(hwnd, 1, USER_TIMER_MINIMUM, nullptr));
    std::thread([] {
        SetTimer(nullptr, 0, 5 * USER_TIMER_MINIMUM, nullptr);
        KillTimer(nullptr, next_timer().wParam);
    }).join();
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_TRUE(KillTimer(hwnd, 1));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    // Taking the message starts the next period: set first, a timer of three periods elapses no later than
    // the third of the short one, so the short one comes at most twice before it.
    ASSERT_TRUE(SetTimer(hwnd, 1, 3 * USER_TIMER_MINIMUM, nullptr) && SetTimer(hwnd, 2, USER_TIMER_MINIMUM, nullptr));
    int short_ones = 0;
    for (msg = next_timer(); msg.wParam == 2; msg = next_timer())
        ++short_ones;
    EXPECT_LE(short_ones, 2);
    EXPECT_TRUE(KillTimer(hwnd, 1) && KillTimer(hwnd, 2));
}

TEST_F(Timers, ThreadMessagesReachAThreadsQueueWithoutAWindow) {
    MSG timer{}, posted{};
    // Another thread, asleep in GetMessage, gets a timer set on its window from here, then a thread message.
    HANDLE ready = CreateEventA(nullptr, FALSE, FALSE, nullptr), hold = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HWND window = nullptr;
    DWORD worker_id = 0, queueless = 0;
    std::thread worker([&] {
        window = make_window("TimerClass", "", WS_OVERLAPPED);
        worker_id = GetCurrentThreadId();
        SetEvent(ready);
        GetMessageA(&timer, nullptr, 0, 0);
        SetEvent(ready);
        GetMessageA(&posted, nullptr, 0, 0);
        DestroyWindow(window);
    });
    WaitForSingleObject(ready, INFINITE);
    SendMessageA(window, WM_NULL, 0, 0);  // handled inside GetMessage, which then sleeps
    EXPECT_EQ(SetTimer(window, 9, 10, nullptr), 9u);
    WaitForSingleObject(ready, INFINITE);
    EXPECT_TRUE(PostThreadMessageA(worker_id, WM_USER + 2, 3, 4));
    worker.join();
    EXPECT_EQ(logged(timer), (Logged{window, WM_TIMER, 9}));
    EXPECT_EQ(logged(posted), (Logged{nullptr, WM_USER + 2, 3}));
    // No such thread, a thread that never made a queue, a thread that has ended.
    HANDLE thread = CreateThread(
        nullptr, 0, [](LPVOID event) -> DWORD { return WaitForSingleObject(event, INFINITE); }, hold, 0, &queueless);
    for (DWORD id : {DWORD{0xFFFFFF}, queueless, worker_id}) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(PostThreadMessageA(id, WM_USER, 0, 0)) << id;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID)) << id;
    }
    SetEvent(hold);
    WaitForSingleObject(thread, INFINITE);
    for (HANDLE handle : {ready, hold, thread})
        CloseHandle(handle);
}

}  // namespace
