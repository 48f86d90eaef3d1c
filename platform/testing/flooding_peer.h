// A hostile node in the peer namespace of a PeerTestbed, on an address of its own: it answers every name service
// request sent there with datagrams that answer nothing (the request echoed back, and bytes that parse as no
// packet), as fast as it can send them, so that the asking command waits on a socket that keeps filling up.
#pragma once

#include "peer_testbed.h"

#include <atomic>
#include <thread>

namespace platform::nbt::testing {

class FloodingPeer {
public:
    // Empty, or why its address or socket could not be made.
    std::string start(const PeerTestbed &bed);
    ~FloodingPeer();
    Ipv4Address address() const { return {10, 213, 7, 3}; }
    std::size_t sent() const { return sent_; }  // datagrams so far

private:
    std::atomic<bool> stopping_{false};
    std::atomic<std::size_t> sent_{0};
    std::thread thread_;
};

}  // namespace platform::nbt::testing
