// Shared by user32's tests: a Wine-style message recorder whose log is compared with sequence tables (the
// expected messages in order), and small helpers for windows.
#pragma once

#include "testing/headless_display.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace ui = platform::testing::ui;

inline std::vector<std::pair<HWND, UINT>> log_of_messages;

// One row of a sequence table: the message, and its window when that matters.
struct Expected {
    Expected(UINT m, HWND h = nullptr) : message(m), hwnd(h) {}
    UINT message;
    HWND hwnd;
};

// Compares the log with the table, message for message; clears the log.
inline void expect_sequence(const std::vector<Expected> &table, const char *what) {
    auto &log = log_of_messages;
    std::string got, want;
    for (auto &row : table)
        want += std::to_string(row.message) + " ";
    for (auto &m : log)
        got += std::to_string(m.second) + " ";
    bool windows = std::equal(table.begin(), table.end(), log.begin(), log.end(),
                              [](auto &row, auto &m) { return !row.hwnd || row.hwnd == m.first; });
    EXPECT_TRUE(got == want && windows) << what << "\n got:  " << got << "\n want: " << want;
    log.clear();
}

// Logs what a window receives, leaving out what comes and goes with implementation details (mouse moves,
// hit tests, colours, text queries).
inline void log_message(HWND hwnd, UINT message) {
    static const UINT noise[] = {WM_NCHITTEST,    WM_SETCURSOR,     WM_NCMOUSEMOVE,       WM_MOUSEMOVE,
                                 WM_GETTEXT,      WM_GETTEXTLENGTH, WM_CTLCOLORBTN,       WM_CTLCOLORSTATIC,
                                 WM_CTLCOLOREDIT, WM_CTLCOLORDLG,   WM_CTLCOLORSCROLLBAR, WM_GETDLGCODE};
    if (std::find(std::begin(noise), std::end(noise), message) == std::end(noise))
        log_of_messages.push_back({hwnd, message});
}

inline LRESULT CALLBACK logging_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    log_message(hwnd, message);
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

inline ATOM register_class(const char *name, WNDPROC proc = logging_proc, const char *menu = nullptr, int extra = 0) {
    WNDCLASSA wc{CS_DBLCLKS, proc, 0, extra, nullptr, nullptr, nullptr, nullptr, menu, name};
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    UnregisterClassA(name, nullptr);
    return RegisterClassA(&wc);
}

// A window at (x, y) of w by h pixels.
inline HWND make_window(const char *class_name, const char *title, DWORD style, int x = 0, int y = 0, int w = 300,
                        int h = 200, HWND parent = nullptr, int id = 0) {
    return CreateWindowExA(0, class_name, title, style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}
