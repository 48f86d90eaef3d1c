// One UDP socket of the name service client: bound to a LANA's address, allowed to broadcast, and a
// request/response exchange with retries that keeps a deadline.
#pragma once

#include "name_service_packets.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::nbt {

using Clock = std::chrono::steady_clock;

struct Datagram {
    Ipv4Address source{};
    std::uint16_t source_port = 0;
    std::vector<std::uint8_t> bytes;
};

struct RetryPolicy {
    unsigned tries = 3;
    std::chrono::milliseconds interval{250};
};

class NameServiceSocket {
public:
    // A socket on an ephemeral port of `local`, sending through `interface`. nullopt when it cannot be made.
    static std::optional<NameServiceSocket> open(const Ipv4Address &local, const std::string &interface);

    NameServiceSocket(NameServiceSocket &&other) noexcept;
    NameServiceSocket &operator=(NameServiceSocket &&other) noexcept;
    NameServiceSocket(const NameServiceSocket &) = delete;
    NameServiceSocket &operator=(const NameServiceSocket &) = delete;
    ~NameServiceSocket();

    // Throws away whatever arrived since the last exchange (late answers to earlier questions).
    void discard_pending();

    bool send(std::span<const std::uint8_t> bytes, const Ipv4Address &destination, std::uint16_t port);

    // The next datagram that arrives by `until`, or nullopt. Datagrams cut short by the socket buffer and
    // errors the network reports (ICMP) are passed over.
    std::optional<Datagram> receive(Clock::time_point until);

    // Sends `request` up to policy.tries times, policy.interval apart, and returns the first datagram that
    // `accept` takes, or nullopt when none came by the last interval or by `deadline`, whichever is first.
    std::optional<Datagram> exchange(std::span<const std::uint8_t> request, const Ipv4Address &destination,
                                     const RetryPolicy &policy, Clock::time_point deadline,
                                     const std::function<bool(const Datagram &)> &accept);

private:
    explicit NameServiceSocket(int descriptor) : descriptor_(descriptor) {}
    int descriptor_ = -1;
    // Room for the largest datagram, made on the first receive and kept with the socket in the pool.
    std::unique_ptr<std::uint8_t[]> buffer_;
};

// Sockets of finished commands, kept for the next command on the same LANA: making and closing a socket for
// every command costs about as much as the round trip it serves.
class SocketPool {
public:
    // An idle socket of that address and interface with nothing left in it, or a new one.
    std::optional<NameServiceSocket> take(const Ipv4Address &address, const std::string &interface);
    void give_back(const Ipv4Address &address, const std::string &interface, NameServiceSocket socket);

private:
    static constexpr std::size_t max_idle = 8;
    struct Idle {
        Ipv4Address address;
        std::string interface;
        NameServiceSocket socket;
    };
    std::mutex lock_;
    std::vector<Idle> idle_;
};

}  // namespace platform::nbt
