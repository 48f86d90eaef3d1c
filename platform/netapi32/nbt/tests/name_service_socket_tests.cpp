// The name service socket on the loopback interface, against a plain UDP socket standing in for a node. On
// loopback a datagram is queued at its receiver before sendto() returns, so no test waits for one to travel.
#include "name_service_socket.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::nbt {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
const Ipv4Address loopback{127, 0, 0, 1};

// A UDP socket on an ephemeral loopback port that answers whoever sent it the last datagram.
class FakeNode {
public:
    FakeNode() {
        address_.sin_family = AF_INET;
        address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address_;
        ::bind(descriptor_, reinterpret_cast<sockaddr *>(&address_), size);
        ::getsockname(descriptor_, reinterpret_cast<sockaddr *>(&address_), &size);
        timeval limit{30, 0};
        ::setsockopt(descriptor_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    ~FakeNode() { ::close(descriptor_); }
    std::uint16_t port() const { return ntohs(address_.sin_port); }
    Bytes take_request() {
        Bytes bytes(2048);
        socklen_t size = sizeof client_;
        ssize_t got =
            ::recvfrom(descriptor_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&client_), &size);
        bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
        return bytes;
    }
    void answer(const Bytes &bytes) {
        ::sendto(descriptor_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&client_), sizeof client_);
    }

private:
    int descriptor_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address_{}, client_{};
};

// A loopback port that nobody listens on: a datagram sent there comes back as an ICMP error.
std::uint16_t closed_port() {
    FakeNode gone;
    return gone.port();
}

TEST(NameServiceSocket, ReceivesEachDatagramWithItsOwnBytesAndSource) {
    auto socket = NameServiceSocket::open(loopback, "lo");
    ASSERT_TRUE(socket);
    FakeNode node;
    ASSERT_TRUE(socket->send(Bytes{1}, loopback, closed_port()));  // answered by an ICMP error, passed over
    ASSERT_TRUE(socket->send(Bytes{1, 2, 3}, loopback, node.port()));
    EXPECT_EQ(node.take_request(), (Bytes{1, 2, 3}));

    // The shorter answer comes second: nothing of the first may show through in it. A time already past still
    // looks once.
    Bytes long_answer(600, 0xab), short_answer{7, 8};
    node.answer(long_answer);
    node.answer(short_answer);
    auto first = socket->receive(Clock::now() + 30s);
    auto second = socket->receive(Clock::now() - 1s);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->bytes, long_answer);
    EXPECT_EQ(second->bytes, short_answer);
    EXPECT_EQ(second->source, loopback);
    EXPECT_EQ(second->source_port, node.port());
    EXPECT_FALSE(socket->receive(Clock::now() - 1s));
}

TEST(SocketPool, SocketTakenAgainReceivesOnlyNewAnswers) {
    SocketPool pool;
    FakeNode node;
    for (std::uint8_t round = 1; round <= 2; round++) {
        auto socket = pool.take(loopback, "lo");
        ASSERT_TRUE(socket);
        EXPECT_FALSE(socket->receive(Clock::now() - 1s));  // the late answer of the last round is gone
        ASSERT_TRUE(socket->send(Bytes{round}, loopback, node.port()));
        node.take_request();
        node.answer({round, round});
        auto answer = socket->receive(Clock::now() + 30s);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->bytes, (Bytes{round, round}));
        node.answer({0xee});
        pool.give_back(loopback, "lo", std::move(*socket));
    }
}

}  // namespace
}  // namespace platform::nbt
