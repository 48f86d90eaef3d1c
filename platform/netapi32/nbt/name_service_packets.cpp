#include "name_service_packets.h"

namespace platform::nbt {
namespace {

constexpr std::size_t header_size = 12;
constexpr std::uint16_t flag_response = 0x8000;
constexpr std::uint16_t flag_recursion_desired = 0x0100;
constexpr std::uint16_t flag_broadcast = 0x0010;
constexpr std::uint16_t opcode_query = 0;
constexpr std::uint16_t type_null = 0x000A;
constexpr std::uint16_t type_nb = 0x0020;
constexpr std::uint16_t type_nbstat = 0x0021;
constexpr std::uint16_t class_in = 0x0001;

void put16(std::vector<std::uint8_t> &out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

std::vector<std::uint8_t> build_question(std::uint16_t transaction_id, std::uint16_t flags, const NetbiosName &name,
                                         std::uint16_t type) {
    std::vector<std::uint8_t> packet;
    packet.reserve(header_size + encoded_name_size + 4);
    put16(packet, transaction_id);
    put16(packet, flags);
    put16(packet, 1);  // QDCOUNT
    put16(packet, 0);  // ANCOUNT
    put16(packet, 0);  // NSCOUNT
    put16(packet, 0);  // ARCOUNT
    auto encoded = encode_name(name);
    packet.insert(packet.end(), encoded.begin(), encoded.end());
    put16(packet, type);
    put16(packet, class_in);
    return packet;
}

struct Header {
    std::uint16_t transaction_id = 0, flags = 0, questions = 0, answers = 0;
};

// The header of a query response, with the reader placed on its first answer record. Question entries, which
// responses normally leave out, are skipped when present.
std::optional<Header> read_response_header(ByteReader &reader) {
    Header header;
    std::uint16_t authorities = 0, additionals = 0;
    if (!reader.u16(header.transaction_id) || !reader.u16(header.flags) || !reader.u16(header.questions) ||
        !reader.u16(header.answers) || !reader.u16(authorities) || !reader.u16(additionals))
        return std::nullopt;
    if (!(header.flags & flag_response) || ((header.flags >> 11) & 0x0F) != opcode_query)
        return std::nullopt;
    for (std::uint16_t i = 0; i < header.questions; ++i)
        if (!read_encoded_name(reader) || !reader.skip(4))
            return std::nullopt;
    return header;
}

struct ResourceRecord {
    NetbiosName name{};
    std::uint16_t type = 0, rr_class = 0;
    std::span<const std::uint8_t> data;
};

std::optional<ResourceRecord> read_resource_record(ByteReader &reader) {
    ResourceRecord record;
    auto name = read_encoded_name(reader);
    std::uint32_t ttl = 0;
    std::uint16_t length = 0;
    if (!name || !reader.u16(record.type) || !reader.u16(record.rr_class) || !reader.u32(ttl) || !reader.u16(length))
        return std::nullopt;
    if (!reader.take(length, record.data))  // RDLENGTH beyond the datagram
        return std::nullopt;
    record.name = *name;
    return record;
}

}  // namespace

std::vector<std::uint8_t> build_name_query(std::uint16_t transaction_id, const NetbiosName &name, bool broadcast) {
    std::uint16_t flags = flag_recursion_desired | (broadcast ? flag_broadcast : 0);
    return build_question(transaction_id, flags, name, type_nb);
}

std::vector<std::uint8_t> build_node_status_request(std::uint16_t transaction_id) {
    return build_question(transaction_id, 0, wildcard_name(), type_nbstat);
}

std::optional<std::uint16_t> transaction_id_of(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < header_size)
        return std::nullopt;
    return static_cast<std::uint16_t>(datagram[0] << 8 | datagram[1]);
}

std::optional<NameQueryResponse> parse_name_query_response(std::span<const std::uint8_t> datagram) {
    ByteReader reader(datagram);
    auto header = read_response_header(reader);
    if (!header)
        return std::nullopt;
    NameQueryResponse response;
    response.transaction_id = header->transaction_id;
    response.rcode = static_cast<std::uint8_t>(header->flags & 0x0F);
    if (header->answers == 0)
        return response.rcode != 0 ? std::optional(response) : std::nullopt;

    auto record = read_resource_record(reader);
    if (!record || record->rr_class != class_in)
        return std::nullopt;
    // A negative answer may carry the NULL type and no data instead of NB.
    if (record->type != type_nb && !(response.rcode != 0 && record->type == type_null))
        return std::nullopt;
    response.name = record->name;
    if (response.rcode != 0)
        return response;
    // RDATA is a list of 6-byte entries: NB_FLAGS and NB_ADDRESS.
    if (record->data.empty() || record->data.size() % 6 != 0)
        return std::nullopt;
    for (std::size_t at = 0; at < record->data.size(); at += 6)
        response.addresses.push_back(
            {record->data[at + 2], record->data[at + 3], record->data[at + 4], record->data[at + 5]});
    return response;
}

std::optional<NodeStatusResponse> parse_node_status_response(std::span<const std::uint8_t> datagram) {
    ByteReader reader(datagram);
    auto header = read_response_header(reader);
    if (!header || (header->flags & 0x0F) != 0 || header->answers == 0)
        return std::nullopt;
    auto record = read_resource_record(reader);
    if (!record || record->type != type_nbstat || record->rr_class != class_in)
        return std::nullopt;

    NodeStatusResponse response;
    response.transaction_id = header->transaction_id;
    response.name = record->name;
    ByteReader data(record->data);
    std::uint8_t count = 0;
    if (!data.u8(count) || data.remaining() < count * node_name_entry_size)  // NUM_NAMES beyond RDLENGTH
        return std::nullopt;
    response.names.resize(count);
    for (auto &entry : response.names) {
        std::span<const std::uint8_t> name;
        data.take(entry.name.size(), name);
        std::copy(name.begin(), name.end(), entry.name.begin());
        data.u16(entry.flags);
    }
    std::span<const std::uint8_t> statistics;
    data.take(data.remaining(), statistics);
    response.statistics.assign(statistics.begin(), statistics.end());
    return response;
}

}  // namespace platform::nbt
