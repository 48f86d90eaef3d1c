// Conformance tests of windows: what creation, showing, painting, text, enabling and focus send, the errors of
// refused calls, icons and cursors, and scroll bar positions. Win32 and GoogleTest only, so they also run on
// Windows and Wine.
#include "conformance.h"

#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace conformance;

std::vector<UINT> logged;  // every message the recorder's procedure got
int paints = 0;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    logged.push_back(message);
    if (message != WM_PAINT)
        return DefWindowProcA(window, message, wparam, lparam);
    ++paints;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    EXPECT_EQ(dc, paint.hdc);
    FillRect(dc, &paint.rcPaint, (HBRUSH)GetStockObject(GRAY_BRUSH));
    EndPaint(window, &paint);
    return 0;
}

class Windows : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA window_class = {0, RecordingProc, 0, 4, GetModuleHandleA(NULL), NULL, NULL, NULL, NULL, "Recorder"};
        window_class.hIcon = LoadIconA(NULL, IDI_APPLICATION);
        window_class.hCursor = LoadCursorA(NULL, IDC_ARROW);
        window_class.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
        ASSERT_NE(RegisterClassA(&window_class), 0);
        logged.clear();
        paints = 0;
    }
    void TearDown() override { EXPECT_TRUE(UnregisterClassA("Recorder", GetModuleHandleA(NULL))); }
    HWND Create(DWORD style, HWND parent = NULL) {
        return CreateWindowExA(0, "Recorder", "recorder", style, 10, 10, 200, 100, parent, NULL, GetModuleHandleA(NULL),
                               NULL);
    }
};

TEST_F(Windows, CreationShowingPaintingTextEnablingAndDestructionSendTheirMessagesInOrder) {
    HWND window = Create(WS_OVERLAPPEDWINDOW);
    ASSERT_NE(window, (HWND)NULL);
    // Windows sends the first WM_SIZE and WM_MOVE of a hidden window when it is shown; the platform sends
    // them during creation already.
    EXPECT_TRUE(
        MatchesSequence(logged, {{WM_NCCREATE}, {WM_NCCALCSIZE}, {WM_CREATE}, {WM_SIZE, true}, {WM_MOVE, true}}));
    logged.clear();
    EXPECT_FALSE(ShowWindow(window, SW_SHOWNORMAL));  // it was hidden
    EXPECT_TRUE(MatchesSequence(logged, {{WM_SHOWWINDOW}, {WM_NCACTIVATE}, {WM_ACTIVATE}, {WM_SETFOCUS}}));
    EXPECT_EQ(GetFocus(), window);
    EXPECT_TRUE(UpdateWindow(window));
    EXPECT_EQ(paints, 1);
    EXPECT_TRUE(UpdateWindow(window));  // nothing is invalid any more
    EXPECT_EQ(paints, 1);
    logged.clear();
    EXPECT_TRUE(ShowWindow(window, SW_SHOW));  // already visible: nothing is sent
    EXPECT_TRUE(MatchesSequence(logged, {{WM_SHOWWINDOW, true}}) && logged.size() <= 2);
    // The new caption is what the window answers with.
    EXPECT_TRUE(SetWindowTextA(window, "LANA 03"));
    char text[16] = "";
    EXPECT_EQ(GetWindowTextA(window, text, sizeof text), 7);
    EXPECT_STREQ(text, "LANA 03");
    // Disabling takes the focus; enabling twice or disabling twice changes nothing the second time.
    logged.clear();
    EXPECT_FALSE(EnableWindow(window, FALSE));
    EXPECT_TRUE(EnableWindow(window, FALSE));
    EXPECT_TRUE(EnableWindow(window, TRUE));
    EXPECT_FALSE(EnableWindow(window, TRUE));
    EXPECT_TRUE(  // a second disabling may cancel modes again
        MatchesSequence(logged, {{WM_CANCELMODE}, {WM_KILLFOCUS}, {WM_ENABLE}, {WM_CANCELMODE, true}, {WM_ENABLE}}));
    EXPECT_EQ(GetFocus(), (HWND)NULL);
    // SetFocus returns the window that had it; the one losing it hears first.
    HWND child = Create(WS_CHILD | WS_VISIBLE, window);
    EXPECT_EQ(SetFocus(window), (HWND)NULL);
    logged.clear();
    EXPECT_EQ(SetFocus(child), window);
    EXPECT_TRUE(MatchesSequence(logged, {{WM_KILLFOCUS}, {WM_SETFOCUS}}));
    logged.clear();
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_TRUE(MatchesSequence(logged, {{WM_DESTROY}, {WM_DESTROY}, {WM_NCDESTROY}, {WM_NCDESTROY}}));
    EXPECT_FALSE(IsWindow(window) || IsWindow(child));
}

