// SetFileSecurityA as POSIX ACLs on drive devices, files and named pipes.
#include "testing/temporary_prefix.h"

#include <windows.h>

#include <acl/libacl.h>
#include <grp.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

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

BYTE administrators[16] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};  // S-1-5-32-544
BYTE power_users[16] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x23, 0x02, 0, 0};     // S-1-5-32-547

std::string gid(const char *name) {
    return std::to_string(getgrnam(name) ? getgrnam(name)->gr_gid : 0);
}

// The service's two descriptors: "locked" gives Administrators and Power Users (root and staff by default)
// all file access, "unlocked" has a present but null DACL.
class FileSecurity : public platform::testing::PrefixTest {
protected:
    void SetUp() override {
        auto *dacl = reinterpret_cast<PACL>(acl_);
        ASSERT_TRUE(InitializeAcl(dacl, sizeof acl_, ACL_REVISION) &&
                    AddAccessAllowedAce(dacl, ACL_REVISION, FILE_ALL_ACCESS, administrators) &&
                    AddAccessAllowedAce(dacl, ACL_REVISION, FILE_ALL_ACCESS, power_users));
        ASSERT_TRUE(InitializeSecurityDescriptor(&locked_, 1) && InitializeSecurityDescriptor(&unlocked_, 1));
        ASSERT_TRUE(SetSecurityDescriptorDacl(&locked_, TRUE, dacl, FALSE));
        ASSERT_TRUE(SetSecurityDescriptorDacl(&unlocked_, TRUE, nullptr, FALSE));
        std::ofstream(floppy_) << "disk";
        point_device("a:", floppy_);
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
    struct stat before = {}, after = {};
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

// Errors through the errno table: a missing file or folder in the conformance tests, a missing drive device in
// the service's (which logs it as not found).
TEST_F(FileSecurity, AnOwnerIsNotSupportedAndPipesTakeDescriptors) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetFileSecurityA("\\\\.\\A:", OWNER_SECURITY_INFORMATION, &locked_));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_SUPPORTED);
    // A pipe's socket carries the descriptor it was created with, and takes another through its name. (Whom the
    // ACLs admit is checked against the running service, which opens the drives and the pipe as other users.)
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &locked_, TRUE};
    HANDLE pipe =
        CreateNamedPipeA("\\\\.\\pipe\\sd_flppy", PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 1, 0, 0, 0, &attributes);
    fs::path socket_path = prefix_ / "pipe" / "sd_flppy";
    EXPECT_NE(acl_text(socket_path).find(",g:" + gid("staff") + ":rwx,m::rwx,o::---"), std::string::npos)
        << acl_text(socket_path);
    ASSERT_TRUE(set("\\\\.\\pipe\\sd_flppy", &unlocked_));
    EXPECT_EQ(acl_text(socket_path), "u::rwx,g::rwx,o::rwx");
    CloseHandle(pipe);
}

}  // namespace
