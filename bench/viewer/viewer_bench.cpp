// The whole viewer, WinMain on a thread of its own on the headless screen, its LANAs answered by the scripted
// transport and configured through the menu and dialogs by injected input, as a user would.
//
// BM_OneLanaAtFrequencyZero: LANA 0 refreshing without pause; report cycles per second and the process CPU
// spent per cycle (worker, NetBIOS completion thread, main thread drawing the report; also the transport's
// recording of each NCB, which the real transport does not do).
//
// BM_TwelveLanasOnRequestIdle: LANAs 0 to 11 watched at frequency -1 and left alone for ten seconds. Nothing
// should run: the process CPU over the window is the cost of doing nothing, and any cycle issued meanwhile is
// a fault. Also the process's resident memory with the twelve slots active, and before any was.
//
// The benchmark's own thread only sleeps during a window, so the process CPU is the viewer's.
#include <windows.h>
#include <nb30.h>

#include "testing/temporary_prefix.h"

#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "lana_slots.h"
#include "viewer_harness.h"

namespace {

namespace fs = std::filesystem;
using namespace tarvoke::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// A "Key:   value kB" line of /proc/self/status, as a number; 0 when the line is missing.
double ProcessStatusValue(const std::string &key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0)
            return std::strtod(line.c_str() + key.size() + 1, nullptr);
    }
    return 0;
}

double ResidentMegabytes() {
    return ProcessStatusValue("VmRSS") / 1024.0;
}

std::size_t AdapterStatusCount(const platform::testing::ScriptedNetbios &netbios, int lana) {
    std::size_t count = 0;
    for (const auto &ncb : netbios.issued()) {
        if (ncb.lana == lana && (ncb.command & ~ASYNCH) == NCBASTAT)
            ++count;
    }
    return count;
}

// A viewer with the scripted LANAs `lanas`. Close() switches every watched LANA off through the dialogs and
// then closes the main window, so no worker outlives the benchmark.
class ViewerRun {
public:
    explicit ViewerRun(std::vector<std::uint8_t> lanas) {
        ResetViewerState();
        netbios_.set_lanas(std::move(lanas));
        viewer_ = std::make_unique<RunningViewer>(netbios_);
        hwnd_main_ = viewer_->main_window();
        if (hwnd_main_)
            Sync();
    }
    ~ViewerRun() { Close(); }
    ViewerRun(const ViewerRun &) = delete;
    ViewerRun &operator=(const ViewerRun &) = delete;

    bool started() const { return hwnd_main_ != nullptr; }
    platform::testing::ScriptedNetbios &netbios() { return netbios_; }

    // The slot table is written only by the main thread; a send returns once that thread has handled it.
    void Sync() const { SendMessageA(hwnd_main_, WM_NULL, 0, 0); }

    bool Activate(int lana, const std::string &frequency) {
        LanaSettings settings;
        settings.frequency = frequency;
        settings.active = true;
        if (!ConfigureLana(hwnd_main_, lana, settings))
            return false;
        return wait_for([&] {
            Sync();
            return LanaSlots[lana].hwndDisplay != nullptr;
        });
    }

    // False when a LANA could not be switched off or the viewer did not end.
    bool Close() {
        if (!viewer_)
            return true;
        bool clean = true;
        if (hwnd_main_ && !viewer_->finished()) {
            Sync();
            for (int lana = 0; lana < MAX_LANA_SLOTS; ++lana) {
                if (LanaSlots[lana].hwndDisplay == nullptr)
                    continue;
                LanaSettings settings;
                settings.active = false;
                clean = ConfigureLana(hwnd_main_, lana, settings) && clean;
                Sync();
                clean = clean && LanaSlots[lana].hwndDisplay == nullptr && LanaSlots[lana].hThread == nullptr;
            }
        }
        viewer_.reset();
        clean = netbios_.wait_until_idle() && clean;
        ResetViewerState();
        return clean;
    }

private:
    platform::testing::ScriptedNetbios netbios_;
    std::unique_ptr<RunningViewer> viewer_;
    HWND hwnd_main_ = nullptr;
};

