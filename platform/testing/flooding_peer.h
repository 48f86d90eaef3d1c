// A hostile node in the peer namespace of a PeerTestbed: it holds an address of its own (flood_address()) and
// answers every name service request sent there with a stream of datagrams, as fast as it can send them, that
// answer nothing: the request echoed back with its own transaction id, and bytes that parse as no packet. A command
// asking it keeps waiting for an answer that never comes while its socket fills up.
#pragma once

#include "peer_testbed.h"

#include <atomic>
#include <thread>

namespace platform::nbt::testing {

class FloodingPeer {
public:
    // Starts the flooder; false (with the reason) when its address or socket cannot be made.
    bool start(const PeerTestbed &bed, std::string &error);
    ~FloodingPeer();

    Ipv4Address flood_address() const { return {10, 213, 7, 3}; }
    // Datagrams sent so far.
    std::size_t sent() const { return sent_; }

private:
    void flood(int descriptor);

    std::atomic<bool> stopping_{false};
    std::atomic<std::size_t> sent_{0};
    std::thread thread_;
};

}  // namespace platform::nbt::testing
