#include "named_pipe.h"

#include "errno_map.h"
#include "file_security_hook.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform::kernel {
namespace {

using Clock = std::chrono::steady_clock;
// A client that connects and says nothing is dropped after this long.
constexpr auto greeting_limit = std::chrono::seconds(5);
constexpr int listen_backlog = 64;

// Takes the pipe's lock file; the lock is what makes a process the pipe's one server.
bool take_lock_file(const PipeLocation &location, UniqueFd &lock) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        UniqueFd fd(::open(location.lock_path().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd) {
            set_last_error_from_errno(errno);
            return false;
        }
        if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            SetLastError(errno == EWOULDBLOCK ? ERROR_PIPE_BUSY : win32_error_from_errno(errno));
            return false;
        }
        // The previous server may have removed the file between our open and our lock: then the lock is on a
        // file nobody else will ever see, and we start again.
        struct stat held {
        }, named{};
        if (fstat(fd.get(), &held) == 0 && stat(location.lock_path().c_str(), &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
            lock = std::move(fd);
            return true;
        }
    }
    SetLastError(ERROR_PIPE_BUSY);
    return false;
}

// The socket is bound under a temporary name, given its access and only then renamed into place, so that no
// client ever finds it with the wrong access.
bool bind_listener(const PipeLocation &location, const void *security_descriptor, UniqueFd &listener) {
    UniqueFd fd(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));  // accepted without blocking
    if (!fd) {
        set_last_error_from_errno(errno);
        return false;
    }
    std::string temporary = location.file + "%new" + std::to_string(getpid());
    std::string temporary_path = location.folder + "/" + temporary;
    ::unlink(temporary_path.c_str());
    SocketAddress address(location.folder, temporary);
    if (!address.valid()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (bind(fd.get(), address.get(), address.size()) != 0) {
        set_last_error_from_errno(errno);
        return false;
    }
    DWORD error = ERROR_SUCCESS;
    if (security_descriptor) {
        error = platform_apply_file_security ? platform_apply_file_security(temporary_path.c_str(), security_descriptor)
                                             : ERROR_NOT_SUPPORTED;
    } else if (chmod(temporary_path.c_str(), 0600) != 0) {
        // Without a descriptor only the creator (and root) may connect.
        error = win32_error_from_errno(errno);
    }
    if (error == ERROR_SUCCESS && listen(fd.get(), listen_backlog) != 0)
        error = win32_error_from_errno(errno);
    if (error == ERROR_SUCCESS && rename(temporary_path.c_str(), location.path().c_str()) != 0)
        error = win32_error_from_errno(errno);
    if (error != ERROR_SUCCESS) {
        ::unlink(temporary_path.c_str());
        SetLastError(error);
        return false;
    }
    listener = std::move(fd);
    return true;
}

// A client that has connected and not yet said what it wants.
struct Greeting {
    UniqueFd fd;
    Clock::time_point deadline;
};

// The thread that answers arriving clients for one server end.
class Answerer {
public:
    Answerer(int listener, std::shared_ptr<PipeInstance> instance)
        : listener_(listener), instance_(std::move(instance)) {}

    void run() {
        for (;;) {
            std::vector<pollfd> watched{{instance_->wake.get(), POLLIN, 0}, {listener_, POLLIN, 0}};
            for (auto &greeting : greetings_)
                watched.push_back({greeting.fd.get(), POLLIN, 0});
            for (auto &waiter : waiters_)
                watched.push_back({waiter.get(), POLLIN, 0});
            int timeout = -1;
            auto now = Clock::now();
            for (auto &greeting : greetings_) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(greeting.deadline - now).count();
                timeout = timeout < 0 ? static_cast<int>(std::max<long long>(left, 0))
                                      : std::min(timeout, static_cast<int>(std::max<long long>(left, 0)));
            }
            int ready = poll(watched.data(), watched.size(), timeout);
            if (ready < 0 && errno != EINTR)
                return;
            if (watched[0].revents) {
                std::uint64_t count;
                [[maybe_unused]] auto ignored = ::read(instance_->wake.get(), &count, sizeof count);
                std::lock_guard guard(instance_->lock);
                if (instance_->closing)
                    return;
            }
            // Waiters and greetings first, by position, before the lists change.
            std::vector<bool> waiter_gone(waiters_.size());
            for (std::size_t i = 0; i < waiters_.size(); ++i)
                waiter_gone[i] = watched[2 + greetings_.size() + i].revents != 0;
            std::vector<bool> greeting_ready(greetings_.size());
            for (std::size_t i = 0; i < greetings_.size(); ++i)
                greeting_ready[i] = watched[2 + i].revents != 0;
            drop_gone_waiters(waiter_gone);
            answer_greetings(greeting_ready);
            if (watched[1].revents & POLLIN)
                accept_clients();
            release_waiters_if_listening();
        }
    }

