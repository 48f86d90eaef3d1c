// The security records (ACLs, ACEs, SIDs, descriptors) as the floppy lock service builds them, and
// LookupAccountNameA for the builtin aliases that the prefix's account map ties to Unix groups.
#include "testing/temporary_prefix.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr DWORD sentinel = 0xdeadbeef;
const BYTE administrators[16] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};  // S-1-5-32-544
const BYTE power_users[16] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x23, 0x02, 0, 0};     // S-1-5-32-547
const BYTE world[12] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};                              // S-1-1-0

TEST(Acls, InitializeRefusesBadSizesAndRevisions) {
    alignas(4) BYTE buffer[150];
    auto *acl = reinterpret_cast<PACL>(buffer);
    const DWORD cases[][3] = {{sizeof(ACL) - 1, ACL_REVISION, ERROR_INSUFFICIENT_BUFFER},  // size, revision, error
                              {sizeof buffer, 1, ERROR_INVALID_PARAMETER},
                              {sizeof buffer, MAX_ACL_REVISION + 1, ERROR_INVALID_PARAMETER},
                              {0x10000, ACL_REVISION, ERROR_INVALID_PARAMETER}};
    for (auto &c : cases) {
        SetLastError(sentinel);
        EXPECT_FALSE(InitializeAcl(acl, c[0], c[1])) << c[0] << " " << c[1];
        EXPECT_EQ(GetLastError(), c[2]) << c[0] << " " << c[1];
    }
    std::memset(buffer, 0xcc, sizeof buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
    EXPECT_EQ(acl->AclRevision, ACL_REVISION);
    EXPECT_EQ(acl->Sbz1 | acl->AceCount | acl->Sbz2, 0);
    EXPECT_TRUE(acl->AclSize <= sizeof buffer && acl->AclSize >= sizeof buffer - 3) << acl->AclSize;
}

TEST(Acls, AcesArePackedRecordsAndFailuresLeaveTheAclAsItWas) {
    alignas(4) BYTE buffer[8 + 24 + 24 + 20] = {}, uninitialised[150] = {};
    auto *acl = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
    BYTE zero_sid[75] = {};  // what a failed account lookup leaves in the caller's buffer
    const struct {
        PACL acl;
        DWORD revision;
        const void *sid;
        DWORD error;
    } cases[] = {{acl, ACL_REVISION, administrators, ERROR_SUCCESS},
                 {acl, ACL_REVISION, power_users, ERROR_SUCCESS},
                 {acl, ACL_REVISION, zero_sid, ERROR_INVALID_SID},
                 {acl, MAX_ACL_REVISION + 1, administrators, ERROR_REVISION_MISMATCH},
                 {acl, ACL_REVISION, administrators, ERROR_ALLOTTED_SPACE_EXCEEDED},
                 {reinterpret_cast<PACL>(uninitialised), ACL_REVISION, administrators, ERROR_INVALID_ACL}};
    for (auto &c : cases) {
        SetLastError(sentinel);
        EXPECT_EQ(AddAccessAllowedAce(c.acl, c.revision, FILE_ALL_ACCESS, const_cast<void *>(c.sid)), !c.error);
        EXPECT_EQ(GetLastError(), c.error ? c.error : sentinel);
    }
    EXPECT_EQ(acl->AceCount, 2);
    EXPECT_TRUE(IsValidAcl(acl));
    for (int i = 0; i < 2; ++i) {  // header, then type, flags, size, mask and SID of each
        auto *ace = reinterpret_cast<ACCESS_ALLOWED_ACE *>(buffer + 8 + 24 * i);
        LPVOID entry = nullptr;
        EXPECT_TRUE(GetAce(acl, i, &entry) && entry == ace);
        EXPECT_EQ(ace->Header.AceType | ace->Header.AceFlags << 8 | ace->Header.AceSize << 16, 24 << 16);
        EXPECT_EQ(ace->Mask, (DWORD)FILE_ALL_ACCESS);
        EXPECT_EQ(std::memcmp(&ace->SidStart, i ? power_users : administrators, 16), 0);
    }
    LPVOID entry = nullptr;
    SetLastError(sentinel);
    EXPECT_FALSE(GetAce(acl, 2, &entry));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    reinterpret_cast<ACE_HEADER *>(buffer + 8)->AceSize = 200;  // an ACE that claims more than its ACL
    EXPECT_FALSE(IsValidAcl(acl));
}

TEST(SecurityDescriptors, DaclPresentNullOrAbsent) {
    SECURITY_DESCRIPTOR descriptor, zero = {};
    SetLastError(sentinel);
    EXPECT_FALSE(InitializeSecurityDescriptor(&descriptor, 2));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_UNKNOWN_REVISION);
    SetLastError(sentinel);
    EXPECT_FALSE(SetSecurityDescriptorDacl(&zero, TRUE, nullptr, FALSE) || IsValidSecurityDescriptor(&zero));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_UNKNOWN_REVISION);  // never initialised
    std::memset(&descriptor, 0xcc, sizeof descriptor);
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_TRUE(descriptor.Revision == 1 && !descriptor.Control && !descriptor.Owner && !descriptor.Group &&
                !descriptor.Sacl && !descriptor.Dacl);
    alignas(4) BYTE buffer[150], broken_acl[150] = {};  // revision 0
    auto *acl = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
    const struct {
        BOOL present;
        PACL dacl;
        BOOL defaulted;
        WORD control;
        BOOL valid;
    } cases[] = {{TRUE, acl, FALSE, SE_DACL_PRESENT, TRUE},
                 {TRUE, nullptr, TRUE, SE_DACL_PRESENT | SE_DACL_DEFAULTED, TRUE},  // "unlocked"
                 {TRUE, reinterpret_cast<PACL>(broken_acl), FALSE, SE_DACL_PRESENT, FALSE},
                 {FALSE, nullptr, FALSE, 0, TRUE}};
    for (auto &c : cases) {
        ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, c.present, c.dacl, c.defaulted));
        EXPECT_EQ(descriptor.Control, c.control);
        SetLastError(sentinel);
        EXPECT_EQ(IsValidSecurityDescriptor(&descriptor), c.valid);
        EXPECT_EQ(GetLastError(), c.valid ? sentinel : (DWORD)ERROR_INVALID_SECURITY_DESCR);
        EXPECT_EQ(descriptor.Dacl, c.dacl);
    }
}

