// servicectl: a service manager for service programs on this platform.
//   servicectl create NAME PROGRAM | delete NAME | start NAME | stop NAME | pause NAME | continue NAME
//              | interrogate NAME | query NAME
// Exit status 0 when the command did what it says, 1 when it failed, 2 on bad usage.
#include "service_controller.h"

#include <cstdio>
#include <cstring>
#include <string_view>

using namespace platform;

namespace {

void print_status(const std::string &name, const services::StatusRecord &record) {
    const SERVICE_STATUS &s = record.status;
    std::printf("%s: %s\n", name.c_str(), services::state_name(s.dwCurrentState).c_str());
    std::printf("  state: %u %s\n", s.dwCurrentState, services::state_name(s.dwCurrentState).c_str());
    std::printf("  accepted controls: 0x%x %s\n", s.dwControlsAccepted,
                services::accepted_controls_text(s.dwControlsAccepted).c_str());
    std::printf("  exit code: %u\n", s.dwWin32ExitCode);
    std::printf("  service exit code: %u\n", s.dwServiceSpecificExitCode);
    std::printf("  checkpoint: %u\n", s.dwCheckPoint);
    std::printf("  wait hint: %u ms\n", s.dwWaitHint);
    if (record.pid != 0 && s.dwCurrentState != SERVICE_STOPPED)
        std::printf("  pid: %d\n", static_cast<int>(record.pid));
    std::fflush(stdout);
}

int usage() {
    std::fprintf(stderr,
                 "usage: servicectl create NAME PROGRAM\n"
                 "       servicectl delete|start|stop|pause|continue|interrogate|query NAME\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3)
        return usage();
    std::string_view command = argv[1];
    std::string name = argv[2];
    servicectl::ServiceController controller(name);
    servicectl::Outcome outcome;
    if (command == "create" && argc == 4)
        outcome = controller.create(argv[3]);
    else if (argc != 3)
        return usage();
    else if (command == "delete")
        outcome = controller.remove();
    else if (command == "start")
        outcome = controller.start();
    else if (command == "stop")
        outcome = controller.control(SERVICE_CONTROL_STOP);
    else if (command == "pause")
        outcome = controller.control(SERVICE_CONTROL_PAUSE);
    else if (command == "continue")
        outcome = controller.control(SERVICE_CONTROL_CONTINUE);
    else if (command == "interrogate")
        outcome = controller.control(SERVICE_CONTROL_INTERROGATE);
    else if (command == "query")
        outcome = controller.query();
    else
        return usage();

    if (outcome.has_record)
        print_status(name, outcome.record);
    if (outcome.error != ERROR_SUCCESS) {
        std::fprintf(stderr, "servicectl: %s %s: error %u: %s%s%s\n", argv[1], name.c_str(), outcome.error,
                     servicectl::error_text(outcome.error).c_str(), outcome.reason.empty() ? "" : ": ",
                     outcome.reason.c_str());
        return 1;
    }
    // A start that ended with the service stopped did not start it.
    if (command == "start" && outcome.record.status.dwCurrentState == SERVICE_STOPPED)
        return 1;
    return 0;
}
