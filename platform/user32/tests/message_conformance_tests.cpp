// Conformance tests of message queues: posted messages and their order, thread messages and WM_QUIT, sends on
// the window's own thread and from others, waits that return for input, key input turned into characters,
// and wsprintfA. Win32 and GoogleTest only, so they also run on Windows and Wine.
#include "conformance.h"

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>

namespace {

using namespace conformance;

std::atomic<DWORD> handled_on_thread{0};
std::atomic<int> handled_count{0};

// Answers WM_USER + 10 with twice its wparam; runs on several threads, so it only counts.
LRESULT CALLBACK recording_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != WM_USER + 10)
        return DefWindowProcA(hwnd, message, wparam, lparam);
    handled_on_thread = GetCurrentThreadId();
    ++handled_count;
    return wparam * 2;
}

class Messages : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA window_class = {0, recording_proc, 0, 0, GetModuleHandleA(NULL), NULL, NULL, NULL, NULL, "Recording"};
        ASSERT_NE(RegisterClassA(&window_class), 0);
        recorder = CreateWindowExA(0, "Recording", "", WS_OVERLAPPED, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
        ASSERT_NE(recorder, (HWND)NULL);
        handled_count = 0;
    }
    void TearDown() override {
        DestroyWindow(recorder);
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        UnregisterClassA("Recording", GetModuleHandleA(NULL));
    }
    HWND recorder = NULL;
    MSG msg = {};
};

TEST_F(Messages, PostedMessagesComeInOrderAndSentOnesOnTheOwnersThread) {
    PostMessageA(recorder, WM_USER + 5, 0, 0);
    PostMessageA(recorder, WM_USER + 6, 0, 0);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 6, WM_USER + 6, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_USER + 6u);
    ASSERT_TRUE(PeekMessageA(&msg, recorder, 0, 0, PM_REMOVE));  // the filtered peek left both
    EXPECT_EQ(msg.message, WM_USER + 5u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, WM_USER + 5, PM_NOREMOVE));  // a range from 0 still has its top
    PostMessageA(nullptr, WM_USER + 2, 2, 0);                                // a thread message
    PostMessageA(recorder, WM_USER + 3, 3, 0);
    PostQuitMessage(42);
    std::vector<UINT> order;
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0)
        order.push_back(msg.message);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 42u);
    EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 6, WM_USER + 2, WM_USER + 3}));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    // A send on the owner's thread calls the procedure at once; from another thread it waits until the
    // owner looks at its queue.
    EXPECT_EQ(SendMessageA(recorder, WM_USER + 10, 21, 0), 42);
    EXPECT_EQ(handled_count.load(), 1);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));  // nothing was queued
    handled_count = 0;
    std::atomic<bool> returned{false};
    LRESULT result = 0;
    std::thread worker([&] {
        result = SendMessageA(recorder, WM_USER + 10, 50, 0);
        returned = true;
    });
    // The wait reports the pending send without handling it: the worker is still blocked.
    EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_SENDMESSAGE), WAIT_OBJECT_0);
    EXPECT_FALSE(returned.load());
    EXPECT_EQ(handled_count.load(), 0);
    // GetMessage handles the sent message while it waits, and returns only the posted one.
    PostMessageA(recorder, WM_USER + 11, 0, 0);
    ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, WM_USER + 11u);
    EXPECT_EQ(handled_count.load(), 1);
    worker.join();
    EXPECT_EQ(result, 100);
    EXPECT_EQ(handled_on_thread.load(), GetCurrentThreadId());
}

