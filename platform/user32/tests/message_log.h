// Wine-style message recording: a window procedure logs what it receives, and a test compares the log
// with a table of expected messages.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct LoggedMessage {
    HWND hwnd;
    UINT message;
    WPARAM wparam;
    bool operator==(const LoggedMessage &) const = default;
};

inline std::vector<LoggedMessage> &message_log() {
    static std::vector<LoggedMessage> log;
    return log;
}

// Messages that come and go with implementation details (mouse moves, hit tests) are not logged.
inline bool worth_logging(UINT message) {
    return message != WM_NCHITTEST && message != WM_SETCURSOR && message != WM_NCMOUSEMOVE && message != WM_MOUSEMOVE &&
           message != WM_GETTEXT && message != WM_GETTEXTLENGTH && message != WM_CTLCOLORBTN &&
           message != WM_CTLCOLORSTATIC && message != WM_CTLCOLOREDIT && message != WM_CTLCOLORDLG &&
           message != WM_CTLCOLORSCROLLBAR && message != WM_GETDLGCODE;
}

// Expected messages by id alone (hwnd null) or with their window.
struct Expected {
    UINT message;
    HWND hwnd = nullptr;
};

inline std::string message_name(UINT message) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%04X", message);
    return buffer;
}

inline void expect_sequence(const std::vector<Expected> &expected, const char *what) {
    auto &log = message_log();
    std::string got, want;
    for (auto &m : log)
        got += message_name(m.message) + " ";
    for (auto &m : expected)
        want += message_name(m.message) + " ";
    EXPECT_EQ(got, want) << what;
    for (std::size_t i = 0; i < std::min(log.size(), expected.size()); ++i) {
        if (expected[i].hwnd) {
            EXPECT_EQ(log[i].hwnd, expected[i].hwnd) << what << ": message " << i;
        }
    }
    log.clear();
}

inline LRESULT CALLBACK logging_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (worth_logging(message))
        message_log().push_back({hwnd, message, wparam});
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

inline ATOM register_logging_class(const char *name, UINT style = 0, HBRUSH background = nullptr, int window_extra = 0,
                                   WNDPROC proc = logging_proc) {
    WNDCLASSA wc{};
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = window_extra;
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    UnregisterClassA(name, nullptr);
    return RegisterClassA(&wc);
}
