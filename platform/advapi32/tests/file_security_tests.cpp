// SetFileSecurityA as POSIX ACLs on drive devices, files and named pipes, and what those ACLs let an
// unprivileged user do. The access checks run as `nobody` in a child process and need root to get there.
#include "testing/temporary_prefix.h"

#include <windows.h>

#include <acl/libacl.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/acl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// The access ACL as short text with numeric ids, e.g. "u::rwx,g::---,g:50:rwx,m::rwx,o::---".
std::string acl_text(const fs::path &path) {
    acl_t acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
    char *text = acl ? acl_to_any_text(acl, nullptr, ',', TEXT_ABBREVIATE | TEXT_NUMERIC_IDS) : nullptr;
    std::string result = text ? text : "no ACL";
    acl_free(text);
    acl_free(acl);
    return result;
}

std::string gid(const char *name) {
    return std::to_string(getgrnam(name) ? getgrnam(name)->gr_gid : 0);
}

// Runs `action` in a child as nobody with one extra group (or none); the child's errno, 0 on success.
template <typename Action>
int as_nobody(const char *extra_group, Action action) {
    pid_t child = fork();
    if (child == 0) {
        gid_t groups[1] = {static_cast<gid_t>(std::stoul(extra_group ? gid(extra_group) : "65534"))};
        if (setgroups(1, groups) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            _exit(100);
        _exit(action() ? 0 : errno);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The service's two descriptors: "locked" gives Administrators and Power Users (root and staff by default)
// all file access, "unlocked" has a present but null DACL.
class FileSecurity : public platform::testing::PrefixTest {
protected:
    void SetUp() override {
        auto *dacl = reinterpret_cast<PACL>(acl_);
        ASSERT_TRUE(InitializeAcl(dacl, sizeof acl_, ACL_REVISION));
        for (auto name : {"Administrators", "Power Users"}) {
            BYTE sid[75];
            char domain[40];
            DWORD cb_sid = sizeof sid, cch_domain = sizeof domain;
            SID_NAME_USE use;
            ASSERT_TRUE(LookupAccountNameA(nullptr, name, sid, &cb_sid, domain, &cch_domain, &use));
            ASSERT_TRUE(AddAccessAllowedAce(dacl, ACL_REVISION, FILE_ALL_ACCESS, sid));
        }
        ASSERT_TRUE(InitializeSecurityDescriptor(&locked_, 1) && InitializeSecurityDescriptor(&unlocked_, 1));
        ASSERT_TRUE(SetSecurityDescriptorDacl(&locked_, TRUE, dacl, FALSE));
        ASSERT_TRUE(SetSecurityDescriptorDacl(&unlocked_, TRUE, nullptr, FALSE));
        std::ofstream(floppy_) << "disk";
        point_device("a:", floppy_);
        point_device("b:", folder_ / "absent-device");
    }
    bool set(const char *name, SECURITY_DESCRIPTOR *descriptor) {
        return SetFileSecurityA(name, DACL_SECURITY_INFORMATION, descriptor);
    }
    alignas(4) BYTE acl_[150] = {};
    SECURITY_DESCRIPTOR locked_{}, unlocked_{};
    fs::path floppy_ = folder_ / "floppy-a.img";
};

TEST_F(FileSecurity, LockedAndUnlockedAsPosixAclsKeepingOwnerAndGroup) {
    // POSIX never lets an owner fall through to group entries, so the owner's and the owning group's
    // entries carry what their groups are given: nothing for nobody, all for root.
    bool root = geteuid() == 0;
    ASSERT_TRUE(!root || chown(floppy_.c_str(), 65534, 65534) == 0);
    struct stat before {
    }, after{};
    stat(floppy_.c_str(), &before);
    ASSERT_TRUE(set("\\\\.\\A:", &locked_));
    std::string owner = root ? "u::---,g::---," : "u::rwx,g::rwx,";
    bool known_owner = root || (before.st_uid == 0 && before.st_gid == 0);
    EXPECT_EQ(known_owner ? acl_text(floppy_) : "",
              known_owner ? owner + "g:0:rwx,g:" + gid("staff") + ":rwx,m::rwx,o::---" : "");
    ASSERT_TRUE(set("\\\\.\\a:", &unlocked_));
    EXPECT_EQ(acl_text(floppy_), "u::rwx,g::rwx,o::rwx");
    stat(floppy_.c_str(), &after);
    EXPECT_EQ(std::make_pair(after.st_uid, after.st_gid), std::make_pair(before.st_uid, before.st_gid));
    // A SID whose group is no longer mapped grants nothing; the other stays.
    temporary_.write_config("[accounts]\nAdministrators = root\n");
    ASSERT_TRUE(set("\\\\.\\A:", &locked_));
    EXPECT_EQ(acl_text(floppy_).find("g:" + gid("staff")), std::string::npos) << acl_text(floppy_);
    EXPECT_NE(acl_text(floppy_).find("g:0:rwx"), std::string::npos) << acl_text(floppy_);
}

TEST_F(FileSecurity, ErrorsThroughTheErrnoTable) {
    SECURITY_DESCRIPTOR zero = {};
    const struct {
        const char *name;
        SECURITY_INFORMATION what;
        SECURITY_DESCRIPTOR *descriptor;
        DWORD error;
    } cases[] = {{"\\\\.\\B:", DACL_SECURITY_INFORMATION, &locked_, ERROR_FILE_NOT_FOUND},  // no device
                 {"c:\\no-folder\\x", DACL_SECURITY_INFORMATION, &locked_, ERROR_PATH_NOT_FOUND},
                 {"\\\\.\\A:", DACL_SECURITY_INFORMATION, &zero, ERROR_INVALID_SECURITY_DESCR},
                 {"\\\\.\\A:", OWNER_SECURITY_INFORMATION, &locked_, ERROR_NOT_SUPPORTED}};
    for (auto &c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(SetFileSecurityA(c.name, c.what, c.descriptor)) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    if (geteuid() != 0)
        GTEST_SKIP() << "refusal needs a file of another user: run as root";
    // Only the owner (or root) may change a file's ACL.
    EXPECT_EQ(as_nobody(nullptr, [&] { return set("\\\\.\\A:", &unlocked_) || (errno = GetLastError(), false); }),
              (int)ERROR_ACCESS_DENIED);
}

TEST_F(FileSecurity, LockedFilesAndPipesAdmitOnlyTheMappedGroups) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &locked_, TRUE};
    HANDLE pipe = CreateNamedPipeA("\\\\.\\pipe\\sd_flppy", PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_WAIT, 1, 0, 0,
                                   1000, &attributes);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    std::string socket_path = (prefix_ / "pipe" / "sd_flppy").string();
    EXPECT_NE(acl_text(socket_path).find("g:" + gid("staff") + ":rwx"), std::string::npos) << acl_text(socket_path);
    ASSERT_TRUE(set("\\\\.\\A:", &locked_));
    if (geteuid() != 0)
        GTEST_SKIP() << "access checks switch to the user nobody: run as root";
    auto open_file = [&] { return open(floppy_.c_str(), O_RDWR) >= 0; };
    auto connect_pipe = [&] {
        sockaddr_un address{AF_UNIX, {}};
        std::strncpy(address.sun_path, socket_path.c_str(), sizeof address.sun_path - 1);
        return connect(socket(AF_UNIX, SOCK_SEQPACKET, 0), (sockaddr *)&address, sizeof address) == 0;
    };
    for (auto &[group, error] :
         {std::pair<const char *, int>{nullptr, EACCES}, {"staff", 0}, {"root", 0}, {"adm", EACCES}}) {
        EXPECT_EQ(as_nobody(group, open_file), error) << (group ? group : "no group");
        EXPECT_EQ(as_nobody(group, connect_pipe), error) << (group ? group : "no group");
    }
    // Unlocked, through the pipe's name as for any file: everyone.
    ASSERT_TRUE(set("\\\\.\\A:", &unlocked_) && set("\\\\.\\pipe\\sd_flppy", &unlocked_));
    EXPECT_EQ(acl_text(socket_path), "u::rwx,g::rwx,o::rwx");
    EXPECT_EQ(as_nobody(nullptr, open_file) + as_nobody(nullptr, connect_pipe), 0);
    CloseHandle(pipe);
}

}  // namespace
