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
constexpr uid_t nobody = 65534;
constexpr gid_t nogroup = 65534;

// The service's two descriptors: "locked" gives Administrators and Power Users all file access,
// "unlocked" has a present but null DACL.
struct Descriptors {
    BYTE administrators[75] = {}, power_users[75] = {};
    alignas(4) BYTE acl[150] = {};
    SECURITY_DESCRIPTOR locked{}, unlocked{};
    bool build() {
        char domain[40];
        DWORD cb_sid = sizeof administrators, cch_domain = sizeof domain, cch_domain2 = sizeof domain;
        SID_NAME_USE use;
        auto *dacl = reinterpret_cast<PACL>(acl);
        return LookupAccountNameA(nullptr, "Administrators", administrators, &cb_sid, domain, &cch_domain, &use) &&
               LookupAccountNameA(nullptr, "Power Users", power_users, &cb_sid, domain, &cch_domain2, &use) &&
               InitializeAcl(dacl, sizeof acl, ACL_REVISION) &&
               AddAccessAllowedAce(dacl, ACL_REVISION, FILE_ALL_ACCESS, administrators) &&
               AddAccessAllowedAce(dacl, ACL_REVISION, FILE_ALL_ACCESS, power_users) &&
               InitializeSecurityDescriptor(&locked, SECURITY_DESCRIPTOR_REVISION) &&
               InitializeSecurityDescriptor(&unlocked, SECURITY_DESCRIPTOR_REVISION) &&
               SetSecurityDescriptorDacl(&locked, TRUE, dacl, FALSE) &&
               SetSecurityDescriptorDacl(&unlocked, TRUE, nullptr, FALSE);
    }
};

// The access ACL as short text with numeric ids, e.g. "u::rwx,g::---,g:50:rwx,m::rwx,o::---".
std::string acl_text(const fs::path &path) {
    acl_t acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
    if (!acl)
        return "error " + std::to_string(errno);
    char *text = acl_to_any_text(acl, nullptr, ',', TEXT_ABBREVIATE | TEXT_NUMERIC_IDS);
    std::string result = text ? text : "";
    acl_free(text);
    acl_free(acl);
    return result;
}

std::string gid(const char *name) {
    group *entry = getgrnam(name);
    return entry ? std::to_string(entry->gr_gid) : "none";
}

// Runs `action` in a child as nobody with one extra group (or none); the child's errno, 0 on success.
template <typename Action>
int as_nobody(const char *extra_group, Action action) {
    pid_t child = fork();
    if (child == 0) {
        gid_t groups[1] = {extra_group ? static_cast<gid_t>(std::stoul(gid(extra_group))) : nogroup};
        if (setgroups(1, groups) != 0 || setgid(nogroup) != 0 || setuid(nobody) != 0)
            _exit(100);
        _exit(action() ? 0 : errno);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class FileSecurity : public platform::testing::PrefixTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(descriptors_.build()) << GetLastError();
        std::ofstream(floppy_) << "disk";
        point_device("a:", floppy_);
        point_device("b:", folder_ / "absent-device");
    }
    bool set(const char *name, SECURITY_DESCRIPTOR *descriptor) {
        return SetFileSecurityA(name, DACL_SECURITY_INFORMATION, descriptor);
    }
    Descriptors descriptors_;
    fs::path floppy_ = folder_ / "floppy-a.img";
};

TEST_F(FileSecurity, LockedAndUnlockedAsPosixAclsKeepingOwnerAndGroup) {
    // POSIX never lets an owner fall through to group entries, so the owner's and the owning group's
    // entries carry what their groups are given.
    bool root = geteuid() == 0;
    ASSERT_TRUE(!root || chown(floppy_.c_str(), nobody, nogroup) == 0);
    struct stat before {
    }, after{};
    stat(floppy_.c_str(), &before);
    ASSERT_TRUE(set("\\\\.\\A:", &descriptors_.locked));
    std::string admitted = "g:" + gid("root") + ":rwx,g:" + gid("staff") + ":rwx,m::rwx,o::---";
    std::string owner = root ? "u::---,g::---," : "u::rwx,g::rwx,";  // as root: nobody; else: a member of root
    if (root || (before.st_uid == 0 && before.st_gid == 0)) {
        EXPECT_EQ(acl_text(floppy_), owner + admitted);
    }
    ASSERT_TRUE(set("\\\\.\\a:", &descriptors_.unlocked));
    EXPECT_EQ(acl_text(floppy_), "u::rwx,g::rwx,o::rwx");
    stat(floppy_.c_str(), &after);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
}