private:
    void accept_clients() {
        for (;;) {
            int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0)
                return;  // EAGAIN: no more; anything else: try again at the next wake-up
            greetings_.push_back({UniqueFd(fd), Clock::now() + greeting_limit});
        }
    }

    void answer_greetings(const std::vector<bool> &ready) {
        auto now = Clock::now();
        std::vector<Greeting> pending;
        for (std::size_t i = 0; i < greetings_.size(); ++i) {
            auto &greeting = greetings_[i];
            if (!ready[i]) {
                if (greeting.deadline > now)
                    pending.push_back(std::move(greeting));
                continue;
            }
            char request[2] = {};
            ssize_t got = recv(greeting.fd.get(), request, sizeof request, MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
                pending.push_back(std::move(greeting));
                continue;
            }
            if (got == 1 && request[0] == pipe_protocol::open_request)
                answer_open(std::move(greeting.fd));
            else if (got == 1 && request[0] == pipe_protocol::wait_request)
                answer_wait(std::move(greeting.fd));
            // Anything else is not one of ours: the connection is dropped.
        }
        greetings_ = std::move(pending);
    }

    void answer_open(UniqueFd fd) {
        std::lock_guard guard(instance_->lock);
        if (instance_->state != PipeInstance::State::listening) {
            send_control(fd.get(), pipe_protocol::busy);
            return;
        }
        char message_pipe = instance_->message_pipe ? 1 : 0;
        if (!send_control(fd.get(), pipe_protocol::connected, &message_pipe, 1))
            return;  // the client has gone already
        int flags = fcntl(fd.get(), F_GETFL);
        fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
        instance_->client = std::make_shared<PipeChannel>(std::move(fd));
        instance_->state = PipeInstance::State::connected;
        instance_->changed.notify_all();
    }

    void answer_wait(UniqueFd fd) {
        std::lock_guard guard(instance_->lock);
        if (instance_->state == PipeInstance::State::listening) {
            send_control(fd.get(), pipe_protocol::available);
            return;
        }
        DWORD timeout = instance_->default_timeout;
        if (send_control(fd.get(), pipe_protocol::still_busy, &timeout, sizeof timeout))
            waiters_.push_back(std::move(fd));
    }

    void drop_gone_waiters(const std::vector<bool> &gone) {
        std::vector<UniqueFd> kept;
        for (std::size_t i = 0; i < waiters_.size(); ++i)
            if (!gone[i])
                kept.push_back(std::move(waiters_[i]));
        waiters_ = std::move(kept);
    }

    void release_waiters_if_listening() {
        if (waiters_.empty())
            return;
        std::lock_guard guard(instance_->lock);
        if (instance_->state != PipeInstance::State::listening)
            return;
        for (auto &waiter : waiters_)
            send_control(waiter.get(), pipe_protocol::available);
        waiters_.clear();
    }

    int listener_;
    std::shared_ptr<PipeInstance> instance_;
    std::vector<Greeting> greetings_;
    std::vector<UniqueFd> waiters_;
};

}  // namespace

void PipeInstance::wake_answerer() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(wake.get(), &one, sizeof one);
}