void BM_OneLanaAtFrequencyZero(benchmark::State &state) {
    constexpr auto kWindow = 2s;
    ViewerRun run({0});
    if (!run.started() || !run.Activate(0, "0")) {
        state.SkipWithError("LANA 0 could not be activated");
        return;
    }
    // Past the first cycles, which run while the display window is still being laid out.
    if (!wait_for([&] { return AdapterStatusCount(run.netbios(), 0) >= 50; })) {
        state.SkipWithError("LANA 0 does not cycle");
        return;
    }

    double cycles = 0, cpu_seconds = 0, wall_seconds = 0;
    for (auto _ : state) {
        std::size_t first = AdapterStatusCount(run.netbios(), 0);
        double cpu_start = ProcessCpuSeconds();
        auto start = Clock::now();
        std::this_thread::sleep_for(kWindow);
        double wall = std::chrono::duration<double>(Clock::now() - start).count();
        double cpu = ProcessCpuSeconds() - cpu_start;
        std::size_t last = AdapterStatusCount(run.netbios(), 0);
        state.SetIterationTime(wall);
        cycles += static_cast<double>(last - first);
        cpu_seconds += cpu;
        wall_seconds += wall;
    }
    if (!run.Close()) {
        state.SkipWithError("LANA 0 could not be switched off");
        return;
    }
    state.counters["cycles"] = cycles;
    state.counters["cycles_per_s"] = cycles / wall_seconds;
    state.counters["cpu_us_per_cycle"] = cycles > 0 ? cpu_seconds * 1e6 / cycles : 0;
    state.counters["cpu_percent"] = cpu_seconds * 100 / wall_seconds;  // of one core
}
BENCHMARK(BM_OneLanaAtFrequencyZero)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_TwelveLanasOnRequestIdle(benchmark::State &state) {
    constexpr auto kWindow = 10s;
    std::vector<std::uint8_t> lanas;
    for (std::uint8_t lana = 0; lana < MAX_LANA_SLOTS; ++lana)
        lanas.push_back(lana);
    ViewerRun run(lanas);
    if (!run.started()) {
        state.SkipWithError("the viewer did not start");
        return;
    }
    double rss_without_lanas = ResidentMegabytes();
    double threads_without_lanas = ProcessStatusValue("Threads");
    for (int lana : lanas) {
        if (!run.Activate(lana, "-1")) {
            state.SkipWithError("a LANA could not be activated");
            return;
        }
    }
    // Each slot runs its two cycles of activation, then waits to be asked.
    bool settled = wait_for([&] {
                       for (int lana : lanas) {
                           if (AdapterStatusCount(run.netbios(), lana) < 2)
                               return false;
                       }
                       return true;
                   }) &&
                   run.netbios().wait_until_idle();
    if (!settled) {
        state.SkipWithError("the LANAs did not finish their first cycles");
        return;
    }
    std::this_thread::sleep_for(1s);  // the last refreshes drawn
    run.Sync();

    std::size_t calls_before = run.netbios().transport_calls();
    double cpu_seconds = 0, wall_seconds = 0;
    for (auto _ : state) {
        double cpu_start = ProcessCpuSeconds();
        auto start = Clock::now();
        std::this_thread::sleep_for(kWindow);
        double wall = std::chrono::duration<double>(Clock::now() - start).count();
        cpu_seconds += ProcessCpuSeconds() - cpu_start;
        wall_seconds += wall;
        state.SetIterationTime(wall);
    }
    std::size_t calls_while_idle = run.netbios().transport_calls() - calls_before;
    double rss = ResidentMegabytes();
    double threads = ProcessStatusValue("Threads");
    if (!run.Close()) {
        state.SkipWithError("a LANA could not be switched off");
        return;
    }
    state.counters["idle_cpu_ms"] = cpu_seconds * 1e3;
    state.counters["idle_cpu_percent"] = cpu_seconds * 100 / wall_seconds;  // of one core
    state.counters["commands_while_idle"] = static_cast<double>(calls_while_idle);
    state.counters["rss_mb"] = rss;
    state.counters["rss_mb_no_lana"] = rss_without_lanas;
    state.counters["rss_mb_per_lana"] = (rss - rss_without_lanas) / static_cast<double>(lanas.size());
    state.counters["threads"] = threads;
    state.counters["threads_no_lana"] = threads_without_lanas;
}
BENCHMARK(BM_TwelveLanasOnRequestIdle)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// A prefix of its own, so that no settings of the user's reach the viewer under measurement.
class TemporaryPrefix {
public:
    TemporaryPrefix() {
        char pattern[] = "/tmp/tarvoke-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return;
        path_ = pattern;
        setenv("PLATFORM_PREFIX", pattern, 1);
        platform::testing::reload_prefix();
    }
    ~TemporaryPrefix() {
        std::error_code error;
        if (!path_.empty())
            fs::remove_all(path_, error);
    }
    TemporaryPrefix(const TemporaryPrefix &) = delete;
    TemporaryPrefix &operator=(const TemporaryPrefix &) = delete;

private:
    fs::path path_;
};

}  // namespace

int main(int argc, char **argv) {
    TemporaryPrefix prefix;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
