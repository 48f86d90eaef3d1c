// The peer both NetBIOS benchmarks measure against: nmbd in network namespaces of the benchmark's own, made
// while the process still has its one thread, so that every thread started later lives in them.
#pragma once

#include "testing/peer_testbed.h"
#include "testing/temporary_prefix.h"

#include <cstdio>
#include <memory>
#include <string>

// The running peer, or null with `exit_code` set: 0 when the machine cannot make the network (not root), which
// is said and is no failure; 1 when the peer does not start.
inline std::unique_ptr<platform::nbt::testing::PeerTestbed> start_bench_peer(const char *program, int &exit_code) {
    std::string why_not, error;
    auto testbed = platform::nbt::testing::PeerTestbed::create(why_not);
    if (!testbed) {
        std::fprintf(stderr, "%s: no test network: %s\n", program, why_not.c_str());
        exit_code = 0;
        return nullptr;
    }
    platform::testing::reload_prefix();
    if (!testbed->start_peer(error)) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        exit_code = 1;
        return nullptr;
    }
    return testbed;
}
