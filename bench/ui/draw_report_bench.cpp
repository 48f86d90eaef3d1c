// Drawing a full report window on the headless screen: 24 lines of 45 characters in the report's
// fixed-pitch font, with the font created and deleted around every draw as the viewer does.
#include "testing/headless_display.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string report_text() {
    std::string text;
    for (int line = 0; line < 24; ++line) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "  Frames received with errors %14d\r\n", line * 4711);
        text += buffer;
    }
    return text;
}

HWND report_window() {
    static HWND hwnd = [] {
        platform::testing::ui::headless();
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = "ReportBench";
        RegisterClassA(&wc);
        // The display window's client area: 193 by 107 dialog units less its scroll bar.
        HWND window = CreateWindowExA(0, "ReportBench", "LANA 00", WS_POPUP | WS_CAPTION | WS_VSCROLL | WS_VISIBLE, 100,
                                      100, 386 + 6 + 16, 214 + 24, nullptr, nullptr, nullptr, nullptr);
        platform::testing::ui::pump_pending();
        return window;
    }();
    return hwnd;
}

void BM_DrawReport(benchmark::State &state) {
    HWND hwnd = report_window();
    std::string text = report_text();
    for (auto _ : state) {
        HDC dc = GetDC(hwnd);
        RECT client;
        GetClientRect(hwnd, &client);
        HFONT font = CreateFontA(10, 8, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_CHARACTER_PRECIS,
                                 CLIP_CHARACTER_PRECIS, DEFAULT_QUALITY, FIXED_PITCH, "Courier");
        HGDIOBJ old = SelectObject(dc, font);
        benchmark::DoNotOptimize(DrawTextA(dc, text.c_str(), -1, &client, DT_WORDBREAK));
        SelectObject(dc, old);
        DeleteObject(font);
        ReleaseDC(hwnd, dc);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DrawReport)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