// One lookup as the service makes it: a 75-byte SID buffer and a 40-character domain unless given.
struct Lookup {
    const char *accounts;  // platform.conf's [accounts] section, or nullptr for none
    const char *system, *name;
    DWORD error;                         // ERROR_SUCCESS: found
    const BYTE *sid;                     // found: the SID, its size, the domain
    DWORD cb_sid = 75, cch_domain = 40;  // the sizes given, then the sizes expected after the call
    DWORD cb_after = 75, cch_after = 40;
};

class Accounts : public platform::testing::PrefixTest, public ::testing::WithParamInterface<Lookup> {};

TEST_P(Accounts, ResultSizesAndLastError) {
    const Lookup &c = GetParam();
    if (c.accounts)
        temporary_.write_config(std::string("[accounts]\n") + c.accounts);
    BYTE sid[75] = {};
    char domain[40] = "untouched";
    DWORD cb_sid = c.cb_sid, cch_domain = c.cch_domain;
    SID_NAME_USE use = (SID_NAME_USE)0;
    SetLastError(sentinel);
    BOOL found = LookupAccountNameA(c.system, c.name, c.cb_sid ? sid : nullptr, &cb_sid,
                                    c.cch_domain ? domain : nullptr, &cch_domain, &use);
    EXPECT_EQ(found, c.error == ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), found ? sentinel : c.error);
    bool everyone = c.sid == world;
    EXPECT_EQ(cb_sid, found ? (everyone ? 12u : 16u) : c.cb_after);
    EXPECT_EQ(cch_domain, found ? (everyone ? 0u : 7u) : c.cch_after);
    EXPECT_EQ(use, found ? (everyone ? SidTypeWellKnownGroup : SidTypeAlias) : (SID_NAME_USE)0);
    EXPECT_EQ(std::memcmp(sid, found ? c.sid : sid, cb_sid), 0);
    EXPECT_STREQ(domain, !found ? domain : everyone ? "" : "BUILTIN");
}

INSTANTIATE_TEST_SUITE_P(
    BuiltinAliases, Accounts,
    ::testing::Values(Lookup{nullptr, nullptr, "Administrators", 0, administrators},
                      Lookup{nullptr, nullptr, "Power Users", 0, power_users},
                      Lookup{nullptr, "", "BUILTIN\\power users", 0, power_users},  // any case, with its domain
                      Lookup{nullptr, nullptr, "Everyone", 0, world},
                      // Too small: the sizes needed, the domain with room for its NUL.
                      Lookup{nullptr, nullptr, "Administrators", ERROR_INSUFFICIENT_BUFFER, nullptr, 0, 0, 16, 8},
                      Lookup{nullptr, nullptr, "Administrators", ERROR_INSUFFICIENT_BUFFER, nullptr, 16, 7, 16, 8},
                      Lookup{nullptr, nullptr, "Nobody In Particular", ERROR_NONE_MAPPED, nullptr},
                      Lookup{nullptr, "\\\\elsewhere-host", "Administrators", RPC_S_SERVER_UNAVAILABLE, nullptr},
                      // The account map decides which aliases resolve.
                      Lookup{"Administrators = root\n", nullptr, "Administrators", 0, administrators},
                      Lookup{"Administrators = root\n", nullptr, "Power Users", ERROR_NONE_MAPPED, nullptr},
                      Lookup{"Power Users = no-such-group-here\n", nullptr, "Power Users", ERROR_NONE_MAPPED, nullptr},
                      Lookup{"power users = adm\n", nullptr, "Power Users", 0, power_users},
                      Lookup{"power users = adm\n", nullptr, "Administrators", ERROR_NONE_MAPPED, nullptr}));

}  // namespace
