// The name service socket on the loopback interface, against a plain UDP socket standing in for a node: what a
// receive returns and passes over, when it gives up, and a socket kept in the pool.
#include "name_service_socket.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace platform::nbt {
namespace {

using namespace std::chrono_literals;

const Ipv4Address loopback{127, 0, 0, 1};

// A UDP socket on an ephemeral loopback port that learns where the name service socket is from its first
// datagram and answers there.
class FakeNode {
public:
    FakeNode() {
        descriptor_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(descriptor_, reinterpret_cast<sockaddr *>(&address), sizeof address);
        socklen_t size = sizeof address;
        ::getsockname(descriptor_, reinterpret_cast<sockaddr *>(&address), &size);
        port_ = ntohs(address.sin_port);
        timeval limit{30, 0};
        ::setsockopt(descriptor_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    ~FakeNode() { ::close(descriptor_); }
    FakeNode(const FakeNode &) = delete;
    FakeNode &operator=(const FakeNode &) = delete;

    std::uint16_t port() const { return port_; }

    // The next datagram sent to this node; remembers its sender.
    std::vector<std::uint8_t> take_request() {
        std::vector<std::uint8_t> bytes(2048);
        socklen_t size = sizeof client_;
        ssize_t got =
            ::recvfrom(descriptor_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&client_), &size);
        bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
        return bytes;
    }
    void answer(const std::vector<std::uint8_t> &bytes) {
        ::sendto(descriptor_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&client_), sizeof client_);
    }

private:
    int descriptor_ = -1;
    std::uint16_t port_ = 0;
    sockaddr_in client_{};
};

// A loopback port that nobody listens on: a datagram sent there comes back as an ICMP error.
std::uint16_t closed_port() {
    int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address);
    socklen_t size = sizeof address;
    ::getsockname(probe, reinterpret_cast<sockaddr *>(&address), &size);
    ::close(probe);
    return ntohs(address.sin_port);
}

TEST(NameServiceSocket, ReceivesEachDatagramWithItsOwnBytesAndSource) {
    auto socket = NameServiceSocket::open(loopback, "lo");
    ASSERT_TRUE(socket);
    FakeNode node;
    ASSERT_TRUE(socket->send(std::vector<std::uint8_t>{1, 2, 3}, loopback, node.port()));
    EXPECT_EQ(node.take_request(), (std::vector<std::uint8_t>{1, 2, 3}));

    // Both answers are already waiting when the first receive starts; the second is the shorter, so nothing
    // of the first may show through in it.
    std::vector<std::uint8_t> long_answer(600, 0xab), short_answer{7, 8};
    node.answer(long_answer);
    node.answer(short_answer);
    auto first = socket->receive(Clock::now() + 30s);
    auto second = socket->receive(Clock::now() + 30s);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->bytes, long_answer);
    EXPECT_EQ(second->bytes, short_answer);
    EXPECT_EQ(second->source, loopback);
    EXPECT_EQ(second->source_port, node.port());
}

TEST(NameServiceSocket, ReceiveGivesUpAtItsTimeAndNotBefore) {
    auto socket = NameServiceSocket::open(loopback, "lo");
    ASSERT_TRUE(socket);
    auto start = Clock::now();
    EXPECT_FALSE(socket->receive(start + 120ms));
    EXPECT_GE(Clock::now(), start + 120ms);
    // A time already past still looks once, and finds nothing.
    EXPECT_FALSE(socket->receive(start));
}

TEST(NameServiceSocket, NetworkErrorsArePassedOver) {
    auto socket = NameServiceSocket::open(loopback, "lo");
    ASSERT_TRUE(socket);
    FakeNode node;
    ASSERT_TRUE(socket->send(std::vector<std::uint8_t>{1}, loopback, closed_port()));  // answered by ICMP
    ASSERT_TRUE(socket->send(std::vector<std::uint8_t>{2}, loopback, node.port()));
    node.take_request();
    node.answer({9, 9});
    auto answer = socket->receive(Clock::now() + 30s);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->bytes, (std::vector<std::uint8_t>{9, 9}));
}

TEST(SocketPool, SocketTakenAgainStillReceives) {
    SocketPool pool;
    FakeNode node;
    for (std::uint8_t round = 1; round <= 2; round++) {
        auto socket = pool.take(loopback, "lo");
        ASSERT_TRUE(socket);
        ASSERT_TRUE(socket->send(std::vector<std::uint8_t>{round}, loopback, node.port()));
        node.take_request();
        node.answer({round, round});
        auto answer = socket->receive(Clock::now() + 30s);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->bytes, (std::vector<std::uint8_t>{round, round}));
        pool.give_back(loopback, "lo", std::move(*socket));
    }
}

}  // namespace
}  // namespace platform::nbt
