// One Q exchange with the running vessamir through CallNamedPipeA (open, write, read, close), against the
// same shape of exchange on a bare SOCK_SEQPACKET socket: connect, send one byte, receive 180, close.
// The service runs under servicectl in a prefix of its own for the whole run.
#include <windows.h>

#include "testing/temporary_prefix.h"

#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

class ServiceUnderServicectl {
public:
    ServiceUnderServicectl() {
        char pattern[] = "/tmp/vessamir-bench-XXXXXX";
        prefix_ = mkdtemp(pattern);
        fs::create_directories(prefix_ / "dosdevices");
        fs::create_directories(prefix_ / "drive_c");
        for (const char *drive : {"a", "b"}) {
            std::ofstream(prefix_ / (std::string("floppy-") + drive)) << "diskette\n";
            fs::create_symlink(prefix_ / (std::string("floppy-") + drive),
                               prefix_ / "dosdevices" / (std::string(drive) + ":"));
        }
        std::ofstream(prefix_ / "platform.conf") << "[eventlog]\ntarget = file:events.log\n\n"
                                                    "[accounts]\nAdministrators = root\nPower Users = nogroup\n";
        setenv("PLATFORM_PREFIX", prefix_.c_str(), 1);
        platform::testing::reload_prefix();
        started_ = std::system(SERVICECTL_PATH " create Varnholtguard " VESSAMIR_PATH " >/dev/null") == 0 &&
                   std::system(SERVICECTL_PATH " start Varnholtguard >/dev/null") == 0;
    }
    ~ServiceUnderServicectl() {
        std::system(SERVICECTL_PATH " stop Varnholtguard >/dev/null");
        std::error_code error;
        fs::remove_all(prefix_, error);
    }
    bool started() const { return started_; }
    const fs::path &prefix() const { return prefix_; }

private:
    fs::path prefix_;
    bool started_ = false;
};

ServiceUnderServicectl &service() {
    static ServiceUnderServicectl instance;
    return instance;
}

void BM_QueryThroughCallNamedPipe(benchmark::State &state) {
    if (!service().started()) {
        state.SkipWithError("the service did not start");
        return;
    }
    char request[] = "Q";
    char reply[180];
    DWORD received;
    for (auto _ : state) {
        if (!CallNamedPipeA("\\\\.\\pipe\\sd_flppy", request, 1, reply, sizeof reply, &received,
                            NMPWAIT_WAIT_FOREVER) ||
            received != 180) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueryThroughCallNamedPipe)->UseRealTime();

// A one-client-at-a-time server on a bare socket, answering every one-byte request with 180 bytes.
class SeqpacketServer {
public:
    explicit SeqpacketServer(const fs::path &path) {
        address_.sun_family = AF_UNIX;
        std::strncpy(address_.sun_path, path.c_str(), sizeof address_.sun_path - 1);
        unlink(path.c_str());
        listener_ = socket(AF_UNIX, SOCK_SEQPACKET, 0);
        bind(listener_, reinterpret_cast<sockaddr *>(&address_), sizeof address_);
        listen(listener_, 1);
        thread_ = std::thread([this] { serve(); });
    }
    ~SeqpacketServer() {
        stopping_ = true;
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close(listener_);
        unlink(address_.sun_path);
    }
    const sockaddr_un &address() const { return address_; }

private:
    void serve() {
        char request[180], reply[180] = "Floppy status is: Locked";
        while (!stopping_) {
            int client = accept(listener_, nullptr, nullptr);
            if (client < 0)
                continue;
            if (recv(client, request, sizeof request, 0) >= 0)
                send(client, reply, sizeof reply, MSG_NOSIGNAL);
            close(client);
        }
    }

    sockaddr_un address_{};
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

void BM_QueryThroughBareSeqpacket(benchmark::State &state) {
    SeqpacketServer server(fs::temp_directory_path() / ("seqpacket-bench-" + std::to_string(getpid())));
    char reply[180];
    for (auto _ : state) {
        int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
        if (connect(fd, reinterpret_cast<const sockaddr *>(&server.address()), sizeof server.address()) != 0 ||
            send(fd, "Q", 1, 0) != 1 || recv(fd, reply, sizeof reply, 0) != 180) {
            close(fd);
            state.SkipWithError("exchange failed");
            break;
        }
        close(fd);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueryThroughBareSeqpacket)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
