// Named pipes: message pipes with one instance, as a service and its clients use them.
#include "conformance.h"
#include "pipe_test_ends.h"

#include <atomic>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>

namespace {

using namespace pipe_ends;

// Answers `clients` requests, each with a 180-byte reply as the floppy lock service does, then ends.
std::thread serve(HANDLE pipe, int clients) {
    return std::thread([=] {
        for (int i = 0; i < clients; ++i) {
            ConnectNamedPipe(pipe, nullptr);
            char request[180], reply[180] = {};
            DWORD done = 0;
            if (ReadFile(pipe, request, sizeof request, &done, nullptr)) {
                std::snprintf(reply, sizeof reply, "got %lu bytes starting with %c", (unsigned long)done, request[0]);
                WriteFile(pipe, reply, sizeof reply, &done, nullptr);
            }
            DisconnectNamedPipe(pipe);
        }
    });
}

}  // namespace

class NamedPipes : public platform::testing::PrefixTest {};

TEST_F(NamedPipes, ANameNobodyServesEvenWhereADeadServerLeftItsSocketAndTheCreatorsMode) {
    // Nobody serves the name where a server that died left its socket behind (no socket at all:
    // pipe_conformance_tests.cpp).
    char buffer[8];
    DWORD done;
    int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strcpy(address.sun_path, (prefix_ / "pipe" / "conformance").c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    EXPECT_FAILS(open_client() == INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);
    EXPECT_FAILS(!WaitNamedPipeA(pipe_path, NMPWAIT_WAIT_FOREVER), ERROR_FILE_NOT_FOUND);
    EXPECT_FAILS(!CallNamedPipeA(pipe_path, (LPVOID) "Q", 1, buffer, 8, &done, 0), ERROR_FILE_NOT_FOUND);
    close(fd);
    HANDLE server = create_pipe(pipe_path, PIPE_TYPE_BYTE);
    struct stat info {};  // made without a security descriptor: its creator's alone
    ASSERT_EQ(stat(address.sun_path, &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode) && (info.st_mode & 0777) == 0600);
    HANDLE client = open_client();
    DWORD no_wait = PIPE_NOWAIT;
    EXPECT_FAILS(!SetNamedPipeHandleState(client, &no_wait, nullptr, nullptr), ERROR_NOT_SUPPORTED);
    EXPECT_FAILS(!DisconnectNamedPipe(client), ERROR_INVALID_HANDLE);  // only the server end disconnects
    CloseHandle(client);
    CloseHandle(server);
}

TEST_F(NamedPipes, CallAndTransactExchangeOneMessageEachEvenInADeepPrefix) {
    // A prefix path too long for a socket address.
    setenv("PLATFORM_PREFIX", (folder_ / std::string(120, 'd')).c_str(), 1);
    platform::testing::reload_prefix();
    HANDLE pipe = create_pipe();
    std::thread server = serve(pipe, 2);
    char reply[180];
    DWORD done = 0;
    EXPECT_FAILS(!CallNamedPipeA(pipe_path, (LPVOID) "Q", 1, reply, 40, &done, NMPWAIT_WAIT_FOREVER), ERROR_MORE_DATA);
    EXPECT_EQ(done, 40u);
    HANDLE client = open_client_when_listening();
    DWORD mode = PIPE_READMODE_MESSAGE;
    ASSERT_TRUE(SetNamedPipeHandleState(client, &mode, nullptr, nullptr));
    EXPECT_TRUE(TransactNamedPipe(client, (LPVOID) "T", 1, reply, sizeof reply, &done, nullptr));
    EXPECT_STREQ(reply, "got 1 bytes starting with T");
    CloseHandle(client);  // many clients that wait their turn: WaitersCostTheServerNothingAndAreAllServed
    server.join();
    CloseHandle(pipe);
}

// CPU time of a clock in milliseconds.
double cpu_ms(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// A server in a child process with only a few descriptors to spare while one client holds the instance and
// more clients than the listen backlog wait: waiting costs the server neither descriptors nor CPU time, and
// every waiter, whatever its time-out, is served once the holder lets go.
TEST_F(NamedPipes, WaitersCostTheServerNothingAndAreAllServed) {
    constexpr int waiters = 80;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    if (child == 0) {
        HANDLE server = create_pipe();
        // Four descriptors to spare (the listing counts its own, closed again).
        auto in_use = std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}) - 1;
        rlimit limit{static_cast<rlim_t>(in_use + 4), static_cast<rlim_t>(in_use + 4)};
        setrlimit(RLIMIT_NOFILE, &limit);
        (void)!write(ready[1], "r", 1);
        serve(server, waiters + 1).join();
        _exit(0);
    }
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    clockid_t server_clock;
    ASSERT_EQ(clock_getcpuclockid(child, &server_clock), 0);
    HANDLE holder = open_client();
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    double server_before = cpu_ms(server_clock);
    std::atomic<int> served{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < waiters; ++i)
        clients.emplace_back([i, &served] {
            char reply[180];
            DWORD got = 0;
            if (CallNamedPipeA(pipe_path, (LPVOID) "W", 1, reply, sizeof reply, &got,
                               i % 2 ? NMPWAIT_WAIT_FOREVER : 30000))
                ++served;
            else
                ADD_FAILURE() << "waiter " << i << " failed with " << GetLastError();
        });
    // The window: while this thread spends 300 ms of its own CPU time, a server that spins would take a share
    // of the machine comparable to it.
    double burn_until = cpu_ms(CLOCK_THREAD_CPUTIME_ID) + 300;
    while (cpu_ms(CLOCK_THREAD_CPUTIME_ID) < burn_until) {
    }
    EXPECT_LT(cpu_ms(server_clock) - server_before, 30.0);
    EXPECT_FAILS(!WaitNamedPipeA(pipe_path, 1), ERROR_SEM_TIMEOUT);

    DWORD done;
    char reply[180];
    EXPECT_TRUE(WriteFile(holder, "H", 1, &done, nullptr) && ReadFile(holder, reply, sizeof reply, &done, nullptr));
    CloseHandle(holder);
    for (auto &client : clients)
        client.join();
    EXPECT_EQ(served, waiters);
    if (served != waiters)
        kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    close(ready[1]);
}

TEST_F(NamedPipes, AClientThatSaysNothingIsDroppedForTheNext) {
    temporary_.write_config("[pipes]\nidle_client_ms = 50\n");
    HANDLE pipe = create_pipe();
    std::thread server = serve(pipe, 2);
    HANDLE silent = open_client_when_listening();
    char reply[180];
    DWORD got = 0;
    // The next client is served long before its own wait ends.
    BOOL ok = CallNamedPipeA(pipe_path, (LPVOID) "Q", 1, reply, sizeof reply, &got, 20000);
    EXPECT_TRUE(ok);
    EXPECT_STREQ(reply, "got 1 bytes starting with Q");
    if (ok)
        EXPECT_FAILS(!ReadFile(silent, reply, sizeof reply, &got, nullptr), ERROR_PIPE_NOT_CONNECTED);
    CloseHandle(silent);
    if (!ok)
        CallNamedPipeA(pipe_path, (LPVOID) "Q", 1, reply, sizeof reply, &got, NMPWAIT_WAIT_FOREVER);
    server.join();
    CloseHandle(pipe);
}
