// What the service's black-box tests share: a fresh prefix whose floppy drives are files of the test and
// whose event log is a file, the installed service, servicectl and a pipe client.
#pragma once

#include <windows.h>

#include "testing/temporary_prefix.h"

#include <string>
#include <vector>

namespace vessamir_test {

namespace fs = std::filesystem;
inline constexpr const char *pipe_name = "\\\\.\\pipe\\sd_flppy";

struct CommandResult {
    int exit_status = -1;
    std::string output;  // standard output and standard error together
    // The number after `label` in the output ("state" in "  state: 4 RUNNING" gives 4), 0 when none.
    DWORD printed(const std::string &label) const;
};
CommandResult run(const std::string &command);
// One exchange through CallNamedPipeA: the reply's bytes (empty with `error` set on failure).
std::string exchange(const std::string &request, DWORD *error = nullptr);
std::string text_of(const std::string &reply);  // the bytes up to the first NUL
// Waits (at most a minute) for the process to end; true when it has.
bool process_ends(pid_t pid);

class ServiceTest : public platform::testing::PrefixTest {
protected:
    // Skips unless this user is in a group the locked pipe admits; registers the service over two drive files.
    void SetUp() override;
    // Stops the service and expects its process to end.
    void TearDown() override;

    void write_configuration(const std::string &accounts = "Administrators = root\nPower Users = nogroup\n");
    fs::path drive_file(const std::string &drive) const { return folder_ / ("floppy-" + drive.substr(0, 1)); }
    // A path under a plain file: no DACL can be written there, and the drive is not simply absent.
    fs::path unwritable_path() const;
    // servicectl with a command for the service: "stop" runs "servicectl stop Varnholtguard".
    CommandResult servicectl(const std::string &command);
    void start_running();

    std::string log_text() const;
    // The event log's lines as fields (source, type, id, strings), without the time.
    std::vector<std::vector<std::string>> events() const;
    std::string acl_of(const std::string &drive) const;
    // Whether the drive's ACL gives the group read and write (as the owning group's entry when it owns it).
    bool grants(const std::string &drive, const std::string &group) const;

    pid_t pid_ = 0;  // the service's process, once started
};

}  // namespace vessamir_test
