#include "named_pipe.h"

#include "errno_map.h"
#include "file_security_hook.h"

#include "prefix/prefix.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <utility>
#include <vector>

namespace platform::kernel {
namespace {

using Clock = std::chrono::steady_clock;
// A client that connects and says nothing is dropped after this long, and at most this many are kept.
constexpr auto greeting_limit = std::chrono::seconds(5);
constexpr std::size_t max_greetings = 16;
// Room is made by dropping a silent client only once it has been silent this long: a real client sends its
// request right after connecting, and must not be dropped in that moment.
constexpr auto silent_for_long = std::chrono::milliseconds(250);
// A call that arrives between DisconnectNamedPipe and the next ConnectNamedPipe waits this long for the
// instance to listen again before it is told that the pipe is busy: a server loop takes microseconds from one
// to the other, and the caller would wait for the instance anyway.
constexpr auto reconnect_grace = std::chrono::milliseconds(20);
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

// The socket (the pipe's, or its wait socket) is bound under a temporary name, given its access and only then
// renamed into place, so that no client ever finds it with the wrong access.
bool bind_listener(const PipeLocation &location, const std::string &file, const void *security_descriptor,
                   UniqueFd &listener) {
    UniqueFd fd(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));  // accepted without blocking
    if (!fd) {
        set_last_error_from_errno(errno);
        return false;
    }
    std::string temporary = file + "%new" + std::to_string(getpid());
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
    if (error == ERROR_SUCCESS && rename(temporary_path.c_str(), (location.folder + "/" + file).c_str()) != 0)
        error = win32_error_from_errno(errno);
    if (error != ERROR_SUCCESS) {
        ::unlink(temporary_path.c_str());
        SetLastError(error);
        return false;
    }
    listener = std::move(fd);
    return true;
}

}  // namespace

// A client that has connected and not yet said what it wants.
struct Greeting {
    UniqueFd fd;
    std::chrono::steady_clock::time_point deadline;
};

// A call request held while the instance is between two clients.
struct HeldCall {
    UniqueFd fd;
    std::vector<char> request;
    std::chrono::steady_clock::time_point deadline;
};

// Answers arrivals at one pipe: connection requests on the pipe's socket, and waiters on the wait socket
// while the instance listens. Two threads take turns: the one in ConnectNamedPipe, so that a client that comes
// is connected without a hand-off between threads, and the server's answering thread, so that clients are
// answered at once while the server does something else. Each has an epoll set of its own, and both watch the
// two sockets with EPOLLEXCLUSIVE, the connector's set registered first: the kernel wakes the first set with a
// thread waiting in it, so an arrival wakes ConnectNamedPipe when a thread waits there and the answering thread
// otherwise, and neither has to tell the other when it starts or stops waiting. The sockets are watched
// edge-triggered, so whoever is woken takes every arrival (or leaves a note that some are pending).
//
// Every descriptor it holds is bounded: a greeting is read as soon as it arrives and the connection closed
// unless it becomes the instance's client, at most `max_greetings` clients that connected and said nothing
// yet are kept (the oldest goes first), and waiters are never accepted while the instance is busy. When the
// process is out of descriptors, accepting stops until one of ours is freed or a short back-off has passed,
// so that a full descriptor table never makes the server spin.
//
// Used by one thread at a time (the server's reception lock); it never blocks.
class Reception {
public:
    enum Role { connector, answerer };

    Reception(int listener, int wait_listener, PipeInstance &instance)
        : listener_(listener), wait_listener_(wait_listener), instance_(instance) {
        for (auto &set : sets_)
            set.reset(epoll_create1(EPOLL_CLOEXEC));
        connector_wake_.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        valid_ = connector_wake_ && sets_[connector] && sets_[answerer] &&
                 watch(connector, connector_wake_.get(), EPOLLIN) &&
                 watch(connector, listener_, EPOLLIN | EPOLLET | EPOLLEXCLUSIVE) &&
                 watch(connector, wait_listener_, EPOLLIN | EPOLLET | EPOLLEXCLUSIVE) &&
                 watch(answerer, instance_.wake.get(), EPOLLIN) &&
                 watch(answerer, listener_, EPOLLIN | EPOLLET | EPOLLEXCLUSIVE) &&
                 watch(answerer, wait_listener_, EPOLLIN | EPOLLET | EPOLLEXCLUSIVE);
    }

