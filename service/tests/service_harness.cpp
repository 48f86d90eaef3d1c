#include "service_harness.h"

#include "testing/temporary_prefix.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vessamir_test {

CommandResult run(const std::string &command) {
    CommandResult result;
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    size_t size;
    while ((size = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, size);
    int status = pclose(pipe);
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string quoted(const std::string &text) {
    std::string result = "'";
    for (char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

std::string read_file(const fs::path &path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string exchange(const std::string &request, DWORD *error) {
    char reply[1024];
    DWORD received = 0;
    std::string copy = request;
    SetLastError(0);
    if (!CallNamedPipeA(pipe_name, copy.data(), static_cast<DWORD>(copy.size()), reply, sizeof reply, &received,
                        NMPWAIT_WAIT_FOREVER)) {
        if (error)
            *error = GetLastError();
        return {};
    }
    if (error)
        *error = ERROR_SUCCESS;
    return std::string(reply, received);
}

std::string text_of(const std::string &reply) {
    return reply.substr(0, reply.find('\0'));
}

bool running_as_root() {
    return geteuid() == 0;
}

void ServiceTest::SetUp() {
    char pattern[] = "/tmp/vessamir-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    prefix = pattern;
    // Other users' clients must reach the pipe folder and the tools.
    chmod(prefix.c_str(), 0755);
    setenv("PLATFORM_PREFIX", prefix.c_str(), 1);
    fs::create_directories(prefix / "dosdevices");
    fs::create_directories(prefix / "drive_c");
    for (auto drive : {"a:", "b:"}) {
        std::ofstream(drive_file(drive)) << "diskette " << drive << "\n";
        chmod(drive_file(drive).c_str(), 0644);
        point_drive(drive, drive_file(drive));
    }
    write_configuration();
    platform::testing::reload_prefix();
    auto created = servicectl(std::string("create ") + service_name + " " + VESSAMIR_PATH);
    ASSERT_EQ(created.exit_status, 0) << created.output;
}

void ServiceTest::TearDown() {
    servicectl(std::string("stop ") + service_name);
    std::error_code error;
    fs::remove_all(prefix, error);
    unsetenv("PLATFORM_PREFIX");
    platform::testing::reload_prefix();
}

void ServiceTest::write_configuration() {
    std::ofstream conf(prefix / "platform.conf", std::ios::trunc);
    conf << "[eventlog]\ntarget = file:events.log\n\n[accounts]\n" << accounts;
}

void ServiceTest::point_drive(const std::string &drive, const fs::path &target) {
    fs::path link = prefix / "dosdevices" / drive;
    std::error_code error;
    fs::remove(link, error);
    fs::create_symlink(target, link);
}

CommandResult ServiceTest::servicectl(const std::string &arguments) {
    return run(std::string(SERVICECTL_PATH) + " " + arguments);
}

void ServiceTest::start_running() {
    auto started = servicectl(std::string("start ") + service_name);
    ASSERT_EQ(started.exit_status, 0) << started.output;
    ASSERT_EQ(printed_state(started), (DWORD)SERVICE_RUNNING) << started.output;
}

static DWORD printed_number(const CommandResult &result, const std::string &label) {
    auto at = result.output.find(label);
    if (at == std::string::npos)
        return 0;
    return static_cast<DWORD>(std::strtoul(result.output.c_str() + at + label.size(), nullptr, 10));
}

DWORD ServiceTest::printed_state(const CommandResult &result) {
    return printed_number(result, "  state: ");
}

DWORD ServiceTest::printed_exit_code(const CommandResult &result) {
    return printed_number(result, "  exit code: ");
}

std::vector<Event> ServiceTest::events() const {
    std::vector<Event> result;
    std::istringstream lines(read_file(prefix / "events.log"));
    std::string line;
    while (std::getline(lines, line)) {
        Event fields;
        std::istringstream parts(line);
        std::string field;
        while (std::getline(parts, field, '\t'))
            fields.push_back(field);
        if (!fields.empty())
            fields.erase(fields.begin());  // the time
        result.push_back(fields);
    }
    return result;
}

std::string ServiceTest::acl_of(const fs::path &path) {
    return run("getfacl --omit-header --absolute-names " + quoted(path.string())).output;
}

bool ServiceTest::acl_grants_group(const fs::path &path, const std::string &group) {
    struct stat info {};
    struct group *entry = getgrnam(group.c_str());
    if (stat(path.c_str(), &info) != 0 || !entry)
        return false;
    std::string wanted = info.st_gid == entry->gr_gid ? "group::rw" : "group:" + group + ":rw";
    return acl_of(path).find(wanted) != std::string::npos;
}

}  // namespace vessamir_test
