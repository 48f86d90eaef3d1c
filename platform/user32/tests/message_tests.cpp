// Message queues: posting and getting, quitting, sending within a thread and across threads.
#include "message_log.h"
#include "testing/headless_display.h"

#include <atomic>
#include <thread>

namespace {

namespace ui = platform::testing::ui;
constexpr DWORD sentinel = 0xDEADBEEF;

std::atomic<DWORD> handled_on_thread{0};
std::atomic<int> handled_count{0};

LRESULT CALLBACK recording_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_USER + 10) {
        handled_on_thread = GetCurrentThreadId();
        ++handled_count;
        return static_cast<LRESULT>(wparam * 2);
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

class Messages : public ::testing::Test {
protected:
    HWND hwnd = nullptr;
    void SetUp() override {
        ui::headless();
        register_logging_class("RecordingClass", 0, nullptr, 0, recording_proc);
        hwnd =
            CreateWindowExA(0, "RecordingClass", "", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(hwnd, nullptr);
        handled_count = 0;
    }
    void TearDown() override {
        DestroyWindow(hwnd);
        ui::pump_pending();
    }
};

TEST_F(Messages, PostedMessagesComeInOrderAndQuitEndsTheLoop) {
    PostMessageA(hwnd, WM_USER + 1, 1, 0);
    PostMessageA(nullptr, WM_USER + 2, 2, 0);  // a thread message
    PostMessageA(hwnd, WM_USER + 3, 3, 0);
    PostQuitMessage(42);
    MSG msg;
    std::vector<UINT> order;
    BOOL result;
    while ((result = GetMessageA(&msg, nullptr, 0, 0)) > 0)
        order.push_back(msg.message);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 42u);
    EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3}));
}

TEST_F(Messages, PeekWithoutRemoveLeavesTheMessageAndFiltersApply) {
    PostMessageA(hwnd, WM_USER + 5, 0, 0);
    PostMessageA(hwnd, WM_USER + 6, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 6, WM_USER + 6, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 6));
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 5));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 6));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

    SetLastError(sentinel);
    EXPECT_EQ(GetMessageA(&msg, reinterpret_cast<HWND>(0x4444), 0, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    SetLastError(sentinel);
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x4444), WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Messages, SendOnTheOwnersThreadCallsTheProcedureDirectly) {
    EXPECT_EQ(SendMessageA(hwnd, WM_USER + 10, 21, 0), 42);
    EXPECT_EQ(handled_on_thread.load(), GetCurrentThreadId());
    EXPECT_EQ(handled_count.load(), 1);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));  // nothing was queued
    SetLastError(sentinel);
    EXPECT_EQ(SendMessageA(reinterpret_cast<HWND>(0x4444), WM_USER + 10, 1, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Messages, SendFromAnotherThreadRunsOnTheOwnerAndBlocksUntilHandled) {
    std::atomic<bool> returned{false};
    LRESULT result = 0;
    DWORD main_thread = GetCurrentThreadId();
    std::thread worker([&] {
        result = SendMessageA(hwnd, WM_USER + 10, 50, 0);
        returned = true;
    });
    // The worker cannot finish while this thread does not look at its queue.
    HANDLE none = nullptr;
    (void)none;
    Sleep(50);
    EXPECT_FALSE(returned.load());
    EXPECT_EQ(handled_count.load(), 0);
    // Waiting for messages handles the sent one.
    ASSERT_TRUE(ui::pump_until([&] { return handled_count.load() == 1; }));
    worker.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(result, 100);
    EXPECT_EQ(handled_on_thread.load(), main_thread);
}

TEST_F(Messages, AWorkersSendWakesAThreadBlockedInGetMessage) {
    std::thread worker([&] {
        SendMessageA(hwnd, WM_USER + 10, 1, 0);
        PostMessageA(hwnd, WM_USER + 11, 0, 0);  // ends the loop below
    });
    MSG msg;
    // GetMessage handles the sent message while it waits, and returns only the posted one.
    ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 11));
    EXPECT_EQ(handled_count.load(), 1);
    worker.join();
}

TEST_F(Messages, MsgWaitReturnsForObjectsAndForInput) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, QS_ALLINPUT), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(event);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_ALLINPUT), WAIT_OBJECT_0);
    ResetEvent(event);
    std::thread poster([&] { PostMessageA(hwnd, WM_USER + 1, 0, 0); });
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_POSTMESSAGE), WAIT_OBJECT_0 + 1);
    poster.join();
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    CloseHandle(event);
    SetLastError(sentinel);
    HANDLE bogus = reinterpret_cast<HANDLE>(0x7777);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &bogus, FALSE, 0, QS_ALLINPUT), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

DWORD WINAPI send_then_end(LPVOID parameter) {
    SendMessageA(static_cast<HWND>(parameter), WM_USER + 10, 21, 0);
    return 7;
}

// A thread with a small stack sends to this thread and then ends, while this thread waits for its end: the
// wait returns for the sent message, a peek handles it, and the next wait sees the thread end.
TEST_F(Messages, WaitingForAThreadThatSendsHereHandlesTheSendAndThenSeesTheEnd) {
    SetLastError(sentinel);
    HANDLE thread = CreateThread(nullptr, 4000, send_then_end, hwnd, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    int wakes_for_messages = 0;
    DWORD result;
    MSG msg;
    while ((result = MsgWaitForMultipleObjects(1, &thread, FALSE, 20000, QS_SENDMESSAGE)) == WAIT_OBJECT_0 + 1) {
        ++wakes_for_messages;
        EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));  // a sent message is never returned
    }
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_GE(wakes_for_messages, 1);
    EXPECT_EQ(handled_count.load(), 1);
    EXPECT_EQ(handled_on_thread.load(), GetCurrentThreadId());
    DWORD exit_code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &exit_code));
    EXPECT_EQ(exit_code, 7u);
    EXPECT_TRUE(CloseHandle(thread));
}

TEST_F(Messages, TwoThreadsSendingToEachOtherDoNotDeadlock) {
    // The worker owns a window too; each thread sends to the other's window from inside a handler.
    std::atomic<HWND> worker_window{nullptr};
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        HWND own =
            CreateWindowExA(0, "RecordingClass", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        worker_window = own;
        // Sends to the main thread, which answers by sending back to this thread while this one waits.
        SendMessageA(hwnd, WM_USER + 10, 3, 0);
        while (!stop) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            Sleep(1);
        }
        DestroyWindow(own);
    });
    ASSERT_TRUE(ui::pump_until([&] { return worker_window.load() != nullptr && handled_count.load() == 1; }));
    EXPECT_EQ(SendMessageA(worker_window.load(), WM_USER + 10, 4, 0), 8);
    stop = true;
    worker.join();
}

}  // namespace
