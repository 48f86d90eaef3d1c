// servicectl's side of the service manager: registrations, starting a service's program, sending controls
// to its dispatcher and reading its status. Every operation answers with a Win32 error code.
#pragma once

#include "advapi32/service_registry.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace platform::servicectl {

struct Outcome {
    DWORD error = ERROR_SUCCESS;
    services::StatusRecord record;  // the status to show, when there is one
    bool has_record = false;
    std::string detail;  // what failed or was refused, when more can be said than the error's text
};

class ServiceController {
public:
    explicit ServiceController(std::string name);

    Outcome create(const std::filesystem::path &program) const;
    Outcome remove() const;
    // Starts the program and waits until the service runs or has stopped.
    Outcome start() const;
    // Sends a control; a stop then waits until the service has stopped.
    Outcome control(DWORD control) const;
    // Stops the service when it runs, then starts it.
    Outcome restart() const;
    Outcome query() const;

private:
    // The recorded status, corrected for a process that ended without saying so.
    std::optional<services::StatusRecord> current_status() const;
    bool wait_for_state(pid_t child, bool stop, services::StatusRecord &record) const;

    std::string name_;
    services::ServiceFiles files_;
};

// A registered service: its name as the registration's file names it (lower case), its program (or why the
// registration is refused) and its status.
struct ServiceEntry {
    std::string name;
    std::string program;
    services::StatusRecord record;
};
std::vector<ServiceEntry> list_services();

// The system's text for an error, on one line.
std::string error_text(DWORD error);

}  // namespace platform::servicectl
