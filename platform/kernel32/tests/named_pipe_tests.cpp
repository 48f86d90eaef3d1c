// Named pipes: message pipes with one instance, as a service and its clients use them.
#include "testing/temporary_prefix.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>

namespace {

constexpr const char *pipe_path = "\\\\.\\pipe\\conformance";

HANDLE create_message_pipe(const char *name = pipe_path, DWORD timeout = 1000) {
    return CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 0, 0,
                            timeout, nullptr);
}

HANDLE open_client(const char *name = pipe_path) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Waits for the instance to listen, as a client of a busy server does, and opens it.
HANDLE open_client_when_listening() {
    HANDLE client = INVALID_HANDLE_VALUE;
    while (client == INVALID_HANDLE_VALUE && WaitNamedPipeA(pipe_path, NMPWAIT_WAIT_FOREVER))
        client = open_client();
    return client;
}

bool write_text(HANDLE pipe, const char *text) {
    DWORD done = 0;
    return WriteFile(pipe, text, (DWORD)std::strlen(text), &done, nullptr) && done == std::strlen(text);
}

}  // namespace

class NamedPipes : public platform::testing::PrefixTest {};

TEST_F(NamedPipes, CreationChecksNameAndArguments) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateNamedPipeA("\\\\.\\nopipe\\x", PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 1, 0, 0, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateNamedPipeA(pipe_path, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 0, 0, 0, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(
        CreateNamedPipeA(pipe_path, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_MESSAGE, 1, 0, 0, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);

    HANDLE server = create_message_pipe();
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    // One instance: a second one of the same name (which ignores case) is refused.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(create_message_pipe("\\\\.\\PIPE\\Conformance"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PIPE_BUSY);
    EXPECT_TRUE(CloseHandle(server));

    // Closing the server frees the name.
    server = create_message_pipe();
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    CloseHandle(server);
}

TEST_F(NamedPipes, ClientsOfAPipeNobodyServes) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(open_client(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WaitNamedPipeA(pipe_path, 100));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    char reply[8];
    DWORD done = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CallNamedPipeA(pipe_path, (LPVOID) "Q", 1, reply, sizeof reply, &done, 100));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(done, 0u);

    // A socket left behind by a server that died is no pipe, and a new server takes its place.
    auto stale = prefix_ / "pipe" / "conformance";
    int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, stale.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    close(fd);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(open_client(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    HANDLE server = create_message_pipe();
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    HANDLE client = open_client();
    EXPECT_NE(client, INVALID_HANDLE_VALUE);
    CloseHandle(client);
    CloseHandle(server);
}

TEST_F(NamedPipes, ClientBeforeConnectAndIoWithoutAClient) {
    HANDLE server = create_message_pipe();
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    char buffer[8];
    DWORD done = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(server, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PIPE_LISTENING);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteFile(server, "x", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PIPE_LISTENING);

    HANDLE client = open_client();
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ConnectNamedPipe(server, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PIPE_CONNECTED);

    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ConnectNamedPipe(event, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DisconnectNamedPipe(client));  // only the server end disconnects
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    CloseHandle(event);
    CloseHandle(client);
    CloseHandle(server);
}

TEST_F(NamedPipes, MessagesLongerThanTheBufferAndEmptyMessages) {
    HANDLE server = create_message_pipe();
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    HANDLE client = open_client();
    ASSERT_NE(client, INVALID_HANDLE_VALUE);

    char request[180];
    for (int i = 0; i < 180; ++i)
        request[i] = (char)i;
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(client, request, sizeof request, &done, nullptr));
    ASSERT_TRUE(WriteFile(client, "", 0, &done, nullptr));
    ASSERT_TRUE(write_text(client, "next"));

    // Message read mode: a short buffer takes what fits and fails with ERROR_MORE_DATA; the rest stays.
    char buffer[200] = {};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(server, buffer, 100, &done, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MORE_DATA);
    EXPECT_EQ(done, 100u);
    EXPECT_EQ(std::memcmp(buffer, request, 100), 0);
    EXPECT_TRUE(ReadFile(server, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 80u);
    EXPECT_EQ(std::memcmp(buffer, request + 100, 80), 0);
    // The empty message is a message of its own.
    done = 0xdeadbeef;
    EXPECT_TRUE(ReadFile(server, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 0u);
    EXPECT_TRUE(ReadFile(server, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "next");

    // A client starts in byte read mode: a short read succeeds and leaves the rest.
    ASSERT_TRUE(WriteFile(server, request, sizeof request, &done, nullptr));
    EXPECT_TRUE(ReadFile(client, buffer, 100, &done, nullptr));
    EXPECT_EQ(done, 100u);
    EXPECT_TRUE(ReadFile(client, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 80u);
    // After switching to message read mode it sees ERROR_MORE_DATA as the server does.
    DWORD mode = PIPE_READMODE_MESSAGE;
    EXPECT_TRUE(SetNamedPipeHandleState(client, &mode, nullptr, nullptr));
    ASSERT_TRUE(WriteFile(server, request, sizeof request, &done, nullptr));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(client, buffer, 179, &done, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MORE_DATA);
    EXPECT_EQ(done, 179u);
    EXPECT_TRUE(ReadFile(client, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 1u);
    EXPECT_EQ(buffer[0], request[179]);

    CloseHandle(client);
    CloseHandle(server);
}

TEST_F(NamedPipes, OneInstanceServesOneClientAtATime) {
    HANDLE server = create_message_pipe(pipe_path, 100);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    HANDLE first = open_client();
    ASSERT_NE(first, INVALID_HANDLE_VALUE);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(open_client(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PIPE_BUSY);
    // Waiting with the default time-out (the server's 100 ms) runs out while the first client is served.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WaitNamedPipeA(pipe_path, NMPWAIT_USE_DEFAULT_WAIT));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SEM_TIMEOUT);

    // After a disconnect the instance takes clients again only once the server connects anew.
    EXPECT_TRUE(DisconnectNamedPipe(server));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(open_client(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PIPE_BUSY);

    std::thread waiter([] {
        SetLastError(0xdeadbeef);
        EXPECT_TRUE(WaitNamedPipeA(pipe_path, NMPWAIT_WAIT_FOREVER));
        HANDLE second = open_client();
        EXPECT_NE(second, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(write_text(second, "second"));
        CloseHandle(second);
    });
    EXPECT_TRUE(ConnectNamedPipe(server, nullptr));  // returns when the waiting client has come
    char buffer[16];
    DWORD done = 0;
    EXPECT_TRUE(ReadFile(server, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "second");
    waiter.join();
    CloseHandle(first);
    CloseHandle(server);
}

TEST_F(NamedPipes, EndsThatGoAway) {
    HANDLE server = create_message_pipe();
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    HANDLE client = open_client();
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    char buffer[16];
    DWORD done;

    // The server writes its reply and disconnects at once: the client still reads the reply, then learns that
    // it is no longer connected.
    ASSERT_TRUE(write_text(server, "reply"));
    EXPECT_TRUE(DisconnectNamedPipe(server));
    EXPECT_TRUE(ReadFile(client, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "reply");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(client, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PIPE_NOT_CONNECTED);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(server, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PIPE_NOT_CONNECTED);
    CloseHandle(client);

    // A client that closes: the server's read is a broken pipe, its write finds nobody.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(server, buffer, sizeof buffer, &done, nullptr));
    client = open_client();
    EXPECT_EQ(client, INVALID_HANDLE_VALUE);  // disconnected, not yet listening again
    std::thread connector([] { CloseHandle(open_client_when_listening()); });
    ConnectNamedPipe(server, nullptr);
    connector.join();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(server, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BROKEN_PIPE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteFile(server, "x", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_DATA);
    DisconnectNamedPipe(server);

    // A server that closes: the client's read is a broken pipe and the name is gone.
    std::thread connector2([&] { client = open_client_when_listening(); });
    ConnectNamedPipe(server, nullptr);
    connector2.join();
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    CloseHandle(server);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(client, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BROKEN_PIPE);
    CloseHandle(client);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(open_client(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

// A server thread that answers each request with a 180-byte reply, as the floppy lock service does.
class ReplyingServer {
public:
    explicit ReplyingServer(HANDLE pipe) : pipe_(pipe), thread_([this] { serve(); }) {}
    ~ReplyingServer() {
        stop_ = true;
        // A client ends the server's wait in ConnectNamedPipe; between two clients the instance is busy for a
        // moment, so keep trying until the thread has seen the stop.
        while (!finished_) {
            HANDLE wake = open_client();
            if (wake != INVALID_HANDLE_VALUE)
                CloseHandle(wake);
            else
                WaitNamedPipeA(pipe_path, 50);
        }
        thread_.join();
        CloseHandle(pipe_);
    }
    LONG served() const { return served_; }

private:
    void serve() {
        while (!stop_) {
            ConnectNamedPipe(pipe_, nullptr);
            char request[180], reply[180] = {};
            DWORD done = 0;
            if (!stop_ && ReadFile(pipe_, request, sizeof request, &done, nullptr)) {
                std::snprintf(reply, sizeof reply, "got %lu bytes starting with %c", (unsigned long)done,
                              done ? request[0] : '-');
                ++served_;  // before the reply, which the client may count on
                WriteFile(pipe_, reply, sizeof reply, &done, nullptr);
            }
            DisconnectNamedPipe(pipe_);
        }
        finished_ = true;
    }

    HANDLE pipe_;
    std::atomic<bool> stop_{false}, finished_{false};
    std::atomic<LONG> served_{0};
    std::thread thread_;
};

TEST_F(NamedPipes, CallNamedPipeExchangesOneMessageEach) {
    HANDLE pipe = create_message_pipe();
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    ReplyingServer server(pipe);

    char reply[180];
    DWORD done = 0;
    EXPECT_TRUE(CallNamedPipeA(pipe_path, (LPVOID) "L", 1, reply, sizeof reply, &done, NMPWAIT_WAIT_FOREVER));
    EXPECT_EQ(done, 180u);
    EXPECT_STREQ(reply, "got 1 bytes starting with L");

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CallNamedPipeA(pipe_path, (LPVOID) "Q", 1, reply, 40, &done, NMPWAIT_WAIT_FOREVER));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MORE_DATA);
    EXPECT_EQ(done, 40u);

    // Several clients at once: each waits its turn and is served.
    std::vector<std::thread> clients;
    for (int i = 0; i < 4; ++i)
        clients.emplace_back([] {
            char answer[180];
            DWORD got = 0;
            EXPECT_TRUE(CallNamedPipeA(pipe_path, (LPVOID) "U", 1, answer, sizeof answer, &got, NMPWAIT_WAIT_FOREVER));
            EXPECT_STREQ(answer, "got 1 bytes starting with U");
        });
    for (auto &client : clients)
        client.join();
    EXPECT_EQ(server.served(), 6);
}

TEST_F(NamedPipes, TransactNeedsMessageReadMode) {
    HANDLE pipe = create_message_pipe();
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    ReplyingServer server(pipe);
    ASSERT_TRUE(WaitNamedPipeA(pipe_path, NMPWAIT_WAIT_FOREVER));
    HANDLE client = open_client();
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    char reply[180];
    DWORD done = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(TransactNamedPipe(client, (LPVOID) "Q", 1, reply, sizeof reply, &done, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_PIPE);
    DWORD mode = PIPE_READMODE_MESSAGE;
    ASSERT_TRUE(SetNamedPipeHandleState(client, &mode, nullptr, nullptr));
    EXPECT_TRUE(TransactNamedPipe(client, (LPVOID) "Q", 1, reply, sizeof reply, &done, nullptr));
    EXPECT_EQ(done, 180u);
    EXPECT_STREQ(reply, "got 1 bytes starting with Q");
    CloseHandle(client);
}

TEST_F(NamedPipes, SocketFileWithoutDescriptorIsTheCreatorsAlone) {
    HANDLE server = create_message_pipe("\\\\.\\pipe\\Odd/Name");
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    struct stat info {};
    ASSERT_EQ(stat((prefix_ / "pipe" / "odd%2Fname").c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    CloseHandle(server);
    EXPECT_FALSE(std::filesystem::exists(prefix_ / "pipe" / "odd%2Fname"));
}

TEST_F(NamedPipes, PrefixPathsTooLongForASocketAddress) {
    auto deep = folder_ / std::string(120, 'd');
    setenv("PLATFORM_PREFIX", deep.c_str(), 1);
    platform::testing::reload_prefix();
    HANDLE pipe = create_message_pipe();
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    ReplyingServer server(pipe);
    char reply[180];
    DWORD done = 0;
    EXPECT_TRUE(CallNamedPipeA(pipe_path, (LPVOID) "L", 1, reply, sizeof reply, &done, NMPWAIT_WAIT_FOREVER));
    EXPECT_STREQ(reply, "got 1 bytes starting with L");
}
