// SetFileSecurityA as POSIX ACLs on files, drive devices and named pipes, and what those ACLs let an
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

constexpr uid_t nobody = 65534;
constexpr gid_t nogroup = 65534;

// The two descriptors the floppy lock service builds: "locked" admits Administrators and Power Users with
// all file access, "unlocked" has a present but null DACL.
struct Descriptors {
    BYTE administrators[75] = {}, power_users[75] = {};
    alignas(4) BYTE acl[150] = {};
    SECURITY_DESCRIPTOR locked{}, unlocked{};

    bool build() {
        char domain[40];
        DWORD cb_sid = sizeof administrators, cch_domain = sizeof domain;
        SID_NAME_USE use;
        auto *dacl = reinterpret_cast<PACL>(acl);
        return LookupAccountNameA(nullptr, "Administrators", administrators, &cb_sid, domain, &cch_domain, &use) &&
               (cch_domain = sizeof domain,
                LookupAccountNameA(nullptr, "Power Users", power_users, &cb_sid, domain, &cch_domain, &use)) &&
               InitializeAcl(dacl, sizeof acl, ACL_REVISION) &&
               AddAccessAllowedAce(dacl, ACL_REVISION, FILE_ALL_ACCESS, administrators) &&
               AddAccessAllowedAce(dacl, ACL_REVISION, FILE_ALL_ACCESS, power_users) &&
               InitializeSecurityDescriptor(&locked, SECURITY_DESCRIPTOR_REVISION) &&
               InitializeSecurityDescriptor(&unlocked, SECURITY_DESCRIPTOR_REVISION) &&
               SetSecurityDescriptorDacl(&locked, TRUE, dacl, FALSE) &&
               SetSecurityDescriptorDacl(&unlocked, TRUE, nullptr, FALSE);
    }
};

// The file's access ACL as short text with numeric ids, e.g. "u::rwx,g::---,g:50:rwx,m::rwx,o::---".
std::string acl_text(const std::filesystem::path &path) {
    acl_t acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
    if (!acl)
        return "error " + std::to_string(errno);
    char *text = acl_to_any_text(acl, nullptr, ',', TEXT_ABBREVIATE | TEXT_NUMERIC_IDS);
    std::string result = text ? text : "";
    acl_free(text);
    acl_free(acl);
    return result;
}

// Runs `action` in a child process as nobody with the given extra groups; returns the child's errno (0 when
// the action succeeded). Only raw system calls run in the child.
template <typename Action>
int as_nobody(std::vector<gid_t> groups, Action action) {
    pid_t child = fork();
    if (child == 0) {
        if (setgroups(groups.size(), groups.data()) != 0 || setgid(nogroup) != 0 || setuid(nobody) != 0)
            _exit(100);
        _exit(action() ? 0 : errno);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int open_as_nobody(const std::filesystem::path &path, std::vector<gid_t> groups) {
    return as_nobody(groups, [&] {
        int fd = open(path.c_str(), O_RDWR);
        return fd >= 0;
    });
}

int connect_as_nobody(const std::filesystem::path &socket_path, std::vector<gid_t> groups) {
    return as_nobody(groups, [&] {
        int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket_path.c_str(), sizeof address.sun_path - 1);
        return connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    });
}

gid_t group_id(const char *name) {
    group *entry = getgrnam(name);
    return entry ? entry->gr_gid : 0;
}

}  // namespace

class FileSecurity : public platform::testing::PrefixTest {
protected:
    void SetUp() override {
        PrefixTest::SetUp();
        ASSERT_TRUE(descriptors_.build()) << GetLastError();
        floppy_ = folder_ / "floppy-a.img";
        std::ofstream(floppy_) << "disk";
        point_device("a:", floppy_);
        point_device("b:", folder_ / "absent-device");
    }
    Descriptors descriptors_;
    std::filesystem::path floppy_;
};

TEST_F(FileSecurity, LockedAndUnlockedDescriptorsAsPosixAcls) {
    if (geteuid() == 0) {
        ASSERT_EQ(chown(floppy_.c_str(), nobody, nogroup), 0);  // owner and group must stay what they are
    }
    struct stat before {};
    stat(floppy_.c_str(), &before);

    SetLastError(0xdeadbeef);
    ASSERT_TRUE(SetFileSecurityA("\\\\.\\A:", DACL_SECURITY_INFORMATION, &descriptors_.locked));
    std::string root = std::to_string(group_id("root")), staff = std::to_string(group_id("staff"));
    if (geteuid() == 0) {
        EXPECT_EQ(acl_text(floppy_), "u::---,g::---,g:" + root + ":rwx,g:" + staff + ":rwx,m::rwx,o::---");
    }

    ASSERT_TRUE(SetFileSecurityA("\\\\.\\a:", DACL_SECURITY_INFORMATION, &descriptors_.unlocked));
    EXPECT_EQ(acl_text(floppy_), "u::rwx,g::rwx,o::rwx");

    struct stat after {};
    stat(floppy_.c_str(), &after);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
}

