// Windows and message queues: refused calls' errors; message order from creation to destruction; painting
// on the screen's pixels; scroll bars; posting, sending across threads, waiting; wsprintfA.
#include "message_log.h"

#include <atomic>
#include <functional>
#include <thread>
#include <tuple>

namespace {

int paints = 0;
std::vector<int> scrolls;  // WM_VSCROLL codes
int dropped_at = -1;       // the position SB_THUMBPOSITION carried
std::atomic<int> handled_count{0};
std::atomic<DWORD> moved_on_thread{0};  // the thread on which the recorder last got WM_MOVE

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
    FillRect(BeginPaint(hwnd, &ps), &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
    EndPaint(hwnd, &ps);
    return 0;
}

// Answers WM_USER + 10 with twice its wparam; with a window in lparam it first sends there, so that two
// threads can send to each other from inside their handlers. Logs nothing: it runs on several threads.
LRESULT CALLBACK recording_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_MOVE)
        moved_on_thread = GetCurrentThreadId();
    if (message != WM_USER + 10)
        return DefWindowProcA(hwnd, message, wparam, lparam);
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

// Refused calls of the platform's own making (window calls: window_conformance_tests.cpp).
TEST_F(Windows, RefusedCallsSetTheLastError) {
    HWND hwnd = recorder, bogus = reinterpret_cast<HWND>(0x4444);
    WNDCLASSA bad_extra{0, DefWindowProcA, 0, -1, nullptr, nullptr, nullptr, nullptr, nullptr, "Unique"};
    // clang-format off
    const std::tuple<const char *, std::function<bool()>, DWORD> cases[] = {
        {"negative extra bytes", [&] { return !RegisterClassA(&bad_extra); }, ERROR_INVALID_PARAMETER},
        {"unknown menu", [] { return !LoadMenuA(nullptr, "NoSuchMenu"); }, ERROR_RESOURCE_NAME_NOT_FOUND},
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
    char out[8];
    EXPECT_EQ(wsprintfA(out, nullptr), 0);
}

TEST_F(Windows, CreateShowPaintCloseAndDestroyComeInOrder) {
    HWND hwnd = CreateWindowExA(0, "LogClass", "Title", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    expect_sequence({{WM_NCCREATE, hwnd}, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}, "create hidden");
    ShowWindow(hwnd, SW_SHOWNORMAL);
    expect_sequence({{WM_SHOWWINDOW, hwnd}, WM_NCACTIVATE, WM_ACTIVATE, WM_SETFOCUS}, "show");
    // A posted message comes before the paint; the erase happens inside BeginPaint; it paints once.
    PostMessageA(hwnd, WM_USER + 1, 0, 0);
    ui::pump_pending();
    expect_sequence({WM_USER + 1, WM_PAINT, WM_ERASEBKGND}, "first paint");
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

// (That repeated painting holds no graphics object or device context: the viewer's display window test.)
TEST_F(Windows, PaintingRepaintsOnlyTheInvalidAreaOfVisibleWindows) {
    HWND hwnd = make_window("Grey", "Paint", WS_OVERLAPPEDWINDOW, 200, 150, 320, 240);
    InvalidateRect(hwnd, nullptr, TRUE);
    ui::pump_pending();
    EXPECT_EQ(paints, 0);  // hidden
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    ui::pump_pending();
    EXPECT_EQ(paints, 1);
    EXPECT_EQ(ui::client_pixel(hwnd, {10, 10}), 0xC0C0C0u);
    EXPECT_EQ(ui::screen_pixel(ui::caption_of(hwnd)), RGB(0, 0, 128));  // the platform draws the caption
    SetWindowTextA(hwnd, "LANA 03");  // and redraws it with a new text (the text itself: the conformance tests)
    EXPECT_EQ(ui::window_text(hwnd), std::vector<std::string>{"LANA 03"});
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
}

// A window with WS_VSCROLL: the platform draws and tracks the bar and tells the window.
TEST_F(Windows, ScrollBarsClampAndReportArrowsPagesAndThumbTracking) {
    HWND hwnd = make_window("Grey", "Scrolled", WS_POPUP | WS_CAPTION | WS_VSCROLL | WS_VISIBLE, 600, 300, 300, 260);
    EXPECT_TRUE(SetScrollRange(hwnd, SB_VERT, 0, 100, FALSE));  // clamping: window_conformance_tests.cpp
    SetScrollPos(hwnd, SB_VERT, 50, TRUE);
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

// A window moved from another thread is moved by its own thread, which gets its WM_SIZE and WM_MOVE.
TEST_F(Windows, AWindowMovedFromAnotherThreadMovesOnItsOwn) {
    moved_on_thread = 0;
    std::thread mover([&] { EXPECT_TRUE(MoveWindow(recorder, 10, 20, 100, 50, FALSE)); });
    ASSERT_TRUE(ui::pump_until([&] { return moved_on_thread.load() != 0; }));
    mover.join();
    RECT rect;
    GetWindowRect(recorder, &rect);
    EXPECT_EQ(std::tuple(moved_on_thread.load(), rect.left, rect.top, rect.right, rect.bottom),
              std::tuple(GetCurrentThreadId(), 10L, 20L, 110L, 70L));
}

}  // namespace
