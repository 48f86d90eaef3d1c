// The event log written to a file, one line per event, and the errors of its calls.
#include "testing/temporary_prefix.h"

#include <windows.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <regex>

// Each test reports through one source, registered before its target is chosen: the target is read per event.
class EventLog : public platform::testing::PrefixTest {
protected:
    void SetUp() override { temporary_.write_config("[eventlog]\ntarget = file:events.log\n"); }
    void TearDown() override { EXPECT_TRUE(DeregisterEventSource(source_)); }
    std::string read(const char *name) const {
        std::ifstream file(prefix_ / name);
        return std::string((std::istreambuf_iterator<char>(file)), {});
    }
    HANDLE source_ = RegisterEventSourceA(nullptr, "Varnholtguard");
    LPCSTR strings_[2] = {"Varnholtguard error: 1063", "StartServiceCtrlDispatcher failed."};
};

// Calls with bad arguments or handles write nothing; good ones write a line each to a file, or a record each to
// the system log's socket, which is the target when none is set.
TEST_F(EventLog, OneLineOrRecordPerEventWithItsStringsEscapedAndNoneForBadCalls) {
    LPCSTR odd[1] = {"tab\there\nand a line"};
    const std::tuple<WORD, DWORD, WORD, LPCSTR *, DWORD> cases[] = {
        // type, event id, number of strings, strings, error (a handle of no source: service_conformance_tests.cpp)
        {0x20, 0, 1, strings_, ERROR_INVALID_PARAMETER},
        {EVENTLOG_ERROR_TYPE, 0, 1, nullptr, ERROR_INVALID_PARAMETER},
        {EVENTLOG_ERROR_TYPE, 0, 2, strings_, ERROR_SUCCESS},
        {EVENTLOG_WARNING_TYPE, 42, 1, odd, ERROR_SUCCESS},
        {EVENTLOG_INFORMATION_TYPE, 7, 0, nullptr, ERROR_SUCCESS}};
    for (auto [type, id, count, texts, error] : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(ReportEventA(source_, type, 0, id, nullptr, count, 0, texts, nullptr), !error);
        EXPECT_EQ(GetLastError(), error ? error : 0xdeadbeef);
    }
    std::regex expected(
        "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\tVarnholtguard\terror\t0\t"
        "Varnholtguard error: 1063\tStartServiceCtrlDispatcher failed\\.\n"
        "[^\t]+\tVarnholtguard\twarning\t42\ttab\\\\there\\\\nand a line\n"
        "[^\t]+\tVarnholtguard\tinformation\t7\n");
    sockaddr_un address{AF_UNIX, {}};
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (prefix_ / "log").c_str());
    int log = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(bind(log, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    temporary_.write_config(std::string("[eventlog]\nsyslog_socket = ") + address.sun_path + "\n");
    ASSERT_TRUE(ReportEventA(source_, EVENTLOG_ERROR_TYPE, 0, 7, nullptr, 2, 0, strings_, nullptr));
    char record[512] = {};
    recv(log, record, sizeof record - 1, MSG_DONTWAIT);  // sent before ReportEventA returned
    close(log);
    EXPECT_TRUE(std::regex_match(
        record,
        std::regex("<27>[A-Z][a-z]{2} [ 0-9]\\d \\d\\d:\\d\\d:\\d\\d Varnholtguard\\[" + std::to_string(getpid()) +
                   "\\]: event 7: Varnholtguard error: 1063 \\| "
                   "StartServiceCtrlDispatcher failed\\.")))
        << record;
    EXPECT_TRUE(std::regex_match(read("events.log"), expected)) << read("events.log");
    EXPECT_EQ(RegisterEventSourceA("\\\\elsewhere", "Varnholtguard"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)RPC_S_SERVER_UNAVAILABLE);
}

// A target that cannot take events sends them to standard error, and says why there once per target.
TEST_F(EventLog, EventsABadTargetCannotTakeGoToStandardError) {
    std::string no_log = (folder_ / "no-such-log").string();
    const std::pair<std::string, std::string> cases[] = {
        // [eventlog] settings, why
        {"target = file:no-such/events.log",
         "no-such/events.log: No such file or directory; events go to standard error\n"},
        {"target = journal",
         "[eventlog] target \"journal\" is neither syslog nor file:PATH; events go to standard error\n"},
        {"target = syslog\nsyslog_socket = " + no_log,
         "no system log at " + no_log + ": No such file or directory; events go to standard error\n"}};
    LPCSTR strings[1] = {"lost?"};
    for (auto &[settings, why] : cases) {
        temporary_.write_config("[eventlog]\n" + settings + "\n");
        fflush(stderr);
        int saved = dup(STDERR_FILENO), captured = open((prefix_ / "stderr").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        dup2(captured, STDERR_FILENO);
        BOOL first = ReportEventA(source_, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
        BOOL second = ReportEventA(source_, EVENTLOG_WARNING_TYPE, 0, 2, nullptr, 1, 0, strings, nullptr);
        dup2(saved, STDERR_FILENO);
        close(saved);
        close(captured);
        EXPECT_TRUE(first && second) << settings;
        std::string text = read("stderr");
        std::regex expected("event log: [^\n]*" + std::regex_replace(why, std::regex(R"([\[\].])"), R"(\$&)") +
                            "[^\t]+\tVarnholtguard\terror\t1\tlost\\?\n[^\t]+\tVarnholtguard\twarning\t2\tlost\\?\n");
        EXPECT_TRUE(std::regex_match(text, expected)) << text;
    }
}
