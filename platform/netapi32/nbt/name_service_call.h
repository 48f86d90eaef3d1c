// One command's conversation with the name service, as an operation that never blocks: a question (a request
// sent up to `tries` times, `interval` apart) and what to do with its answer, which may be the next question.
// The call keeps the command's deadline: whatever its driver does, advance() concludes the question unanswered
// once the deadline has come, and it reads at most a batch of datagrams before it looks at the clock again, so a
// flood of datagrams that answer nothing cannot hold it past the deadline.
#pragma once

#include "name_service_socket.h"

#include "netapi32/transport.h"

#include <functional>
#include <optional>

namespace platform::nbt {

class NameServiceCall final : public netbios::Operation {
public:
    // Takes the datagram the question accepted, or nullopt when none came in time. Returns the call's reply, or
    // nullopt after asking the next question.
    using Then = std::function<std::optional<netbios::Reply>(const std::optional<Datagram> &)>;
    // Whether a datagram answers the question.
    using Accept = std::function<bool(const Datagram &)>;

    // A call on a socket of the pool, bound to `local` on `interface`; check usable() before asking.
    NameServiceCall(SocketPool &pool, const Ipv4Address &local, const std::string &interface,
                    Clock::time_point deadline);
    ~NameServiceCall() override;
    NameServiceCall(const NameServiceCall &) = delete;
    NameServiceCall &operator=(const NameServiceCall &) = delete;

    bool usable() const { return socket_.has_value(); }

    // Sends the first try of a question now (or, past the deadline, concludes it unanswered at the next advance).
    void ask(std::vector<std::uint8_t> request, const Ipv4Address &destination, RetryPolicy policy, Accept accept,
             Then then);

    int descriptor() const override { return socket_ ? socket_->descriptor() : -1; }
    netbios::Deadline next_wake() const override;
    std::optional<netbios::Reply> advance(Clock::time_point now) override;

    // How many reads one advance() makes at most before it looks at the clock.
    static constexpr int read_batch = 32;

private:
    std::optional<netbios::Reply> conclude(const std::optional<Datagram> &answer);
    void send_try(Clock::time_point now);

    SocketPool &pool_;
    Ipv4Address local_;
    std::string interface_;
    Clock::time_point deadline_;
    std::optional<NameServiceSocket> socket_;

    // The question being asked.
    std::vector<std::uint8_t> request_;
    Ipv4Address destination_{};
    RetryPolicy policy_;
    Accept accept_;
    Then then_;
    unsigned tries_sent_ = 0;
    Clock::time_point next_try_{};
};

// A call that is over before it starts: its reply is there at the first advance.
class FinishedCall final : public netbios::Operation {
public:
    explicit FinishedCall(netbios::Reply reply) : reply_(std::move(reply)) {}
    int descriptor() const override { return -1; }
    netbios::Deadline next_wake() const override { return netbios::Deadline::min(); }
    std::optional<netbios::Reply> advance(Clock::time_point) override { return std::move(reply_); }

private:
    netbios::Reply reply_;
};

}  // namespace platform::nbt
