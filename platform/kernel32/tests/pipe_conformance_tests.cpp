// Named pipes as the floppy lock service and its clients use them: one instance of a message pipe, requests
// and replies longer than the reader's buffer, one client at a time, and ends that go away.
#include "conformance.h"
#include "pipe_test_ends.h"

#include <cstring>
#include <thread>

namespace {

using namespace conformance;
using namespace pipe_ends;

TEST(NamedPipes, CallsThatDoNotFitTheNameArgumentsOrStateFail) {
    EXPECT_FAILS(create_pipe(pipe_path, PIPE_TYPE_BYTE | PIPE_READMODE_MESSAGE) == INVALID_HANDLE_VALUE,
                 ERROR_INVALID_PARAMETER);
    char buffer[8];
    DWORD done;
    EXPECT_FAILS(open_client() == INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);  // nobody serves the name
    EXPECT_FAILS(!WaitNamedPipeA(pipe_path, NMPWAIT_WAIT_FOREVER), ERROR_FILE_NOT_FOUND);
    EXPECT_FAILS(!CallNamedPipeA(pipe_path, (LPVOID) "Q", 1, buffer, 8, &done, 0), ERROR_FILE_NOT_FOUND);
    HANDLE server = create_pipe(pipe_path, PIPE_TYPE_BYTE);
    // One instance: a second one of the same name (which ignores case) is refused.
    EXPECT_FAILS(create_pipe("\\\\.\\PIPE\\Conformance") == INVALID_HANDLE_VALUE, ERROR_PIPE_BUSY);
    EXPECT_FAILS(!ReadFile(server, buffer, sizeof buffer, &done, nullptr), ERROR_PIPE_LISTENING);
    EXPECT_FAILS(!WriteFile(server, "x", 1, &done, nullptr), ERROR_PIPE_LISTENING);
    HANDLE client = open_client();
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    EXPECT_FAILS(!ConnectNamedPipe(server, nullptr), ERROR_PIPE_CONNECTED);
    EXPECT_FAILS(!ConnectNamedPipe(GetCurrentThread(), nullptr), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(DisconnectNamedPipe(client));  // only the server end disconnects
    EXPECT_FAILS(!TransactNamedPipe(client, (LPVOID) "Q", 1, buffer, 8, &done, nullptr), ERROR_BAD_PIPE);
    for (DWORD mode : {(DWORD)PIPE_READMODE_MESSAGE, (DWORD)0x100})  // a byte pipe, no such mode
        EXPECT_FAILS(!SetNamedPipeHandleState(client, &mode, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    CloseHandle(client);
    EXPECT_TRUE(CloseHandle(server));
    server = create_pipe();  // closing the server freed the name
    EXPECT_NE(server, INVALID_HANDLE_VALUE);
    CloseHandle(server);
    // A name outside \\.\pipe\, and no instance at all.
    SetLastError(kSentinel);
    server = create_pipe("\\\\.\\nopipe\\x");
    EXPECT_EQ(server, INVALID_HANDLE_VALUE);
    SKIP_KNOWN_DIFFERENCE(GetLastError() == ERROR_PATH_NOT_FOUND, "a name outside the pipe folder is no path here");
    EXPECT_LAST_ERROR(ERROR_INVALID_NAME);
    SetLastError(kSentinel);
    server = CreateNamedPipeA(pipe_path, PIPE_ACCESS_DUPLEX, 0, 0, 0, 0, 0, nullptr);
    if (server != INVALID_HANDLE_VALUE)
        CloseHandle(server);
    SKIP_KNOWN_DIFFERENCE(server != INVALID_HANDLE_VALUE, "a pipe of no instances is made here");
    EXPECT_EQ(server, INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
}

TEST(NamedPipes, MessagesLongerThanTheBufferAndEmptyMessages) {
    HANDLE server = create_pipe();
    HANDLE client = open_client();
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    char request[180], buffer[200];
    for (int i = 0; i < 180; ++i)
        request[i] = (char)i;
    DWORD done = 0;
    for (auto [pipe, size] : {std::pair{client, 180}, {client, 0}, {server, 180}, {server, 180}})
        ASSERT_TRUE(WriteFile(pipe, request, size, &done, nullptr));
    // A short read in message mode fails with ERROR_MORE_DATA and leaves the rest; clients start in byte mode,
    // where a short read succeeds (and a longer one would run on into the next message).
    DWORD message_mode = PIPE_READMODE_MESSAGE;
    struct Read {
        HANDLE pipe;
        DWORD size;
        BOOL ok;
        DWORD done, first;  // bytes read and the index in `request` of the first
    };
    const Read reads[] = {{server, 100, FALSE, 100, 0}, {server, 200, TRUE, 80, 100}, {server, 200, TRUE, 0, 0},
                          {client, 100, TRUE, 100, 0},  {client, 0, 0, 0, 0},         {client, 200, TRUE, 80, 100},
                          {client, 179, FALSE, 179, 0}, {client, 200, TRUE, 1, 179}};
    for (const Read &r : reads) {
        if (r.size == 0) {
            EXPECT_TRUE(SetNamedPipeHandleState(client, &message_mode, nullptr, nullptr));
            continue;
        }
        SetLastError(kSentinel);
        EXPECT_EQ(ReadFile(r.pipe, buffer, r.size, &done, nullptr), r.ok);
        EXPECT_EQ(GetLastError(), r.ok ? kSentinel : (DWORD)ERROR_MORE_DATA);
        EXPECT_EQ(done, r.done);
        EXPECT_EQ(std::memcmp(buffer, request + r.first, r.done), 0);
    }
    CloseHandle(client);
    CloseHandle(server);
}

TEST(NamedPipes, OneClientAtATimeAndEndsThatGoAway) {
    HANDLE server = create_pipe(pipe_path, PIPE_TYPE_MESSAGE, 1);
    HANDLE client = open_client();
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    EXPECT_FAILS(open_client() == INVALID_HANDLE_VALUE, ERROR_PIPE_BUSY);
    // Waiting with the server's default time-out runs out while the first client is served.
    EXPECT_FAILS(!WaitNamedPipeA(pipe_path, NMPWAIT_USE_DEFAULT_WAIT), ERROR_SEM_TIMEOUT);
    // Windows discards what the client has not read when the server disconnects (a server flushes first); the
    // platform keeps the reply, which its service's clients rely on. Then the instance listens again only after
    // a new connect.
    DWORD done;
    ASSERT_TRUE(WriteFile(server, "reply", 5, &done, nullptr));
    EXPECT_TRUE(DisconnectNamedPipe(server));
    char reply[8];
    BOOL kept = ReadFile(client, reply, sizeof reply, &done, nullptr) && done == 5 && !std::memcmp(reply, "reply", 5);
    EXPECT_EQ(kept, !kAcceptsKnownDifferences);
    EXPECT_FAILS(!ReadFile(client, &done, 1, &done, nullptr), ERROR_PIPE_NOT_CONNECTED);
    EXPECT_FAILS(!ReadFile(server, &done, 1, &done, nullptr), ERROR_PIPE_NOT_CONNECTED);
    EXPECT_FAILS(open_client() == INVALID_HANDLE_VALUE, ERROR_PIPE_BUSY);
    // A call waits a moment for the next ConnectNamedPipe, then for as long as it asked.
    EXPECT_FAILS(!CallNamedPipeA(pipe_path, (LPVOID) "Q", 1, reply, sizeof reply, &done, 1), ERROR_SEM_TIMEOUT);
    CloseHandle(client);

    // A client that closes: the server's read is a broken pipe, its write finds nobody.
    std::thread connector([] { CloseHandle(open_client_when_listening()); });
    EXPECT_TRUE(ConnectNamedPipe(server, nullptr));  // returns when the waiting client has come
    connector.join();
    EXPECT_FAILS(!ReadFile(server, &done, 1, &done, nullptr), ERROR_BROKEN_PIPE);
    EXPECT_FAILS(!WriteFile(server, "x", 1, &done, nullptr), ERROR_NO_DATA);
    DisconnectNamedPipe(server);

    // A server that closes: the name is gone.
    CloseHandle(server);
    EXPECT_FAILS(open_client() == INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);
}

}  // namespace
