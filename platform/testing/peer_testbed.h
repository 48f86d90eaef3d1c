// A private network for tests and benchmarks that talk NetBIOS to a real peer: two network namespaces joined
// by a veth pair on a test subnet that exists only inside the pair, Samba's nmbd as the peer (also a WINS server), and
// a platform prefix whose LANA map names only the test's end of the pair. The process moves into the local namespace,
// so nothing it sends can reach this machine's real interfaces. Needs root; everything it made is removed when it is
// destroyed, and what a crashed run left behind is removed by the next one.
#pragma once

#include "netapi32/nbt/name_service_packets.h"

#include <csignal>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::nbt::testing {

class PeerTestbed {
public:
    // Builds the network and enters it with the calling thread, which must be the process's only thread so
    // that every thread started later lives there too. nullptr with the reason when this machine cannot.
    static std::unique_ptr<PeerTestbed> create(std::string &why_not);
    ~PeerTestbed();

    // Starts nmbd in the peer namespace and waits until it answers for its names (false with the reason).
    bool start_peer(std::string &error);
    // Starts a second nmbd on the local end, as the local NetBIOS node of the LANA.
    bool start_local_node(std::string &error);
    // Rewrites the prefix's [netbios] section: the LANA map naming the test veth, then these lines. The
    // platform reads it again after prefix::reload().
    void configure(const std::string &extra_netbios_lines);

    // Runs a command in the local namespace and returns its standard output, or nullopt when it fails.
    std::optional<std::string> run(const std::vector<std::string> &argv) const;
    // The configuration file that points Samba's client tools at the local end only.
    std::string client_config() const { return (directory_ / "client.conf").string(); }
    // A TCP connection from the peer namespace to `port` on the local address; -1 when it cannot be made.
    int connect_from_peer(std::uint16_t port) const;

    const std::string &local_interface() const { return local_link_; }
    const std::string &peer_namespace() const { return peer_netns_; }
    Ipv4Address local_address() const { return {10, 213, 7, 1}; }
    Ipv4Address peer_address() const { return {10, 213, 7, 2}; }
    Ipv4Address broadcast_address() const { return {10, 213, 7, 255}; }
    std::string peer_name() const { return peer_name_; }
    std::string workgroup() const { return "NBTTESTGRP"; }

private:
    PeerTestbed() = default;
    bool start_nmbd(const std::string &netns, const std::string &link, const std::string &name,
                    const std::string &folder, const Ipv4Address &address, pid_t &pid, std::string &error);

    std::string local_netns_, peer_netns_, local_link_, peer_link_, peer_name_, local_name_;
    std::filesystem::path directory_, prefix_;
    int original_netns_ = -1;
    pid_t peer_pid_ = -1, local_pid_ = -1;
};

std::string dotted(const Ipv4Address &address);

// One name of a node's name table: as `nmblookup -A` lists it, or as a reply or a report gives it. The state
// is the NAME_BUFFER state (REGISTERED, DEREGISTERED, DUPLICATE, DUPLICATE_DEREG).
struct ListedName {
    std::string name;
    int type = 0;
    bool group = false;
    int state = 0;
    bool operator==(const ListedName &) const = default;
};
std::ostream &operator<<(std::ostream &out, const ListedName &entry);

// The names of an `nmblookup -A` listing: lines such as "\tNAME            <20> - <GROUP> B <ACTIVE> ".
std::vector<ListedName> parse_nmblookup(const std::string &text);

}  // namespace platform::nbt::testing