    bool valid() const { return valid_; }
    int set(Role role) const { return sets_[role].get(); }

    // How long to sleep at most: until the next greeting runs out or a back-off ends; -1 for no limit.
    int timeout_ms() const {
        auto now = Clock::now();
        Clock::time_point wake_at = Clock::time_point::max();
        if ((arrivals_pending_ || waiters_pending_) && accept_resume_ > now)
            wake_at = accept_resume_;
        for (auto &greeting : greetings_)
            wake_at = std::min(wake_at, greeting.deadline);
        for (auto &call : held_)
            wake_at = std::min(wake_at, call.deadline);
        if (wake_at == Clock::time_point::max())
            return -1;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(wake_at - now).count();
        return static_cast<int>(std::clamp<long long>(left, 0, 60000));
    }

    // Answers what the events report and what was left pending. True once a client was connected; the
    // connector stops there, and leaves further arrivals to the answering thread.
    bool serve(Role role, const epoll_event *events, int count, bool recheck_all = false) {
        role_ = role;
        bool arrivals = arrivals_pending_ || recheck_all, waiters = waiters_pending_ || recheck_all;
        for (int i = 0; i < count; ++i) {
            int fd = events[i].data.fd;
            if (fd == listener_) {
                arrivals = true;
            } else if (fd == wait_listener_) {
                waiters = true;
            } else if (fd == connector_wake_.get()) {
                std::uint64_t ignored;
                [[maybe_unused]] auto got = ::read(fd, &ignored, sizeof ignored);
            }
        }
        bool connected = answer_held_calls();
        connected = answer_greetings() || connected;
        arrivals_pending_ = arrivals;
        waiters_pending_ = waiters;
        if (Clock::now() < accept_resume_)
            return connected;
        if (waiters_pending_)
            waiters_pending_ = !release_waiters();
        if (arrivals_pending_ && !(connected && role == connector))
            connected = accept_clients(role) || connected;
        return connected;
    }

    // When ConnectNamedPipe returns: wakes the answering thread if it leaves work behind (arrivals still
    // queued, clients that have not spoken, held calls).
    void hand_over() {
        if (arrivals_pending_) {
            pollfd queue{listener_, POLLIN, 0};
            arrivals_pending_ = poll(&queue, 1, 0) > 0;
        }
        if (arrivals_pending_ || !greetings_.empty() || !held_.empty())
            instance_.wake_answerer();
    }

private:
    bool watch(Role role, int fd, std::uint32_t events) {
        epoll_event event{};
        event.events = events;
        event.data.fd = fd;
        return epoll_ctl(sets_[role].get(), EPOLL_CTL_ADD, fd, &event) == 0;
    }

    void unwatch(int fd) {
        for (auto &set : sets_)
            epoll_ctl(set.get(), EPOLL_CTL_DEL, fd, nullptr);
    }

    // The first held call gets the instance once it listens; the others, and all once it serves someone or
    // their time is up, hear that the pipe is busy.
    bool answer_held_calls() {
        if (held_.empty())
            return false;
        std::lock_guard guard(instance_.lock);
        auto state = instance_.state;
        auto now = Clock::now();
        bool connected = false;
        for (auto it = held_.begin(); it != held_.end();) {
            bool for_connector = role_ == answerer && instance_.connector_present;
            if (!instance_.closing &&
                (for_connector || (state == PipeInstance::State::disconnected && it->deadline > now))) {
                ++it;
                continue;
            }
            if (state == PipeInstance::State::listening && !connected && !instance_.closing) {
                connected = connect(it->fd, it->request.data(), it->request.size());
                if (connected)
                    state = PipeInstance::State::connected;
            } else {
                DWORD timeout = instance_.default_timeout;
                send_control(it->fd.get(), pipe_protocol::busy, &timeout, sizeof timeout);
            }
            it = held_.erase(it);
            accept_resume_ = {};
        }
        return connected;
    }

