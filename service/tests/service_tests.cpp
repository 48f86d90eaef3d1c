// Black-box tests of the built vessamir under servicectl, each in a fresh prefix whose floppy drives are files
// of the test and whose event log is a file. Every test ends with the service's process gone (see TearDown).
#include <windows.h>

#include "testing/temporary_prefix.h"

#include <grp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Events = std::vector<std::vector<std::string>>;
constexpr const char *pipe_name = "\\\\.\\pipe\\sd_flppy";

struct CommandResult {
    int exit_status = -1;
    std::string output;  // standard output and standard error together
    // The number after `label` in the output ("state" in "  state: 4 RUNNING" gives 4), 0 when none.
    DWORD printed(const std::string &label) const {
        auto at = output.find("  " + label + ": ");
        return at == std::string::npos ? 0 : std::strtoul(output.c_str() + at + label.size() + 4, nullptr, 10);
    }
};

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

std::string read_file(const fs::path &path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// One exchange through CallNamedPipeA: the reply's bytes (none on failure).
std::string exchange(const std::string &request, DWORD wait = NMPWAIT_WAIT_FOREVER) {
    char reply[1024];
    DWORD received = 0;
    BOOL done = CallNamedPipeA(pipe_name, const_cast<char *>(request.data()), static_cast<DWORD>(request.size()), reply,
                               sizeof reply, &received, wait);
    return done ? std::string(reply, received) : std::string();
}

std::string text_of(const std::string &reply) {
    return reply.substr(0, reply.find('\0'));
}

// Waits (at most a minute, or not at all) for the process to end, through a pidfd; true when it has. A
// process that has died counts as ended before it is reaped.
bool process_ends(pid_t pid, int wait_ms = 60000) {
    int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0)
        return errno == ESRCH;
    pollfd ended{fd, POLLIN, 0};
    bool result = poll(&ended, 1, wait_ms) == 1;
    close(fd);
    return result;
}

class ServiceTest : public platform::testing::PrefixTest {
protected:
    // Registers the service over two drive files. "Power Users" is nogroup for root, whose tests also act as
    // other users; for anyone else it is their own group, so that the locked pipe and drives admit them.
    void SetUp() override {
        if (power_users.empty())
            GTEST_SKIP() << "this user's group " << getegid() << " has no name to map \"Power Users\" to";
        for (auto drive : {"a:", "b:"}) {
            std::ofstream(drive_file(drive)) << "diskette " << drive << "\n";
            point_device(drive, drive_file(drive));
        }
        write_configuration();
        auto created = run(std::string(SERVICECTL_PATH) + " create Varnholtguard " + VESSAMIR_PATH);
        ASSERT_EQ(created.exit_status, 0) << created.output;
    }
    void TearDown() override {  // stops the service and expects its process to end
        if (!IsSkipped())
            servicectl("stop");
        EXPECT_TRUE(pid_ == 0 || process_ends(pid_)) << "the service's process " << pid_ << " is still running";
        while (waitpid(-1, nullptr, WNOHANG) > 0) {  // services this process became the reaper of
        }
    }

