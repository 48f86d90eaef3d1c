// Classes and windows: registration, creation, showing, closing and destruction, with message order.
#include "message_log.h"
#include "testing/headless_display.h"

namespace {

namespace ui = platform::testing::ui;
constexpr DWORD sentinel = 0xDEADBEEF;

class Windows : public ::testing::Test {
protected:
    void SetUp() override {
        ui::headless();
        ASSERT_NE(register_logging_class("LogClass", 0, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)), 4), 0);
        message_log().clear();
    }
    void TearDown() override {
        for (HWND hwnd : ui::visible_windows())
            DestroyWindow(hwnd);
        ui::pump_pending();
        message_log().clear();
    }
};

TEST_F(Windows, RegisterClassRefusesDuplicatesAndBadArguments) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "logclass";  // names compare without regard to case
    SetLastError(sentinel);
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    wc.lpszClassName = "Unique";
    wc.cbWndExtra = -1;
    SetLastError(sentinel);
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(sentinel);
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    SetLastError(sentinel);
    EXPECT_EQ(CreateWindowExA(0, "LogClass", "", WS_CHILD, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
}

TEST_F(Windows, CreateSendsTheCreationMessagesInOrder) {
    HWND hwnd = CreateWindowExA(0, "LogClass", "Title", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    expect_sequence({{WM_NCCREATE, hwnd}, {WM_NCCALCSIZE}, {WM_CREATE}, {WM_SIZE}, {WM_MOVE}}, "create hidden");
    EXPECT_FALSE(IsWindowVisible(hwnd));
    char title[32];
    EXPECT_EQ(GetWindowTextA(hwnd, title, sizeof title), 5);
    EXPECT_STREQ(title, "Title");
    RECT client;
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_EQ(client.left, 0);
    EXPECT_GT(client.right, 100);
    EXPECT_GT(client.bottom, 100);
    DestroyWindow(hwnd);
}

TEST_F(Windows, ShowActivatesAndPaintsWhenTheQueueIsEmpty) {
    HWND hwnd = CreateWindowExA(0, "LogClass", "Shown", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    message_log().clear();
    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOWNORMAL));  // was hidden
    expect_sequence({{WM_SHOWWINDOW, hwnd}, {WM_NCACTIVATE}, {WM_ACTIVATE}, {WM_SETFOCUS}}, "show");
    EXPECT_EQ(GetActiveWindow(), hwnd);
    EXPECT_EQ(GetFocus(), hwnd);
    EXPECT_TRUE(IsWindowVisible(hwnd));

    // A posted message comes before the paint; the erase happens inside BeginPaint.
    PostMessageA(hwnd, WM_USER + 1, 0, 0);
    ui::pump_pending();
    expect_sequence({{WM_USER + 1}, {WM_PAINT}, {WM_ERASEBKGND}}, "first paint");
    ui::pump_pending();
    expect_sequence({}, "painted once");
    EXPECT_TRUE(ShowWindow(hwnd, SW_SHOW));  // already visible: nothing is sent
    expect_sequence({}, "show again");
    DestroyWindow(hwnd);
}

TEST_F(Windows, CloseBoxDestroysTheWindowThroughDefWindowProc) {
    HWND hwnd = CreateWindowExA(0, "LogClass", "Closing", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, nullptr,
                                nullptr, nullptr, nullptr);
    ui::pump_pending();
    message_log().clear();
    ASSERT_TRUE(ui::click(ui::close_box_of(hwnd)));
    ASSERT_TRUE(ui::pump_until([&] { return !IsWindow(hwnd); }));
    expect_sequence({{WM_NCLBUTTONDOWN, hwnd},
                     {WM_SYSCOMMAND},
                     {WM_CLOSE},
                     {WM_SHOWWINDOW},
                     {WM_NCACTIVATE},
                     {WM_ACTIVATE},
                     {WM_KILLFOCUS},
                     {WM_DESTROY},
                     {WM_NCDESTROY}},
                    "close box");
    EXPECT_EQ(GetActiveWindow(), nullptr);
}

TEST_F(Windows, DestroyTakesOwnedWindowsFirstAndChildrenAfter) {
    HWND owner = CreateWindowExA(0, "LogClass", "Owner", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr,
                                 nullptr);
    HWND owned = CreateWindowExA(0, "LogClass", "Owned", WS_POPUP | WS_CAPTION, 20, 20, 100, 80, owner, nullptr,
                                 nullptr, nullptr);
    HWND child = CreateWindowExA(0, "LogClass", "", WS_CHILD | WS_VISIBLE, 5, 5, 20, 20, owner,
                                 reinterpret_cast<HMENU>(7), nullptr, nullptr);
    ASSERT_TRUE(owner && owned && child);
    EXPECT_EQ(GetParent(child), owner);
    EXPECT_EQ(GetWindow(owned, GW_OWNER), owner);
    EXPECT_EQ(GetWindowLongPtrA(child, GWLP_ID), 7);
    message_log().clear();
    EXPECT_TRUE(DestroyWindow(owner));
    expect_sequence({{WM_DESTROY, owned},
                     {WM_NCDESTROY, owned},
                     {WM_DESTROY, owner},
                     {WM_DESTROY, child},
                     {WM_NCDESTROY, child},
                     {WM_NCDESTROY, owner}},
                    "destroy");
    EXPECT_FALSE(IsWindow(owned));
    EXPECT_FALSE(IsWindow(child));
    SetLastError(sentinel);
    EXPECT_FALSE(DestroyWindow(owner));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Windows, WindowExtraBytesAndLongs) {
    HWND hwnd = CreateWindowExA(0, "LogClass", "", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(GetWindowLongA(hwnd, 0), 0);  // zeroed
    EXPECT_EQ(SetWindowLongA(hwnd, 0, 0x12345678), 0);
    EXPECT_EQ(GetWindowLongA(hwnd, 0), 0x12345678);
    SetLastError(sentinel);
    EXPECT_EQ(GetWindowLongA(hwnd, 1), 0);  // past the 4 bytes
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(logging_proc));
    EXPECT_TRUE(GetWindowLongA(hwnd, GWL_STYLE) & WS_CAPTION);  // overlapped windows always have one
    DestroyWindow(hwnd);
}

TEST_F(Windows, EnableWindowReportsThePreviousStateAndTakesTheFocusAway) {
    HWND hwnd = CreateWindowExA(0, "LogClass", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                                nullptr, nullptr);
    EXPECT_EQ(GetFocus(), hwnd);
    message_log().clear();
    EXPECT_FALSE(EnableWindow(hwnd, FALSE));  // was enabled
    EXPECT_FALSE(IsWindowEnabled(hwnd));
    EXPECT_EQ(GetFocus(), nullptr);
    expect_sequence({{WM_KILLFOCUS}, {WM_ENABLE}}, "disable");
    EXPECT_TRUE(EnableWindow(hwnd, FALSE));  // was disabled: nothing sent
    expect_sequence({}, "disable again");
    EXPECT_TRUE(EnableWindow(hwnd, TRUE));
    expect_sequence({{WM_ENABLE}}, "enable");
    DestroyWindow(hwnd);
}

TEST_F(Windows, SetWindowTextChangesTheCaptionAUserReads) {
    HWND hwnd = CreateWindowExA(0, "LogClass", "Old", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 100, nullptr,
                                nullptr, nullptr, nullptr);
    ui::pump_pending();
    EXPECT_TRUE(SetWindowTextA(hwnd, "LANA 03"));
    auto lines = ui::window_text(hwnd);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "LANA 03");
    EXPECT_EQ(ui::find_window_titled("LANA 03"), hwnd);
    DestroyWindow(hwnd);
}

}  // namespace
