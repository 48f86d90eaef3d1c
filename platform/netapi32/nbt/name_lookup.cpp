#include "name_lookup.h"

#include <memory>
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

RetryPolicy policy(const NbtSettings &settings) {
    return {settings.retries, settings.retry_interval};
}

}  // namespace

void ask_address(NameServiceCall &call, const LanaBinding &binding, const NbtSettings &settings,
                 const NetbiosName &name, ResolveThen then) {
    bool broadcast = !settings.wins;
    Ipv4Address destination =
        settings.wins ? *settings.wins : binding.interface.ipv4->broadcast.value_or(binding.interface.ipv4->address);
    auto id = next_transaction_id();
    // The accepted response, parsed once: the continuation reads it from here.
    auto answer = std::make_shared<std::optional<NameQueryResponse>>();
    auto accept = [=](const Datagram &datagram) {
        // Any node on the subnet may answer a broadcast; only the server answers a unicast question.
        if (datagram.source_port != name_service_port || (!broadcast && datagram.source != destination))
            return false;
        auto response = parse_name_query_response(datagram.bytes);
        if (!response || response->transaction_id != id || (response->name && *response->name != name))
            return false;
        if (response->rcode == 0 && !response->name)
            return false;
        *answer = std::move(response);
        return true;
    };
    auto conclude = [answer, then = std::move(then)](const std::optional<Datagram> &) {
        if (!*answer || (*answer)->rcode != 0)
            return then(std::nullopt);
        // A group name may be answered with the all-zeros or all-ones address, which names no node.
        for (auto &address : (*answer)->addresses)
            if (address != Ipv4Address{0, 0, 0, 0} && address != Ipv4Address{255, 255, 255, 255})
                return then(address);
        return then(std::nullopt);
    };
    call.ask(build_name_query(id, name, broadcast), destination, policy(settings), accept, conclude);
}

void ask_node_status(NameServiceCall &call, const NbtSettings &settings, const Ipv4Address &address,
                     NodeStatusThen then) {
    auto id = next_transaction_id();
    auto answer = std::make_shared<std::optional<NodeStatusResponse>>();
    auto accept = [=](const Datagram &datagram) {
        if (datagram.source != address || datagram.source_port != name_service_port)
            return false;
        auto response = parse_node_status_response(datagram.bytes);
        if (!response || response->transaction_id != id || response->name != wildcard_name())
            return false;
        *answer = std::move(response);
        return true;
    };
    auto conclude = [answer, then = std::move(then)](const std::optional<Datagram> &) {
        return then(std::move(*answer));
    };
    call.ask(build_node_status_request(id), address, policy(settings), accept, conclude);
}

}  // namespace platform::nbt
