#include "peer_testbed.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nb30.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string_view>
#include <thread>
#include <tuple>

namespace platform::nbt::testing {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view netns_prefix = "nbt-test-";
constexpr std::string_view folder_prefix = "nbt-testbed-";

// Runs argv (searched in PATH) and collects its standard output; stderr goes to `log` when given.
std::optional<std::string> run_argv(const std::vector<std::string> &argv, const fs::path &log = {}) {
    int pipe_ends[2];
    if (::pipe2(pipe_ends, O_CLOEXEC) != 0)
        return std::nullopt;
    pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipe_ends[1], 1);
        int error_out = ::open(log.empty() ? "/dev/null" : log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(error_out, 2);
        std::vector<char *> args;
        for (auto &arg : argv)
            args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipe_ends[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipe_ends[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<std::size_t>(got));
    ::close(pipe_ends[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return output;
}

bool owner_is_gone(const std::string &name, std::string_view prefix) {
    if (name.rfind(prefix, 0) != 0)
        return false;
    auto pid = std::atoi(name.c_str() + prefix.size());
    return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Namespaces and folders of runs that ended without cleaning up (a crash, a kill): their owner's pid is gone.
void remove_leftovers() {
    std::error_code error;
    for (auto &entry : fs::directory_iterator("/run/netns", error))
        if (owner_is_gone(entry.path().filename().string(), netns_prefix))
            run_argv({"ip", "netns", "delete", entry.path().filename().string()});
    for (auto &entry : fs::directory_iterator(fs::temp_directory_path(), error))
        if (owner_is_gone(entry.path().filename().string(), folder_prefix))
            fs::remove_all(entry.path(), error);
}

// Explicit modes whatever the umask: under one such as 0002 nmbd refuses a group-writable socket folder and the
// platform a group-writable prefix or platform.conf.
void make_folder(const fs::path &folder) {
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms(0755));
}

void write_file(const fs::path &path, const std::string &text) {
    std::ofstream(path) << text;
    fs::permissions(path, fs::perms(0644));
}

// The last lines a peer wrote, for a failure message that outlives the removed test folder.
std::string read_tail(const fs::path &file) {
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

std::string samba_config(const fs::path &folder, const std::string &name, const std::string &workgroup,
                         const std::string &link, bool wins_server = false) {
    std::string text =
        "[global]\n   netbios name = " + name + "\n   workgroup = " + workgroup + "\n   interfaces = " + link +
        "\n   wins support = " + (wins_server ? "yes" : "no") +
        "\n   bind interfaces only = yes\n   disable netbios = no\n   dns proxy = no\n   log level = 1\n";
    // nmbd's packet socket too: its default, /run/samba/nmbd, exists only where a Samba daemon or its package
    // made /run/samba since the last boot.
    for (std::string key : {"lock directory", "state directory", "cache directory", "pid directory", "private dir",
                            "ncalrpc dir", "binddns dir", "nmbd:socket dir"}) {
        auto dir = folder / key.substr(0, key.find_first_of(" :"));  // "lock", ..., "nmbd"
        make_folder(dir);
        text += "   " + key + " = " + dir.string() + "\n";
    }
    return text;
}

void end_process(pid_t &pid) {
    if (pid <= 0)
        return;
    ::kill(-pid, SIGKILL);  // nmbd and whatever it forked, which share its process group
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

}  // namespace

std::string dotted(const Ipv4Address &address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) + "." +
           std::to_string(address[3]);
}

std::unique_ptr<PeerTestbed> PeerTestbed::create(std::string &why_not) {
    if (::geteuid() != 0) {
        why_not = "network namespaces need root";
        return nullptr;
    }
    for (auto *tool : {"ip", "nmbd", "nmblookup"})
        if (!run_argv({"sh", "-c", std::string("command -v ") + tool})) {
            why_not = std::string(tool) + " is not installed";
            return nullptr;
        }
    remove_leftovers();

    std::unique_ptr<PeerTestbed> bed(new PeerTestbed);
    auto pid = std::to_string(::getpid());
    bed->local_netns_ = std::string(netns_prefix) + pid + "-local";
    bed->peer_netns_ = std::string(netns_prefix) + pid + "-peer";
    bed->local_link_ = "nbt" + pid + "l";
    bed->peer_link_ = "nbt" + pid + "p";
    bed->peer_name_ = "PEER" + pid;
    bed->local_name_ = "LOCAL" + pid;
    bed->directory_ = fs::temp_directory_path() / (std::string(folder_prefix) + pid);
    bed->prefix_ = bed->directory_ / "prefix";
    fs::remove_all(bed->directory_);
    for (auto &folder : {bed->directory_, bed->prefix_, bed->directory_ / "client"})
        make_folder(folder);

    std::vector<std::vector<std::string>> steps = {
        {"ip", "netns", "add", bed->local_netns_},
        {"ip", "netns", "add", bed->peer_netns_},
        {"ip", "-n", bed->local_netns_, "link", "add", bed->local_link_, "type", "veth", "peer", "name",
         bed->peer_link_, "netns", bed->peer_netns_}};
    for (auto [netns, link, address] : {std::tuple{bed->local_netns_, bed->local_link_, bed->local_address()},
                                        {bed->peer_netns_, bed->peer_link_, bed->peer_address()}}) {
        steps.push_back({"ip", "-n", netns, "addr", "add", dotted(address) + "/24", "broadcast",
                         dotted(bed->broadcast_address()), "dev", link});
        steps.push_back({"ip", "-n", netns, "link", "set", "lo", "up"});
        steps.push_back({"ip", "-n", netns, "link", "set", link, "up"});
    }
    for (auto &step : steps)
        if (!run_argv(step, bed->directory_ / "setup.log")) {
            why_not = "cannot build the test network (" + step[0] + " " + step[1] + " " + step[2] + " ...)";
            return nullptr;  // the destructor removes what was made
        }

    bed->original_netns_ = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    int target = ::open(("/run/netns/" + bed->local_netns_).c_str(), O_RDONLY | O_CLOEXEC);
    bool entered = target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
    if (target >= 0)
        ::close(target);
    if (!entered) {
        why_not = "cannot enter the test namespace";
        return nullptr;
    }

    bed->configure("");
    write_file(bed->directory_ / "client.conf",
               samba_config(bed->directory_ / "client", "NBTCLIENT", bed->workgroup(), bed->local_link_));
    ::setenv("PLATFORM_PREFIX", bed->prefix_.c_str(), 1);
    return bed;
}

PeerTestbed::~PeerTestbed() {
    end_process(peer_pid_);
    end_process(local_pid_);
    if (original_netns_ >= 0) {
        ::setns(original_netns_, CLONE_NEWNET);
        ::close(original_netns_);
    }
    // Deleting the namespaces removes the veth pair with them.
    for (auto *netns : {&peer_netns_, &local_netns_})
        if (!netns->empty())
            run_argv({"ip", "netns", "delete", *netns});
    std::error_code error;
    fs::remove_all(directory_, error);
}

// Starts nmbd in the namespace and waits until it answers for its name at `address`. nmbd answers node status at
// once but holds its names only once their registration went unchallenged.
bool PeerTestbed::start_nmbd(const std::string &netns, const std::string &link, const std::string &name,
                             const std::string &folder, const Ipv4Address &address, pid_t &pid, std::string &error) {
    auto dir = directory_ / folder;
    for (auto &made : {dir, dir / "log"})
        make_folder(made);
    write_file(dir / "smb.conf", samba_config(dir, name, workgroup(), link, folder == "peer"));
    pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // a test that dies takes its peer with it
        int out = ::open((dir / "nmbd.out").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        std::string conf = (dir / "smb.conf").string(), log = (dir / "log").string() + "/";
        ::execlp("ip", "ip", "netns", "exec", netns.c_str(), "nmbd", "-F", "--no-process-group", "-s", conf.c_str(),
                 "-l", log.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    if (pid < 0) {
        error = "fork failed";
        return false;
    }
    ::setpgid(pid, pid);
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(std::chrono::milliseconds(200)))
        if (run({"nmblookup", "-s", client_config(), "-B", dotted(address), name}))
            return true;
    // nmbd says why in its log file; its standard output holds little.
    error = "nmbd did not come up in " + netns + "; its log:\n" + read_tail(dir / "log" / "log.nmbd") +
            "\nits output:\n" + read_tail(dir / "nmbd.out");
    return false;
}

bool PeerTestbed::start_peer(std::string &error) {
    return start_nmbd(peer_netns_, peer_link_, peer_name_, "peer", broadcast_address(), peer_pid_, error);
}

bool PeerTestbed::start_local_node(std::string &error) {
    return start_nmbd(local_netns_, local_link_, local_name_, "local", local_address(), local_pid_, error);
}

void PeerTestbed::configure(const std::string &extra_netbios_lines) {
    write_file(prefix_ / "platform.conf",
               "[netbios]\nlana.0 = " + local_link_ + "\nretries = 3\nretry_interval_ms = 250\n" + extra_netbios_lines);
}

std::optional<std::string> PeerTestbed::run(const std::vector<std::string> &argv) const {
    return run_argv(argv);
}

int PeerTestbed::connect_from_peer(std::uint16_t port) const {
    int result = -1;
    std::thread([&] {
        // setns moves only this thread; the socket it makes stays in the peer namespace.
        int netns = ::open(("/run/netns/" + peer_netns_).c_str(), O_RDONLY | O_CLOEXEC);
        if (netns < 0 || ::setns(netns, CLONE_NEWNET) != 0)
            return;
        ::close(netns);
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{AF_INET, htons(port), {}, {}};
        std::memcpy(&address.sin_addr, local_address().data(), 4);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
            result = fd;
        else
            ::close(fd);
    }).join();
    return result;
}

std::ostream &operator<<(std::ostream &out, const ListedName &entry) {
    char type[8];
    std::snprintf(type, sizeof type, "<%02X>", entry.type);
    return out << entry.name << type << (entry.group ? " group" : " unique") << " state " << entry.state;
}

std::vector<ListedName> parse_nmblookup(const std::string &text) {
    std::vector<ListedName> names;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        auto open = line.find('<');
        if (line.empty() || line[0] != '\t' || open == std::string::npos || line.find("> -") != open + 3)
            continue;
        ListedName entry;
        entry.name = line.substr(1, open - 1);
        entry.name.erase(entry.name.find_last_not_of(' ') + 1);  // none left when all blanks
        entry.type = std::stoi(line.substr(open + 1, 2), nullptr, 16);
        entry.group = line.find("<GROUP>") != std::string::npos;
        bool deregistering = line.find("<DEREGISTERING>") != std::string::npos;
        bool conflict = line.find("<CONFLICT>") != std::string::npos;
        // REGISTERED, DEREGISTERED, DUPLICATE and DUPLICATE_DEREG are 4 to 7 in that order.
        entry.state = REGISTERED + deregistering + 2 * conflict;
        names.push_back(entry);
    }
    return names;
}

}  // namespace platform::nbt::testing
