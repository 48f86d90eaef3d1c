// How long one adapter status of a real peer takes: through Netbios() in-process, as a whole `nmblookup -A`
// process, and as a bare UDP node status request and reply with no platform in between. The peer is nmbd in
// a network namespace of the benchmark's own (see the peer testbed); the summary prints the medians' ratios.
// The asynchronous command is timed as the viewer issues it, with a post routine: to the post routine, and to
// the issuing thread woken by it.
// On a virtual machine, waking a thread on an idle virtual CPU can take longer than the whole round trip and
// varies from run to run; `taskset -c 0 nbt_bench` keeps every thread, the peer's too, on one CPU, so that the
// medians measure the work and the thread switches rather than the host's wake-up latency.
#include "netapi32/nbt/name_service_packets.h"
#include "netapi32/nbt/nbt_transport.h"
#include "bench_peer.h"

#include <benchmark/benchmark.h>
#include <windows.h>
#include <nb30.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using platform::nbt::testing::dotted;
using platform::nbt::testing::PeerTestbed;

PeerTestbed *bed = nullptr;

UCHAR adapter_status(const std::string &callname, std::vector<UCHAR> &buffer) {
    NCB ncb{};
    ncb.ncb_command = NCBASTAT;
    ncb.ncb_buffer = buffer.data();
    ncb.ncb_length = static_cast<WORD>(buffer.size());
    std::memset(ncb.ncb_callname, ' ', NCBNAMSZ);
    std::memcpy(ncb.ncb_callname, callname.data(), std::min<std::size_t>(callname.size(), NCBNAMSZ));
    ncb.ncb_lana_num = 0;
    return Netbios(&ncb);
}

void BM_NetbiosAdapterStatusByAddress(benchmark::State &state) {
    std::vector<UCHAR> buffer(2048);
    auto address = dotted(bed->peer_address());
    for (auto _ : state)
        if (adapter_status(address, buffer) != NRC_GOODRET)
            state.SkipWithError("adapter status failed");
}

// The same command as the viewer issues it: asynchronous, with a post routine. The command's own time ends when
// its post routine runs, with the reply copied and the codes set; the post routine then sets an event for the
// issuing thread. The first benchmark times the command (manual time, taken in the post routine); the second
// also the issuing thread's wake-up, which is the scheduler's hand-off between two threads, as any program
// that waits for a post routine pays it.
HANDLE async_done = nullptr;
std::chrono::steady_clock::time_point posted_at;

void CALLBACK SignalDone(PNCB) {
    posted_at = std::chrono::steady_clock::now();
    SetEvent(async_done);
}

void run_asynchronous(benchmark::State &state, bool include_wake_up) {
    std::vector<UCHAR> buffer(2048);
    auto address = dotted(bed->peer_address());
    async_done = CreateEventA(NULL, FALSE, FALSE, NULL);
    for (auto _ : state) {
        NCB ncb{};
        ncb.ncb_command = NCBASTAT | ASYNCH;
        ncb.ncb_buffer = buffer.data();
        ncb.ncb_length = static_cast<WORD>(buffer.size());
        std::memset(ncb.ncb_callname, ' ', NCBNAMSZ);
        std::memcpy(ncb.ncb_callname, address.data(), std::min<std::size_t>(address.size(), NCBNAMSZ));
        ncb.ncb_post = SignalDone;
        auto issued_at = std::chrono::steady_clock::now();
        if (Netbios(&ncb) != NRC_GOODRET || WaitForSingleObject(async_done, 10000) != WAIT_OBJECT_0 ||
            ncb.ncb_retcode != NRC_GOODRET) {
            state.SkipWithError("asynchronous adapter status failed");
            break;
        }
        auto ended_at = include_wake_up ? std::chrono::steady_clock::now() : posted_at;
        state.SetIterationTime(std::chrono::duration<double>(ended_at - issued_at).count());
    }
    CloseHandle(async_done);
    async_done = nullptr;
}

void BM_NetbiosAsyncAdapterStatusByAddress(benchmark::State &state) {
    run_asynchronous(state, false);
}

void BM_NetbiosAsyncAdapterStatusWokenCaller(benchmark::State &state) {
    run_asynchronous(state, true);
}

void BM_NetbiosAdapterStatusByName(benchmark::State &state) {
    std::vector<UCHAR> buffer(2048);
    for (auto _ : state)
        if (adapter_status(bed->peer_name(), buffer) != NRC_GOODRET)
            state.SkipWithError("adapter status failed");
}

