// The name service packets and the reply records built from them: name encoding, request layout, response
// parsing against captured and hostile datagrams (every read is bounds-checked), and the mapping into
// ADAPTER_STATUS, NAME_BUFFER and SESSION_BUFFER.
#include "name_service_packets.h"
#include "status_records.h"

#include <gtest/gtest.h>
#include <nb30.h>

#include <cstring>
#include <string>

namespace platform::nbt {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes hex(std::string_view text) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    return bytes;
}

const std::string wildcard_hex = "20434b41414141414141414141414141414141414141414141414141414141414100";
const std::string peerhost_hex = "20464145464546464345494550464446454341434143414341434143414341434100";

// Samba's nmbd answering a node status request (PEERHOST, workgroup TESTGRP): five names and a 46-byte
// statistics block of zeros.
const Bytes nmbd_node_status = hex("123484000000000100000000" + wildcard_hex + "00210001000000000089" + "05" +
                                   "50454552484f53542020202020202000"
                                   "0400"
                                   "50454552484f53542020202020202003"
                                   "0400"
                                   "50454552484f53542020202020202020"
                                   "0400"
                                   "54455354475250202020202020202000"
                                   "8400"
                                   "5445535447525020202020202020201e"
                                   "8400" +
                                   std::string(92, '0'));

// The same peer's positive answer to a broadcast name query for PEERHOST<20>: 10.213.7.2.
const Bytes nmbd_name_query = hex("123585800000000100000000" + peerhost_hex + "002000010003f48000060000" + "0ad50702");

// A WINS server's answer for a name it does not know: RCODE 3 and a NULL record without data.
const Bytes wins_negative =
    hex("220185830000000100000000"
        "20454f45504644464645444549454f4542454e454643414341434143414341434100"
        "000a0001000000000000");

Bytes with(Bytes bytes, std::size_t at, std::uint8_t value) {
    bytes.at(at) = value;
    return bytes;
}

ADAPTER_STATUS status_of(const Bytes &record) {
    ADAPTER_STATUS status{};
    EXPECT_GE(record.size(), sizeof status);
    std::memcpy(&status, record.data(), std::min(record.size(), sizeof status));
    return status;
}

NAME_BUFFER name_buffer_of(const Bytes &record, std::size_t index) {
    NAME_BUFFER entry{};
    std::memcpy(&entry, record.data() + sizeof(ADAPTER_STATUS) + index * sizeof entry, sizeof entry);
    return entry;
}

