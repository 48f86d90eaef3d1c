// The time one DrawReport takes on a full display window: 24 lines of 45 characters, with the font created,
// selected and deleted each time as the display window does.
#include <benchmark/benchmark.h>

#include <windows.h>

#include <string>

#include "tarvoke_ui.h"
#include "testing/headless_display.h"

namespace {

std::string FullPage() {
    std::string text;
    for (int line = 0; line < 24; ++line) {
        std::string row = "Line " + std::to_string(line) + " ";
        row.resize(45, static_cast<char>('a' + line % 26));
        text += row + "\r\n";
    }
    return text;
}

void BM_DrawReportFullWindow(benchmark::State &state) {
    platform::testing::ui::headless();
    HWND hwnd = CreateDialogParamA(GetModuleHandleA(nullptr), "DISPLAY", nullptr, DisplayDlgProc, 0);
    if (hwnd == nullptr) {
        state.SkipWithError("the DISPLAY template did not load");
        return;
    }
    ShowWindow(hwnd, SW_SHOW);
    platform::testing::ui::pump_pending();
    std::string text = FullPage();
    for (auto _ : state)
        DrawReport(hwnd, text.c_str());
    DestroyWindow(hwnd);
}
BENCHMARK(BM_DrawReportFullWindow)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