TEST_F(FileSecurity, ErrorsThroughTheErrnoTable) {
    SECURITY_DESCRIPTOR zero = {};
    struct Case {
        const char *name;
        SECURITY_INFORMATION what;
        SECURITY_DESCRIPTOR *descriptor;
        DWORD error;
    } cases[] = {{"\\\\.\\B:", DACL_SECURITY_INFORMATION, &descriptors_.locked, ERROR_FILE_NOT_FOUND},
                 {"c:\\no-folder\\x", DACL_SECURITY_INFORMATION, &descriptors_.locked, ERROR_PATH_NOT_FOUND},
                 {"\\\\.\\A:", DACL_SECURITY_INFORMATION, &zero, ERROR_INVALID_SECURITY_DESCR},
                 {"\\\\.\\A:", OWNER_SECURITY_INFORMATION, &descriptors_.locked, ERROR_NOT_SUPPORTED}};
    for (auto &c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(SetFileSecurityA(c.name, c.what, c.descriptor)) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    if (geteuid() != 0)
        GTEST_SKIP() << "refusal needs a file of another user: run as root";
    // Only the owner (or root) may change a file's ACL.
    EXPECT_EQ(
        as_nobody(nullptr, [&] { return set("\\\\.\\A:", &descriptors_.unlocked) || (errno = GetLastError(), false); }),
        (int)ERROR_ACCESS_DENIED);
}

TEST_F(FileSecurity, LockedFilesAndPipesAdmitOnlyTheMappedGroups) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptors_.locked, TRUE};
    HANDLE pipe = CreateNamedPipeA("\\\\.\\pipe\\sd_flppy", PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_WAIT, 1, 0, 0,
                                   1000, &attributes);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    fs::path socket_path = prefix_ / "pipe" / "sd_flppy";
    EXPECT_NE(acl_text(socket_path).find("g:" + gid("staff") + ":rwx"), std::string::npos) << acl_text(socket_path);
    ASSERT_TRUE(set("\\\\.\\A:", &descriptors_.locked));
    if (geteuid() != 0)
        GTEST_SKIP() << "access checks switch to the user nobody: run as root";
    auto open_file = [&] { return open(floppy_.c_str(), O_RDWR) >= 0; };
    auto connect_pipe = [&] {
        int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
        sockaddr_un address{AF_UNIX, {}};
        std::strncpy(address.sun_path, socket_path.c_str(), sizeof address.sun_path - 1);
        return connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    };
    struct Case {
        const char *group;  // Administrators = root, Power Users = staff by default
        int error;
    } cases[] = {{nullptr, EACCES}, {"staff", 0}, {"root", 0}, {"adm", EACCES}};
    for (auto &c : cases) {
        EXPECT_EQ(as_nobody(c.group, open_file), c.error) << (c.group ? c.group : "no group");
        EXPECT_EQ(as_nobody(c.group, connect_pipe), c.error) << (c.group ? c.group : "no group");
    }
    // Unlocked, through the pipe's name as for any file: everyone.
    ASSERT_TRUE(set("\\\\.\\A:", &descriptors_.unlocked));
    ASSERT_TRUE(set("\\\\.\\pipe\\sd_flppy", &descriptors_.unlocked));
    EXPECT_EQ(acl_text(socket_path), "u::rwx,g::rwx,o::rwx");
    EXPECT_EQ(as_nobody(nullptr, open_file), 0);
    EXPECT_EQ(as_nobody(nullptr, connect_pipe), 0);
    CloseHandle(pipe);
}

TEST_F(FileSecurity, UnmappedPowerUsersLeavesOnlyAdministrators) {
    // The ACL keeps both ACEs; a SID whose group is no longer mapped grants nobody anything.
    temporary_.write_config("[accounts]\nAdministrators = root\n");
    ASSERT_TRUE(set("\\\\.\\A:", &descriptors_.locked));
    EXPECT_EQ(acl_text(floppy_).find("g:" + gid("staff")), std::string::npos) << acl_text(floppy_);
    EXPECT_NE(acl_text(floppy_).find("o::---"), std::string::npos) << acl_text(floppy_);
}

}  // namespace