TEST_F(FileSecurity, OwnerInAnAdmittedGroupKeepsAccess) {
    // POSIX never lets an owner fall through to group entries, so the owner entry carries what the owner's
    // groups are given, and the owning group's entry what that group is given.
    ASSERT_TRUE(SetFileSecurityA("\\\\.\\A:", DACL_SECURITY_INFORMATION, &descriptors_.locked));
    struct stat info {};
    stat(floppy_.c_str(), &info);
    if (info.st_uid == 0 && info.st_gid == 0) {
        EXPECT_EQ(acl_text(floppy_),
                  "u::rwx,g::rwx,g:0:rwx,g:" + std::to_string(group_id("staff")) + ":rwx,m::rwx,o::---");
    }
}

TEST_F(FileSecurity, ErrorsThroughTheErrnoTable) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetFileSecurityA("\\\\.\\B:", DACL_SECURITY_INFORMATION, &descriptors_.locked));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);  // the drive's device is absent
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetFileSecurityA("c:\\no-folder\\x", DACL_SECURITY_INFORMATION, &descriptors_.locked));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);

    SECURITY_DESCRIPTOR zero = {};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetFileSecurityA("\\\\.\\A:", DACL_SECURITY_INFORMATION, &zero));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_SECURITY_DESCR);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetFileSecurityA("\\\\.\\A:", OWNER_SECURITY_INFORMATION, &descriptors_.locked));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_SUPPORTED);

    if (geteuid() != 0)
        GTEST_SKIP() << "refusal needs a file of another user: run as root";
    // Only the owner (or root) may change a file's ACL: nobody is refused.
    int result = as_nobody({}, [&] {
        SetLastError(0xdeadbeef);
        return SetFileSecurityA("\\\\.\\A:", DACL_SECURITY_INFORMATION, &descriptors_.unlocked) ||
               (errno = (int)GetLastError(), false);
    });
    EXPECT_EQ(result, (int)ERROR_ACCESS_DENIED);
}

TEST_F(FileSecurity, LockedDrivesAdmitOnlyTheMappedGroups) {
    if (geteuid() != 0)
        GTEST_SKIP() << "access checks switch to the user nobody: run as root";
    ASSERT_TRUE(SetFileSecurityA("\\\\.\\A:", DACL_SECURITY_INFORMATION, &descriptors_.locked));
    EXPECT_EQ(open_as_nobody(floppy_, {}), EACCES);
    EXPECT_EQ(open_as_nobody(floppy_, {group_id("staff")}), 0);  // Power Users
    EXPECT_EQ(open_as_nobody(floppy_, {group_id("root")}), 0);   // Administrators
    EXPECT_EQ(open_as_nobody(floppy_, {group_id("adm")}), EACCES);

    ASSERT_TRUE(SetFileSecurityA("\\\\.\\A:", DACL_SECURITY_INFORMATION, &descriptors_.unlocked));
    EXPECT_EQ(open_as_nobody(floppy_, {}), 0);
}

TEST_F(FileSecurity, PipeSocketCarriesTheDescriptor) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptors_.locked, TRUE};
    HANDLE pipe = CreateNamedPipeA("\\\\.\\pipe\\sd_flppy", PIPE_ACCESS_DUPLEX,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 0, 0, 1000, &attributes);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    auto socket_path = prefix_ / "pipe" / "sd_flppy";
    EXPECT_NE(acl_text(socket_path).find("g:" + std::to_string(group_id("staff")) + ":rwx"), std::string::npos);
    if (geteuid() == 0) {
        EXPECT_EQ(connect_as_nobody(socket_path, {}), EACCES);
        EXPECT_EQ(connect_as_nobody(socket_path, {group_id("staff")}), 0);
    }
    // The pipe's security can be replaced through its name, as for any file.
    ASSERT_TRUE(SetFileSecurityA("\\\\.\\pipe\\sd_flppy", DACL_SECURITY_INFORMATION, &descriptors_.unlocked));
    EXPECT_EQ(acl_text(socket_path), "u::rwx,g::rwx,o::rwx");
    if (geteuid() == 0) {
        EXPECT_EQ(connect_as_nobody(socket_path, {}), 0);
    }
    CloseHandle(pipe);
}

TEST_F(FileSecurity, UnmappedPowerUsersLeavesOnlyAdministrators) {
    // The ACL keeps both ACEs; a SID whose group is no longer mapped grants nobody anything.
    ASSERT_TRUE(SetFileSecurityA("\\\\.\\A:", DACL_SECURITY_INFORMATION, &descriptors_.locked));
    std::ofstream(prefix_ / "platform.conf") << "[accounts]\nAdministrators = root\n";
    platform::testing::reload_prefix();
    ASSERT_TRUE(SetFileSecurityA("\\\\.\\A:", DACL_SECURITY_INFORMATION, &descriptors_.locked));
    EXPECT_EQ(acl_text(floppy_).find("g:" + std::to_string(group_id("staff"))), std::string::npos) << acl_text(floppy_);
}