TEST_F(Windows, RefusedCallsSetTheirLastError) {
    HWND window = Create(WS_OVERLAPPED), bogus = Create(WS_OVERLAPPED);
    DestroyWindow(bogus);  // a handle that named a window once
    HANDLE bad_handle = (HANDLE)(ULONG_PTR)0x7777;
    WNDCLASSA duplicate = {0, DefWindowProcA, 0, 0, NULL, NULL, NULL, NULL, NULL, "recorder"};
    MSG msg;
    POINT origin = {};
    // clang-format off
    // The last column: an error another implementation is known to give instead (0: none).
    const std::tuple<const char *, std::function<bool()>, DWORD, DWORD> cases[] = {
        {"class names ignore case", [&] { return !RegisterClassA(&duplicate); }, ERROR_CLASS_ALREADY_EXISTS, 0},
        {"unknown class", [&] { return !CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 9, 9, NULL, NULL, NULL, NULL); },
         ERROR_CANNOT_FIND_WND_CLASS, ERROR_CLASS_DOES_NOT_EXIST},
        {"child without parent", [&] { return !Create(WS_CHILD); }, ERROR_TLW_WITH_WSCHILD, 0},
        {"index past the extra bytes", [&] { return !GetWindowLongA(window, 4); }, ERROR_INVALID_INDEX, 0},
        {"destroy a bad window", [&] { return !DestroyWindow(bogus); }, ERROR_INVALID_WINDOW_HANDLE,
         ERROR_ACCESS_DENIED},
        {"get for a bad window", [&] { return GetMessageA(&msg, bogus, 0, 0) == -1; }, ERROR_INVALID_WINDOW_HANDLE, 0},
        {"peek for a bad window", [&] { return !PeekMessageA(&msg, bogus, 0, 0, PM_REMOVE); },
         ERROR_INVALID_WINDOW_HANDLE, 0},
        {"post to a bad window", [&] { return !PostMessageA(bogus, WM_USER, 0, 0); }, ERROR_INVALID_WINDOW_HANDLE, 0},
        {"send to a bad window", [&] { return !SendMessageA(bogus, WM_USER, 0, 0); }, ERROR_INVALID_WINDOW_HANDLE, 0},
        {"show a bad window", [&] { return !ShowWindow(bogus, SW_SHOW); }, ERROR_INVALID_WINDOW_HANDLE, 0},
        {"map a bad window's point", [&] { return !ClientToScreen(bogus, &origin); }, ERROR_INVALID_WINDOW_HANDLE, 0},
        {"wait on a bad handle", [&] { return MsgWaitForMultipleObjects(1, &bad_handle, 0, 0, 0) == WAIT_FAILED; },
         ERROR_INVALID_HANDLE, 0},
        {"unknown dialog item", [&] { return !GetDlgItem(window, 999); }, ERROR_CONTROL_ID_NOT_FOUND, kSentinel},
        {"unknown icon", [] { return !LoadIconA(GetModuleHandleA(NULL), "NoSuchIcon"); },
         ERROR_RESOURCE_NAME_NOT_FOUND, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"unknown dialog", [&] { return !CreateDialogParamA(GetModuleHandleA(NULL), "NOSUCH", window, NULL, 0); },
         ERROR_RESOURCE_NAME_NOT_FOUND, 0}};
    // clang-format on
    std::string differences;
    for (auto &[what, refused, error, elsewhere] : cases) {
        SetLastError(kSentinel);
        EXPECT_TRUE(refused()) << what;
        if (!KnownDifference(elsewhere && GetLastError() == elsewhere, what, differences)) {
            EXPECT_LAST_ERROR(error) << what;
        }
    }
    DestroyWindow(window);
    SKIP_KNOWN_DIFFERENCE(!differences.empty(), "errors differ:" << differences);
}

// The programs' icon comes from their resources, the cursor and stock icons from the system: the same handle
// every time.
TEST_F(Windows, IconsAndCursorsLoadFromResourcesAndTheSystem) {
    HICON icon = LoadIconA(GetModuleHandleA(NULL), "ConformanceIcon");
    EXPECT_NE(icon, (HICON)NULL) << GetLastError();
    EXPECT_EQ(LoadIconA(GetModuleHandleA(NULL), "conformanceicon"), icon);  // names ignore case
    EXPECT_NE(LoadIconA(NULL, IDI_APPLICATION), (HICON)NULL);
    HCURSOR arrow = LoadCursorA(NULL, IDC_ARROW);
    EXPECT_NE(arrow, (HCURSOR)NULL);
    EXPECT_EQ(LoadCursorA(NULL, IDC_ARROW), arrow);
    EXPECT_NE(LoadCursorA(NULL, IDC_WAIT), arrow);
}

// The report window's scroll bar: each position is clamped to the range, and SetScrollPos returns the one before.
TEST_F(Windows, ScrollPositionsAreClampedToTheRange) {
    HWND window = Create(WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_VISIBLE);
    EXPECT_TRUE(SetScrollRange(window, SB_VERT, 0, 100, FALSE));
    const std::tuple<int, int, int> positions[] = {{50, 0, 50}, {500, 50, 100}, {-5, 100, 0}, {50, 0, 50}};
    for (auto [set, previous, now] : positions) {
        EXPECT_EQ(SetScrollPos(window, SB_VERT, set, TRUE), previous) << set;
        EXPECT_EQ(GetScrollPos(window, SB_VERT), now) << set;
    }
    EXPECT_TRUE(SetScrollRange(window, SB_VERT, 0, 20, TRUE));  // a smaller range moves the box into it
    EXPECT_EQ(GetScrollPos(window, SB_VERT), 20);
    DestroyWindow(window);
}

}  // namespace