    // Every client that has not spoken yet is asked again whenever anything is served: they are few (none in
    // the common case), and an edge-triggered event of theirs may have been taken by the other thread.
    bool answer_greetings() {
        bool connected = false;
        auto now = Clock::now();
        for (auto it = greetings_.begin(); it != greetings_.end();) {
            int fd = it->fd.get();
            if (auto outcome = answer(it->fd); outcome != Outcome::silent) {
                if (outcome == Outcome::connected) {
                    connected = true;
                    unwatch(fd);  // the instance's client now, read by ReadFile
                }
                it = forget(it);
                continue;
            }
            it = it->deadline <= now ? forget(it) : it + 1;
        }
        return connected;
    }

    std::vector<Greeting>::iterator forget(std::vector<Greeting>::iterator it) {
        accept_resume_ = {};  // a descriptor is free again
        return greetings_.erase(it);
    }

    // Accepts until the queue is empty (true), or until the connector has its client.
    bool accept_clients(Role role) {
        bool connected = false;
        for (;;) {
            if (greetings_.size() >= max_greetings && !drop_longest_silent()) {
                back_off();
                return connected;
            }
            int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                arrivals_pending_ = !accept_failed(errno);
                return connected;
            }
            backoff_ = {};
            UniqueFd client(fd);
            auto outcome = answer(client);
            if (outcome == Outcome::connected) {
                connected = true;
                if (role == connector)
                    return true;  // arrivals_pending_ stays: hand_over() looks
            } else if (outcome == Outcome::silent) {
                if (!watch(connector, fd, EPOLLIN | EPOLLET) || !watch(answerer, fd, EPOLLIN | EPOLLET))
                    continue;  // cannot be watched: dropped
                greetings_.push_back({std::move(client), Clock::now() + greeting_limit});
            }
        }
    }

    // Tells every waiter in the queue that the instance listens; true once the queue is empty.
    bool release_waiters() {
        for (;;) {
            {
                std::lock_guard guard(instance_.lock);
                if (instance_.state != PipeInstance::State::listening)
                    return false;  // they wait on; the next ConnectNamedPipe releases them
            }
            int fd = accept4(wait_listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                return accept_failed(errno);
            }
            UniqueFd waiter(fd);
            send_control(waiter.get(), pipe_protocol::available);
        }
    }

    // True when the queue is merely empty.
    bool accept_failed(int error) {
        if (error == EAGAIN)
            return true;
        if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
            // Out of descriptors: make room by dropping the client that has been silent longest, and leave the
            // queues alone for a while in case the shortage is elsewhere in the process.
            drop_longest_silent();
            back_off();
        }
        return false;
    }

    bool drop_longest_silent() {
        if (greetings_.empty() || greetings_.front().deadline - greeting_limit + silent_for_long > Clock::now())
            return false;
        greetings_.erase(greetings_.begin());
        return true;
    }

    void back_off() {
        backoff_ = std::clamp(backoff_ * 2, std::chrono::milliseconds(10), std::chrono::milliseconds(1000));
        accept_resume_ = Clock::now() + backoff_;
        arrivals_pending_ = true;
    }

    enum class Outcome { silent, answered, connected };

    // Reads the client's request, if it has come, and answers it.
    Outcome answer(UniqueFd &fd) {
        char request[1 + pipe_protocol::max_call_payload];
        ssize_t got = recv(fd.get(), request, sizeof request, MSG_DONTWAIT | MSG_TRUNC);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return Outcome::silent;
        if (got <= 0 || got > static_cast<ssize_t>(sizeof request))
            return Outcome::answered;  // gone, or not one of ours: the connection is dropped
        std::lock_guard guard(instance_.lock);
        bool listening = instance_.state == PipeInstance::State::listening && !instance_.closing;
        DWORD timeout = instance_.default_timeout;
        switch (request[0]) {
            case pipe_protocol::open_request:
            case pipe_protocol::call_request:
                if (got != 1 && request[0] == pipe_protocol::open_request)
                    return Outcome::answered;
                if (should_hold(request[0]) && held_.size() < max_greetings) {
                    held_.push_back(
                        {std::move(fd), std::vector<char>(request, request + got), Clock::now() + reconnect_grace});
                    wake_connector();
                    return Outcome::answered;
                }
                if (!listening) {
                    send_control(fd.get(), pipe_protocol::busy, &timeout, sizeof timeout);
                    return Outcome::answered;
                }
                return connect(fd, request, static_cast<std::size_t>(got)) ? Outcome::connected : Outcome::answered;
            case pipe_protocol::wait_request:
                if (listening)
                    send_control(fd.get(), pipe_protocol::available);
                else
                    send_control(fd.get(), pipe_protocol::busy, &timeout, sizeof timeout);
                return Outcome::answered;
            default:
                return Outcome::answered;
        }
    }

    // Whether to hold a connection request for a moment instead of answering it (the instance lock is held):
    // while ConnectNamedPipe waits, so that it connects the client itself; and a call that comes between
    // DisconnectNamedPipe and the next ConnectNamedPipe.
    bool should_hold(char request) const {
        if (instance_.closing)
            return false;
        if (role_ == answerer && instance_.connector_present)
            return true;
        return request == pipe_protocol::call_request && instance_.state == PipeInstance::State::disconnected;
    }

    // When the answering thread leaves a client to ConnectNamedPipe, or connects one while ConnectNamedPipe waits
    // (the instance lock is held).
    void wake_connector() {
        if (role_ != answerer || !instance_.connector_present)
            return;
        std::uint64_t one = 1;
        [[maybe_unused]] auto ignored = ::write(connector_wake_.get(), &one, sizeof one);
    }

    // Makes the client the instance's (the instance lock is held). A call request on a message pipe carries the
    // first message, and its client needs no answer: the reply tells it that it was served.
    bool connect(UniqueFd &fd, const char *request, std::size_t size) {
        bool first_message = request[0] == pipe_protocol::call_request && instance_.message_pipe;
        char message_pipe = instance_.message_pipe ? 1 : 0;
        if (!first_message && !send_control(fd.get(), pipe_protocol::connected, &message_pipe, 1))
            return false;  // the client has gone already
        auto channel = std::make_shared<PipeChannel>(std::move(fd));
        if (first_message)
            channel->set_first_message(request + 1, size - 1);
        instance_.client = std::move(channel);
        instance_.connected_at = Clock::now();
        instance_.state = PipeInstance::State::connected;
        wake_connector();
        return true;
    }

    int listener_, wait_listener_;
    PipeInstance &instance_;
    UniqueFd connector_wake_;  // the answering thread left a client to ConnectNamedPipe
    UniqueFd sets_[2];
    bool valid_ = false;
    Role role_ = answerer;  // who is serving
    std::vector<Greeting> greetings_;
    std::vector<HeldCall> held_;
    bool arrivals_pending_ = false;  // the pipe's queue may hold clients nobody has taken yet
    bool waiters_pending_ = false;   // the wait queue may hold waiters
    Clock::time_point accept_resume_{};
    std::chrono::milliseconds backoff_{};
};

