#include "nbt_transport.h"

#include "name_lookup.h"
#include "name_service_call.h"
#include "nbt_configuration.h"
#include "netapi32/operation_driver.h"
#include "tcp_table.h"

#include <nb30.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace platform::nbt {
namespace {

constexpr std::uint16_t session_service_port = 139;

constexpr std::chrono::milliseconds interface_list_max_age{1000};

// The text of a call name without its trailing blanks and zeros, for reading it as a dotted address.
std::string trimmed_text(const NetbiosName &name) {
    std::string text(name.begin(), name.end());
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    return text;
}

// The local node's server name (type 0x20, unique) and its name number in the adapter status; the host
// name, under number 1, when the node does not answer or holds no such name.
std::pair<std::uint8_t, NetbiosName> local_server_name(const std::vector<NodeName> &names) {
    for (std::size_t i = 0; i < names.size() && i < 255; ++i)
        if (names[i].name[15] == 0x20 && !(names[i].flags & name_flag_group))
            return {static_cast<std::uint8_t>(i + 1), names[i].name};
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    std::string text(host);
    text = text.substr(0, text.find('.'));
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return {1, make_name(text, 0x20)};
}

std::optional<std::uint8_t> session_state(TcpState state) {
    switch (state) {
        case TcpState::established:
            return SESSION_ESTABLISHED;
        case TcpState::fin_wait1:
        case TcpState::fin_wait2:
        case TcpState::close_wait:
        case TcpState::closing:
        case TcpState::last_ack:
            return HANGUP_PENDING;
        default:
            return std::nullopt;  // listening sockets, handshakes and closed connections are no sessions
    }
}

// The session status for `name` on the LANA's address, given the names the local node holds there.
netbios::Reply local_sessions(const netbios::Name &name, const Ipv4Address &local, const std::vector<NodeName> &names) {
    auto [number, server_name] = local_server_name(names);
    // Sessions on port 139 belong to the server name; the node's other names have none, and a name it does not
    // hold is not found.
    bool every_name = name[0] == '*';
    if (!every_name && name != server_name) {
        auto held = std::find_if(names.begin(), names.end(), [&](auto &entry) { return entry.name == name; });
        if (held == names.end())
            return {NRC_NOWILD, {}};
        return {NRC_GOODRET, session_status_record(static_cast<std::uint8_t>(held - names.begin() + 1), name, {})};
    }

    std::vector<SessionEntry> sessions;
    for (auto &connection : read_tcp_connections()) {
        auto state = session_state(connection.state);
        if (connection.local_port == session_service_port && connection.local == local && state)
            sessions.push_back({*state, connection.remote});
    }
    return {NRC_GOODRET, session_status_record(number, server_name, sessions)};
}

class NbtTransport final : public netbios::Transport {
public:
    std::vector<std::uint8_t> lanas() override {
        std::vector<std::uint8_t> numbers;
        for (auto &binding : *configuration_.lanas(interface_list_max_age))
            numbers.push_back(binding.lana);
        return numbers;
    }

    std::chrono::milliseconds command_timeout() override {
        // A remote adapter status is a name query and a node status request, each with all its tries.
        auto settings = configuration_.settings();
        return 2 * settings.retries * settings.retry_interval + std::chrono::seconds(1);
    }

    std::uint8_t reset(std::uint8_t lana, netbios::Deadline) override {
        // The transport keeps no per-LANA state that a reset would clear.
        return configuration_.find_lana(lana, std::chrono::milliseconds(0)) ? NRC_GOODRET : NRC_BRIDGE;
    }

    netbios::Reply adapter_status(std::uint8_t lana, const netbios::Name &callname,
                                  netbios::Deadline deadline) override {
        return *netbios::run_operation(*start_adapter_status(lana, callname, deadline));
    }

    netbios::Reply session_status(std::uint8_t lana, const netbios::Name &name, netbios::Deadline deadline) override {
        return *netbios::run_operation(*start_session_status(lana, name, deadline));
    }

    std::unique_ptr<netbios::Operation> start_adapter_status(std::uint8_t lana, const netbios::Name &callname,
                                                             netbios::Deadline deadline) override {
        // The local adapter's counters are read at the moment they are asked for.
        bool local = callname[0] == '*';
        auto binding = configuration_.find_lana(lana, local ? std::chrono::milliseconds(0) : interface_list_max_age);
        if (!binding)
            return finished(NRC_BRIDGE);
        auto settings = configuration_.settings();
        auto call = open_call(*binding, deadline);
        if (!call->usable())
            return finished(NRC_SYSTEM);

        if (local) {
            // A local node that does not answer holds no names; the adapter's own part is there all the same.
            ask_node_status(
                *call, settings, binding->interface.ipv4->address,
                [interface = binding->interface](std::optional<NodeStatusResponse> status) {
                    auto names = status ? status->names : std::vector<NodeName>{};
                    return netbios::Reply{NRC_GOODRET, local_adapter_status(interface.mac, interface.counters, names)};
                });
            return call;
        }
        auto remote_status = [](std::optional<NodeStatusResponse> status) {
            return status ? netbios::Reply{NRC_GOODRET, remote_adapter_status(*status)}
                          : netbios::Reply{NRC_CMDTMO, {}};
        };
        if (auto address = parse_ipv4(trimmed_text(callname))) {
            ask_node_status(*call, settings, *address, remote_status);
            return call;
        }
        auto *asking = call.get();
        ask_address(
            *call, *binding, settings, callname,
            [asking, settings, remote_status](std::optional<Ipv4Address> address) -> std::optional<netbios::Reply> {
                if (!address)
                    return netbios::Reply{NRC_CMDTMO, {}};
                ask_node_status(*asking, settings, *address, remote_status);
                return std::nullopt;
            });
        return call;
    }

    std::unique_ptr<netbios::Operation> start_session_status(std::uint8_t lana, const netbios::Name &name,
                                                             netbios::Deadline deadline) override {
        auto binding = configuration_.find_lana(lana, interface_list_max_age);
        if (!binding)
            return finished(NRC_BRIDGE);
        auto call = open_call(*binding, deadline);
        if (!call->usable())
            return finished(NRC_SYSTEM);
        ask_node_status(*call, configuration_.settings(), binding->interface.ipv4->address,
                        [name, local = binding->interface.ipv4->address](std::optional<NodeStatusResponse> status) {
                            return local_sessions(name, local, status ? status->names : std::vector<NodeName>{});
                        });
        return call;
    }

private:
    static std::unique_ptr<netbios::Operation> finished(std::uint8_t retcode) {
        return std::make_unique<FinishedCall>(netbios::Reply{retcode, {}});
    }

    std::unique_ptr<NameServiceCall> open_call(const LanaBinding &binding, netbios::Deadline deadline) {
        return std::make_unique<NameServiceCall>(sockets_, binding.interface.ipv4->address, binding.interface.name,
                                                 deadline);
    }

    NbtConfiguration configuration_;
    SocketPool sockets_;
};

}  // namespace

std::shared_ptr<netbios::Transport> make_nbt_transport() {
    return std::make_shared<NbtTransport>();
}

}  // namespace platform::nbt