TEST(NameEncoding, KnownNamesEveryByteValueAndMalformedNames) {
    auto encoded = [](const NetbiosName &name) {
        auto bytes = encode_name(name);
        return Bytes(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(encoded(make_name("PEERHOST", 0x20)), hex(peerhost_hex));
    EXPECT_EQ(encoded(wildcard_name()), hex(wildcard_hex));
    for (int first = 0; first < 256; first += 16) {
        NetbiosName name;
        for (std::size_t i = 0; i < name.size(); ++i)
            name[i] = static_cast<std::uint8_t>(first + i);
        auto bytes = encode_name(name);
        ByteReader reader(bytes);
        EXPECT_EQ(read_encoded_name(reader), name);
        EXPECT_EQ(reader.remaining(), 0u);
    }
    Bytes good = hex(peerhost_hex);
    const struct {
        const char *what;
        Bytes bytes;
    } cases[] = {{"compression pointer", {0xC0, 0x0C}},
                 {"label of 31 letters", with(good, 0, 31)},
                 {"letter past P", with(good, 5, 'Q')},
                 {"letter before A", with(good, 5, '@')},
                 {"a scope label", with(good, 33, 3)},
                 {"empty", {}},
                 {"cut before the scope end", Bytes(good.begin(), good.end() - 1)},
                 {"cut inside the letters", Bytes(good.begin(), good.begin() + 20)}};
    for (auto &c : cases) {
        ByteReader reader(c.bytes);
        EXPECT_FALSE(read_encoded_name(reader)) << c.what;
    }
}

TEST(Requests, Layout) {
    EXPECT_EQ(build_name_query(0xBEEF, make_name("PEERHOST", 0x20), true),
              hex("beef01100001000000000000" + peerhost_hex + "00200001"));
    EXPECT_EQ(build_name_query(1, make_name("PEERHOST", 0x20), false),
              hex("000101000001000000000000" + peerhost_hex + "00200001"));
    EXPECT_EQ(build_node_status_request(0x1234), hex("123400000001000000000000" + wildcard_hex + "00210001"));
    EXPECT_EQ(transaction_id_of(nmbd_name_query), 0x1235);
    EXPECT_EQ(transaction_id_of(Bytes(nmbd_name_query.begin(), nmbd_name_query.begin() + 11)), std::nullopt);
}

TEST(NodeStatusParsing, CapturedResponse) {
    auto response = parse_node_status_response(nmbd_node_status);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->transaction_id, 0x1234);
    EXPECT_EQ(response->name, wildcard_name());
    ASSERT_EQ(response->names.size(), 5u);
    EXPECT_EQ(response->names[0].name, make_name("PEERHOST", 0x00));
    EXPECT_EQ(response->names[0].flags, 0x0400);
    EXPECT_EQ(response->names[4].name, make_name("TESTGRP", 0x1E));
    EXPECT_EQ(response->names[4].flags, 0x8400);
    EXPECT_EQ(response->statistics, Bytes(46, 0));

    for (std::size_t size = 0; size < nmbd_node_status.size(); ++size)
        EXPECT_FALSE(parse_node_status_response(std::span(nmbd_node_status).first(size))) << "cut at " << size;
}

TEST(NodeStatusParsing, HostileAndOtherPackets) {
    auto trailing = nmbd_node_status;
    trailing.push_back(0xFF);  // bytes after RDATA belong to nothing
    const struct {
        const char *what;
        Bytes packet;
        std::size_t names, statistics;  // names == 99: refused
    } cases[] = {{"NUM_NAMES beyond RDLENGTH", with(nmbd_node_status, 56, 10), 99, 0},
                 {"RDLENGTH past the datagram", with(nmbd_node_status, 55, 138), 99, 0},
                 {"RDLENGTH inside the fifth name", with(nmbd_node_status, 55, 1 + 4 * 18), 99, 0},
                 {"RDLENGTH ends at the last name", with(nmbd_node_status, 55, 1 + 5 * 18), 5, 0},
                 {"fewer names, more statistics", with(nmbd_node_status, 56, 4), 4, 64},
                 {"no names", with(nmbd_node_status, 56, 0), 0, 136},
                 {"trailing bytes", trailing, 5, 46},
                 {"a request, not a response", with(nmbd_node_status, 2, 0x04), 99, 0},
                 {"another opcode (WACK)", with(nmbd_node_status, 2, 0xBC), 99, 0},
                 {"an error rcode", with(nmbd_node_status, 3, 0x03), 99, 0},
                 {"no answer record", with(nmbd_node_status, 7, 0), 99, 0},
                 {"type NB instead of NBSTAT", with(nmbd_node_status, 47, 0x20), 99, 0},
                 {"class other than IN", with(nmbd_node_status, 49, 0x03), 99, 0},
                 {"compressed answer name", with(nmbd_node_status, 12, 0xC0), 99, 0}};
    for (auto &c : cases) {
        auto parsed = parse_node_status_response(c.packet);
        ASSERT_EQ(parsed.has_value(), c.names != 99) << c.what;
        if (parsed) {
            EXPECT_EQ(parsed->names.size(), c.names) << c.what;
            EXPECT_EQ(parsed->statistics.size(), c.statistics) << c.what;
        }
    }
}

TEST(NameQueryParsing, PositiveNegativeAndMalformed) {
    auto positive = parse_name_query_response(nmbd_name_query);
    ASSERT_TRUE(positive);
    EXPECT_EQ(positive->transaction_id, 0x1235);
    EXPECT_EQ(positive->rcode, 0);
    EXPECT_EQ(positive->name, make_name("PEERHOST", 0x20));
    EXPECT_EQ(positive->addresses, (std::vector<Ipv4Address>{{10, 213, 7, 2}}));
    for (std::size_t size = 0; size < nmbd_name_query.size(); ++size)
        EXPECT_FALSE(parse_name_query_response(std::span(nmbd_name_query).first(size))) << "cut at " << size;

    auto two = with(nmbd_name_query, 55, 12);
    two.insert(two.end(), {0x00, 0x00, 192, 0, 2, 7});
    auto cut = with(with(nmbd_name_query, 3, 0x83), 55, 0);  // RCODE 3, RDLENGTH 0
    cut.resize(56);
    auto no_record = with(with(nmbd_name_query, 3, 0x83), 7, 0);
    const struct {
        const char *what;
        Bytes packet;
        int rcode, addresses;  // rcode -1: refused
    } cases[] = {{"two addresses", two, 0, 2},
                 {"negative", cut, 3, 0},
                 {"negative without an answer record", no_record, 3, 0},
                 {"WINS negative with a NULL record", wins_negative, 3, 0},
                 {"positive with a NULL record", with(wins_negative, 3, 0x80), -1, 0},
                 {"positive without an answer record", with(nmbd_name_query, 7, 0), -1, 0},
                 {"an entry cut short", with(nmbd_name_query, 55, 5), -1, 0},
                 {"positive without data", with(cut, 3, 0x80), -1, 0},
                 {"type NBSTAT", with(nmbd_name_query, 47, 0x21), -1, 0},
                 {"class other than IN", with(nmbd_name_query, 49, 0x03), -1, 0},
                 {"a node status response", nmbd_node_status, -1, 0}};
    for (auto &c : cases) {
        auto parsed = parse_name_query_response(c.packet);
        ASSERT_EQ(parsed.has_value(), c.rcode >= 0) << c.what;
        if (parsed) {
            EXPECT_EQ(parsed->rcode, c.rcode) << c.what;
            EXPECT_EQ(parsed->addresses.size(), std::size_t(c.addresses)) << c.what;
        }
    }
    EXPECT_EQ(parse_name_query_response(wins_negative)->name, make_name("NOSUCHNAME", ' '));
    EXPECT_EQ(parse_name_query_response(two)->addresses[1], (Ipv4Address{192, 0, 2, 7}));
}

TEST(AdapterStatusMapping, RemoteStatisticsBlocksOfEverySize) {
    // A full block with a distinct value in every field, big-endian as sent.
    Bytes full =
        hex("00aa00123456"
            "0102"
            "0301"
            "000a"
            "000b000c000d"
            "000e"
            "80000001"
            "00010000"
            "00110012"
            "001300140015"
            "001600170018"
            "05dc");
    ASSERT_EQ(full.size(), full_statistics_size);
    for (std::size_t size : {0, 5, 6, 22, 45, 46, 50}) {
        SCOPED_TRACE(size);
        NodeStatusResponse response;
        response.names = {{make_name("A", 0x20), 0x0400}, {make_name("B", 0x1E), 0x8400}};
        response.statistics.assign(full.begin(), full.begin() + std::min(size, full.size()));
        response.statistics.resize(size, 0xEE);  // past 46: bytes that mean nothing
        auto record = remote_adapter_status(response);
        ASSERT_EQ(record.size(), sizeof(ADAPTER_STATUS) + 2 * sizeof(NAME_BUFFER));
        auto status = status_of(record);
        auto has = [&](std::size_t end) { return size >= end; };  // a field counts when the block holds all of it
        EXPECT_EQ(status.adapter_address[5], has(6) ? 0x56 : 0);
        EXPECT_EQ(status.rev_major, has(10) ? 3 : 0);
        EXPECT_EQ(status.rev_minor, has(10) ? 1 : 0);
        EXPECT_EQ(status.duration, has(12) ? 10 : 0);
        EXPECT_EQ(status.frmr_recv, 0);  // CRC errors are no frame rejects
        EXPECT_EQ(status.xmit_aborts, has(20) ? 14 : 0);
        EXPECT_EQ(status.xmit_success, has(24) ? 0x80000001u : 0u);
        EXPECT_EQ(status.recv_success, has(28) ? 0x00010000u : 0u);
        EXPECT_EQ(status.iframe_xmit_err, has(30) ? 0x11 : 0);
        EXPECT_EQ(status.recv_buff_unavail, has(32) ? 0x12 : 0);
        EXPECT_EQ(status.free_ncbs, has(34) ? 0x13 : 0);
        EXPECT_EQ(status.max_cfg_ncbs, has(36) ? 0x14 : 0);
        EXPECT_EQ(status.max_ncbs, has(38) ? 0x15 : 0);
        EXPECT_EQ(status.pending_sess, has(40) ? 0x16 : 0);
        EXPECT_EQ(status.max_cfg_sess, has(42) ? 0x17 : 0);
        EXPECT_EQ(status.max_sess, has(44) ? 0x18 : 0);
        EXPECT_EQ(status.max_sess_pkt_size, has(46) ? 1500 : 0);
        EXPECT_EQ(status.name_count, 2);
        EXPECT_EQ(name_buffer_of(record, 1).name_num, 2);  // numbered from 1 in reply order
        EXPECT_EQ(name_buffer_of(record, 1).name_flags, GROUP_NAME | REGISTERED);
        EXPECT_EQ(std::memcmp(name_buffer_of(record, 1).name, response.names[1].name.data(), NCBNAMSZ), 0);
    }
}

TEST(AdapterStatusMapping, NameFlags) {
    const struct {
        std::uint16_t nbt_flags;
        std::uint8_t expected;
    } cases[] = {{0x0400, UNIQUE_NAME | REGISTERED},     {0x8400, GROUP_NAME | REGISTERED},
                 {0x0000, UNIQUE_NAME | REGISTERED},     {0x1400, UNIQUE_NAME | DEREGISTERED},
                 {0x0C00, UNIQUE_NAME | DUPLICATE},      {0x1C00, UNIQUE_NAME | DUPLICATE_DEREG},
                 {0x9C00, GROUP_NAME | DUPLICATE_DEREG}, {0x8200, GROUP_NAME | REGISTERED},
                 {0x6400, UNIQUE_NAME | REGISTERED}};
    for (auto c : cases)
        EXPECT_EQ(name_buffer_flags(c.nbt_flags), c.expected) << std::hex << c.nbt_flags;
}

TEST(AdapterStatusMapping, LocalAdapterRecord) {
    std::vector<NodeName> names(255, {make_name("HOST", 0x20), 0x0400});
    names.back().flags = 0x9400;
    auto record = local_adapter_status({2, 0, 0, 0xAB, 0xCD, 0xEF}, {70000, 0xFFFFFFFF, 123456}, names);
    ASSERT_EQ(record.size(), sizeof(ADAPTER_STATUS) + 255 * sizeof(NAME_BUFFER));
    auto status = status_of(record);
    EXPECT_EQ(status.adapter_address[0], 2);
    EXPECT_EQ(status.adapter_address[5], 0xEF);
    EXPECT_EQ(status.xmit_success, 70000u);
    EXPECT_EQ(status.recv_success, 0xFFFFFFFFu);
    EXPECT_EQ(status.xmit_aborts, 65535);  // saturates rather than wraps
    EXPECT_EQ(status.frmr_recv + status.frmr_xmit + status.iframe_recv_err + status.t1_timeouts, 0);
    EXPECT_EQ(status.max_dgram_size, 512);
    EXPECT_EQ(status.name_count, 255);
    EXPECT_EQ(name_buffer_of(record, 254).name_flags, GROUP_NAME | DEREGISTERED);
    EXPECT_EQ(name_buffer_of(record, 254).name_num, 255);
}

TEST(SessionRecords, HeaderAndEntries) {
    std::vector<SessionEntry> sessions(300, {SESSION_ESTABLISHED, {10, 213, 7, 2}});
    sessions[1] = {HANGUP_PENDING, {192, 168, 100, 200}};
    auto server = make_name("HOST", 0x20);
    for (std::size_t count : {0, 2, 300}) {
        SCOPED_TRACE(count);
        std::size_t listed = std::min<std::size_t>(count, 255);  // num_sess is one byte
        auto record = session_status_record(3, server, std::span(sessions).first(count));
        ASSERT_EQ(record.size(), sizeof(SESSION_HEADER) + listed * sizeof(SESSION_BUFFER));
        SESSION_HEADER header;
        std::memcpy(&header, record.data(), sizeof header);
        EXPECT_EQ(header.sess_name, 3);
        EXPECT_EQ(header.num_sess, listed);
        if (count < 2)
            continue;
        SESSION_BUFFER second;
        std::memcpy(&second, record.data() + sizeof header + sizeof second, sizeof second);
        EXPECT_EQ(second.lsn, 2);
        EXPECT_EQ(second.state, HANGUP_PENDING);
        EXPECT_EQ(std::memcmp(second.local_name, server.data(), NCBNAMSZ), 0);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(second.remote_name), NCBNAMSZ), "192.168.100.200 ");
    }
}

}  // namespace
}  // namespace platform::nbt
