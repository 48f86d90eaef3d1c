#include "name_service_socket.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

namespace platform::nbt {
namespace {

constexpr std::size_t largest_datagram = 65536;

sockaddr_in socket_address(const Ipv4Address &address, std::uint16_t port) {
    sockaddr_in socket_address{};
    socket_address.sin_family = AF_INET;
    socket_address.sin_port = htons(port);
    std::memcpy(&socket_address.sin_addr, address.data(), 4);
    return socket_address;
}

}  // namespace

std::optional<NameServiceSocket> NameServiceSocket::open(const Ipv4Address &local, const std::string &interface) {
    int descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (descriptor < 0)
        return std::nullopt;
    NameServiceSocket socket(descriptor);
    int on = 1;
    ::setsockopt(descriptor, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    // Keeps a broadcast on the LANA's own link even where routes would send it elsewhere. Unprivileged
    // processes may be refused; binding the LANA's address below still selects its subnet.
    ::setsockopt(descriptor, SOL_SOCKET, SO_BINDTODEVICE, interface.c_str(), static_cast<socklen_t>(interface.size()));
    auto address = socket_address(local, 0);
    if (::bind(descriptor, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return std::nullopt;
    return socket;
}

NameServiceSocket::NameServiceSocket(NameServiceSocket &&other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), buffer_(std::move(other.buffer_)) {}

NameServiceSocket &NameServiceSocket::operator=(NameServiceSocket &&other) noexcept {
    std::swap(descriptor_, other.descriptor_);
    std::swap(buffer_, other.buffer_);
    return *this;
}

NameServiceSocket::~NameServiceSocket() {
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

bool NameServiceSocket::send(std::span<const std::uint8_t> bytes, const Ipv4Address &destination, std::uint16_t port) {
    auto address = socket_address(destination, port);
    return ::sendto(descriptor_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&address),
                    sizeof address) == static_cast<ssize_t>(bytes.size());
}

std::optional<Datagram> NameServiceSocket::receive_ready(bool &drained) {
    drained = false;
    // Not zero-filled: only the bytes the kernel wrote are ever read.
    if (!buffer_)
        buffer_.reset(new std::uint8_t[largest_datagram]);
    sockaddr_in source{};
    socklen_t source_size = sizeof source;
    ssize_t size = ::recvfrom(descriptor_, buffer_.get(), largest_datagram, MSG_TRUNC | MSG_DONTWAIT,
                              reinterpret_cast<sockaddr *>(&source), &source_size);
    if (size >= 0 && static_cast<std::size_t>(size) <= largest_datagram && source.sin_family == AF_INET) {
        Datagram datagram;
        std::memcpy(datagram.source.data(), &source.sin_addr, 4);
        datagram.source_port = ntohs(source.sin_port);
        datagram.bytes.assign(buffer_.get(), buffer_.get() + size);
        return datagram;
    }
    // A cut datagram or a reported network error: passed over, the answer may still come.
    drained = size < 0 && errno != EINTR && errno != ECONNREFUSED && errno != EHOSTUNREACH && errno != ENETUNREACH;
    return std::nullopt;
}

std::optional<NameServiceSocket> SocketPool::take(const Ipv4Address &address, const std::string &interface) {
    {
        std::lock_guard guard(lock_);
        for (auto entry = idle_.begin(); entry != idle_.end(); ++entry) {
            if (entry->address == address && entry->interface == interface) {
                auto socket = std::move(entry->socket);
                idle_.erase(entry);
                return socket;
            }
        }
    }
    return NameServiceSocket::open(address, interface);
}

void SocketPool::give_back(const Ipv4Address &address, const std::string &interface, NameServiceSocket socket) {
    std::lock_guard guard(lock_);
    if (idle_.size() >= max_idle)
        idle_.erase(idle_.begin());  // the oldest, likely of an address that is gone
    idle_.push_back({address, interface, std::move(socket)});
}

}  // namespace platform::nbt