    void write_configuration(const std::string &accounts = "") {
        std::string mapped = accounts.empty() ? "Administrators = root\nPower Users = " + power_users + "\n" : accounts;
        temporary_.write_config("[eventlog]\ntarget = file:events.log\n\n[accounts]\n" + mapped);
    }
    fs::path drive_file(const std::string &drive) const { return folder_ / ("floppy-" + drive.substr(0, 1)); }
    // A path under a plain file: no DACL can be written there, and the drive is not simply absent.
    fs::path unwritable_path() const {
        std::ofstream(folder_ / "plain-file") << "x";
        return folder_ / "plain-file" / "drive";
    }
    CommandResult servicectl(const std::string &command) {
        auto result = run(std::string(SERVICECTL_PATH) + " " + command + " Varnholtguard");
        pid_ = result.printed("pid") ? static_cast<pid_t>(result.printed("pid")) : pid_;
        return result;
    }
    void start_running() {
        auto started = servicectl("start");
        ASSERT_TRUE(started.exit_status == 0 && started.printed("state") == SERVICE_RUNNING) << started.output;
    }
    std::string log_text() const { return read_file(prefix_ / "drive_c" / "vessamir.out"); }
    // The event log's lines as fields (source, type, id, strings), without the time.
    Events events() const {
        Events result;
        std::istringstream lines(read_file(prefix_ / "events.log"));
        for (std::string line; std::getline(lines, line);) {
            std::istringstream parts(line.substr(line.find('\t') + 1));
            result.emplace_back();
            for (std::string field; std::getline(parts, field, '\t');)
                result.back().push_back(field);
        }
        return result;
    }
    std::string acl_of(const std::string &drive) const {
        return run("getfacl --omit-header --absolute-names " + drive_file(drive).string()).output;
    }
    // Whether the drive's ACL gives the group read and write (as the owning group's entry when it owns it).
    bool grants(const std::string &drive, const std::string &group) const {
        struct stat info {};
        struct group *entry = getgrnam(group.c_str());
        if (stat(drive_file(drive).c_str(), &info) != 0 || !entry)
            return false;
        std::string wanted = info.st_gid == entry->gr_gid ? "group::rw" : "group:" + group + ":rw";
        return acl_of(drive).find(wanted) != std::string::npos;
    }

    pid_t pid_ = 0;  // the service's process, once started
    const std::string power_users = geteuid() == 0 ? "nogroup" : own_group_name();
    static std::string own_group_name() {
        struct group *own = getgrgid(getegid());
        return own ? own->gr_name : "";
    }
};

using PipeRequests = ServiceTest;
using Lifecycle = ServiceTest;

