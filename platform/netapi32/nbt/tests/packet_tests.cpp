// The name service packets and the reply records built from them: encoding, request layout, response parsing
// against real and hostile datagrams, and the mapping into ADAPTER_STATUS and NAME_BUFFER.
#include "name_service_packets.h"
#include "status_records.h"
#include "response_builder.h"

#include <gtest/gtest.h>
#include <nb30.h>

#include <cstring>
#include <string>

namespace platform::nbt {
namespace {

// A node status response from Samba's nmbd (netbios name PEERHOST, workgroup TESTGRP), captured from the
// test peer: five names, and a 46-byte statistics block that is all zeros.
const std::vector<std::uint8_t> nmbd_node_status = [] {
    const char *hex =
        "12348400000000010000000020434b41414141414141414141414141414141414141414141414141414141414100002100010000"
        "000000890550454552484f53542020202020202000040050454552484f53542020202020202003040050454552484f5354202020"
        "202020202004005445535447525020202020202020200084005445535447525020202020202020201e8400000000000000000000"
        "00000000000000000000000000000000000000000000000000000000000000000000000000";
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; hex[i] && hex[i + 1]; i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex + i, 2), nullptr, 16)));
    return bytes;
}();

// The same peer's positive answer to a broadcast name query for PEERHOST<20>: 10.213.7.2.
const std::vector<std::uint8_t> nmbd_name_query = {
    0x12, 0x35, 0x85, 0x80, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x20, 'F',  'A',  'E',
    'F',  'E',  'F',  'F',  'C',  'E',  'I',  'E',  'P',  'F',  'D',  'F',  'E',  'C',  'A',  'C',
    'A',  'C',  'A',  'C',  'A',  'C',  'A',  'C',  'A',  'C',  'A',  'C',  'A',  0x00, 0x00, 0x20,
    0x00, 0x01, 0x00, 0x03, 0xf4, 0x80, 0x00, 0x06, 0x00, 0x00, 0x0a, 0xd5, 0x07, 0x02};

ADAPTER_STATUS status_of(const std::vector<std::uint8_t> &record) {
    ADAPTER_STATUS status{};
    EXPECT_GE(record.size(), sizeof status);
    std::memcpy(&status, record.data(), std::min(record.size(), sizeof status));
    return status;
}

NAME_BUFFER name_buffer_of(const std::vector<std::uint8_t> &record, std::size_t index) {
    NAME_BUFFER entry{};
    std::memcpy(&entry, record.data() + sizeof(ADAPTER_STATUS) + index * sizeof entry, sizeof entry);
    return entry;
}

