// One UDP socket of the name service client: bound to a LANA's address, allowed to broadcast, never blocking.
// Waiting for it is its owner's business (see name_service_call.h).
#pragma once

#include "name_service_packets.h"

#include <chrono>
#include <cstdint>
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

    bool send(std::span<const std::uint8_t> bytes, const Ipv4Address &destination, std::uint16_t port);

    int descriptor() const { return descriptor_; }

    // One read without waiting: a datagram, or nullopt when there was none to take. `drained` is set when the
    // socket had nothing more (or failed); otherwise a datagram cut short by the socket buffer or an error the
    // network reported (ICMP) was passed over and the next read may find more.
    std::optional<Datagram> receive_ready(bool &drained);

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
    // An idle socket of that address and interface, or a new one. Late answers to its earlier questions may still
    // wait in it: they answer no question of the next command, which reads past them as past any stray datagram
    // (emptying the socket first would cost a system call per command, and never end under a flood).
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