TEST_F(Messages, MsgWaitReturnsForObjectsPostedInputAndSentMessagesOfAThreadItWaitsFor) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))  // what the queue held is no longer new
        DispatchMessageA(&msg);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, QS_ALLINPUT), static_cast<DWORD>(WAIT_TIMEOUT));
    std::thread poster([&] { PostMessageA(recorder, WM_USER + 1, 0, 0); });
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_POSTMESSAGE), WAIT_OBJECT_0 + 1);
    poster.join();
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    CloseHandle(event);
    // A thread with a small stack sends here and ends while this thread waits for its end: the wait returns
    // for the sent message, a peek handles it, and the next wait sees the thread end.
    auto send_then_end = [](LPVOID window) -> DWORD {
        SendMessageA(static_cast<HWND>(window), WM_USER + 10, 21, 0);
        return 7;
    };
    HANDLE thread = CreateThread(nullptr, 4000, send_then_end, recorder, 0, nullptr);
    DWORD result, exit_code = 0;
    while ((result = MsgWaitForMultipleObjects(1, &thread, FALSE, 20000, QS_SENDMESSAGE)) == WAIT_OBJECT_0 + 1)
        EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));  // a sent message is never returned
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_EQ(handled_count.load(), 1);
    EXPECT_TRUE(GetExitCodeThread(thread, &exit_code));
    EXPECT_EQ(exit_code, 7u);
    EXPECT_TRUE(CloseHandle(thread));
}

// A key pressed through SendInput reaches the focused window as WM_KEYDOWN, which TranslateMessage turns into
// WM_CHAR; the key's release follows the character.
TEST_F(Messages, KeysGivenAsInputBecomeKeyMessagesAndTranslateMakesCharacters) {
    HWND edit =
        CreateWindowExA(0, "Recording", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 50, NULL, NULL, NULL, NULL);
    SetFocus(edit);
    SKIP_KNOWN_DIFFERENCE(GetForegroundWindow() != edit, "a window shown here is not in the foreground");
    INPUT keys[2] = {};  // Shift and A pressed, then released by keybd_event
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = VK_SHIFT;
    keys[1].ki.wVk = 'A';
    EXPECT_FAILS(SendInput(2, keys, (int)sizeof(INPUT) + 1) == 0, ERROR_INVALID_PARAMETER);  // no INPUT's size
    EXPECT_EQ(SendInput(2, keys, sizeof(INPUT)), 2u);
    EXPECT_EQ(MsgWaitForMultipleObjects(0, NULL, FALSE, kLongWait, QS_KEY), WAIT_OBJECT_0);  // key input is new
    keybd_event('A', 0, KEYEVENTF_KEYUP, 0);
    keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    std::vector<std::pair<UINT, WPARAM>> got;  // the input was queued before SendInput returned
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.hwnd != edit || (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP && msg.message != WM_CHAR)) {
            DispatchMessageA(&msg);  // painting, say
            continue;
        }
        got.push_back({msg.message, msg.wParam});
        EXPECT_TRUE(msg.message == WM_CHAR || TranslateMessage(&msg));  // every key message, character or not
    }
    const std::vector<std::pair<UINT, WPARAM>> expected = {
        {WM_KEYDOWN, VK_SHIFT}, {WM_KEYDOWN, 'A'}, {WM_CHAR, 'A'}, {WM_KEYUP, 'A'}, {WM_KEYUP, VK_SHIFT}};
    EXPECT_EQ(got, expected);
    DestroyWindow(edit);
}

TEST(WsprintfConformance, ConversionsAndTheBufferLimit) {
    // clang-format off
    const std::tuple<const char *, int, const char *> cases[] = {
        {"LANA %02d", 3, "LANA 03"}, {"LANA %02d", 11, "LANA 11"}, {"%d", -1, "-1"}, {"%u", 65535, "65535"},
        {"%x", 0xBEEF, "beef"}, {"%04X", 0xA, "000A"}, {"%-4d|", 7, "7   |"}, {"%c", 'Z', "Z"}, {"100%%", 0, "100%"}};
    // clang-format on
    char out[1024];
    for (auto [format, value, expected] : cases) {
        EXPECT_EQ(wsprintfA(out, format, value), static_cast<int>(strlen(expected)));
        EXPECT_STREQ(out, expected);
    }
    EXPECT_EQ(wsprintfA(out, "%s=%5s.", "name", "ab"), 11);
    EXPECT_STREQ(out, "name=   ab.");
    int written = wsprintfA(out, "%s", std::string(2000, 'x').c_str());  // the output stops at 1024 bytes
    EXPECT_EQ(std::string(out, 1023), std::string(1023, 'x'));
    SKIP_KNOWN_DIFFERENCE(written == 1024, "a cut output counts its full 1024 bytes here");
    EXPECT_EQ(written, 1023);
    EXPECT_EQ(out[1023], '\0');
}

}  // namespace