// The transport alone, called directly: what Netbios() adds is the difference to the one above.
void BM_TransportAdapterStatusByAddress(benchmark::State &state) {
    auto transport = platform::nbt::make_nbt_transport();
    platform::netbios::Name name;
    name.fill(' ');
    auto address = dotted(bed->peer_address());
    std::memcpy(name.data(), address.data(), address.size());
    for (auto _ : state) {
        auto reply = transport->adapter_status(0, name, platform::netbios::Clock::now() + std::chrono::seconds(5));
        if (reply.retcode != NRC_GOODRET)
            state.SkipWithError("adapter status failed");
    }
}

void BM_NmblookupProcess(benchmark::State &state) {
    std::vector<std::string> argv = {"nmblookup", "-s", bed->client_config(), "-A", dotted(bed->peer_address())};
    for (auto _ : state)
        if (!bed->run(argv))
            state.SkipWithError("nmblookup failed");
}

void BM_BareUdpRequestReply(benchmark::State &state) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{}, peer{};
    local.sin_family = peer.sin_family = AF_INET;
    auto local_address = bed->local_address(), peer_address = bed->peer_address();
    std::memcpy(&local.sin_addr, local_address.data(), 4);
    std::memcpy(&peer.sin_addr, peer_address.data(), 4);
    peer.sin_port = htons(platform::nbt::name_service_port);
    ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local);
    std::vector<std::uint8_t> reply(2048);
    std::uint16_t id = 1;
    for (auto _ : state) {
        auto request = platform::nbt::build_node_status_request(id++);
        ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr *>(&peer), sizeof peer);
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, 2000) != 1 || ::recv(fd, reply.data(), reply.size(), 0) <= 0) {
            state.SkipWithError("no reply");
            break;
        }
    }
    ::close(fd);
}

// Many short repetitions, shuffled: on a machine whose scheduler wakes threads late now and then, the median of
// many settles where that of a few does not. The asynchronous ones time themselves.
void register_benchmarks() {
    struct Entry {
        const char *name;
        void (*function)(benchmark::State &);
        bool manual_time;
    };
    const Entry entries[] = {
        {"BM_BareUdpRequestReply", BM_BareUdpRequestReply, false},
        {"BM_NetbiosAdapterStatusByAddress", BM_NetbiosAdapterStatusByAddress, false},
        {"BM_NetbiosAsyncAdapterStatusByAddress", BM_NetbiosAsyncAdapterStatusByAddress, true},
        {"BM_NetbiosAsyncAdapterStatusWokenCaller", BM_NetbiosAsyncAdapterStatusWokenCaller, true},
        {"BM_TransportAdapterStatusByAddress", BM_TransportAdapterStatusByAddress, false},
        {"BM_NetbiosAdapterStatusByName", BM_NetbiosAdapterStatusByName, false},
        {"BM_NmblookupProcess", BM_NmblookupProcess, false},
    };
    for (auto &entry : entries) {
        auto *registered = benchmark::RegisterBenchmark(entry.name, entry.function)
                               ->Unit(benchmark::kMicrosecond)
                               ->MinTime(0.1)
                               ->Repetitions(25);
        entry.manual_time ? registered->UseManualTime() : registered->UseRealTime();
    }
}

// The console report, and at its end the medians set against each other.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (auto &run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians_[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        auto bare = medians_["BM_BareUdpRequestReply"], netbios = medians_["BM_NetbiosAdapterStatusByAddress"];
        auto async = medians_["BM_NetbiosAsyncAdapterStatusByAddress"];
        auto woken = medians_["BM_NetbiosAsyncAdapterStatusWokenCaller"];
        auto transport = medians_["BM_TransportAdapterStatusByAddress"];
        auto nmblookup = medians_["BM_NmblookupProcess"];
        if (bare > 0 && transport > 0 && netbios > 0 && async > 0 && woken > 0 && nmblookup > 0)
            std::printf(
                "\nmedians (us): bare UDP %.1f, transport %.1f, Netbios %.1f, Netbios asynchronous %.1f (to the "
                "post routine), %.1f (to the woken caller), nmblookup -A %.1f\n"
                "transport / bare UDP = %.2f   Netbios / bare UDP = %.2f   asynchronous / bare UDP = %.2f (to the "
                "woken caller %.2f)   nmblookup / Netbios = %.1f\n",
                bare, transport, netbios, async, woken, nmblookup, transport / bare, netbios / bare, async / bare,
                woken / bare, nmblookup / netbios);
    }

private:
    std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char **argv) {
    int exit_code = 0;
    auto testbed = start_bench_peer("nbt_bench", exit_code);
    if (!testbed)
        return exit_code;
    bed = testbed.get();
    // Repetitions of the different benchmarks are run in a shuffled order by default, so that a change in the
    // machine's load during the run weighs on all of them alike and the ratios of the medians stay meaningful.
    std::vector<char *> arguments(argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave.data());
    int count = static_cast<int>(arguments.size());
    register_benchmarks();
    benchmark::Initialize(&count, arguments.data());
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    bed = nullptr;
    return 0;
}
