// Timers and thread messages: what WM_TIMER carries, timer procedures, killing and replacing timers, and
// posting to a thread. Every wait is for a message; a timer's own WM_TIMER is the event that time passed.
#include "testing/headless_display.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

namespace ui = platform::testing::ui;
constexpr DWORD sentinel = 0xDEADBEEF;

struct LoggedMessage {
    HWND hwnd;
    UINT message;
    WPARAM wparam;
    bool operator==(const LoggedMessage &) const = default;
};

std::vector<LoggedMessage> &message_log() {
    static std::vector<LoggedMessage> log;
    return log;
}

LRESULT CALLBACK logging_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_TIMER || message >= WM_USER)
        message_log().push_back({hwnd, message, wparam});
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

void register_logging_class(const char *name, WNDPROC proc = logging_proc) {
    WNDCLASSA wc{0, proc, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, name};
    UnregisterClassA(name, nullptr);
    RegisterClassA(&wc);
}

std::vector<LoggedMessage> timer_calls;  // what the timer procedure got; message_log() has the window's

void CALLBACK record_timer(HWND hwnd, UINT message, UINT_PTR id, DWORD) {
    timer_calls.push_back({hwnd, message, id});
}

// The next WM_TIMER of this thread, dispatching every message before it.
MSG next_timer_message() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message != WM_TIMER)
        DispatchMessageA(&msg);
    return msg;
}

