#include "named_pipe.h"

#include "errno_map.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

namespace platform::kernel {
namespace {

using Clock = std::chrono::steady_clock;
// How long a client waits for the server's answer to its greeting. The server answers at once from a thread
// of its own, so only a stopped or overloaded server process makes this run out.
constexpr int answer_limit_ms = 10000;

// Connects to the pipe's socket and says what the client wants. Null with the last error set when nobody
// serves the pipe (ERROR_FILE_NOT_FOUND), the socket refuses us (ERROR_ACCESS_DENIED) or the server's queue
// of arrivals is full (ERROR_PIPE_BUSY).
UniqueFd greet_server(std::string_view pipe_name, char request) {
    auto location = pipe_location(pipe_name);
    UniqueFd fd(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) {
        set_last_error_from_errno(errno);
        return {};
    }
    SocketAddress address(location.folder, location.file);
    if (!address.valid()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return {};
    }
    int result;
    do
        result = ::connect(fd.get(), address.get(), address.size());
    while (result != 0 && errno == EINTR);
    if (result != 0) {
        switch (errno) {
            case ENOENT:
            case ECONNREFUSED:  // a socket left behind by a server that has gone
                SetLastError(ERROR_FILE_NOT_FOUND);
                break;
            case EAGAIN:
                SetLastError(ERROR_PIPE_BUSY);
                break;
            default:
                set_last_error_from_errno(errno);
        }
        return {};
    }
    if (!send_control(fd.get(), request)) {
        SetLastError(ERROR_PIPE_BUSY);
        return {};
    }
    return fd;
}

// The server's next control message; its length, 0 when the server closed, -1 after the time limit.
ssize_t read_answer(int fd, char *answer, std::size_t size, int timeout_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        ssize_t got = recv(fd, answer, size, MSG_DONTWAIT);
        if (got >= 0)
            return got;
        if (errno != EAGAIN && errno != EINTR)
            return 0;
        int left = -1;
        if (timeout_ms >= 0) {
            left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
            if (left <= 0)
                return -1;
        }
        pollfd watched{fd, POLLIN, 0};
        poll(&watched, 1, left);
    }
}

}  // namespace

std::shared_ptr<PipeClient> PipeClient::connect(std::string_view pipe_name) {
    auto fd = greet_server(pipe_name, pipe_protocol::open_request);
    if (!fd)
        return nullptr;
    char answer[2] = {};
    ssize_t got = read_answer(fd.get(), answer, sizeof answer, answer_limit_ms);
    if (got == 2 && answer[0] == pipe_protocol::connected) {
        int flags = fcntl(fd.get(), F_GETFL);
        fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
        return std::make_shared<PipeClient>(std::make_shared<PipeChannel>(std::move(fd)), answer[1] != 0);
    }
    SetLastError(got == 0 ? ERROR_FILE_NOT_FOUND : ERROR_PIPE_BUSY);
    return nullptr;
}

bool PipeClient::read(void *buffer, DWORD size, DWORD &done) {
    return channel_->receive(buffer, size, done, message_read_mode());
}

bool PipeClient::write(const void *buffer, DWORD size, DWORD &done) {
    return channel_->send(buffer, size, done);
}

bool wait_for_pipe(std::string_view pipe_name, DWORD timeout) {
    auto fd = greet_server(pipe_name, pipe_protocol::wait_request);
    if (!fd) {
        if (GetLastError() != ERROR_PIPE_BUSY)
            return false;
        // The server's queue of arrivals is full: that is a busy pipe too. Wait a little and report so.
        SetLastError(ERROR_SEM_TIMEOUT);
        return false;
    }
    char answer[1 + sizeof(DWORD)] = {};
    ssize_t got = read_answer(fd.get(), answer, sizeof answer, answer_limit_ms);
    if (got >= 1 && answer[0] == pipe_protocol::available)
        return true;
    if (got != static_cast<ssize_t>(sizeof answer) || answer[0] != pipe_protocol::still_busy) {
        SetLastError(got == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SEM_TIMEOUT);
        return false;
    }
    DWORD server_default;
    std::memcpy(&server_default, answer + 1, sizeof server_default);
    DWORD wait = timeout == NMPWAIT_USE_DEFAULT_WAIT ? server_default : timeout;
    got = read_answer(fd.get(), answer, sizeof answer,
                      wait == NMPWAIT_WAIT_FOREVER ? -1 : static_cast<int>(std::min<DWORD>(wait, 0x7fffffff)));
    if (got >= 1 && answer[0] == pipe_protocol::available)
        return true;
    SetLastError(got == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SEM_TIMEOUT);
    return false;
}

}  // namespace platform::kernel
