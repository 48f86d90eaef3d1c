// Windows and message queues: refused calls' errors; message order from creation to destruction; painting
// on the screen's pixels; scroll bars; posting, sending across threads, waiting; wsprintfA.
#include "message_log.h"
#include "testing/resource_counts.h"

#include <atomic>
#include <functional>
#include <thread>
#include <tuple>

namespace {

int paints = 0;
std::vector<int> scrolls;  // WM_VSCROLL codes
int dropped_at = -1;       // the position SB_THUMBPOSITION carried
std::atomic<DWORD> handled_on_thread{0};
std::atomic<int> handled_count{0};

// Logs, paints its update area grey, and moves the scroll box where it was dropped.
LRESULT CALLBACK grey_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    log_message(hwnd, message);
    if (message == WM_VSCROLL)
        scrolls.push_back(LOWORD(wparam));
    if (message == WM_VSCROLL && LOWORD(wparam) == SB_THUMBPOSITION)
        SetScrollPos(hwnd, SB_VERT, dropped_at = HIWORD(wparam), TRUE);
    if (message != WM_PAINT)
        return DefWindowProcA(hwnd, message, wparam, lparam);
    ++paints;
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    HBRUSH grey = CreateSolidBrush(0xC0C0C0);
    FillRect(ps.hdc, &ps.rcPaint, grey);
    DeleteObject(grey);
    EndPaint(hwnd, &ps);
    return 0;
}

// Answers WM_USER + 10 with twice its wparam; with a window in lparam it first sends there, so that two
// threads can send to each other from inside their handlers. Logs nothing: it runs on several threads.
LRESULT CALLBACK recording_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != WM_USER + 10)
        return DefWindowProcA(hwnd, message, wparam, lparam);
    handled_on_thread = GetCurrentThreadId();
    ++handled_count;
    return lparam ? SendMessageA(reinterpret_cast<HWND>(lparam), WM_USER + 10, wparam + 1, 0) : wparam * 2;
}

class Windows : public ::testing::Test {
protected:
    HWND recorder = nullptr;  // answers WM_USER + 10
    MSG msg{};
    void SetUp() override {
        ui::headless();
        ASSERT_NE(register_class("LogClass", logging_proc, nullptr, 4), 0);
        ASSERT_NE(register_class("Grey", grey_proc), 0);
        ASSERT_NE(register_class("RecordingClass", recording_proc), 0);
        recorder = make_window("RecordingClass", "", WS_OVERLAPPED);
        log_of_messages.clear();
        scrolls.clear();
        paints = 0;
        handled_count = 0;
    }
    void TearDown() override {
        DestroyWindow(recorder);
        for (HWND shown : ui::visible_windows())
            DestroyWindow(shown);
        ui::pump_pending();
    }
};

