// Conformance tests of the service calls as far as they run without installing a service (the dispatcher
// refuses a process that no service manager started), and of the event log the service reports to.
#include "conformance.h"

#include <tuple>

namespace {

using namespace conformance;

VOID WINAPI NeverRuns(DWORD, LPSTR *) {}
VOID WINAPI NoControls(DWORD) {}

TEST(ServiceConformance, AProcessNoServiceManagerStartedIsNoService) {
    SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, SERVICE_ACCEPT_STOP, NO_ERROR, 0, 0, 0};
    EXPECT_FAILS(!SetServiceStatus(NULL, &status), ERROR_INVALID_HANDLE);
    SetLastError(kSentinel);
    SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerA("ConformanceService", NoControls);
    // That service manager also ends, at times, a process that asks it for a dispatcher it did not start.
    SKIP_KNOWN_DIFFERENCE(!handle && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST,
                          "a handler for a service this process does not run is refused with another error");
    EXPECT_EQ(handle, (SERVICE_STATUS_HANDLE)NULL);
    EXPECT_LAST_ERROR(ERROR_SERVICE_NOT_IN_EXE);
    SERVICE_TABLE_ENTRYA table[] = {{(LPSTR) "ConformanceService", NeverRuns}, {NULL, NULL}};
    EXPECT_FAILS(!StartServiceCtrlDispatcherA(table), ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
}

TEST(EventLogConformance, ReportsThroughARegisteredSourceAndNotAfterItIsDeregistered) {
    HANDLE source = RegisterEventSourceA(NULL, "ConformanceTests");
    ASSERT_NE(source, (HANDLE)NULL) << GetLastError();
    LPCSTR strings[2] = {"Varnholtguard error: 1063", "StartServiceCtrlDispatcher failed."};
    const std::tuple<WORD, DWORD, WORD, LPCSTR *> events[] = {// type, event id, number of strings, strings
                                                              {EVENTLOG_ERROR_TYPE, 0, 2, strings},
                                                              {EVENTLOG_WARNING_TYPE, 42, 1, strings},
                                                              {EVENTLOG_INFORMATION_TYPE, 7, 0, NULL}};
    for (auto [type, id, count, texts] : events) {
        SetLastError(kSentinel);
        EXPECT_TRUE(ReportEventA(source, type, 0, id, NULL, count, 0, texts, NULL)) << id;
        EXPECT_LAST_ERROR(kSentinel) << id;
    }
    SetLastError(kSentinel);
    EXPECT_TRUE(DeregisterEventSource(source));
    EXPECT_LAST_ERROR(kSentinel);
    for (HANDLE bad : {(HANDLE)NULL, source}) {
        SetLastError(kSentinel);
        BOOL reported = ReportEventA(bad, EVENTLOG_ERROR_TYPE, 0, 0, NULL, 1, 0, strings, NULL);
        SKIP_KNOWN_DIFFERENCE(reported, "the event log takes a handle that names no source");
        EXPECT_FALSE(reported);
        EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
        EXPECT_FAILS(!DeregisterEventSource(bad), ERROR_INVALID_HANDLE);
    }
}

}  // namespace
