#include "service_harness.h"

#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace vessamir_test {

DWORD CommandResult::printed(const std::string &label) const {
    auto at = output.find("  " + label + ": ");
    return at == std::string::npos ? 0 : std::strtoul(output.c_str() + at + label.size() + 4, nullptr, 10);
}

CommandResult run(const std::string &command) {
    CommandResult result;
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    for (size_t size; pipe && (size = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.output.append(buffer, size);
    int status = pipe ? pclose(pipe) : -1;
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

static std::string read_file(const fs::path &path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), {});
}

std::string exchange(const std::string &request, DWORD *error) {
    char reply[1024];
    DWORD received = 0;
    std::string copy = request;
    BOOL done = CallNamedPipeA(pipe_name, copy.data(), static_cast<DWORD>(copy.size()), reply, sizeof reply, &received,
                               NMPWAIT_WAIT_FOREVER);
    if (error)
        *error = done ? ERROR_SUCCESS : GetLastError();
    return done ? std::string(reply, received) : std::string();
}

std::string text_of(const std::string &reply) {
    return reply.substr(0, reply.find('\0'));
}

bool process_ends(pid_t pid) {
    int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0)
        return errno == ESRCH;
    pollfd ended{fd, POLLIN, 0};
    bool result = poll(&ended, 1, 60000) == 1;
    close(fd);
    return result;
}

void ServiceTest::SetUp() {
    gid_t groups[256];
    int count = getgroups(255, groups);
    groups[count < 0 ? 0 : count] = getegid();
    bool admitted = false;
    for (int i = 0; i <= count; ++i)
        admitted |= groups[i] == 0 || (getgrnam("nogroup") && getgrnam("nogroup")->gr_gid == groups[i]);
    if (!admitted)
        GTEST_SKIP() << "the pipe admits only the groups root and nogroup, and this user is in neither";
    for (auto drive : {"a:", "b:"}) {
        std::ofstream(drive_file(drive)) << "diskette " << drive << "\n";
        chmod(drive_file(drive).c_str(), 0644);
        point_device(drive, drive_file(drive));
    }
    write_configuration();
    auto created = run(std::string(SERVICECTL_PATH) + " create Varnholtguard " + VESSAMIR_PATH);
    ASSERT_EQ(created.exit_status, 0) << created.output;
}

void ServiceTest::TearDown() {
    if (!IsSkipped())
        servicectl("stop");
    EXPECT_TRUE(pid_ == 0 || process_ends(pid_)) << "the service's process " << pid_ << " is still running";
}

void ServiceTest::write_configuration(const std::string &accounts) {
    temporary_.write_config("[eventlog]\ntarget = file:events.log\n\n[accounts]\n" + accounts);
}

fs::path ServiceTest::unwritable_path() const {
    std::ofstream(folder_ / "plain-file") << "x";
    return folder_ / "plain-file" / "drive";
}

CommandResult ServiceTest::servicectl(const std::string &command) {
    auto result = run(std::string(SERVICECTL_PATH) + " " + command + " Varnholtguard");
    pid_ = result.printed("pid") ? static_cast<pid_t>(result.printed("pid")) : pid_;
    return result;
}

void ServiceTest::start_running() {
    auto started = servicectl("start");
    ASSERT_EQ(started.exit_status, 0) << started.output;
    ASSERT_EQ(started.printed("state"), (DWORD)SERVICE_RUNNING) << started.output;
}

std::string ServiceTest::log_text() const {
    return read_file(prefix_ / "drive_c" / "vessamir.out");
}

std::vector<std::vector<std::string>> ServiceTest::events() const {
    std::vector<std::vector<std::string>> result;
    std::istringstream lines(read_file(prefix_ / "events.log"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream parts(line.substr(line.find('\t') + 1));
        result.emplace_back();
        for (std::string field; std::getline(parts, field, '\t');)
            result.back().push_back(field);
    }
    return result;
}

std::string ServiceTest::acl_of(const std::string &drive) const {
    return run("getfacl --omit-header --absolute-names '" + drive_file(drive).string() + "'").output;
}

bool ServiceTest::grants(const std::string &drive, const std::string &group) const {
    struct stat info {};
    struct group *entry = getgrnam(group.c_str());
    if (stat(drive_file(drive).c_str(), &info) != 0 || !entry)
        return false;
    std::string wanted = info.st_gid == entry->gr_gid ? "group::rw" : "group:" + group + ":rw";
    return acl_of(drive).find(wanted) != std::string::npos;
}

}  // namespace vessamir_test
