// One polling cycle's report from the largest replies the reply blocks hold: an adapter-status reply with 110
// names and a session-status reply with 56 sessions, all sections chosen, appended into a REPORTBUF with the
// trailer and completion. The replies are copied back in each iteration because the name table and session
// sections write into them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "viewer_harness.h"
#include "report_sections.h"

namespace {

std::vector<unsigned char> FullAdapterReply() {
    std::vector<unsigned char> reply(CB_STATUS_REPLY);
    auto *status = reinterpret_cast<ADAPTER_STATUS *>(reply.data());
    const UCHAR address[6] = {0x00, 0xAA, 0x00, 0x12, 0x34, 0x56};
    std::memcpy(status->adapter_address, address, 6);
    status->rev_major = 3;
    status->xmit_success = 0xFFFFFFFFu;
    status->recv_success = 123456;
    status->name_count = MAX_NAME_ENTRIES;
    auto *names = reinterpret_cast<NAME_BUFFER *>(status + 1);
    const UCHAR types[] = {0x00, 0x03, 0x05, 0x20, 0x1B};
    for (unsigned i = 0; i < MAX_NAME_ENTRIES; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "NODE%-11u", i);
        std::memcpy(names[i].name, name, 15);
        names[i].name[15] = types[i % 5];
        names[i].name_num = static_cast<UCHAR>(i + 1);
        names[i].name_flags = static_cast<UCHAR>((i % 2 ? 0x80 : 0) | (i % 8));
    }
    return reply;
}

std::vector<unsigned char> FullSessionReply() {
    std::vector<unsigned char> reply(CB_STATUS_REPLY);
    auto *header = reinterpret_cast<SESSION_HEADER *>(reply.data());
    header->sess_name = 1;
    header->num_sess = MAX_SESSION_ENTRIES;
    auto *sessions = reinterpret_cast<SESSION_BUFFER *>(header + 1);
    for (unsigned i = 0; i < MAX_SESSION_ENTRIES; ++i) {
        sessions[i].lsn = static_cast<UCHAR>(i + 1);
        sessions[i].state = static_cast<UCHAR>(i % 8);
        std::memcpy(sessions[i].local_name, "LOCALNODE      \x20", 16);
        std::memcpy(sessions[i].remote_name, "PEER\0\0\0\0\0\0\0\0\0\0\0\x03", 16);
    }
    return reply;
}

void BM_FullReport(benchmark::State &state) {
    tarvoke::testing::AttachedReport report(0, tarvoke::testing::FakeWindow(0x1234));
    const std::vector<unsigned char> adapter_reply = FullAdapterReply();
    const std::vector<unsigned char> session_reply = FullSessionReply();
    std::vector<unsigned char> adapter = adapter_reply;
    std::vector<unsigned char> sessions = session_reply;

    for (auto _ : state) {
        std::memcpy(adapter.data(), adapter_reply.data(), adapter.size());
        std::memcpy(sessions.data(), session_reply.data(), sessions.size());
        ResetReport(report.report());
        auto *status = reinterpret_cast<ADAPTER_STATUS *>(adapter.data());
        FormatAdapterErrors(0, status);
        FormatNameTable(0, status);
        FormatAdapterCapacity(0, status);
        FormatSessions(0, reinterpret_cast<SESSION_HEADER *>(sessions.data()));
        AppendReportTrailer(report.window());
        CompleteReport(report.report());
        benchmark::DoNotOptimize(report.report()->nLines);
    }
    // Lines offered per report: 14 + (4 + 7 x 110) + 17 + (8 + 10 x 56) + 5; the text area keeps those that fit.
    state.counters["lines_offered"] = 14 + (4 + 7 * MAX_NAME_ENTRIES) + 17 + (8 + 10 * MAX_SESSION_ENTRIES) + 5;
    state.counters["text_bytes_kept"] = static_cast<double>(report.text().size());
}
BENCHMARK(BM_FullReport);

// The same replies with the adapter's name table alone, whose lines all fit: the cost of lines that are kept.
void BM_NameTableOnly(benchmark::State &state) {
    tarvoke::testing::AttachedReport report(0, tarvoke::testing::FakeWindow(0x1234));
    const std::vector<unsigned char> adapter_reply = FullAdapterReply();
    std::vector<unsigned char> adapter = adapter_reply;
    auto *status = reinterpret_cast<ADAPTER_STATUS *>(adapter.data());
    status->name_count = 20;

    for (auto _ : state) {
        std::memcpy(adapter.data(), adapter_reply.data(), adapter.size());
        status->name_count = 20;
        ResetReport(report.report());
        FormatNameTable(0, status);
        benchmark::DoNotOptimize(report.report()->nLines);
    }
    state.counters["lines"] = static_cast<double>(report.report()->nLines);
}
BENCHMARK(BM_NameTableOnly);

}  // namespace
