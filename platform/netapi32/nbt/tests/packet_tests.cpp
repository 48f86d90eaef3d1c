// Name service packets and the reply records built from them: request layout, parsing of captured and hostile
// datagrams (every read is bounds-checked), and the mapping into ADAPTER_STATUS and SESSION_HEADER.
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

// Samba's nmbd answering a node status request (PEERHOST, workgroup TESTGRP): five names, 46 zero statistics.
const Bytes nmbd_node_status = hex("123484000000000100000000" + wildcard_hex + "0021000100000000008905" +
                                   "50454552484f53542020202020202000040050454552484f53542020202020202003" +
                                   "040050454552484f5354202020202020202004005445535447525020202020202020" +
                                   "2000840054455354475250202020202020202" + "01e8400" + std::string(92, '0'));

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

TEST(NameEncoding, MalformedNames) {
    Bytes good = hex(peerhost_hex);
    const struct {
        const char *what;
        Bytes bytes;
    } cases[] = {{"compression pointer", {0xC0, 0x0C}},
                 {"label of 31 letters", with(good, 0, 31)},
                 {"letter past P", with(good, 5, 'Q')},
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

TEST(NodeStatusParsing, CapturedHostileAndOtherPackets) {
    auto response = parse_node_status_response(nmbd_node_status);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->transaction_id, 0x1234);
    EXPECT_EQ(response->statistics, Bytes(46, 0));
    EXPECT_EQ(response->names.at(4).name, make_name("TESTGRP", 0x1E));
    for (std::size_t size = 0; size < nmbd_node_status.size(); ++size)
        EXPECT_FALSE(parse_node_status_response(std::span(nmbd_node_status).first(size))) << "cut at " << size;

    auto trailing = nmbd_node_status;
    trailing.push_back(0xFF);                    // bytes after RDATA belong to nothing
    auto echoed = with(nmbd_node_status, 5, 1);  // QDCOUNT 1: the question comes back ahead of the answer
    echoed.insert(echoed.begin() + 12, nmbd_node_status.begin() + 12, nmbd_node_status.begin() + 50);
    const struct {
        const char *what;
        Bytes packet;
        std::size_t names, statistics;  // names == 99: refused
    } cases[] = {{"NUM_NAMES beyond RDLENGTH", with(nmbd_node_status, 56, 10), 99, 0},
                 {"RDLENGTH past the datagram", with(nmbd_node_status, 55, 138), 99, 0},
                 {"RDLENGTH ends at the last name", with(nmbd_node_status, 55, 1 + 5 * 18), 5, 0},
                 {"no names", with(nmbd_node_status, 56, 0), 0, 136},
                 {"trailing bytes", trailing, 5, 46},
                 {"a question echoed", echoed, 5, 46},
                 {"a question counted but missing", with(nmbd_node_status, 5, 1), 99, 0},
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
    two.insert(two.end(), {0x00, 0x00, 192, 0, 2, 7});       // a second address
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

// The counters of a record, in ADAPTER_STATUS order.
std::vector<unsigned> counters(const ADAPTER_STATUS &s) {
    return {s.adapter_address[0], s.adapter_address[5], s.rev_major,         s.rev_minor,    s.duration,
            s.frmr_recv,          s.xmit_aborts,        s.xmit_success,      s.recv_success, s.iframe_xmit_err,
            s.recv_buff_unavail,  s.free_ncbs,          s.max_cfg_ncbs,      s.max_ncbs,     s.pending_sess,
            s.max_cfg_sess,       s.max_sess,           s.max_sess_pkt_size, s.name_count};
}

TEST(AdapterStatusMapping, RemoteStatisticsBlocksOfEverySize) {
    // Distinct big-endian values; a field counts when the block holds all of it; CRC errors are no frame rejects.
    Bytes full =
        hex("aa0000123456010203010a0a000b000c000d000e800000010001000000110012001300140015001600170018"
            "05dc");
    const std::vector<unsigned> values = {0xaa, 0x56, 3,    1,    0x0a0a, 0,    14,   0x80000001, 0x10000, 0x11,
                                          0x12, 0x13, 0x14, 0x15, 0x16,   0x17, 0x18, 1500,       4};
    const std::vector<std::size_t> ends = {6, 6, 10, 10, 12, 99, 20, 24, 28, 30, 32, 34, 36, 38, 40, 42, 44, 46, 0};
    for (std::size_t size : {0, 5, 6, 22, 45, 46, 50}) {
        NodeStatusResponse response;
        // NAME_FLAGS: G, DRG and CNF show as the group bit and the state; PRM and the owner type do not show.
        response.names = {{make_name("A", 0x20), 0x0400},
                          {make_name("B", 0x1E), 0x9C00},
                          {make_name("C", 0), 0x1600},
                          {make_name("D", 0), 0x6C00}};
        response.statistics.assign(full.begin(), full.begin() + std::min(size, full.size()));
        response.statistics.resize(size, 0xEE);  // past 46: bytes that mean nothing
        auto record = remote_adapter_status(response);
        ASSERT_EQ(record.size(), sizeof(ADAPTER_STATUS) + 4 * sizeof(NAME_BUFFER));
        std::vector<unsigned> expected(values.size());
        for (std::size_t i = 0; i < values.size(); i++)
            expected[i] = size >= ends[i] ? values[i] : 0;
        ADAPTER_STATUS status;
        std::memcpy(&status, record.data(), sizeof status);
        EXPECT_EQ(counters(status), expected) << size;
        const UCHAR flags[] = {REGISTERED, GROUP_NAME | DUPLICATE_DEREG, DEREGISTERED, DUPLICATE};
        for (std::size_t i = 0; i < 4; i++) {  // numbered from 1 in reply order
            NAME_BUFFER entry;
            std::memcpy(&entry, record.data() + sizeof status + i * sizeof entry, sizeof entry);
            EXPECT_EQ(std::make_tuple(entry.name_num, entry.name_flags), std::make_tuple(UCHAR(i + 1), flags[i]));
            EXPECT_EQ(std::memcmp(entry.name, response.names[i].name.data(), NCBNAMSZ), 0);
        }
    }
}

TEST(SessionRecords, AtMost255Sessions) {
    std::vector<SessionEntry> sessions(300, {SESSION_ESTABLISHED, {10, 213, 7, 2}});
    for (std::size_t count : {0, 255, 300}) {
        auto record = session_status_record(3, make_name("HOST", 0x20), std::span(sessions).first(count));
        std::size_t listed = std::min<std::size_t>(count, 255);  // num_sess is one byte
        ASSERT_EQ(record.size(), sizeof(SESSION_HEADER) + listed * sizeof(SESSION_BUFFER));
        EXPECT_EQ(Bytes(record.begin(), record.begin() + 2), (Bytes{3, std::uint8_t(listed)}));
    }
}

}  // namespace
}  // namespace platform::nbt
