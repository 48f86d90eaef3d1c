#include "flooding_peer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace platform::nbt::testing {

bool FloodingPeer::start(const PeerTestbed &bed, std::string &error) {
    auto address = flood_address();
    // On the peer's loopback: the peer answers ARP for it on the veth like for its own address.
    if (!bed.run({"ip", "-n", bed.peer_namespace(), "addr", "replace", dotted(address) + "/32", "dev", "lo"})) {
        error = "cannot add the flooder's address";
        return false;
    }
    int descriptor = -1;
    // setns moves only this thread; the socket it makes stays in the peer namespace.
    std::thread([&] {
        int netns = ::open(("/run/netns/" + bed.peer_namespace()).c_str(), O_RDONLY | O_CLOEXEC);
        if (netns < 0 || ::setns(netns, CLONE_NEWNET) != 0)
            return;
        ::close(netns);
        descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        // The peer's nmbd holds port 137 on every address; a datagram to ours still comes to this socket.
        int on = 1;
        ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(name_service_port);
        std::memcpy(&local.sin_addr, address.data(), 4);
        if (::bind(descriptor, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
            ::close(descriptor);
            descriptor = -1;
        }
    }).join();
    if (descriptor < 0) {
        error = "cannot bind the flooder's socket";
        return false;
    }
    thread_ = std::thread(&FloodingPeer::flood, this, descriptor);
    return true;
}

FloodingPeer::~FloodingPeer() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
}

void FloodingPeer::flood(int descriptor) {
    std::vector<std::uint8_t> request(576), junk(64, 0xA5);
    sockaddr_in asker{};
    bool asked = false;
    std::size_t request_size = 0;
    while (!stopping_) {
        // Every new request redirects the flood to whoever sent it.
        sockaddr_in source{};
        socklen_t source_size = sizeof source;
        ssize_t size = ::recvfrom(descriptor, request.data(), request.size(), 0, reinterpret_cast<sockaddr *>(&source),
                                  &source_size);
        if (size > 0) {
            asker = source;
            request_size = static_cast<std::size_t>(size);
            asked = true;
        }
        if (!asked) {
            std::this_thread::yield();
            continue;
        }
        for (int burst = 0; burst < 64; ++burst) {
            bool echo = burst % 2 == 0;
            ::sendto(descriptor, echo ? request.data() : junk.data(), echo ? request_size : junk.size(), 0,
                     reinterpret_cast<sockaddr *>(&asker), sizeof asker);
            ++sent_;
        }
    }
    ::close(descriptor);
}

}  // namespace platform::nbt::testing
