// in_peer_network: runs one command inside the private test network of platform/testing's PeerTestbed, with
// Samba's nmbd answering as the peer, and removes the network when the command has ended.
//   in_peer_network COMMAND [ARGUMENT...]
// The command runs in the local namespace, where the veth's end is the only interface besides loopback, with
// PLATFORM_PREFIX naming the testbed's prefix (its LANA 0 is that end) and PEER_ADDRESS and PEER_NAME
// naming the peer. Exit status: the command's; 77 when this machine cannot make the network (the reason is
// printed); 1 when the peer does not come up.
#include "testing/peer_testbed.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace nbt = platform::nbt::testing;

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: in_peer_network COMMAND [ARGUMENT...]\n");
        return 2;
    }
    std::string why;
    auto testbed = nbt::PeerTestbed::create(why);
    if (!testbed) {
        std::printf("SKIP: no private test network: %s\n", why.c_str());
        return 77;
    }
    if (!testbed->start_peer(why)) {
        std::fprintf(stderr, "in_peer_network: %s\n", why.c_str());
        return 1;
    }
    ::setenv("PEER_ADDRESS", nbt::dotted(testbed->peer_address()).c_str(), 1);
    ::setenv("PEER_NAME", testbed->peer_name().c_str(), 1);
    std::fflush(nullptr);
    pid_t child = ::fork();
    if (child == 0) {
        ::execvp(argv[1], argv + 1);
        std::perror(argv[1]);
        ::_exit(127);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return 1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