TEST_F(Windows, RefusedCallsSetTheLastError) {
    HWND hwnd = recorder, bogus = reinterpret_cast<HWND>(0x4444);
    WNDCLASSA duplicate{0, DefWindowProcA, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, "logclass"};
    WNDCLASSA bad_extra{0, DefWindowProcA, 0, -1, nullptr, nullptr, nullptr, nullptr, nullptr, "Unique"};
    HANDLE bad_handle = reinterpret_cast<HANDLE>(0x7777);
    POINT origin{};
    // clang-format off
    const std::tuple<const char *, std::function<bool()>, DWORD> cases[] = {
        {"class names ignore case", [&] { return !RegisterClassA(&duplicate); }, ERROR_CLASS_ALREADY_EXISTS},
        {"negative extra bytes", [&] { return !RegisterClassA(&bad_extra); }, ERROR_INVALID_PARAMETER},
        {"unknown class", [] { return !make_window("NoSuchClass", "", 0); }, ERROR_CANNOT_FIND_WND_CLASS},
        {"child without parent", [] { return !make_window("LogClass", "", WS_CHILD); }, ERROR_TLW_WITH_WSCHILD},
        {"index past the extra bytes", [&] { return !GetWindowLongA(hwnd, 1); }, ERROR_INVALID_INDEX},
        {"destroy a bad window", [&] { return !DestroyWindow(bogus); }, ERROR_INVALID_WINDOW_HANDLE},
        {"get for a bad window", [&] { return GetMessageA(&msg, bogus, 0, 0) == -1; }, ERROR_INVALID_WINDOW_HANDLE},
        {"post to a bad window", [&] { return !PostMessageA(bogus, WM_USER, 0, 0); }, ERROR_INVALID_WINDOW_HANDLE},
        {"send to a bad window", [&] { return !SendMessageA(bogus, WM_USER, 0, 0); }, ERROR_INVALID_WINDOW_HANDLE},
        {"map a bad window's point", [&] { return !ClientToScreen(bogus, &origin); }, ERROR_INVALID_WINDOW_HANDLE},
        {"wait on a bad handle", [&] { return MsgWaitForMultipleObjects(1, &bad_handle, 0, 0, 0) == WAIT_FAILED; },
         ERROR_INVALID_HANDLE},
        {"unknown dialog", [&] { return !CreateDialogParamA(nullptr, "NOSUCH", hwnd, nullptr, 0); },
         ERROR_RESOURCE_NAME_NOT_FOUND},
        {"unknown menu", [] { return !LoadMenuA(nullptr, "NoSuchMenu"); }, ERROR_RESOURCE_NAME_NOT_FOUND},
        {"unknown dialog item", [&] { return !GetDlgItem(hwnd, 999); }, ERROR_CONTROL_ID_NOT_FOUND},
        {"no scroll bar control", [&] { return !SetScrollRange(hwnd, SB_CTL, 0, 1, 0); }, ERROR_INVALID_PARAMETER},
        {"kill an unknown timer", [&] { return !KillTimer(hwnd, 99); }, ERROR_INVALID_PARAMETER},
        {"kill an unknown thread timer", [] { return !KillTimer(nullptr, 0xBAD0); }, ERROR_INVALID_PARAMETER},
        {"kill a bad window's timer", [&] { return !KillTimer(bogus, 1); }, ERROR_INVALID_WINDOW_HANDLE},
        {"timer for a bad window", [&] { return !SetTimer(bogus, 1, 10, nullptr); }, ERROR_INVALID_WINDOW_HANDLE},
        {"null wsprintf buffer", [] { return !wsprintfA(nullptr, "%d", 1); }, ERROR_INVALID_PARAMETER}};
    // clang-format on
    for (auto &[what, refused, error] : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_TRUE(refused()) << what;
        EXPECT_EQ(GetLastError(), error) << what;
    }
}

TEST_F(Windows, CreateShowPaintCloseAndDestroyComeInOrder) {
    HWND hwnd = CreateWindowExA(0, "LogClass", "Title", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    expect_sequence({{WM_NCCREATE, hwnd}, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}, "create hidden");
    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOWNORMAL));  // was hidden
    expect_sequence({{WM_SHOWWINDOW, hwnd}, WM_NCACTIVATE, WM_ACTIVATE, WM_SETFOCUS}, "show");
    EXPECT_EQ(GetActiveWindow(), hwnd);
    EXPECT_EQ(GetFocus(), hwnd);
    // A posted message comes before the paint; the erase happens inside BeginPaint; it paints once.
    PostMessageA(hwnd, WM_USER + 1, 0, 0);
    ui::pump_pending();
    ui::pump_pending();
    expect_sequence({WM_USER + 1, WM_PAINT, WM_ERASEBKGND}, "first paint");
    EXPECT_TRUE(ShowWindow(hwnd, SW_SHOW));  // already visible: nothing is sent
    expect_sequence({}, "show again");
    // The close box: DefWindowProc turns the click into WM_CLOSE and WM_CLOSE into destruction.
    ASSERT_TRUE(ui::click(ui::close_box_of(hwnd)));
    ASSERT_TRUE(ui::pump_until([&] { return !IsWindow(hwnd); }));
    // clang-format off
    expect_sequence({{WM_NCLBUTTONDOWN, hwnd}, WM_SYSCOMMAND, WM_CLOSE, WM_SHOWWINDOW, WM_NCACTIVATE, WM_ACTIVATE,
                     WM_KILLFOCUS, WM_DESTROY, WM_NCDESTROY}, "close box");
    // clang-format on
    EXPECT_EQ(GetActiveWindow(), nullptr);
    // Destruction takes owned windows first and children after their parent's WM_DESTROY.
    HWND owner = make_window("LogClass", "Owner", WS_OVERLAPPEDWINDOW);
    HWND owned = make_window("LogClass", "Owned", WS_POPUP | WS_CAPTION, 20, 20, 100, 80, owner);
    HWND child = make_window("LogClass", "", WS_CHILD | WS_VISIBLE, 5, 5, 20, 20, owner, 7);
    log_of_messages.clear();
    EXPECT_TRUE(DestroyWindow(owner));
    const std::vector<Expected> destroy = {{WM_DESTROY, owned}, {WM_NCDESTROY, owned}, {WM_DESTROY, owner},
                                           {WM_DESTROY, child}, {WM_NCDESTROY, child}, {WM_NCDESTROY, owner}};
    expect_sequence(destroy, "destroy");
    EXPECT_FALSE(IsWindow(owned) || IsWindow(child));
}

