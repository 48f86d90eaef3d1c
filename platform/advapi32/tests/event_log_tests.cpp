// The event log written to a file, one line per event, and the errors of its calls.
#include "testing/temporary_prefix.h"

#include <windows.h>

#include <fstream>
#include <regex>

class EventLog : public platform::testing::PrefixTest {
protected:
    void SetUp() override { temporary_.write_config("[eventlog]\ntarget = file:events.log\n"); }
    std::string events() {
        std::ifstream file(prefix_ / "events.log");
        return std::string((std::istreambuf_iterator<char>(file)), {});
    }
};

TEST_F(EventLog, OneLinePerEventWithItsStringsEscapedAndInOrder) {
    HANDLE source = RegisterEventSourceA(nullptr, "Varnholtguard");
    ASSERT_NE(source, nullptr);
    LPCSTR strings[2] = {"Varnholtguard error: 1063", "StartServiceCtrlDispatcher failed."};
    LPCSTR odd[1] = {"tab\there\nand a line"};
    ASSERT_TRUE(ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 2, 0, strings, nullptr));
    ASSERT_TRUE(ReportEventA(source, EVENTLOG_WARNING_TYPE, 3, 42, nullptr, 1, 0, odd, nullptr));
    ASSERT_TRUE(ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 7, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_TRUE(DeregisterEventSource(source));
    std::regex expected(
        "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\tVarnholtguard\terror\t0\tVarnholtguard error: 1063\t"
        "StartServiceCtrlDispatcher failed\\.\n"
        "[^\t]+\tVarnholtguard\twarning\t42\ttab\\\\there\\\\nand a line\n"
        "[^\t]+\tVarnholtguard\tinformation\t7\n");
    EXPECT_TRUE(std::regex_match(events(), expected)) << events();
}

TEST_F(EventLog, BadArgumentsHandlesAndTargets) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(RegisterEventSourceA("\\\\elsewhere", "Varnholtguard"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)RPC_S_SERVER_UNAVAILABLE);
    HANDLE source = RegisterEventSourceA(nullptr, "Varnholtguard");
    LPCSTR strings[1] = {"x"};
    struct Case {
        WORD type;
        LPCSTR *strings;
        DWORD error;
    } cases[] = {{0x20, strings, ERROR_INVALID_PARAMETER}, {EVENTLOG_ERROR_TYPE, nullptr, ERROR_INVALID_PARAMETER}};
    for (auto &c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(ReportEventA(source, c.type, 0, 0, nullptr, 1, 0, c.strings, nullptr));
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_TRUE(DeregisterEventSource(source));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeregisterEventSource(source));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_EQ(events(), "");

    temporary_.write_config("[eventlog]\ntarget = file:no-such-folder/events.log\n");
    source = RegisterEventSourceA(nullptr, "Varnholtguard");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    DeregisterEventSource(source);
    temporary_.write_config("; the default target: syslog, which takes every record\n");
    source = RegisterEventSourceA(nullptr, "platform-conformance-test");
    EXPECT_TRUE(ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr));
    DeregisterEventSource(source);
}