TEST_F(PipeRequests, EachRequestGetsItsExactTextInA180ByteReplyFromTheOneInstance) {
    start_running();
    HANDLE first = CreateFileA(pipe_name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA(pipe_name, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PIPE_BUSY);  // one instance
    CloseHandle(first);  // without writing: the server disconnects it and serves the next
    const std::pair<std::string, std::string> cases[] = {
        // request, reply text (none: the request is dropped)
        {"Q", "Floppy status is: Locked"},  // locked by the start-up
        {"", "Bad operation passed in"},    // an empty message carries no command, not the last one's
        {"U", "Floppies were unlocked"},
        {"Q", "Floppy status is: Unlocked"},
        {"L", "Floppies were locked"},
        {"l", "Bad operation passed in"},
        {"q", "Bad operation passed in"},
        {"U" + std::string(180, 'x'), ""},  // one byte too long: dropped, and did not unlock
        {"Q", "Floppy status is: Locked"},
        {"U" + std::string(179, 'x'), "Floppies were unlocked"},
        {"Q" + std::string(179, '\0'), "Floppy status is: Unlocked"},
        {"L" + std::string(179, 'U'), "Floppies were locked"},
        {"Qrest of the request is not examined", "Floppy status is: Locked"},
        {std::string(1, '\xcc'), "Bad operation passed in"},
    };
    for (auto &[request, text] : cases) {
        SCOPED_TRACE("request of " + std::to_string(request.size()) + " bytes: " + request.substr(0, 1));
        std::string reply = exchange(request);
        ASSERT_EQ(reply.size(), text.empty() ? 0u : 180u);
        EXPECT_EQ(text_of(reply), text);
        EXPECT_EQ(reply.find_first_not_of('\0', text.size()), std::string::npos);  // nothing of an earlier reply
    }
    EXPECT_EQ(log_text(), "");  // both drives took every write
}

// Lock admits only the two groups ("Power Users" is nogroup for root: nobody is inside, daemon outside), unlock
// everyone. Clients as other users (through setpriv) need root; anyone else is their own client.
TEST_F(PipeRequests, LockAdmitsOnlyTheTwoGroupsAndUnlockEveryone) {
    start_running();
    const bool as_others = geteuid() == 0;
    const std::string outsider = "setpriv --reuid=daemon --regid=daemon --clear-groups ",
                      insider = as_others ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "",
                      pipecall = PIPECALL_PATH " '\\\\.\\pipe\\sd_flppy' ";
    if (as_others) {
        auto outside = run(outsider + pipecall + "U");
        EXPECT_TRUE(outside.exit_status == 1 && outside.output.find("error 5") != std::string::npos) << outside.output;
    }
    const std::tuple<const char *, const char *, bool> steps[] = {
        // request, reply, locked afterwards
        {"Q", "Floppy status is: Locked\n", true},  // the refused unlock did nothing
        {"U", "Floppies were unlocked\n", false},
        {"L", "Floppies were locked\n", true}};
    for (auto [request, reply, locked] : steps) {
        EXPECT_EQ(run(insider + pipecall + request).output, reply);
        for (auto drive : {"a:", "b:"}) {
            SCOPED_TRACE(std::string(drive) + " after " + request + "\n" + acl_of(drive));
            EXPECT_EQ(grants(drive, power_users) && grants(drive, "root"), locked);
            EXPECT_NE(acl_of(drive).find(locked ? "other::---" : "other::rw"), std::string::npos);
        }
        if (as_others) {  // opening drive A as a user outside the groups and as one inside
            std::string open = "head -c0 " + drive_file("a:").string();
            EXPECT_EQ(run(outsider + open).exit_status, locked ? 1 : 0);
            EXPECT_EQ(run(insider + open).exit_status, 0);
        }
    }
}

// A missing drive counts as done and is logged on every write ("lock" also when unlocking); a failed write
// adds its tail to the reply, the flag still follows the request, and the service keeps running until the stop.
TEST_F(PipeRequests, MissingAndUnwritableDrivesAreLoggedOnEveryWrite) {
    point_device("b:", folder_ / "no-such-drive");
    start_running();
    EXPECT_EQ(text_of(exchange("U")), "Floppies were unlocked");
    std::string missing = "\nAttempted to lock \\\\.\\B:, but it was not found";
    EXPECT_EQ(log_text(), missing + missing);
    point_device("a:", unwritable_path());
    point_device("b:", unwritable_path());
    const std::pair<const char *, const char *> steps[] = {
        {"L", "Floppies were locked, lock of A: failed, see log file, lock of B: failed, see log file"},
        {"Q", "Floppy status is: Locked"},
        {"U", "Floppies were unlocked, unlock of A: failed, see log file, unlock of B: failed, see log file"},
        {"Q", "Floppy status is: Unlocked"}};
    for (auto [request, reply] : steps)
        EXPECT_EQ(text_of(exchange(request)), reply);
    std::string failed = "\nvessamir: Error 3 from SetFileSecurity on line 744";
    EXPECT_EQ(log_text(), missing + missing + failed + failed + failed + failed);  // each line written at once
    EXPECT_TRUE(events().empty());
    // A failed unlock on stop is reported and becomes the exit code; drive A is still unlocked.
    point_device("a:", drive_file("a:"));
    auto stopped = servicectl("stop");
    EXPECT_EQ(stopped.printed("state"), (DWORD)SERVICE_STOPPED) << stopped.output;
    EXPECT_EQ(stopped.printed("exit code"), 3u) << stopped.output;
    EXPECT_EQ(events(),
              (Events{{"Varnholtguard", "error", "0", "Varnholtguard error: 3", "Unlock of B: failed, see log file"}}));
    EXPECT_NE(acl_of("a:").find("other::rw"), std::string::npos);
}

// A client that comes during the pause waits, and is served once the service continues; pipecall gives up
// after its --wait and says why.
TEST_F(Lifecycle, ControlsMoveBetweenRunningAndPausedAndStopUnlocks) {
    start_running();
    ASSERT_EQ(servicectl("pause").printed("state"), (DWORD)SERVICE_PAUSED);
    auto waited = run(std::string(PIPECALL_PATH) + " --wait 200 '\\\\.\\pipe\\sd_flppy' Q");
    EXPECT_EQ(waited.exit_status, 1);
    EXPECT_EQ(waited.output,
              "pipecall: \\\\.\\pipe\\sd_flppy: no reply within 200 ms: This operation returned "
              "because the timeout period expired. (error 1460)\n"
              "pipecall: the pipe's server did not answer: is the service paused?\n");
    std::string reply = "not served";
    std::thread client([&] { reply = exchange("U"); });
    const std::pair<const char *, DWORD> steps[] = {{"interrogate", SERVICE_PAUSED},  {"pause", SERVICE_PAUSED},
                                                    {"continue", SERVICE_RUNNING},    {"continue", SERVICE_RUNNING},
                                                    {"interrogate", SERVICE_RUNNING}, {"pause", SERVICE_PAUSED},
                                                    {"stop", SERVICE_STOPPED}};
    for (auto &[command, state] : steps) {
        bool waiting = state == SERVICE_RUNNING && client.joinable();  // round trips to the service later
        EXPECT_TRUE(!waiting || acl_of("a:").find("other::rw") == std::string::npos);
        auto result = servicectl(command);
        EXPECT_EQ(result.exit_status, 0) << command << "\n" << result.output;
        EXPECT_EQ(result.printed("state"), state) << command << "\n" << result.output;
        EXPECT_EQ(result.printed("exit code"), 0u) << result.output;
        EXPECT_NE(result.output.find("accepted controls: 0x3 STOP PAUSE_CONTINUE"), std::string::npos);
        if (waiting)
            client.join();
    }
    EXPECT_EQ(text_of(reply), "Floppies were unlocked");
    EXPECT_NE(acl_of("a:").find("other::rw"), std::string::npos);
    EXPECT_NE(acl_of("b:").find("other::rw"), std::string::npos);
    EXPECT_TRUE(events().empty());
}

// Clients lock the drives as fast as the service serves them while it stops: from the stop on no request
// may lock them again, and when servicectl says stopped the process has ended (it can write no more).
TEST_F(Lifecycle, StopUnderLoadLeavesTheDrivesUnlockedAndTheProcessEnded) {
    constexpr int rounds = 30, clients = 3;
    for (int round = 0; round < rounds && !HasFailure(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        start_running();
        std::atomic<bool> done{false};
        std::promise<void> first_lock;
        std::atomic_flag told = ATOMIC_FLAG_INIT;
        std::vector<std::thread> lockers;
        for (int i = 0; i < clients; ++i)
            lockers.emplace_back([&] {
                while (!done)
                    if (text_of(exchange("L", 20)) == "Floppies were locked" && !told.test_and_set())
                        first_lock.set_value();
            });
        first_lock.get_future().wait();  // the load is on
        auto stopped = servicectl("stop");
        bool ended = process_ends(pid_, 0);
        done = true;
        for (auto &locker : lockers)
            locker.join();
        EXPECT_EQ(stopped.printed("state"), (DWORD)SERVICE_STOPPED) << stopped.output;
        EXPECT_TRUE(ended) << "servicectl said STOPPED while the process ran";
        for (auto drive : {"a:", "b:"})
            EXPECT_NE(acl_of(drive).find("other::rw"), std::string::npos) << drive << "\n" << acl_of(drive);
    }
}

// A killed service is stopped at once for every command, before anyone has reaped its process: this test
// process becomes the reaper of the services that servicectl leaves behind, and reaps them only at the end.
TEST_F(Lifecycle, AKilledServiceIsStoppedAtOnce) {
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    start_running();
    ASSERT_EQ(kill(pid_, SIGKILL), 0);
    ASSERT_TRUE(process_ends(pid_));  // ended, not reaped
    const std::tuple<const char *, int, const char *, DWORD, DWORD> steps[] = {
        // command, exit status, error, state, exit code
        {"query", 0, "", SERVICE_STOPPED, ERROR_PROCESS_ABORTED},
        {"status", 0, "", SERVICE_STOPPED, ERROR_PROCESS_ABORTED},
        {"stop", 1, "error 1062", SERVICE_STOPPED, ERROR_PROCESS_ABORTED},  // not active
        {"start", 0, "", SERVICE_RUNNING, 0}};
    for (auto [command, status, error, state, exit_code] : steps) {
        auto result = servicectl(command);
        EXPECT_EQ(result.exit_status, status) << command << "\n" << result.output;
        EXPECT_NE(result.output.find(error), std::string::npos) << command << "\n" << result.output;
        EXPECT_EQ(result.printed("state"), state) << command << "\n" << result.output;
        EXPECT_EQ(result.printed("exit code"), exit_code) << command << "\n" << result.output;
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
}

// restart replaces the process, status adds the program and the latest events, list shows every service.
TEST_F(Lifecycle, RestartStatusAndList) {
    start_running();
    pid_t first = pid_;
    auto restarted = servicectl("restart");
    EXPECT_TRUE(restarted.exit_status == 0 && restarted.printed("state") == SERVICE_RUNNING) << restarted.output;
    EXPECT_TRUE(pid_ != first && process_ends(first, 0)) << restarted.output;
    auto status = servicectl("status");
    EXPECT_NE(status.output.find("  pid: " + std::to_string(pid_) + "\n  program: " VESSAMIR_PATH "\n"),
              std::string::npos)
        << status.output;
    EXPECT_NE(status.output.find("  events (" + (prefix_ / "events.log").string() + "): none\n"), std::string::npos)
        << status.output;
    EXPECT_TRUE(
        std::regex_search(run(SERVICECTL_PATH " list").output,
                          std::regex("\nvarnholtguard +RUNNING +" + std::to_string(pid_) + " +" VESSAMIR_PATH)));
}

// A start in a prefix that cannot be written fails at once and says why, instead of showing the status an
// earlier run left there.
TEST_F(Lifecycle, StartInAReadOnlyPrefixSaysWhy) {
    if (geteuid() != 0 || run("unshare --mount true").exit_status != 0)
        GTEST_SKIP() << "a read-only mount of the prefix needs root and unshare";
    start_running();
    ASSERT_EQ(servicectl("stop").printed("state"), (DWORD)SERVICE_STOPPED);  // leaves "stopped, exit code 0"
    std::string prefix = prefix_.string();
    auto started =
        run("unshare --mount --propagation private sh -c 'mount --bind " + prefix + " " + prefix +
            " && mount -o remount,bind,ro " + prefix + " && exec " + SERVICECTL_PATH + " start Varnholtguard'");
    EXPECT_EQ(started.exit_status, 1);
    EXPECT_EQ(started.output.find("STOPPED"), std::string::npos) << started.output;
    EXPECT_NE(started.output.find("Access is denied. (error 5): cannot write " + prefix +
                                  "/services/varnholtguard.status: Read-only file system"),
              std::string::npos)
        << started.output;
}

TEST_F(Lifecycle, StartedByHandEmptiesTheLogReportsTheDispatcherFailureAndEnds) {
    std::ofstream(prefix_ / "drive_c" / "vessamir.out") << "left from an earlier run";
    EXPECT_EQ(run(VESSAMIR_PATH).exit_status, 0);
    EXPECT_EQ(log_text(), "");
    EXPECT_EQ(
        events(),
        (Events{{"Varnholtguard", "error", "0", "Varnholtguard error: 1063", "StartServiceCtrlDispatcher failed."}}));
    EXPECT_NE(acl_of("a:").find("other::r"), std::string::npos);  // the drives were not touched
}

TEST_F(Lifecycle, EverythingItCreatesHasItsOwnModeWhateverTheUmask) {
    ASSERT_EQ(servicectl("delete").exit_status, 0);
    mode_t old_mask = umask(0);
    int failures = run(SERVICECTL_PATH " create Varnholtguard " VESSAMIR_PATH).exit_status +
                   servicectl("start").exit_status + exchange("U").empty() + servicectl("stop").exit_status;
    umask(old_mask);
    ASSERT_EQ(failures, 0);
    for (auto name : {"services/varnholtguard.conf", "services/varnholtguard.status", "services/varnholtguard.log",
                      "drive_c/vessamir.out"}) {
        struct stat info {};
        EXPECT_TRUE(lstat((prefix_ / name).c_str(), &info) == 0 && (info.st_mode & 07777) == 0600) << name;
    }
}

// A start-up error is reported and stops the service, with the last error's code as the exit code, and drive B
// stays locked: no unlock happened.
TEST_F(Lifecycle, StartupErrorsAreReportedAndStopTheService) {
    const std::tuple<const char *, DWORD, std::vector<std::string>, const char *> cases[] = {
        // accounts, exit code, the events' last strings, the log (drive A unwritable when there is one)
        {"Administrators = root\nPower Users =\n",  // Power Users unmapped
         1337,
         {"LookupAccountName", "LookupAccountName returned the wrong SID type", "AddAccessAllowedAce"},
         ""},
        {"",  // the usual map
         3,
         {"Write of DACL to A: failed"},
         "\nvessamir: Error 3 from SetFileSecurity on line 744"}};
    for (auto &[accounts, exit_code, messages, log] : cases) {
        SCOPED_TRACE(exit_code);
        write_configuration(accounts);
        fs::remove(prefix_ / "events.log");
        fs::remove(drive_file("b:"));  // a fresh drive B, readable by others until a lock
        std::ofstream(drive_file("b:")) << "diskette b:\n";
        if (*log)
            point_device("a:", unwritable_path());
        // Start returns once the service runs or has stopped; when it ran, wait for its process to end.
        auto started = servicectl("start");
        bool ran = started.printed("state") != SERVICE_STOPPED;
        ASSERT_TRUE(!ran || (pid_ != 0 && process_ends(pid_))) << started.output;
        auto stopped = servicectl("query");
        EXPECT_TRUE(stopped.printed("state") == SERVICE_STOPPED && stopped.printed("exit code") == exit_code)
            << stopped.output;
        std::vector<std::string> last_strings;
        for (auto &event : events())
            last_strings.push_back(event.back());
        EXPECT_EQ(last_strings, messages);
        EXPECT_EQ(events().back()[3], "Varnholtguard error: " + std::to_string(exit_code));
        EXPECT_NE(servicectl("status").output.find("events (" + (prefix_ / "events.log").string() + "):\n    "),
                  std::string::npos);  // and status shows them
        EXPECT_EQ(log_text(), log);
        EXPECT_TRUE(grants("b:", "root"));
        EXPECT_NE(acl_of("b:").find("other::---"), std::string::npos) << acl_of("b:");
    }
}

// The systemd unit's sandbox, as systemd's own offline analysis rates it (0 best, 10 worst).
TEST(SystemdUnit, ExposureIsAtMostFour) {
    if (run("command -v systemd-analyze").exit_status != 0)
        GTEST_SKIP() << "systemd-analyze is not installed";
    auto analysis = run("systemd-analyze security --offline=true " UNIT_PATH);
    std::smatch level;
    ASSERT_TRUE(std::regex_search(analysis.output, level, std::regex("Overall exposure level for [^:]+: ([0-9.]+)")))
        << analysis.output;
    EXPECT_LE(std::stod(level[1]), 4.0) << analysis.output;
}

}  // namespace
