// What servicectl and a running service share through the prefix's services/ folder: the registration of
// a service, its latest status (so that a query needs no running process), its control socket and the
// record exchanged over that socket.
#pragma once

#include <windows.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform::services {

// Set by servicectl in the environment of the program it starts: the name it started it as.
inline constexpr const char *service_name_variable = "PLATFORM_SERVICE_NAME";

// A service's latest status as the service manager knows it.
struct StatusRecord {
    SERVICE_STATUS status{};
    pid_t pid = 0;  // 0 until the service's dispatcher has connected
    // When that process started (clock ticks after boot, as /proc gives it), so that a later process that
    // happens to get the same pid is not taken for it; 0 when not known.
    unsigned long long start_time = 0;
};

// When the process started, in clock ticks after boot; nothing when there is no such process.
std::optional<unsigned long long> process_start_time(pid_t pid);

// One control request and its answer on the control socket (SOCK_SEQPACKET, one message each way).
struct ControlRequest {
    uint32_t control;
};
struct ControlReply {
    uint32_t error;  // 0 when the control was delivered, else a Win32 error code
    SERVICE_STATUS status;
};

// Service names compare without regard to case; a name is valid when it is non-empty, at most 256
// characters and holds no slash, backslash or control character.
bool valid_service_name(std::string_view name);

class ServiceFiles {
public:
    explicit ServiceFiles(std::string_view name);

    std::filesystem::path registration() const { return folder_ / (key_ + ".conf"); }
    std::filesystem::path status() const { return folder_ / (key_ + ".status"); }
    std::filesystem::path control_socket() const { return folder_ / (key_ + ".ctl"); }
    std::filesystem::path output_log() const { return folder_ / (key_ + ".log"); }

    // The program registered for the service; nothing when it is not registered, or when the registration is
    // not a regular file of the prefix's owner (or root) that only its owner may write: then `refusal` (when
    // given) says so. Registrations and status files are made with mode 0600 whatever the umask.
    std::optional<std::filesystem::path> read_registration(std::string *refusal = nullptr) const;
    bool write_registration(const std::filesystem::path &program) const;

    std::optional<StatusRecord> read_status() const;
    // Replaces the status file in one step, so that a reader never sees half a record. On failure `why`,
    // when given, says what failed.
    bool write_status(const StatusRecord &record, std::string *why = nullptr) const;

private:
    std::filesystem::path folder_;
    std::string key_;
};

// Names for reports: "RUNNING", "STOP PAUSE_CONTINUE".
std::string state_name(DWORD state);
std::string accepted_controls_text(DWORD accepted);

}  // namespace platform::services