HWND make_window(const char *class_name) {
    return CreateWindowExA(0, class_name, "", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
}

LoggedMessage logged(const MSG &msg) {
    return {msg.hwnd, msg.message, msg.wParam};
}

DWORD WINAPI wait_for_event(LPVOID event) {
    return WaitForSingleObject(event, INFINITE);
}

class Timers : public ::testing::Test {
protected:
    HWND hwnd = nullptr;
    void SetUp() override {
        ui::headless();
        register_logging_class("TimerClass");
        register_logging_class("QuietClass", DefWindowProcA);
        ASSERT_NE(hwnd = make_window("TimerClass"), nullptr);
        message_log().clear();
        timer_calls.clear();
    }
    void TearDown() override {
        DestroyWindow(hwnd);
        ui::pump_pending();
    }
};

TEST_F(Timers, WmTimerCarriesIdAndProcedureAndDispatchCallsTheProcedureInstead) {
    struct Case {
        bool window;
        UINT_PTR id;
        TIMERPROC proc;
    } cases[] = {{true, 7, nullptr}, {true, 8, record_timer}, {false, 0, nullptr}, {false, 0, record_timer}};
    for (auto c : cases) {
        HWND owner = c.window ? hwnd : nullptr;
        UINT_PTR id = SetTimer(owner, c.id, 10, c.proc);
        ASSERT_NE(id, 0u);
        MSG msg = next_timer_message();
        EXPECT_EQ(msg.hwnd, owner);
        EXPECT_EQ(msg.wParam, c.window ? c.id : id);
        EXPECT_EQ(msg.lParam, reinterpret_cast<LPARAM>(c.proc));
        DispatchMessageA(&msg);
        EXPECT_TRUE(KillTimer(owner, msg.wParam));
        std::vector<LoggedMessage> got{{owner, WM_TIMER, msg.wParam}}, none;
        EXPECT_EQ(timer_calls, c.proc ? got : none);
        EXPECT_EQ(message_log(), c.window && !c.proc ? got : none);
        timer_calls.clear();
        message_log().clear();
    }
}

TEST_F(Timers, KilledTimersAndTimersOfDestroyedWindowsNeverFire) {
    HWND doomed = make_window("QuietClass");
    ASSERT_TRUE(SetTimer(hwnd, 1, 10, nullptr));
    ASSERT_TRUE(SetTimer(doomed, 2, 10, nullptr));
    ASSERT_TRUE(SetTimer(hwnd, 3, 10, nullptr));  // elapses last: the other two would come before it
    EXPECT_TRUE(KillTimer(hwnd, 1));
    DestroyWindow(doomed);
    PostMessageA(hwnd, WM_USER, 0, 0);
    EXPECT_EQ(logged(next_timer_message()), (LoggedMessage{hwnd, WM_TIMER, 3}));
    EXPECT_EQ(message_log(), (std::vector<LoggedMessage>{{hwnd, WM_USER, 0}}));
    EXPECT_TRUE(KillTimer(hwnd, 3));
}

TEST_F(Timers, SettingAnExistingTimerReplacesItAndShortElapsesCountAsTheMinimum) {
    ASSERT_EQ(SetTimer(hwnd, 5, USER_TIMER_MINIMUM, record_timer), 5u);
    ASSERT_EQ(SetTimer(hwnd, 5, USER_TIMER_MINIMUM, nullptr), 5u);
    ASSERT_EQ(SetTimer(hwnd, 6, 0, nullptr), 6u);  // at once, before timer 5, were it not for the minimum
    MSG msg = next_timer_message();
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_EQ(msg.lParam, 0);
    EXPECT_TRUE(KillTimer(hwnd, 5));
    EXPECT_TRUE(KillTimer(hwnd, 6));
    // A thread timer is replaced only under an id that SetTimer gave; any other id makes a new timer.
    UINT_PTR first = SetTimer(nullptr, 0, 10, nullptr);
    EXPECT_EQ(SetTimer(nullptr, first, 10, record_timer), first);
    UINT_PTR second = SetTimer(nullptr, first + 1000, 10, nullptr);
    EXPECT_NE(second, first);
    EXPECT_NE(second, first + 1000);
    EXPECT_EQ(next_timer_message().lParam, reinterpret_cast<LPARAM>(record_timer));
    EXPECT_TRUE(KillTimer(nullptr, first));
    EXPECT_TRUE(KillTimer(nullptr, second));
}

TEST_F(Timers, TimerMessagesNeverPileUp) {
    // However often a timer elapsed while nobody looked, one message waits: another thread's timer of five
    // periods says when, and this thread does not look at its queue meanwhile.
    ASSERT_TRUE(SetTimer(hwnd, 1, USER_TIMER_MINIMUM, nullptr));
    std::thread([] {
        UINT_PTR id = SetTimer(nullptr, 0, 5 * USER_TIMER_MINIMUM, nullptr);
        next_timer_message();
        KillTimer(nullptr, id);
    }).join();
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_TRUE(KillTimer(hwnd, 1));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    // Taking the message starts the next period: set first, a timer of three periods elapses no later than
    // the third of the short one, so the short one comes at most twice before it.
    ASSERT_TRUE(SetTimer(hwnd, 1, 3 * USER_TIMER_MINIMUM, nullptr));
    ASSERT_TRUE(SetTimer(hwnd, 2, USER_TIMER_MINIMUM, nullptr));
    int short_ones = 0;
    for (msg = next_timer_message(); msg.wParam == 2; msg = next_timer_message())
        ++short_ones;
    EXPECT_LE(short_ones, 2);
    EXPECT_TRUE(KillTimer(hwnd, 1));
    EXPECT_TRUE(KillTimer(hwnd, 2));
}

TEST_F(Timers, BadTimersFailWithTheLastError) {
    auto bogus = reinterpret_cast<HWND>(0x4444);
    struct Case {
        HWND hwnd;
        UINT_PTR id;
        DWORD error;
    } cases[] = {{hwnd, 99, ERROR_INVALID_PARAMETER},
                 {nullptr, 0xBAD0, ERROR_INVALID_PARAMETER},
                 {bogus, 1, ERROR_INVALID_WINDOW_HANDLE}};
    for (auto c : cases) {
        SetLastError(sentinel);
        EXPECT_FALSE(KillTimer(c.hwnd, c.id));
        EXPECT_EQ(GetLastError(), c.error) << c.id;
    }
    SetLastError(sentinel);
    EXPECT_EQ(SetTimer(bogus, 1, 10, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Timers, ThreadMessagesReachAThreadsQueueWithoutAWindow) {
    MSG msg;
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER + 1, 1, 2));
    ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(logged(msg), (LoggedMessage{nullptr, WM_USER + 1, 1}));

    // Another thread, asleep in GetMessage, gets a timer set on its window from here, then a thread message.
    HANDLE ready = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HWND window = nullptr;
    DWORD worker_id = 0;
    MSG timer{}, posted{};
    std::thread worker([&] {
        window = make_window("QuietClass");
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
    EXPECT_EQ(logged(timer), (LoggedMessage{window, WM_TIMER, 9}));
    EXPECT_EQ(logged(posted), (LoggedMessage{nullptr, WM_USER + 2, 3}));

    // No such thread, a thread that never made a queue, a thread that has ended.
    HANDLE hold = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD queueless = 0;
    HANDLE thread = CreateThread(nullptr, 0, wait_for_event, hold, 0, &queueless);
    for (DWORD id : {DWORD{0xFFFFFF}, queueless, worker_id}) {
        SetLastError(sentinel);
        EXPECT_FALSE(PostThreadMessageA(id, WM_USER, 0, 0)) << id;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID)) << id;
    }
    SetEvent(hold);
    WaitForSingleObject(thread, INFINITE);
    for (HANDLE handle : {ready, hold, thread})
        CloseHandle(handle);
}

}  // namespace
