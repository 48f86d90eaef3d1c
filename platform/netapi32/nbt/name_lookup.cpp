#include "name_lookup.h"

#include <mutex>
#include <random>

namespace platform::nbt {
namespace {

std::uint16_t next_transaction_id() {
    static std::mutex lock;
    static std::mt19937 generator{std::random_device{}()};
    std::lock_guard guard(lock);
    return static_cast<std::uint16_t>(generator());
}

}  // namespace

NameLookup::NameLookup(SocketPool &pool, const LanaBinding &binding, NbtSettings settings, Clock::time_point deadline)
    : pool_(pool),
      binding_(binding),
      settings_(std::move(settings)),
      deadline_(deadline),
      socket_(pool.take(binding.interface.ipv4->address, binding.interface.name)) {}

NameLookup::~NameLookup() {
    if (socket_)
        pool_.give_back(binding_.interface.ipv4->address, binding_.interface.name, std::move(*socket_));
}

std::optional<Ipv4Address> NameLookup::resolve(const NetbiosName &name) {
    bool broadcast = !settings_.wins;
    Ipv4Address destination = settings_.wins
                                  ? *settings_.wins
                                  : binding_.interface.ipv4->broadcast.value_or(binding_.interface.ipv4->address);
    auto id = next_transaction_id();
    auto request = build_name_query(id, name, broadcast);
    std::optional<NameQueryResponse> answer;
    socket_->exchange(request, destination, policy(), deadline_, [&](const Datagram &datagram) {
        // Any node on the subnet may answer a broadcast; only the server answers a unicast question.
        if (datagram.source_port != name_service_port || (!broadcast && datagram.source != destination))
            return false;
        auto response = parse_name_query_response(datagram.bytes);
        if (!response || response->transaction_id != id || (response->name && *response->name != name))
            return false;
        if (response->rcode == 0 && !response->name)
            return false;
        answer = std::move(response);
        return true;
    });
    if (!answer || answer->rcode != 0)
        return std::nullopt;
    // A group name may be answered with the all-zeros or all-ones address, which names no node.
    for (auto &address : answer->addresses)
        if (address != Ipv4Address{0, 0, 0, 0} && address != Ipv4Address{255, 255, 255, 255})
            return address;
    return std::nullopt;
}

std::optional<NodeStatusResponse> NameLookup::node_status(const Ipv4Address &address) {
    auto id = next_transaction_id();
    auto request = build_node_status_request(id);
    std::optional<NodeStatusResponse> answer;
    socket_->exchange(request, address, policy(), deadline_, [&](const Datagram &datagram) {
        if (datagram.source != address || datagram.source_port != name_service_port)
            return false;
        auto response = parse_node_status_response(datagram.bytes);
        if (!response || response->transaction_id != id || response->name != wildcard_name())
            return false;
        answer = std::move(response);
        return true;
    });
    return answer;
}

}  // namespace platform::nbt
