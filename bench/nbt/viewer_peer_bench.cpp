// The viewer end to end against a real peer: from the OK of a LANA's configuration dialog (the peer asked for
// by its address, refreshed on request) to its report complete and painted in the display window, next to a
// whole `nmblookup -A` of the same peer. The peer is nmbd in a network namespace of the benchmark's own (see the
// peer testbed); the viewer runs on the headless screen and is driven through its dialogs as a user would.
#include "bench_peer.h"
#include "resource.h"
#include "viewer_harness.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace tarvoke::testing {
HWND OpenConfiguration(HWND hwndMain, int lana);  // viewer_harness.cpp: the dialog, filled, before OK
}

namespace {

using namespace tarvoke::testing;
using platform::nbt::testing::dotted;
using platform::nbt::testing::PeerTestbed;
using Clock = std::chrono::steady_clock;
namespace ui = platform::testing::ui;

PeerTestbed *bed = nullptr;

// Complete in the slot, and nothing of it left for the display window to paint.
bool ReportPainted(HWND hwndMain) {
    if (LanaReportText(hwndMain, 0).find("END OF REPORT") == std::string::npos)
        return false;
    HWND display = GetSlotDisplayWindow(0);
    SyncWithViewer(hwndMain);
    return display && !GetUpdateRect(display, nullptr, FALSE);
}

void BM_ViewerOkToReportPainted(benchmark::State &state) {
    ResetViewerState();
    RunningViewer viewer;
    HWND hwndMain = viewer.main_window();
    if (!hwndMain) {
        state.SkipWithError("the viewer did not start");
        return;
    }
    std::string address = dotted(bed->peer_address());
    for (auto _ : state) {
        HWND hwndConfig = OpenConfiguration(hwndMain, 0);
        if (!hwndConfig) {
            state.SkipWithError("no configuration dialog");
            break;
        }
        EnterSettings(hwndConfig, {.name = address, .frequency = "-1", .active = true});
        auto pressed = Clock::now();
        ui::click(ui::center_of(GetDlgItem(hwndConfig, IDC_CONFIG_OK)));
        // Looked at every 200 us: wait_for would sleep up to 20 ms between looks when no message comes.
        bool painted = false;
        while (!(painted = ReportPainted(hwndMain)) && Clock::now() - pressed < std::chrono::seconds(20))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - pressed).count());
        if (!painted) {
            state.SkipWithError("no report of the peer");
            break;
        }
        DeactivateWatchedLanas(hwndMain);
    }
    DeactivateWatchedLanas(hwndMain);
}

void BM_NmblookupProcess(benchmark::State &state) {
    std::vector<std::string> argv = {"nmblookup", "-s", bed->client_config(), "-A", dotted(bed->peer_address())};
    for (auto _ : state) {
        auto started = Clock::now();
        if (!bed->run(argv))
            state.SkipWithError("nmblookup failed");
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - started).count());
    }
}

BENCHMARK(BM_ViewerOkToReportPainted)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(5);
BENCHMARK(BM_NmblookupProcess)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(5);

}  // namespace

int main(int argc, char **argv) {
    int exit_code = 0;
    auto testbed = start_bench_peer("viewer_peer_bench", exit_code);
    if (!testbed)
        return exit_code;
    bed = testbed.get();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    bed = nullptr;
    return 0;
}
