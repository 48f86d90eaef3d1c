// Conformance tests of the security calls as the floppy lock service makes them: the ACL and descriptor it
// builds, the builtin aliases it looks up, and the file security it sets. Win32 and GoogleTest only, so they
// also run on Windows and Wine.
#include "conformance.h"

#include <cstring>
#include <tuple>

namespace {

using namespace conformance;

const BYTE administrators[16] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};  // S-1-5-32-544
const BYTE power_users[16] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x23, 0x02, 0, 0};     // S-1-5-32-547
const BYTE world[12] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};                              // S-1-1-0

TEST(SecurityConformance, WorldSidIsValidAndEqualToItself) {
    SID_IDENTIFIER_AUTHORITY world_authority = SECURITY_WORLD_SID_AUTHORITY;
    PSID first = NULL, second = NULL;
    ASSERT_TRUE(AllocateAndInitializeSid(&world_authority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &first));
    ASSERT_TRUE(AllocateAndInitializeSid(&world_authority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &second));
    EXPECT_TRUE(IsValidSid(first));
    EXPECT_EQ(GetLengthSid(first), 12u);  // revision, count, authority and one sub-authority
    EXPECT_TRUE(EqualSid(first, second));
    EXPECT_EQ(std::memcmp(first, world, 12), 0);
    FreeSid(first);
    FreeSid(second);
}

TEST(Acls, AcesArePackedRecordsAndFailuresLeaveTheAclAsItWasAndDescriptorsHoldThem) {
    alignas(4) BYTE buffer[8 + 24 + 24 + 20], uninitialised[150] = {};
    auto *acl = reinterpret_cast<PACL>(buffer);
    std::memset(buffer, 0xcc, sizeof buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
    EXPECT_EQ(acl->AclRevision | acl->Sbz1 << 8 | acl->AceCount << 16 | acl->Sbz2 << 24, ACL_REVISION);
    EXPECT_TRUE(acl->AclSize <= sizeof buffer && acl->AclSize >= sizeof buffer - 3) << acl->AclSize;
    BYTE zero_sid[75] = {};  // what a failed account lookup leaves in the caller's buffer
    const std::tuple<PACL, DWORD, const void *, DWORD> cases[] = {
        // ACL, revision, SID, error
        {acl, ACL_REVISION, administrators, ERROR_SUCCESS},
        {acl, ACL_REVISION, power_users, ERROR_SUCCESS},
        {acl, ACL_REVISION, zero_sid, ERROR_INVALID_SID},
        {acl, MAX_ACL_REVISION + 1, administrators, ERROR_REVISION_MISMATCH},
        {acl, ACL_REVISION, administrators, ERROR_ALLOTTED_SPACE_EXCEEDED},
        {reinterpret_cast<PACL>(uninitialised), ACL_REVISION, administrators, ERROR_INVALID_ACL}};
    for (auto [target, revision, sid, error] : cases) {
        SetLastError(kSentinel);
        EXPECT_EQ(AddAccessAllowedAce(target, revision, FILE_ALL_ACCESS, const_cast<void *>(sid)), !error);
        EXPECT_EQ(GetLastError(), error ? error : kSentinel);
    }
    // The header, then each ACE packed: type, flags, size, mask and SID.
    const BYTE ace[8] = {ACCESS_ALLOWED_ACE_TYPE, 0, 24, 0, 0xff, 0x01, 0x1f, 0};  // FILE_ALL_ACCESS
    EXPECT_TRUE(acl->AceCount == 2 && IsValidAcl(acl));
    for (int i = 0; i < 3; ++i) {
        LPVOID entry = nullptr;
        EXPECT_EQ(GetAce(acl, i, &entry), i < 2);
        EXPECT_TRUE(i == 2 || (entry == buffer + 8 + 24 * i && !std::memcmp(entry, ace, 8) &&
                               !std::memcmp(buffer + 16 + 24 * i, i ? power_users : administrators, 16)));
    }
    SECURITY_DESCRIPTOR descriptor, zero = {};
    EXPECT_FAILS(!InitializeSecurityDescriptor(&descriptor, 2), ERROR_UNKNOWN_REVISION);
    EXPECT_FAILS(!IsValidSecurityDescriptor(&zero), ERROR_UNKNOWN_REVISION);  // never initialised
    EXPECT_FAILS(!SetSecurityDescriptorDacl(&zero, TRUE, nullptr, 0), ERROR_UNKNOWN_REVISION);
    alignas(4) BYTE newer[64];  // an ACL of the latest revision takes ACEs of an older one
    EXPECT_TRUE(InitializeAcl(reinterpret_cast<PACL>(newer), sizeof newer, ACL_REVISION_DS) &&
                AddAccessAllowedAce(reinterpret_cast<PACL>(newer), ACL_REVISION, GENERIC_READ, (PSID)world));
    std::memset(&descriptor, 0xcc, sizeof descriptor);
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_TRUE(descriptor.Revision == 1 && !descriptor.Control && !descriptor.Owner && !descriptor.Group &&
                !descriptor.Sacl && !descriptor.Dacl);
    const std::tuple<BOOL, PACL, BOOL, WORD, BOOL> dacls[] = {
        // present, DACL, defaulted, control, valid
        {TRUE, acl, FALSE, SE_DACL_PRESENT, TRUE},
        {FALSE, nullptr, FALSE, 0, TRUE},
        {TRUE, nullptr, TRUE, SE_DACL_PRESENT | SE_DACL_DEFAULTED, TRUE},  // "unlocked"
        // The descriptor's own check looks into its DACL too.
        {TRUE, reinterpret_cast<PACL>(uninitialised), FALSE, SE_DACL_PRESENT, FALSE},  // revision 0
        {TRUE, acl, FALSE, SE_DACL_PRESENT, FALSE}};  // once its first ACE claims more than the ACL holds
    for (auto [present, dacl, defaulted, control, valid] : dacls) {
        if (!valid && dacl == acl) {
            reinterpret_cast<ACE_HEADER *>(buffer + 8)->AceSize = 200;
            EXPECT_FALSE(IsValidAcl(acl));
        }
        ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, present, dacl, defaulted));
        EXPECT_EQ(descriptor.Control, control);
        EXPECT_EQ(descriptor.Dacl, present ? dacl : descriptor.Dacl);  // an absent DACL is not read
        SetLastError(kSentinel);
        BOOL result = IsValidSecurityDescriptor(&descriptor);
        SKIP_KNOWN_DIFFERENCE(result && !valid, "a descriptor's check does not look into its DACL here");
        EXPECT_EQ(result, valid);
        EXPECT_EQ(GetLastError(), valid ? kSentinel : (DWORD)ERROR_INVALID_SECURITY_DESCR);
    }
}