namespace {

constexpr int max_events = 32;

// The answering thread: it answers arrivals whenever no thread waits in ConnectNamedPipe.
void answer_arrivals(PipeInstance &instance, std::mutex &reception_lock, Reception &reception) {
    bool missed = false;  // arrivals were left to a ConnectNamedPipe that has not come
    for (;;) {
        bool present;
        Clock::time_point expected;
        {
            std::lock_guard guard(instance.lock);
            if (instance.closing)
                return;
            present = instance.connector_present;
            expected = instance.connector_expected_until;
        }
        auto now = Clock::now();
        int timeout = -1;  // while ConnectNamedPipe waits, it keeps the time limits itself
        if (!present && now < expected) {
            timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(expected - now).count());
        } else if (!present) {
            std::lock_guard guard(reception_lock);
            timeout = reception.timeout_ms();
        }
        epoll_event events[max_events];
        int count = epoll_wait(reception.set(Reception::answerer), events, max_events, timeout);
        if (count < 0 && errno != EINTR)
            return;
        for (int i = 0; i < count; ++i) {
            if (events[i].data.fd == instance.wake.get()) {
                std::uint64_t ignored;
                [[maybe_unused]] auto got = ::read(instance.wake.get(), &ignored, sizeof ignored);
            }
        }
        {
            // An arrival that came while ConnectNamedPipe was on its way (or about to wait again) is in its set
            // as well: it takes it, or wakes us when it leaves with work left.
            std::lock_guard guard(instance.lock);
            if (instance.closing)
                return;
            if (instance.connector_present) {
                missed = false;
                continue;
            }
            if (Clock::now() < instance.connector_expected_until) {
                missed = missed || count > 0;
                continue;
            }
        }
        std::lock_guard guard(reception_lock);
        reception.serve(Reception::answerer, events, std::max(count, 0), std::exchange(missed, false));
    }
}

