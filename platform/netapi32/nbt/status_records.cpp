#include "status_records.h"

#include <nb30.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace platform::nbt {
namespace {

// What this transport can honestly claim in the capacity fields. It opens no sessions and queues no
// datagrams of its own; the NCB limits are those a byte-sized NCBRESET request can ask for, since Netbios()
// queues commands without a fixed pool.
constexpr WORD ncb_limit = 255;
constexpr WORD max_datagram_user_data = 512;  // largest NetBIOS datagram over UDP without fragmentation
constexpr WORD max_session_packet = 65535;    // session messages go up to 128 KiB; the field stops at 64 KiB
constexpr UCHAR adapter_type_ethernet = 0xFE;
constexpr UCHAR netbios_major_version = 3;

WORD saturate16(std::uint32_t value) {
    return static_cast<WORD>(std::min<std::uint32_t>(value, 0xFFFF));
}

// Appends the NAME_BUFFER entries, numbered from 1 in the order the node listed them.
void append_names(std::vector<std::uint8_t> &record, std::span<const NodeName> names) {
    std::uint8_t number = 0;
    for (auto &entry : names) {
        NAME_BUFFER buffer{};
        std::memcpy(buffer.name, entry.name.data(), NCBNAMSZ);
        buffer.name_num = ++number;
        buffer.name_flags = name_buffer_flags(entry.flags);
        auto *bytes = reinterpret_cast<const std::uint8_t *>(&buffer);
        record.insert(record.end(), bytes, bytes + sizeof buffer);
    }
}

std::vector<std::uint8_t> finish(ADAPTER_STATUS &status, std::span<const NodeName> names) {
    status.name_count = static_cast<WORD>(names.size());
    std::vector<std::uint8_t> record(sizeof status);
    std::memcpy(record.data(), &status, sizeof status);
    append_names(record, names);
    return record;
}

// Reads the big-endian field of `size` bytes at `offset` of a statistics block, or 0 when the block stops
// before the field ends.
std::uint32_t statistic(std::span<const std::uint8_t> block, std::size_t offset, std::size_t size) {
    if (offset + size > block.size())
        return 0;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value = value << 8 | block[offset + i];
    return value;
}

}  // namespace

std::uint8_t name_buffer_flags(std::uint16_t node_name_flags) {
    bool deregistering = node_name_flags & name_flag_deregistering;
    bool conflict = node_name_flags & name_flag_conflict;
    std::uint8_t state = deregistering && conflict ? DUPLICATE_DEREG
                         : conflict                ? DUPLICATE
                         : deregistering           ? DEREGISTERED
                                                   : REGISTERED;
    return static_cast<std::uint8_t>(state | ((node_name_flags & name_flag_group) ? GROUP_NAME : UNIQUE_NAME));
}