// Each lookup as the service makes it: a 75-byte SID buffer and a 40-character domain unless given smaller.
TEST(SecurityConformance, LookupAccountNameFindsTheBuiltinAliasesAndReportsSizesAndErrors) {
    struct Lookup {
        const char *system, *name;
        DWORD error;                                                        // ERROR_SUCCESS: found
        const BYTE *sid;                                                    // found: the SID
        DWORD cb_sid = 75, cch_domain = 40, cb_after = 75, cch_after = 40;  // sizes given, and expected after
    };
    const Lookup lookups[] = {
        {nullptr, "Administrators", 0, administrators},
        {nullptr, "Power Users", 0, power_users},
        {"", "BUILTIN\\power users", 0, power_users},  // any case, with its domain
        {nullptr, "Everyone", 0, world},
        // Too small: the sizes needed, the domain with room for its NUL.
        {nullptr, "Administrators", ERROR_INSUFFICIENT_BUFFER, nullptr, 0, 0, 16, 8},
        {nullptr, "Administrators", ERROR_INSUFFICIENT_BUFFER, nullptr, 16, 7, 16, 8},
        {nullptr, "Nobody In Particular", ERROR_NONE_MAPPED, nullptr},
    };
    for (const Lookup &c : lookups) {
        BYTE sid[75] = {};
        char domain[40] = "untouched";
        DWORD cb_sid = c.cb_sid, cch_domain = c.cch_domain;
        SID_NAME_USE use = (SID_NAME_USE)0;
        SetLastError(kSentinel);
        BOOL found = LookupAccountNameA(c.system, c.name, c.cb_sid ? sid : nullptr, &cb_sid,
                                        c.cch_domain ? domain : nullptr, &cch_domain, &use);
        EXPECT_EQ(found, c.error == ERROR_SUCCESS) << c.name;
        EXPECT_LAST_ERROR(found ? kSentinel : c.error) << c.name;
        bool everyone = c.sid == world;
        EXPECT_EQ(cb_sid, found ? (everyone ? 12u : 16u) : c.cb_after) << c.name;
        EXPECT_EQ(cch_domain, found ? (everyone ? 0u : 7u) : c.cch_after) << c.name;
        EXPECT_EQ(use, found ? (everyone ? SidTypeWellKnownGroup : SidTypeAlias) : (SID_NAME_USE)0) << c.name;
        EXPECT_EQ(std::memcmp(sid, found && c.sid ? c.sid : sid, cb_sid), 0) << c.name;
        EXPECT_STREQ(domain, !found ? domain : everyone ? "" : "BUILTIN") << c.name;
    }
}

// The service's two descriptors on a file: "locked" (Administrators and Power Users have all access) and
// "unlocked" (a present, null DACL); and the errors of names that lead nowhere and of a bad descriptor.
TEST(SecurityConformance, SetFileSecurityTakesTheServicesDescriptorsAndRefusesWhatLeadsNowhere) {
    alignas(4) BYTE acl_buffer[150];
    auto *dacl = reinterpret_cast<PACL>(acl_buffer);
    SECURITY_DESCRIPTOR locked, unlocked, zero = {};
    ASSERT_TRUE(InitializeAcl(dacl, sizeof acl_buffer, ACL_REVISION) &&
                AddAccessAllowedAce(dacl, ACL_REVISION, FILE_ALL_ACCESS, (PSID)administrators) &&
                AddAccessAllowedAce(dacl, ACL_REVISION, FILE_ALL_ACCESS, (PSID)power_users));
    ASSERT_TRUE(InitializeSecurityDescriptor(&locked, SECURITY_DESCRIPTOR_REVISION) &&
                InitializeSecurityDescriptor(&unlocked, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&locked, TRUE, dacl, FALSE) &&
                SetSecurityDescriptorDacl(&unlocked, TRUE, NULL, FALSE));
    const char *file = "c:\\conformance-security.txt";
    HANDLE handle = CreateFileA(file, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(handle);
    const std::tuple<const char *, SECURITY_DESCRIPTOR *, DWORD> cases[] = {
        {file, &locked, ERROR_SUCCESS},
        {file, &unlocked, ERROR_SUCCESS},
        {"c:\\conformance-no-such-file.txt", &locked, ERROR_FILE_NOT_FOUND},
        {"c:\\conformance-no-folder\\x", &locked, ERROR_PATH_NOT_FOUND},
        {file, &zero, ERROR_UNKNOWN_REVISION},
    };
    for (auto [name, descriptor, error] : cases) {
        SetLastError(kSentinel);
        EXPECT_EQ(SetFileSecurityA(name, DACL_SECURITY_INFORMATION, descriptor), !error) << name;
        EXPECT_LAST_ERROR(error ? error : kSentinel) << name;
    }
}

}  // namespace