int idle_client_limit() {
    constexpr int fallback = 10000;
    auto text = platform::prefix::setting("pipes", "idle_client_ms");
    if (!text)
        return fallback;
    int value = 0;
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size() || value < 0) {
        static std::once_flag reported;
        std::call_once(reported, [&] {
            std::fprintf(stderr,
                         "platform.conf: [pipes] idle_client_ms = %s is not a number of milliseconds; using %d\n",
                         text->c_str(), fallback);
        });
        return fallback;
    }
    return value;
}

}  // namespace

void PipeInstance::wake_answerer() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(wake.get(), &one, sizeof one);
}

std::shared_ptr<NamedPipeServer> NamedPipeServer::create(std::string_view pipe_name, bool message_pipe,
                                                         bool message_read_mode, DWORD default_timeout,
                                                         const void *security_descriptor) {
    auto location = pipe_location(pipe_name);
    UniqueFd lock_file, listener, wait_listener;
    if (!take_lock_file(location, lock_file) ||
        !bind_listener(location, location.wait_file(), security_descriptor, wait_listener))
        return nullptr;
    if (!bind_listener(location, location.file, security_descriptor, listener)) {
        ::unlink((location.folder + "/" + location.wait_file()).c_str());
        return nullptr;
    }
    auto instance = std::make_shared<PipeInstance>();
    instance->message_pipe = message_pipe;
    instance->default_timeout = default_timeout ? default_timeout : 50;  // Windows' default of 50 ms
    instance->idle_client_ms = idle_client_limit();
    instance->wake.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!instance->wake) {
        set_last_error_from_errno(errno);
        ::unlink(location.path().c_str());
        ::unlink((location.folder + "/" + location.wait_file()).c_str());
        return nullptr;
    }
    auto server = std::make_shared<NamedPipeServer>(std::move(location), std::move(listener), std::move(wait_listener),
                                                    std::move(lock_file), std::move(instance));
    if (!server->reception_->valid()) {
        set_last_error_from_errno(errno);
        return nullptr;
    }
    server->set_message_read_mode(message_read_mode);
    return server;
}

