#include "named_pipe.h"

#include "errno_map.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>

namespace platform::kernel {
namespace {

using Clock = std::chrono::steady_clock;
// How long a client waits for the server's answer to its greeting. The server answers at once from a thread
// of its own, so only a stopped or overloaded server process makes this run out.
constexpr int answer_limit_ms = 10000;

// The end of a wait; none for a wait without end.
class Deadline {
public:
    static Deadline after(DWORD timeout) {
        Deadline deadline;
        if (timeout != NMPWAIT_WAIT_FOREVER)
            deadline.at_ = Clock::now() + std::chrono::milliseconds(timeout);
        return deadline;
    }
    // Milliseconds left, at least 1 while any time is left; 0 once it has passed; -1 without end.
    int left_ms() const {
        if (!at_)
            return -1;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(*at_ - Clock::now()).count();
        return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
    }

private:
    std::optional<Clock::time_point> at_;
};

// Connects to one of the pipe's sockets. With `wait_ms` 0 a full queue of arrivals fails at once with
// ERROR_PIPE_BUSY; otherwise the connect waits up to `wait_ms` (-1: without end) for room, and the kernel wakes
// it as soon as the server takes an arrival. Null with the last error set; ERROR_FILE_NOT_FOUND when nobody
// serves the pipe, ERROR_ACCESS_DENIED when the socket refuses us.
UniqueFd connect_to(const PipeLocation &location, const std::string &file, int wait_ms) {
    UniqueFd fd(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | (wait_ms == 0 ? SOCK_NONBLOCK : 0), 0));
    if (!fd) {
        set_last_error_from_errno(errno);
        return {};
    }
    SocketAddress address(location.folder, file);
    if (!address.valid()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return {};
    }
    if (wait_ms > 0) {
        timeval limit{wait_ms / 1000, (wait_ms % 1000) * 1000};
        setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
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
    if (wait_ms > 0) {
        timeval none{};
        setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &none, sizeof none);
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

// Waits in the wait socket's queue until the server, once the instance listens, answers.
bool wait_in_queue(const PipeLocation &location, const Deadline &deadline) {
    int left = deadline.left_ms();
    UniqueFd fd = left == 0 ? UniqueFd() : connect_to(location, location.wait_file(), left);
    if (!fd) {
        if (left == 0 || GetLastError() == ERROR_PIPE_BUSY)
            SetLastError(ERROR_SEM_TIMEOUT);  // the queue stayed full
        return false;
    }
    char answer = 0;
    ssize_t got = read_answer(fd.get(), &answer, 1, deadline.left_ms());
    if (got == 1 && answer == pipe_protocol::available)
        return true;
    SetLastError(got == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SEM_TIMEOUT);
    return false;
}

// The one reply of a call, read whole in one go: the call ends after it, so a reply longer than the buffer
// fills the buffer and its rest is dropped with the connection (ERROR_MORE_DATA). A control message that comes
// instead (busy, or connected to a byte pipe) ends the read with its tag in `control`.
bool receive_reply(int fd, void *reply, DWORD size, DWORD &done, ControlMessage &control) {
    char tag = 0;
    iovec parts[2] = {{&tag, 1}, {reply, size}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    ssize_t length;
    do
        length = recvmsg(fd, &message, MSG_TRUNC);
    while (length < 0 && errno == EINTR);
    if (length <= 0) {
        SetLastError(length == 0 || errno == ECONNRESET ? ERROR_BROKEN_PIPE : win32_error_from_errno(errno));
        return false;
    }
    std::size_t payload = static_cast<std::size_t>(length) - 1;
    if (tag == pipe_protocol::data) {
        done = static_cast<DWORD>(std::min<std::size_t>(payload, size));
        if (payload > size) {
            SetLastError(ERROR_MORE_DATA);
            return false;
        }
        return true;
    }
    if (tag == pipe_protocol::disconnected) {
        SetLastError(ERROR_PIPE_NOT_CONNECTED);  // disconnected without a reply
        return false;
    }
    control.tag = tag;
    std::memcpy(control.extra, reply, std::min<std::size_t>({payload, size, sizeof control.extra}));
    SetLastError(ERROR_PIPE_BUSY);
    return false;
}

DWORD default_timeout_from(const unsigned char *extra) {
    DWORD timeout;
    std::memcpy(&timeout, extra, sizeof timeout);
    return timeout;
}

}  // namespace

std::shared_ptr<PipeClient> PipeClient::connect(std::string_view pipe_name) {
    auto fd = connect_to(pipe_location(pipe_name), pipe_location(pipe_name).file, 0);
    if (!fd)
        return nullptr;
    if (!send_control(fd.get(), pipe_protocol::open_request)) {
        SetLastError(ERROR_PIPE_BUSY);
        return nullptr;
    }
    char answer[1 + sizeof(DWORD)] = {};
    ssize_t got = read_answer(fd.get(), answer, sizeof answer, answer_limit_ms);
    if (got == 2 && answer[0] == pipe_protocol::connected) {
        fcntl(fd.get(), F_SETFL, 0);  // reads and writes block from now on
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
    auto location = pipe_location(pipe_name);
    // The pipe's socket says at once whether the instance listens, and the pipe's default time-out. When its
    // queue of arrivals is full the pipe is busy too, and the default is unknown: Windows' 50 ms stands in.
    DWORD server_default = 50;
    if (auto fd = connect_to(location, location.file, 0)) {
        char answer[1 + sizeof(DWORD)] = {};
        ssize_t got = send_control(fd.get(), pipe_protocol::wait_request)
                          ? read_answer(fd.get(), answer, sizeof answer, answer_limit_ms)
                          : -1;
        if (got >= 1 && answer[0] == pipe_protocol::available)
            return true;
        if (got != static_cast<ssize_t>(sizeof answer) || answer[0] != pipe_protocol::busy) {
            SetLastError(got == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SEM_TIMEOUT);
            return false;
        }
        server_default = default_timeout_from(reinterpret_cast<unsigned char *>(answer) + 1);
    } else if (GetLastError() != ERROR_PIPE_BUSY) {
        return false;
    }
    return wait_in_queue(location, Deadline::after(timeout == NMPWAIT_USE_DEFAULT_WAIT ? server_default : timeout));
}

// The request goes with the connection request when it is small (one round trip, as a bare socket exchange
// would take); the server's reply then also says that we were connected.
bool call_pipe(std::string_view pipe_name, const void *request, DWORD request_size, void *reply, DWORD reply_size,
               DWORD &received, DWORD timeout) {
    received = 0;
    auto location = pipe_location(pipe_name);
    std::optional<Deadline> deadline;
    if (timeout != NMPWAIT_USE_DEFAULT_WAIT)
        deadline = Deadline::after(timeout);  // else the server's busy answer tells its default
    bool inline_request = request_size <= pipe_protocol::max_call_payload;
    for (;;) {
        auto fd = connect_to(location, location.file, 0);
        if (!fd && GetLastError() == ERROR_PIPE_BUSY) {
            // The queue of arrivals is full: wait for room.
            int left = deadline ? deadline->left_ms() : 50;
            fd = left == 0 ? UniqueFd() : connect_to(location, location.file, left);
            if (!fd && (left == 0 || GetLastError() == ERROR_PIPE_BUSY))
                SetLastError(ERROR_SEM_TIMEOUT);
        }
        if (!fd)
            return false;
        ControlMessage answer;
        DWORD done = 0;
        bool ok;
        if (inline_request) {
            char tag = pipe_protocol::call_request;
            iovec parts[2] = {{&tag, 1}, {const_cast<void *>(request), request_size}};
            msghdr message{};
            message.msg_iov = parts;
            message.msg_iovlen = 2;
            if (sendmsg(fd.get(), &message, MSG_NOSIGNAL | MSG_DONTWAIT) == static_cast<ssize_t>(1 + request_size)) {
                fcntl(fd.get(), F_SETFL, 0);
                ok = receive_reply(fd.get(), reply, reply_size, done, answer);
            } else {
                // An overloaded server cut the connection before it was answered: as busy as a pipe can be.
                answer.tag = pipe_protocol::busy;
                DWORD fallback = 50;
                std::memcpy(answer.extra, &fallback, sizeof fallback);
                ok = false;
            }
            if (answer.tag == pipe_protocol::connected) {
                SetLastError(ERROR_BAD_PIPE);  // a byte pipe: connected, but nothing was delivered
                return false;
            }
        } else {
            char greeting[1 + sizeof(DWORD)] = {};
            ssize_t got = send_control(fd.get(), pipe_protocol::open_request)
                              ? read_answer(fd.get(), greeting, sizeof greeting, answer_limit_ms)
                              : -1;
            answer.tag = got > 0 ? greeting[0] : 0;
            std::memcpy(answer.extra, greeting + 1, sizeof answer.extra);
            if (answer.tag == pipe_protocol::connected) {
                if (greeting[1] == 0) {
                    SetLastError(ERROR_BAD_PIPE);
                    return false;
                }
                fcntl(fd.get(), F_SETFL, 0);
                PipeChannel channel(std::move(fd));
                ok = channel.send(request, request_size, done) && channel.receive(reply, reply_size, done, true);
            } else if (answer.tag != pipe_protocol::busy) {
                SetLastError(got == 0 ? ERROR_FILE_NOT_FOUND : ERROR_PIPE_BUSY);
                return false;
            } else {
                ok = false;
            }
        }
        if (answer.tag != pipe_protocol::busy) {
            received = done;
            return ok;
        }
        if (!deadline)
            deadline = Deadline::after(default_timeout_from(answer.extra));
        if (!wait_in_queue(location, *deadline))
            return false;
        // The instance listens again; another client may take it first, and then we wait again.
    }
}

}  // namespace platform::kernel