TEST(NameEncoding, FirstLevelEncodingOfKnownNames) {
    auto fred = encode_name(make_name("FRED", ' '));
    EXPECT_EQ(std::string(fred.begin() + 1, fred.begin() + 33), "EGFCEFEECACACACACACACACACACACACA");
    EXPECT_EQ(fred[0], 32);
    EXPECT_EQ(fred[33], 0);
    auto wildcard = encode_name(wildcard_name());
    EXPECT_EQ(std::string(wildcard.begin() + 1, wildcard.begin() + 33), "CKAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
}

TEST(NameEncoding, RoundTripsEveryByteValue) {
    for (int first = 0; first < 256; first += 16) {
        NetbiosName name;
        for (std::size_t i = 0; i < name.size(); ++i)
            name[i] = static_cast<std::uint8_t>(first + i);
        auto encoded = encode_name(name);
        ByteReader reader(encoded);
        auto decoded = read_encoded_name(reader);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(*decoded, name);
        EXPECT_EQ(reader.remaining(), 0u);
    }
}

TEST(NameEncoding, RefusesMalformedNames) {
    auto good = encode_name(make_name("PEER", 0x20));
    struct Case {
        const char *what;
        std::vector<std::uint8_t> bytes;
    };
    auto with = [&](std::size_t at, std::uint8_t value) {
        std::vector<std::uint8_t> bytes(good.begin(), good.end());
        bytes[at] = value;
        return bytes;
    };
    std::vector<Case> cases = {
        {"compression pointer", {0xC0, 0x0C}},
        {"label of 31 letters", with(0, 31)},
        {"letter past P", with(5, 'Q')},
        {"lower-case letter", with(5, 'a')},
        {"a scope label", with(33, 3)},
        {"empty", {}},
        {"cut before the scope end", std::vector<std::uint8_t>(good.begin(), good.end() - 1)},
        {"cut inside the letters", std::vector<std::uint8_t>(good.begin(), good.begin() + 20)},
    };
    for (auto &c : cases) {
        ByteReader reader(c.bytes);
        EXPECT_FALSE(read_encoded_name(reader)) << c.what;
    }
}

TEST(Requests, NameQueryAndNodeStatusLayout) {
    auto query = build_name_query(0xBEEF, make_name("PEERHOST", 0x20), true);
    ASSERT_EQ(query.size(), 50u);
    EXPECT_EQ(std::vector<std::uint8_t>(query.begin(), query.begin() + 12),
              (std::vector<std::uint8_t>{0xBE, 0xEF, 0x01, 0x10, 0, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(std::vector<std::uint8_t>(query.end() - 4, query.end()), (std::vector<std::uint8_t>{0, 0x20, 0, 1}));
    auto unicast = build_name_query(1, make_name("PEERHOST", 0x20), false);
    EXPECT_EQ(unicast[2], 0x01);
    EXPECT_EQ(unicast[3], 0x00);

    auto status = build_node_status_request(0x1234);
    ASSERT_EQ(status.size(), 50u);
    EXPECT_EQ(status[2], 0);
    EXPECT_EQ(status[3], 0);
    EXPECT_EQ(status[13], 'C');
    EXPECT_EQ(status[14], 'K');
    EXPECT_EQ(std::vector<std::uint8_t>(status.end() - 4, status.end()), (std::vector<std::uint8_t>{0, 0x21, 0, 1}));
}

TEST(NodeStatusParsing, RealPeerResponse) {
    auto response = parse_node_status_response(nmbd_node_status);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->transaction_id, 0x1234);
    EXPECT_EQ(response->name, wildcard_name());
    ASSERT_EQ(response->names.size(), 5u);
    EXPECT_EQ(response->names[0].name, make_name("PEERHOST", 0x00));
    EXPECT_EQ(response->names[0].flags, 0x0400);
    EXPECT_EQ(response->names[4].name, make_name("TESTGRP", 0x1E));
    EXPECT_EQ(response->names[4].flags, 0x8400);
    EXPECT_EQ(response->statistics, std::vector<std::uint8_t>(46, 0));
}

TEST(NodeStatusParsing, EveryCutOfTheRealResponseIsRefused) {
    for (std::size_t size = 0; size < nmbd_node_status.size(); ++size)
        EXPECT_FALSE(parse_node_status_response(std::span(nmbd_node_status).first(size))) << "cut at " << size;
}

TEST(NodeStatusParsing, CountsAndLengthsThatDisagreeAreRefused) {
    auto overstated = nmbd_node_status;
    overstated[56] = 10;  // NUM_NAMES: 10 names need 181 bytes of the 137 RDLENGTH gives
    EXPECT_FALSE(parse_node_status_response(overstated));

    auto beyond = nmbd_node_status;
    beyond[55] = 138;  // RDLENGTH one past the datagram's end
    EXPECT_FALSE(parse_node_status_response(beyond));

    auto names_past_rdata = nmbd_node_status;
    names_past_rdata[55] = 1 + 4 * 18;  // RDLENGTH ends inside the fifth name
    EXPECT_FALSE(parse_node_status_response(names_past_rdata));

    auto trailing = nmbd_node_status;
    trailing.push_back(0xFF);  // bytes after RDATA belong to nothing and change nothing
    auto parsed = parse_node_status_response(trailing);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->statistics.size(), 46u);
}

TEST(NodeStatusParsing, RefusesOtherPackets) {
    struct Case {
        const char *what;
        std::size_t at;
        std::uint8_t value;
    };
    for (auto c : std::vector<Case>{{"a request, not a response", 2, 0x04},
                                    {"another opcode (WACK)", 2, 0xBC},
                                    {"an error rcode", 3, 0x03},
                                    {"no answer record", 7, 0},
                                    {"type NB instead of NBSTAT", 47, 0x20},
                                    {"class other than IN", 49, 0x03},
                                    {"compressed answer name", 12, 0xC0}}) {
        auto packet = nmbd_node_status;
        packet[c.at] = c.value;
        EXPECT_FALSE(parse_node_status_response(packet)) << c.what;
    }
}

TEST(NodeStatusParsing, NoNamesAndTheLargestCount) {
    for (std::size_t count : {0u, 255u}) {
        std::vector<NodeName> names(count);
        for (std::size_t i = 0; i < count; ++i)
            names[i] = {make_name("N" + std::to_string(i), 0x20), static_cast<std::uint16_t>(i % 2 ? 0x8400 : 0x0400)};
        auto packet = build_node_status_response(7, names, std::vector<std::uint8_t>(46, 0));
        auto response = parse_node_status_response(packet);
        ASSERT_TRUE(response) << count;
        ASSERT_EQ(response->names.size(), count);
        auto record = remote_adapter_status(*response);
        ASSERT_EQ(record.size(), sizeof(ADAPTER_STATUS) + count * sizeof(NAME_BUFFER));
        EXPECT_EQ(status_of(record).name_count, count);
        if (count) {
            auto last = name_buffer_of(record, count - 1);
            EXPECT_EQ(last.name_num, 255);  // numbered from 1 in reply order
            EXPECT_EQ(std::memcmp(last.name, names.back().name.data(), NCBNAMSZ), 0);
            EXPECT_EQ(name_buffer_of(record, 0).name_num, 1);
            EXPECT_EQ(name_buffer_of(record, 1).name_flags, GROUP_NAME | REGISTERED);
        }
    }
}

TEST(AdapterStatusMapping, StatisticsBlocksOfEverySize) {
    // A full block with a distinct value in every field, big-endian as sent.
    std::vector<std::uint8_t> full = {0x00, 0xAA, 0x00, 0x12, 0x34, 0x56,  // UNIT_ID
                                      0x01, 0x02,                          // JUMPERS, TEST_RESULT
                                      0x03, 0x01,                          // VERSION_NUMBER 3.1
                                      0x00, 0x0A,                          // PERIOD_OF_STATISTICS
                                      0x00, 0x0B, 0x00, 0x0C, 0x00, 0x0D,  // CRCs, alignment, collisions
                                      0x00, 0x0E,                          // SEND_ABORTS
                                      0x80, 0x00, 0x00, 0x01,              // GOOD_SENDS
                                      0x00, 0x01, 0x00, 0x00,              // GOOD_RECEIVES
                                      0x00, 0x11, 0x00, 0x12,              // RETRANSMITS, NO_RESOURCE
                                      0x00, 0x13, 0x00, 0x14, 0x00, 0x15,  // command blocks
                                      0x00, 0x16, 0x00, 0x17, 0x00, 0x18,  // sessions
                                      0x05, 0xDC};                         // SESSION_DATA_PACKET_SIZE
    ASSERT_EQ(full.size(), full_statistics_size);

    struct Case {
        std::size_t size;
        bool has_unit_id, has_counters;
    };
    for (auto c : std::vector<Case>{{0, false, false}, {6, true, false}, {46, true, true}, {50, true, true}}) {
        NodeStatusResponse response;
        response.statistics.assign(full.begin(), full.begin() + std::min(c.size, full.size()));
        response.statistics.resize(c.size, 0xEE);  // 50: four extra bytes that mean nothing
        auto status = status_of(remote_adapter_status(response));
        SCOPED_TRACE(c.size);
        EXPECT_EQ(status.adapter_address[1], c.has_unit_id ? 0xAA : 0);
        EXPECT_EQ(status.adapter_address[5], c.has_unit_id ? 0x56 : 0);
        EXPECT_EQ(status.rev_major, c.has_counters ? 3 : 0);
        EXPECT_EQ(status.rev_minor, c.has_counters ? 1 : 0);
        EXPECT_EQ(status.duration, c.has_counters ? 10 : 0);
        EXPECT_EQ(status.frmr_recv, 0);  // CRC errors are no frame rejects
        EXPECT_EQ(status.xmit_aborts, c.has_counters ? 14 : 0);
        EXPECT_EQ(status.xmit_success, c.has_counters ? 0x80000001u : 0u);
        EXPECT_EQ(status.recv_success, c.has_counters ? 0x00010000u : 0u);
        EXPECT_EQ(status.iframe_xmit_err, c.has_counters ? 0x11 : 0);
        EXPECT_EQ(status.recv_buff_unavail, c.has_counters ? 0x12 : 0);
        EXPECT_EQ(status.free_ncbs, c.has_counters ? 0x13 : 0);
        EXPECT_EQ(status.max_ncbs, c.has_counters ? 0x15 : 0);
        EXPECT_EQ(status.max_sess, c.has_counters ? 0x18 : 0);
        EXPECT_EQ(status.max_sess_pkt_size, c.has_counters ? 1500 : 0);
        EXPECT_EQ(status.name_count, 0);
    }

    // A block that stops inside GOOD_SENDS keeps what came before and zeros the rest.
    NodeStatusResponse cut;
    cut.statistics.assign(full.begin(), full.begin() + 22);
    auto status = status_of(remote_adapter_status(cut));
    EXPECT_EQ(status.xmit_aborts, 14);
    EXPECT_EQ(status.xmit_success, 0u);
}

TEST(AdapterStatusMapping, NameFlagTable) {
    struct Case {
        std::uint16_t nbt_flags;
        std::uint8_t expected;
    };
    for (auto c : std::vector<Case>{
             {0x0400, UNIQUE_NAME | REGISTERED},
             {0x8400, GROUP_NAME | REGISTERED},
             {0x0000, UNIQUE_NAME | REGISTERED},  // ACT clear alone says nothing of the state
             {0x1400, UNIQUE_NAME | DEREGISTERED},
             {0x0C00, UNIQUE_NAME | DUPLICATE},
             {0x1C00, UNIQUE_NAME | DUPLICATE_DEREG},
             {0x9C00, GROUP_NAME | DUPLICATE_DEREG},
             {0x8200, GROUP_NAME | REGISTERED},  // PRM and the owner type do not show
             {0x6400, UNIQUE_NAME | REGISTERED},
         }) {
        EXPECT_EQ(name_buffer_flags(c.nbt_flags), c.expected) << std::hex << c.nbt_flags;
    }
}

TEST(AdapterStatusMapping, LocalAdapterRecord) {
    std::vector<NodeName> names = {{make_name("HOST", 0x20), 0x0400}, {make_name("GROUP", 0x00), 0x9400}};
    auto record = local_adapter_status({2, 0, 0, 0xAB, 0xCD, 0xEF}, {70000, 0xFFFFFFFF, 123456}, names);
    ASSERT_EQ(record.size(), sizeof(ADAPTER_STATUS) + 2 * sizeof(NAME_BUFFER));
    auto status = status_of(record);
    EXPECT_EQ(status.adapter_address[0], 2);
    EXPECT_EQ(status.adapter_address[5], 0xEF);
    EXPECT_EQ(status.xmit_success, 70000u);
    EXPECT_EQ(status.recv_success, 0xFFFFFFFFu);
    EXPECT_EQ(status.xmit_aborts, 65535);  // saturates rather than wraps
    EXPECT_EQ(status.frmr_recv + status.frmr_xmit + status.iframe_recv_err + status.t1_timeouts, 0);
    EXPECT_EQ(status.max_dgram_size, 512);
    EXPECT_EQ(status.name_count, 2);
    EXPECT_EQ(name_buffer_of(record, 1).name_flags, GROUP_NAME | DEREGISTERED);
    EXPECT_EQ(name_buffer_of(record, 1).name_num, 2);
}

TEST(NameQueryParsing, PositiveNegativeAndMalformed) {
    auto positive = parse_name_query_response(nmbd_name_query);
    ASSERT_TRUE(positive);
    EXPECT_EQ(positive->transaction_id, 0x1235);
    EXPECT_EQ(positive->rcode, 0);
    EXPECT_EQ(positive->name, make_name("PEERHOST", 0x20));
    ASSERT_EQ(positive->addresses.size(), 1u);
    EXPECT_EQ(positive->addresses[0], (Ipv4Address{10, 213, 7, 2}));

    for (std::size_t size = 0; size < nmbd_name_query.size(); ++size)
        EXPECT_FALSE(parse_name_query_response(std::span(nmbd_name_query).first(size))) << "cut at " << size;

    auto negative = nmbd_name_query;
    negative[3] = 0x83;  // RCODE 3: name error
    negative[55] = 0;    // RDLENGTH 0
    negative.resize(56);
    auto parsed = parse_name_query_response(negative);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->rcode, 3);
    EXPECT_TRUE(parsed->addresses.empty());

    // A WINS server's answer for a name it does not know: RCODE 3 and a NULL record without data.
    const std::vector<std::uint8_t> wins_negative = {
        0x22, 0x01, 0x85, 0x83, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x20, 'E',  'O',  'E',  'P',  'F', 'D',
        'F',  'F',  'E',  'D',  'E',  'I',  'E',  'O',  'E',  'B',  'E',  'N',  'E',  'F',  'C',  'A',  'C',  'A', 'C',
        'A',  'C',  'A',  'C',  'A',  'C',  'A',  0x00, 0x00, 0x0a, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    auto not_known = parse_name_query_response(wins_negative);
    ASSERT_TRUE(not_known);
    EXPECT_EQ(not_known->rcode, 3);
    EXPECT_EQ(not_known->name, make_name("NOSUCHNAME", ' '));
    auto null_positive = wins_negative;
    null_positive[3] = 0x80;  // a NULL record is no positive answer
    EXPECT_FALSE(parse_name_query_response(null_positive));

    auto odd_length = nmbd_name_query;
    odd_length[55] = 5;
    EXPECT_FALSE(parse_name_query_response(odd_length));
    auto empty_positive = nmbd_name_query;
    empty_positive[55] = 0;
    empty_positive.resize(56);
    EXPECT_FALSE(parse_name_query_response(empty_positive));
    auto status_type = nmbd_name_query;
    status_type[47] = 0x21;
    EXPECT_FALSE(parse_name_query_response(status_type));
    EXPECT_FALSE(parse_name_query_response(nmbd_node_status));
}

TEST(SessionRecords, HeaderAndEntries) {
    std::vector<SessionEntry> sessions = {{SESSION_ESTABLISHED, {10, 213, 7, 2}},
                                          {HANGUP_PENDING, {192, 168, 100, 200}}};
    auto server = make_name("HOST", 0x20);
    auto record = session_status_record(3, server, sessions);
    ASSERT_EQ(record.size(), sizeof(SESSION_HEADER) + 2 * sizeof(SESSION_BUFFER));
    SESSION_HEADER header;
    std::memcpy(&header, record.data(), sizeof header);
    EXPECT_EQ(header.sess_name, 3);
    EXPECT_EQ(header.num_sess, 2);
    EXPECT_EQ(header.rcv_dg_outstanding, 0);
    SESSION_BUFFER second;
    std::memcpy(&second, record.data() + sizeof header + sizeof second, sizeof second);
    EXPECT_EQ(second.lsn, 2);
    EXPECT_EQ(second.state, HANGUP_PENDING);
    EXPECT_EQ(std::memcmp(second.local_name, server.data(), NCBNAMSZ), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(second.remote_name), NCBNAMSZ), "192.168.100.200 ");

    auto none = session_status_record(1, server, {});
    EXPECT_EQ(none.size(), sizeof(SESSION_HEADER));
}

}  // namespace
}  // namespace platform::nbt