TEST_F(Windows, EnableWindowAndTheCaptionAUserReads) {
    HWND hwnd = make_window("LogClass", "Old", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    log_of_messages.clear();
    EXPECT_FALSE(EnableWindow(hwnd, FALSE));  // was enabled
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_TRUE(EnableWindow(hwnd, FALSE));  // was disabled: nothing sent
    EXPECT_TRUE(EnableWindow(hwnd, TRUE));
    expect_sequence({WM_KILLFOCUS, WM_ENABLE, WM_ENABLE}, "disable twice, enable");
    EXPECT_TRUE(SetWindowTextA(hwnd, "LANA 03"));
    auto lines = ui::window_text(hwnd);
    EXPECT_EQ(lines.empty() ? "" : lines.front(), "LANA 03");
}

TEST_F(Windows, PaintingRepaintsOnlyTheInvalidAreaOfVisibleWindowsAndHoldsNoObject) {
    HWND hwnd = make_window("Grey", "Paint", WS_OVERLAPPEDWINDOW, 200, 150, 320, 240);
    InvalidateRect(hwnd, nullptr, TRUE);
    ui::pump_pending();
    EXPECT_EQ(paints, 0);  // hidden
    ShowWindow(hwnd, SW_SHOW);
    EXPECT_TRUE(UpdateWindow(hwnd));
    EXPECT_TRUE(UpdateWindow(hwnd));  // nothing invalid any more
    ui::pump_pending();
    EXPECT_EQ(paints, 1);
    EXPECT_EQ(ui::client_pixel(hwnd, {10, 10}), 0xC0C0C0u);
    EXPECT_EQ(ui::screen_pixel(ui::caption_of(hwnd)), RGB(0, 0, 128));  // the platform draws the caption
    HDC dc = GetDC(hwnd);
    RECT all{0, 0, 400, 400}, part{0, 0, 20, 20}, update;
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(hwnd, dc);
    EXPECT_TRUE(InvalidateRect(hwnd, &part, TRUE));
    ui::pump_pending();
    EXPECT_EQ(paints, 2);
    EXPECT_EQ(ui::client_pixel(hwnd, {5, 5}), 0xC0C0C0u);
    EXPECT_EQ(ui::client_pixel(hwnd, {30, 30}), 0u);  // GetDC drawing lasts outside the repainted part
    // BeginPaint erases with the class brush, inside the call, and validates.
    InvalidateRect(hwnd, nullptr, TRUE);
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));  // the filter's bounds count
    PAINTSTRUCT ps;
    dc = BeginPaint(hwnd, &ps);
    EXPECT_FALSE(ps.fErase);
    EXPECT_EQ(GetPixel(dc, 3, 3), 0xFFFFFFu);
    EndPaint(hwnd, &ps);
    EXPECT_FALSE(GetUpdateRect(hwnd, &update, FALSE));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));
    std::size_t objects = platform::testing::gdi_object_count(), dcs = platform::testing::device_context_count();
    for (int i = 0; i < 1000; ++i) {
        InvalidateRect(hwnd, nullptr, TRUE);
        UpdateWindow(hwnd);
    }
    EXPECT_EQ(paints, 1002);
    EXPECT_EQ(platform::testing::gdi_object_count(), objects);
    EXPECT_EQ(platform::testing::device_context_count(), dcs);
}

