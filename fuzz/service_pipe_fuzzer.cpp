// Throws random requests, disconnects, waiting and silent clients and raw greetings at a running vessamir pipe
// server (the service runs in this process, under the platform's dispatcher, in a prefix of its own, with a
// short [pipes] idle_client_ms). Each input is a list of operations:
//   byte op, byte length, `length` payload bytes
// op % 8: 0 one exchange through CallNamedPipeA; 1 connect and close; 2 write a request and close without
// reading; 3 write a request and read the reply into a buffer of a fuzzed size; 4 a silent client: connect and
// say nothing (kept until the end of the input); 5 WaitNamedPipeA with a fuzzed time-out; 6 CallNamedPipeA with a
// short fuzzed time-out; 7 a raw greeting: the payload sent as is on the pipe's socket or its wait socket.
// Every reply must be exactly 180 bytes holding one of the service's texts; an exchange of up to 180 bytes
// without a time-out must succeed; a wait or a call with a time-out either succeeds or runs out
// (ERROR_SEM_TIMEOUT); a silent client must have been dropped by the end of the input; the service must keep
// running.
#include <windows.h>

#include "advapi32/service_registry.h"
#include "prefix/prefix.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

int VessamirMain(int argc, char *argv[]);

namespace {

namespace fs = std::filesystem;
constexpr const char *pipe_name = "\\\\.\\pipe\\sd_flppy";
fs::path pipe_folder;

[[noreturn]] void fail(const std::string &why) {
    std::fprintf(stderr, "service_pipe_fuzzer: %s\n", why.c_str());
    std::abort();
}

void start_service() {
    char pattern[] = "/tmp/vessamir-fuzz-XXXXXX";
    if (!mkdtemp(pattern))
        fail("no temporary prefix");
    fs::path prefix = pattern;
    fs::create_directories(prefix / "dosdevices");
    fs::create_directories(prefix / "drive_c");
    for (const char *drive : {"a", "b"}) {
        std::ofstream(prefix / (std::string("floppy-") + drive)) << "diskette\n";
        fs::create_symlink(prefix / (std::string("floppy-") + drive),
                           prefix / "dosdevices" / (std::string(drive) + ":"));
    }
    std::ofstream(prefix / "platform.conf") << "[eventlog]\ntarget = file:events.log\n\n"
                                               "[accounts]\nAdministrators = root\nPower Users = nogroup\n\n"
                                               "[pipes]\nidle_client_ms = 20\n";
    pipe_folder = prefix / "pipe";
    setenv("PLATFORM_PREFIX", prefix.c_str(), 1);
    setenv(platform::services::service_name_variable, "Varnholtguard", 1);
    platform::prefix::reload();

    std::thread([] {
        char name[] = "vessamir";
        char *arguments[] = {name, nullptr};
        VessamirMain(1, arguments);
        fail("the service ended");
    }).detach();

    platform::services::ServiceFiles files("Varnholtguard");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < deadline) {
        auto status = files.read_status();
        if (status && status->status.dwCurrentState == SERVICE_RUNNING)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    fail("the service did not start");
}

// Whether `size` bytes at `reply` are a whole reply: 180 bytes holding one of the service's texts.
bool known_reply(const char *reply, DWORD size) {
    static const char *const texts[] = {"Floppies were locked", "Floppies were unlocked", "Floppy status is: Locked",
                                        "Floppy status is: Unlocked", "Bad operation passed in"};
    if (size != 180 || !std::memchr(reply, '\0', 180))
        return false;
    for (const char *text : texts)
        if (std::strcmp(reply, text) == 0)
            return true;
    return false;
}

HANDLE open_client() {
    for (;;) {
        HANDLE client = CreateFileA(pipe_name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (client != INVALID_HANDLE_VALUE)
            return client;
        if (GetLastError() != ERROR_PIPE_BUSY)
            fail("open failed with " + std::to_string(GetLastError()));
        WaitNamedPipeA(pipe_name, NMPWAIT_WAIT_FOREVER);
    }
}

void exchange(std::string request) {
    char reply[512];
    DWORD received = 0;
    BOOL ok = CallNamedPipeA(pipe_name, request.data(), static_cast<DWORD>(request.size()), reply, sizeof reply,
                             &received, NMPWAIT_WAIT_FOREVER);
    if (request.size() > 180) {
        if (ok)
            fail("a request of " + std::to_string(request.size()) + " bytes was answered");
        return;
    }
    if (!ok)
        fail("exchange failed with " + std::to_string(GetLastError()));
    if (!known_reply(reply, received))
        fail("a bad reply of " + std::to_string(received) + " bytes");
}

void write_and_leave(const std::string &request) {
    HANDLE client = open_client();
    DWORD written;
    WriteFile(client, request.data(), static_cast<DWORD>(request.size()), &written, NULL);
    CloseHandle(client);
}

void read_with_buffer(const std::string &request, DWORD buffer_size) {
    HANDLE client = open_client();
    DWORD mode = PIPE_READMODE_MESSAGE, done = 0;
    SetNamedPipeHandleState(client, &mode, NULL, NULL);
    char reply[180];
    if (WriteFile(client, request.data(), static_cast<DWORD>(request.size()), &done, NULL) && request.size() <= 180) {
        BOOL ok = ReadFile(client, reply, buffer_size, &done, NULL);
        if (buffer_size < 180 && (ok || GetLastError() != ERROR_MORE_DATA))
            fail("a short read did not give more-data");
        if (buffer_size == 180 && (!ok || !known_reply(reply, done)))
            fail("a full read did not give a 180-byte reply");
    }
    CloseHandle(client);
}

DWORD fuzzed_timeout(const std::string &payload) {
    return payload.empty() ? 1 : 1 + static_cast<unsigned char>(payload[0]);
}

void wait_with_timeout(const std::string &payload) {
    DWORD timeout = payload.size() == 1 ? NMPWAIT_USE_DEFAULT_WAIT : fuzzed_timeout(payload);
    if (!WaitNamedPipeA(pipe_name, timeout) && GetLastError() != ERROR_SEM_TIMEOUT)
        fail("a wait failed with " + std::to_string(GetLastError()));
}

void call_with_timeout(std::string request) {
    char reply[180];
    DWORD received = 0;
    if (!CallNamedPipeA(pipe_name, request.data(), static_cast<DWORD>(std::min<size_t>(request.size(), 180)), reply,
                        sizeof reply, &received, fuzzed_timeout(request))) {
        if (GetLastError() != ERROR_SEM_TIMEOUT)
            fail("a call with a time-out failed with " + std::to_string(GetLastError()));
        return;
    }
    if (!known_reply(reply, received))
        fail("a call with a time-out got a bad reply");
}

// The service must have dropped a client that never spoke: its read ends with the disconnect.
void check_dropped(HANDLE silent) {
    char buffer[8];
    DWORD done;
    if (ReadFile(silent, buffer, sizeof buffer, &done, NULL) || GetLastError() != ERROR_PIPE_NOT_CONNECTED)
        fail("a silent client was not dropped (" + std::to_string(GetLastError()) + ")");
    CloseHandle(silent);
}

void raw_greeting(const std::string &payload) {
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    bool to_wait_socket = !payload.empty() && (payload.back() & 1);
    std::string path = (pipe_folder / (to_wait_socket ? "sd_flppy%wait" : "sd_flppy")).string();
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
        send(fd, payload.data(), payload.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (fd >= 0)
        close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    start_service();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<HANDLE> silent;
    size_t at = 0;
    while (at + 2 <= size) {
        uint8_t op = data[at] % 8;
        size_t length = std::min<size_t>(data[at + 1], size - at - 2);
        std::string payload(reinterpret_cast<const char *>(data + at + 2), length);
        at += 2 + length;
        switch (op) {
            case 0:
                exchange(payload);
                break;
            case 1:
                CloseHandle(open_client());
                break;
            case 2:
                write_and_leave(payload);
                break;
            case 3:
                read_with_buffer(payload, 1 + (length * 7) % 180);
                break;
            case 4:
                if (silent.size() < 4)
                    silent.push_back(open_client());
                break;
            case 5:
                wait_with_timeout(payload);
                break;
            case 6:
                call_with_timeout(payload);
                break;
            default:
                raw_greeting(payload);
                break;
        }
    }
    for (HANDLE client : silent)
        check_dropped(client);
    return 0;
}
