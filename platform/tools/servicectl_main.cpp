// servicectl: a service manager for service programs on this platform.
#include "service_controller.h"
#include "service_events.h"

#include "advapi32/service_registry.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string_view>

using namespace platform;

namespace {

constexpr std::size_t status_event_count = 5;

const char usage_text[] =
    "Usage: servicectl create NAME PROGRAM\n"
    "       servicectl start|stop|restart|pause|continue|interrogate|query|status|delete NAME\n"
    "       servicectl list\n"
    "       servicectl --help\n";

const char help_text[] =
    "Manages the services of the platform prefix: registers a service program under a name, starts it,\n"
    "sends it controls and shows its status.\n"
    "\n"
    "Commands:\n"
    "  create NAME PROGRAM  register PROGRAM (an executable file) as the service NAME\n"
    "  delete NAME          remove the registration\n"
    "  start NAME           start the program and wait until the service runs or has stopped\n"
    "  stop NAME            ask the service to stop and wait until its process has ended\n"
    "  restart NAME         stop the service when it runs, then start it\n"
    "  pause NAME           ask the service to pause\n"
    "  continue NAME        ask a paused service to continue\n"
    "  interrogate NAME     ask the service to report its status again\n"
    "  query NAME           show the service's status\n"
    "  status NAME          the status, the registered program and the service's latest events\n"
    "  list                 every registered service with its state, process id and program\n"
    "\n"
    "Service names ignore case. Exit status: 0 when the command did what it says, 1 when it failed (the\n"
    "reason is printed on standard error), 2 on bad usage.\n"
    "\n"
    "Environment:\n"
    "  PLATFORM_PREFIX  the platform prefix whose services are meant (default ~/.platform, or\n"
    "                   /var/lib/platform for root without a home); registrations are in its services/\n"
    "                   folder, each service's own output in services/NAME.log\n"
    "\n"
    "Example:\n"
    "  servicectl create Varnholtguard /usr/bin/vessamir && servicectl start Varnholtguard\n";

int usage_error(const std::string &why) {
    std::fprintf(stderr, "servicectl: %s\n%s", why.c_str(), usage_text);
    return 2;
}

void print_status(const std::string &name, const services::StatusRecord &record) {
    const SERVICE_STATUS &s = record.status;
    std::printf("%s: %s\n", name.c_str(), services::state_name(s.dwCurrentState).c_str());
    std::printf("  state: %lu %s\n", static_cast<unsigned long>(s.dwCurrentState),
                services::state_name(s.dwCurrentState).c_str());
    std::printf("  accepted controls: 0x%lx %s\n", static_cast<unsigned long>(s.dwControlsAccepted),
                services::accepted_controls_text(s.dwControlsAccepted).c_str());
    std::printf("  exit code: %lu\n", static_cast<unsigned long>(s.dwWin32ExitCode));
    std::printf("  service exit code: %lu\n", static_cast<unsigned long>(s.dwServiceSpecificExitCode));
    std::printf("  checkpoint: %lu\n", static_cast<unsigned long>(s.dwCheckPoint));
    std::printf("  wait hint: %lu ms\n", static_cast<unsigned long>(s.dwWaitHint));
    if (record.pid != 0 && s.dwCurrentState != SERVICE_STOPPED)
        std::printf("  pid: %d\n", static_cast<int>(record.pid));
    std::fflush(stdout);
}

// The status, then what query leaves out: the program and the latest events.
void print_details(const std::string &name, const services::StatusRecord &record) {
    print_status(name, record);
    services::ServiceFiles files(name);
    std::string refusal;
    auto program = files.read_registration(&refusal);
    std::printf("  program: %s\n", program ? program->c_str() : refusal.c_str());
    std::printf("  output: %s\n", files.output_log().c_str());
    auto events = servicectl::recent_events(name, files.output_log(), status_event_count);
    std::printf("  events (%s):%s\n", events.where.c_str(), events.lines.empty() ? " none" : "");
    for (auto &line : events.lines)
        std::printf("    %s\n", line.c_str());
    std::fflush(stdout);
}

int list() {
    auto entries = servicectl::list_services();
    if (entries.empty()) {
        std::printf("no services are registered\n");
        return 0;
    }
    std::printf("%-24s %-16s %-8s %s\n", "NAME", "STATE", "PID", "PROGRAM");
    for (auto &entry : entries) {
        DWORD state = entry.record.status.dwCurrentState;
        std::string pid = entry.record.pid != 0 && state != SERVICE_STOPPED ? std::to_string(entry.record.pid) : "-";
        std::printf("%-24s %-16s %-8s %s\n", entry.name.c_str(), services::state_name(state).c_str(), pid.c_str(),
                    entry.program.c_str());
    }
    return 0;
}

// What to do next, for the failures where the error's text alone leaves a user guessing.
std::string hint(DWORD error, const std::string &name) {
    switch (error) {
        case ERROR_SERVICE_DOES_NOT_EXIST:
            return "servicectl list shows the services of this prefix; is PLATFORM_PREFIX the one it was created in?";
        case ERROR_SERVICE_NOT_ACTIVE:
            return "servicectl start " + name + " starts it";
        case ERROR_SERVICE_REQUEST_TIMEOUT:
        case ERROR_PROCESS_ABORTED:
            return "the service's own output is in " + services::ServiceFiles(name).output_log().string();
        default:
            return {};
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("%s\n%s", usage_text, help_text);
        return 0;
    }
    if (argc < 2)
        return usage_error("a command is needed");
    std::string_view command = argv[1];
    if (command == "list")
        return argc == 2 ? list() : usage_error("list takes no arguments");

    using servicectl::Outcome;
    using servicectl::ServiceController;
    const std::map<std::string_view, std::function<Outcome(const ServiceController &)>> one_name_commands = {
        {"delete", [](auto &c) { return c.remove(); }},
        {"start", [](auto &c) { return c.start(); }},
        {"stop", [](auto &c) { return c.control(SERVICE_CONTROL_STOP); }},
        {"restart", [](auto &c) { return c.restart(); }},
        {"pause", [](auto &c) { return c.control(SERVICE_CONTROL_PAUSE); }},
        {"continue", [](auto &c) { return c.control(SERVICE_CONTROL_CONTINUE); }},
        {"interrogate", [](auto &c) { return c.control(SERVICE_CONTROL_INTERROGATE); }},
        {"query", [](auto &c) { return c.query(); }},
        {"status", [](auto &c) { return c.query(); }},
    };
    Outcome outcome;
    auto found = one_name_commands.find(command);
    if (command == "create") {
        if (argc != 4)
            return usage_error("create takes a service name and a program");
        outcome = ServiceController(argv[2]).create(argv[3]);
    } else if (found != one_name_commands.end()) {
        if (argc != 3)
            return usage_error(std::string(command) + " takes one service name");
        outcome = found->second(ServiceController(argv[2]));
    } else {
        return usage_error("unknown command " + std::string(command));
    }

    std::string name = argv[2];
    if (outcome.has_record && command == "status" && outcome.error == ERROR_SUCCESS)
        print_details(name, outcome.record);
    else if (outcome.has_record)
        print_status(name, outcome.record);
    if (outcome.error != ERROR_SUCCESS) {
        std::fprintf(stderr, "servicectl: %s %s: %s (error %lu)%s%s\n", argv[1], name.c_str(),
                     servicectl::error_text(outcome.error).c_str(), static_cast<unsigned long>(outcome.error),
                     outcome.detail.empty() ? "" : ": ", outcome.detail.c_str());
        if (auto next = hint(outcome.error, name); !next.empty())
            std::fprintf(stderr, "servicectl: %s\n", next.c_str());
        return 1;
    }
    // A start that ended with the service stopped did not start it.
    if ((command == "start" || command == "restart") && outcome.record.status.dwCurrentState == SERVICE_STOPPED) {
        std::fprintf(stderr, "servicectl: %s %s: the service stopped at once (exit code %lu)\n", argv[1], name.c_str(),
                     static_cast<unsigned long>(outcome.record.status.dwWin32ExitCode));
        if (auto next = hint(ERROR_PROCESS_ABORTED, name); !next.empty())
            std::fprintf(stderr, "servicectl: %s\n", next.c_str());
        return 1;
    }
    return 0;
}
