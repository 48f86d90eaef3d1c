// What the service's black-box tests share: a fresh platform prefix whose floppy drives are files of the
// test and whose event log is a file, the installed service, and ways to talk to it as servicectl, as a
// pipe client and as another user.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vessamir_test {

namespace fs = std::filesystem;

inline constexpr const char *pipe_name = "\\\\.\\pipe\\sd_flppy";
inline constexpr const char *service_name = "Varnholtguard";

struct CommandResult {
    int exit_status = -1;
    std::string output;  // standard output and standard error together
};

// Runs a shell command; the prefix of the test is in its environment.
CommandResult run(const std::string &command);
std::string quoted(const std::string &text);
std::string read_file(const fs::path &path);

// One exchange through CallNamedPipeA: the reply's bytes as received (empty with `error` set on failure).
std::string exchange(const std::string &request, DWORD *error = nullptr);
// The reply text: the bytes up to the first NUL.
std::string text_of(const std::string &reply);

// One event of the file event log: source, type, id, then the insertion strings (the time is left out).
using Event = std::vector<std::string>;

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // platform.conf's [accounts] section; tests may change it before start().
    std::string accounts = "Administrators = root\nPower Users = nogroup\n";

    void write_configuration();
    // Points a DOS drive ("a:", "b:") at a path of the test.
    void point_drive(const std::string &drive, const fs::path &target);
    fs::path drive_file(const std::string &drive) const { return prefix / ("floppy-" + drive.substr(0, 1)); }

    CommandResult servicectl(const std::string &arguments);
    // Starts the service and expects it running.
    void start_running();
    // The state number servicectl printed ("state: 4 RUNNING" gives 4), 0 when none.
    static DWORD printed_state(const CommandResult &result);
    static DWORD printed_exit_code(const CommandResult &result);

    std::string log_text() const { return read_file(prefix / "drive_c" / "vessamir.out"); }
    std::vector<Event> events() const;
    std::string acl_of(const fs::path &path);

    fs::path prefix;
};

// Access tests run clients as other users; they need root.
bool running_as_root();

}  // namespace vessamir_test