std::shared_ptr<NamedPipeServer> NamedPipeServer::create(std::string_view pipe_name, bool message_pipe,
                                                         bool message_read_mode, DWORD default_timeout,
                                                         const void *security_descriptor) {
    auto location = pipe_location(pipe_name);
    UniqueFd lock_file, listener;
    if (!take_lock_file(location, lock_file) || !bind_listener(location, security_descriptor, listener))
        return nullptr;
    auto instance = std::make_shared<PipeInstance>();
    instance->message_pipe = message_pipe;
    instance->default_timeout = default_timeout ? default_timeout : 50;  // Windows' default of 50 ms
    instance->wake.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!instance->wake) {
        set_last_error_from_errno(errno);
        ::unlink(location.path().c_str());
        return nullptr;
    }
    auto server = std::make_shared<NamedPipeServer>(std::move(location), std::move(listener), std::move(lock_file),
                                                    std::move(instance));
    server->set_message_read_mode(message_read_mode);
    return server;
}

NamedPipeServer::NamedPipeServer(PipeLocation location, UniqueFd listener, UniqueFd lock_file,
                                 std::shared_ptr<PipeInstance> instance)
    : location_(std::move(location)),
      listener_(std::move(listener)),
      lock_file_(std::move(lock_file)),
      instance_(std::move(instance)) {
    answerer_ = std::thread([listener = listener_.get(), instance = instance_] { Answerer(listener, instance).run(); });
}

NamedPipeServer::~NamedPipeServer() {
    {
        std::lock_guard guard(instance_->lock);
        instance_->closing = true;
        if (instance_->client)
            shutdown(instance_->client->fd(), SHUT_RDWR);  // the client reads what was sent, then a broken pipe
        instance_->client.reset();
        instance_->changed.notify_all();
    }
    instance_->wake_answerer();
    if (answerer_.joinable())
        answerer_.join();
    // Remove the names while the lock is still held, so that no new server's files are removed.
    ::unlink(location_.path().c_str());
    ::unlink(location_.lock_path().c_str());
}

bool NamedPipeServer::connect() {
    std::unique_lock guard(instance_->lock);
    if (instance_->state == PipeInstance::State::connected) {
        SetLastError(ERROR_PIPE_CONNECTED);  // the client came before the call
        return false;
    }
    if (instance_->state == PipeInstance::State::disconnected) {
        instance_->state = PipeInstance::State::listening;
        instance_->wake_answerer();  // clients waiting in WaitNamedPipeA may come now
    }
    instance_->changed.wait(guard,
                            [&] { return instance_->state == PipeInstance::State::connected || instance_->closing; });
    if (instance_->closing) {
        SetLastError(ERROR_BROKEN_PIPE);
        return false;
    }
    return true;
}

bool NamedPipeServer::disconnect() {
    std::shared_ptr<PipeChannel> client;
    {
        std::lock_guard guard(instance_->lock);
        client = std::move(instance_->client);
        instance_->state = PipeInstance::State::disconnected;
    }
    if (client)
        client->disconnect();
    return true;
}

std::shared_ptr<PipeChannel> NamedPipeServer::connected_client() {
    std::lock_guard guard(instance_->lock);
    switch (instance_->state) {
        case PipeInstance::State::connected:
            return instance_->client;
        case PipeInstance::State::listening:
            SetLastError(ERROR_PIPE_LISTENING);
            return nullptr;
        default:
            SetLastError(ERROR_PIPE_NOT_CONNECTED);
            return nullptr;
    }
}

bool NamedPipeServer::read(void *buffer, DWORD size, DWORD &done) {
    auto client = connected_client();
    return client && client->receive(buffer, size, done, message_read_mode());
}

bool NamedPipeServer::write(const void *buffer, DWORD size, DWORD &done) {
    auto client = connected_client();
    return client && client->send(buffer, size, done);
}

bool NamedPipeServer::flush() {
    auto client = connected_client();
    return client && client->flush();
}

}  // namespace platform::kernel
