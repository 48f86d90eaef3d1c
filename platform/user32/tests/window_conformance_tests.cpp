// Conformance tests of window creation: Win32 and GoogleTest only, so they also run on Windows and Wine.
#include "conformance.h"

#include <vector>

namespace {

std::vector<UINT> creation_messages;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE || message == WM_CREATE)
        creation_messages.push_back(message);
    return DefWindowProcA(window, message, wparam, lparam);
}

TEST(WindowConformance, NonClientCreationComesBeforeCreation) {
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = RecordingProc;
    window_class.hInstance = GetModuleHandleA(NULL);
    window_class.lpszClassName = "ConformanceRecorder";
    ASSERT_NE(RegisterClassA(&window_class), 0);

    creation_messages.clear();
    HWND window = CreateWindowExA(0, "ConformanceRecorder", "recorder", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, NULL,
                                  NULL, window_class.hInstance, NULL);
    ASSERT_NE(window, (HWND)NULL);
    EXPECT_EQ(creation_messages, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));

    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(UnregisterClassA("ConformanceRecorder", window_class.hInstance));
}

}  // namespace