// A window with WS_VSCROLL: the platform draws and tracks the bar and tells the window.
TEST_F(Windows, ScrollBarsClampAndReportArrowsPagesAndThumbTracking) {
    HWND hwnd = make_window("Grey", "Scrolled", WS_POPUP | WS_CAPTION | WS_VSCROLL | WS_VISIBLE, 600, 300, 300, 260);
    EXPECT_TRUE(SetScrollRange(hwnd, SB_VERT, 0, 100, FALSE));
    const std::tuple<int, int, int> positions[] = {{50, 0, 50}, {500, 50, 100}, {-5, 100, 0}, {50, 0, 50}};
    for (auto [set, previous, now] : positions) {  // clamped to the range
        EXPECT_EQ(SetScrollPos(hwnd, SB_VERT, set, TRUE), previous);
        EXPECT_EQ(GetScrollPos(hwnd, SB_VERT), now);
    }
    ui::pump_pending();
    POINT up = ui::scroll_up_arrow_of(hwnd), down = ui::scroll_down_arrow_of(hwnd);
    for (POINT at : {up, down, POINT{up.x, up.y + 30}, POINT{down.x, down.y - 30}})  // arrows, then the track
        ui::click(at);
    EXPECT_EQ(ui::screen_pixel({up.x, (up.y + down.y) / 2}), RGB(192, 192, 192));  // the thumb's face
    ui::mouse_down({up.x, (up.y + down.y) / 2});  // the thumb, at position 50, dragged to the bottom
    ui::mouse_move({up.x, down.y - 8});
    ui::mouse_up({up.x, down.y - 8});
    ui::pump_pending();
    // clang-format off
    const std::vector<int> codes = {SB_LINEUP, SB_ENDSCROLL, SB_LINEDOWN, SB_ENDSCROLL, SB_PAGEUP, SB_ENDSCROLL,
                                    SB_PAGEDOWN, SB_ENDSCROLL, SB_THUMBTRACK, SB_THUMBPOSITION, SB_ENDSCROLL};
    // clang-format on
    EXPECT_EQ(scrolls, codes);
    EXPECT_GE(dropped_at, 95);
    EXPECT_EQ(GetScrollPos(hwnd, SB_VERT), dropped_at);
}

TEST_F(Windows, PostedMessagesComeInOrderAndSentOnesOnTheOwnersThread) {
    PostMessageA(recorder, WM_USER + 5, 0, 0);
    PostMessageA(recorder, WM_USER + 6, 0, 0);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 6, WM_USER + 6, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_USER + 6u);
    ASSERT_TRUE(PeekMessageA(&msg, recorder, 0, 0, PM_REMOVE));  // the filtered peek left both
    EXPECT_EQ(msg.message, WM_USER + 5u);
    PostMessageA(nullptr, WM_USER + 2, 2, 0);  // a thread message
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

TEST_F(Windows, MsgWaitReturnsForObjectsPostedInputAndSentMessagesOfAThreadItWaitsFor) {
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

TEST_F(Windows, TwoThreadsSendingToEachOtherFromTheirHandlersDoNotDeadlock) {
    LRESULT result = 0;
    std::thread worker([&] {
        HWND own = make_window("RecordingClass", "", WS_OVERLAPPED);
        // The main thread's handler sends back to `own` while this thread still waits for its reply.
        result = SendMessageA(recorder, WM_USER + 10, 3, reinterpret_cast<LPARAM>(own));
        DestroyWindow(own);
    });
    ASSERT_TRUE(ui::pump_until([&] { return handled_count.load() == 2; }));
    worker.join();
    EXPECT_EQ(result, 8);  // (3 + 1) * 2, answered on the worker's own thread
}

TEST(Wsprintf, ConversionsAndTheBufferLimit) {
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
    EXPECT_EQ(wsprintfA(out, "%s", std::string(2000, 'x').c_str()), 1023);  // the output stops at 1024 bytes
    EXPECT_EQ(std::string(out), std::string(1023, 'x'));
    EXPECT_EQ(wsprintfA(out, nullptr), 0);
}

}  // namespace