std::vector<std::uint8_t> remote_adapter_status(const NodeStatusResponse &response) {
    // The statistics block, field by field. Its fields that have a counterpart of the same meaning in
    // ADAPTER_STATUS go there; JUMPERS, TEST_RESULT, and the CRC, alignment and collision counts have none.
    // A block that stops early leaves the fields it does not reach at 0.
    std::span<const std::uint8_t> block = response.statistics;
    ADAPTER_STATUS status{};
    if (block.size() >= sizeof status.adapter_address)
        std::memcpy(status.adapter_address, block.data(), sizeof status.adapter_address);  // UNIT_ID
    std::uint32_t version = statistic(block, 8, 2);                                        // VERSION_NUMBER
    status.rev_major = static_cast<UCHAR>(version >> 8);
    status.rev_minor = static_cast<UCHAR>(version);
    status.duration = static_cast<WORD>(statistic(block, 10, 2));           // PERIOD_OF_STATISTICS
    status.xmit_aborts = static_cast<WORD>(statistic(block, 18, 2));        // NUMBER_SEND_ABORTS
    status.xmit_success = statistic(block, 20, 4);                          // NUMBER_GOOD_SENDS
    status.recv_success = statistic(block, 24, 4);                          // NUMBER_GOOD_RECEIVES
    status.iframe_xmit_err = static_cast<WORD>(statistic(block, 28, 2));    // NUMBER_RETRANSMITS
    status.recv_buff_unavail = static_cast<WORD>(statistic(block, 30, 2));  // NUMBER_NO_RESOURCE_CONDITIONS
    status.free_ncbs = static_cast<WORD>(statistic(block, 32, 2));          // NUMBER_FREE_COMMAND_BLOCKS
    status.max_cfg_ncbs = static_cast<WORD>(statistic(block, 34, 2));       // TOTAL_NUMBER_COMMAND_BLOCKS
    status.max_ncbs = static_cast<WORD>(statistic(block, 36, 2));           // MAX_TOTAL_NUMBER_COMMAND_BLOCKS
    status.pending_sess = static_cast<WORD>(statistic(block, 38, 2));       // NUMBER_PENDING_SESSIONS
    status.max_cfg_sess = static_cast<WORD>(statistic(block, 40, 2));       // MAX_NUMBER_PENDING_SESSIONS
    status.max_sess = static_cast<WORD>(statistic(block, 42, 2));           // MAX_TOTAL_SESSIONS_POSSIBLE
    status.max_sess_pkt_size = static_cast<WORD>(statistic(block, 44, 2));  // SESSION_DATA_PACKET_SIZE
    return finish(status, response.names);
}

std::vector<std::uint8_t> local_adapter_status(const MacAddress &mac, const LinkCounters &counters,
                                               std::span<const NodeName> names) {
    ADAPTER_STATUS status{};
    std::memcpy(status.adapter_address, mac.data(), mac.size());
    status.rev_major = netbios_major_version;
    status.adapter_type = adapter_type_ethernet;
    // Linux counts packets, not LLC frames: good frames sent and received are the interface's packet counts
    // and a transmit abort is a transmit the driver gave up on. The frame reject, I-frame, T1/Ti timer and
    // lost-frame counts describe LLC type 2 links, which Linux does not run, so they stay 0, as does the
    // reporting period (the kernel keeps its counters from the moment the interface appeared, unstated).
    status.xmit_success = counters.tx_packets;
    status.recv_success = counters.rx_packets;
    status.xmit_aborts = saturate16(counters.tx_aborted_errors);
    status.free_ncbs = ncb_limit;
    status.max_cfg_ncbs = ncb_limit;
    status.max_ncbs = ncb_limit;
    status.max_dgram_size = max_datagram_user_data;
    status.max_sess_pkt_size = max_session_packet;
    return finish(status, names);
}

std::vector<std::uint8_t> session_status_record(std::uint8_t name_number, const NetbiosName &local_name,
                                                std::span<const SessionEntry> sessions) {
    SESSION_HEADER header{};
    std::size_t count = std::min<std::size_t>(sessions.size(), 255);
    header.sess_name = name_number;
    header.num_sess = static_cast<UCHAR>(count);
    // Pending receive-datagram and receive-any commands: this platform posts none.
    std::vector<std::uint8_t> record(sizeof header + count * sizeof(SESSION_BUFFER));
    std::memcpy(record.data(), &header, sizeof header);
    for (std::size_t i = 0; i < count; ++i) {
        SESSION_BUFFER entry{};
        entry.lsn = static_cast<UCHAR>(i + 1);
        entry.state = sessions[i].state;
        std::memcpy(entry.local_name, local_name.data(), NCBNAMSZ);
        auto remote = address_as_name(sessions[i].remote);
        std::memcpy(entry.remote_name, remote.data(), NCBNAMSZ);
        std::memcpy(record.data() + sizeof header + i * sizeof entry, &entry, sizeof entry);
    }
    return record;
}

NetbiosName address_as_name(const Ipv4Address &address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
    return make_name(text, ' ');
}

}  // namespace platform::nbt