NamedPipeServer::NamedPipeServer(PipeLocation location, UniqueFd listener, UniqueFd wait_listener, UniqueFd lock_file,
                                 std::shared_ptr<PipeInstance> instance)
    : location_(std::move(location)),
      listener_(std::move(listener)),
      wait_listener_(std::move(wait_listener)),
      lock_file_(std::move(lock_file)),
      instance_(std::move(instance)),
      reception_(std::make_unique<Reception>(listener_.get(), wait_listener_.get(), *instance_)) {
    answerer_ = std::thread([this] { answer_arrivals(*instance_, reception_lock_, *reception_); });
}

NamedPipeServer::~NamedPipeServer() {
    {
        std::lock_guard guard(instance_->lock);
        instance_->closing = true;
        if (instance_->client)
            shutdown(instance_->client->fd(), SHUT_RDWR);  // the client reads what was sent, then a broken pipe
        instance_->client.reset();
    }
    instance_->wake_answerer();
    if (answerer_.joinable())
        answerer_.join();
    // Remove the names while the lock is still held, so that no new server's files are removed.
    ::unlink(location_.path().c_str());
    ::unlink((location_.folder + "/" + location_.wait_file()).c_str());
    ::unlink(location_.lock_path().c_str());
}

// The calling thread answers arrivals itself while it waits (see Reception).
bool NamedPipeServer::connect() {
    {
        std::lock_guard guard(instance_->lock);
        if (instance_->state == PipeInstance::State::connected) {
            SetLastError(ERROR_PIPE_CONNECTED);  // the client came before the call
            return false;
        }
        instance_->state = PipeInstance::State::listening;  // clients waiting in WaitNamedPipeA may come now
        instance_->connector_present = true;
        instance_->connector_expected_until = {};
    }
    bool connected = false, closing = false;
    epoll_event events[max_events];
    int count = 0;
    for (;;) {
        int timeout;
        {
            std::lock_guard guard(reception_lock_);
            connected = reception_->serve(Reception::connector, events, count);
            {
                std::lock_guard state_guard(instance_->lock);
                connected = connected || instance_->state == PipeInstance::State::connected;
                closing = instance_->closing;
                if (connected || closing)
                    instance_->connector_present = false;
            }
            if (connected || closing) {
                reception_->hand_over();
                break;
            }
            timeout = reception_->timeout_ms();
        }
        count = epoll_wait(reception_->set(Reception::connector), events, max_events, timeout);
        if (count < 0) {
            count = 0;
            if (errno != EINTR)
                break;
        }
    }
    if (closing || !connected) {
        std::lock_guard guard(instance_->lock);
        instance_->connector_present = false;
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
        // A server loop calls ConnectNamedPipe next: arrivals are left to it for a moment.
        instance_->connector_expected_until = std::chrono::steady_clock::now() + reconnect_grace;
    }
    if (client && client.use_count() == 1)
        send_control(client->fd(), pipe_protocol::disconnected);  // no other thread reads: closing cuts it
    else if (client)
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

// A client that has sent nothing since it connected keeps the instance at most idle_client_ms: a server that
// reads with a blocking ReadFile would otherwise wait for it for ever, and every other client with it. The
// first message of a well-behaved client follows its connection at once.
bool NamedPipeServer::read(void *buffer, DWORD size, DWORD &done) {
    done = 0;
    auto client = connected_client();
    if (!client)
        return false;
    int limit = instance_->idle_client_ms;
    if (limit > 0) {
        std::chrono::steady_clock::time_point connected_at;
        {
            std::lock_guard guard(instance_->lock);
            connected_at = instance_->connected_at;
        }
        auto left = std::chrono::ceil<std::chrono::milliseconds>(connected_at + std::chrono::milliseconds(limit) -
                                                                 std::chrono::steady_clock::now());
        if (!client->wait_for_message(static_cast<int>(std::max<long long>(left.count(), 0)))) {
            client->disconnect();
            SetLastError(ERROR_BROKEN_PIPE);
            return false;
        }
    }
    return client->receive(buffer, size, done, message_read_mode());
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
