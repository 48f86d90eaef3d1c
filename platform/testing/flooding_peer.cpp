#include "flooding_peer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <utility>

namespace platform::nbt::testing {

std::string FloodingPeer::start(const PeerTestbed &bed) {
    // On the peer's loopback: the peer answers ARP for it on the veth as for its own address.
    if (!bed.run({"ip", "-n", bed.peer_namespace(), "addr", "replace", dotted(address()) + "/32", "dev", "lo"}))
        return "cannot add the flooder's address";
    int descriptor = -1;
    std::thread([&] {  // setns moves only this thread; the socket it makes stays in the peer namespace
        int netns = ::open(("/run/netns/" + bed.peer_namespace()).c_str(), O_RDONLY | O_CLOEXEC);
        if (netns < 0 || ::setns(netns, CLONE_NEWNET) != 0)
            return;
        ::close(netns);
        descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        int on = 1;  // the peer's nmbd holds port 137 on every address; datagrams to ours still come here
        ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in local{AF_INET, htons(name_service_port), {}, {}};
        std::memcpy(&local.sin_addr, address().data(), 4);
        if (::bind(descriptor, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0)
            ::close(std::exchange(descriptor, -1));
    })
        .join();
    if (descriptor < 0)
        return "cannot bind the flooder's socket";
    thread_ = std::thread([this, descriptor] {
        std::uint8_t request[576], junk[64];
        std::memset(junk, 0xA5, sizeof junk);
        sockaddr_in asker{};
        ssize_t request_size = 0;
        while (!stopping_) {
            // Every new request turns the flood toward whoever sent it.
            socklen_t asker_size = sizeof asker;
            if (ssize_t size = ::recvfrom(descriptor, request, sizeof request, 0, reinterpret_cast<sockaddr *>(&asker),
                                          &asker_size);
                size > 0)
                request_size = size;
            for (int burst = 0; burst < 64 && request_size > 0; ++burst, ++sent_)
                ::sendto(descriptor, burst % 2 ? junk : request, burst % 2 ? sizeof junk : request_size, 0,
                         reinterpret_cast<sockaddr *>(&asker), sizeof asker);
        }
        ::close(descriptor);
    });
    return "";
}

FloodingPeer::~FloodingPeer() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
}

}  // namespace platform::nbt::testing
