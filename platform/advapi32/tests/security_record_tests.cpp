// The published security records: ACLs, ACEs and security descriptors, built and checked as Windows does.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

static_assert(sizeof(ACL) == 8 && sizeof(ACE_HEADER) == 4 && sizeof(ACCESS_ALLOWED_ACE) == 12, "published sizes");
static_assert(sizeof(SID) == 12 && sizeof(SID_IDENTIFIER_AUTHORITY) == 6, "published sizes");
static_assert(SECURITY_DESCRIPTOR_MIN_LENGTH == sizeof(SECURITY_DESCRIPTOR), "absolute form");
static_assert(FILE_ALL_ACCESS == 0x1F01FF && ACL_REVISION == 2 && SECURITY_DESCRIPTOR_REVISION == 1, "values");

namespace {

// S-1-5-32-rid, as LookupAccountNameA returns the builtin aliases.
struct BuiltinSid {
    BYTE bytes[16];
    explicit BuiltinSid(DWORD rid) {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        std::memset(bytes, 0, sizeof bytes);
        auto *sid = reinterpret_cast<SID *>(bytes);
        sid->Revision = SID_REVISION;
        sid->SubAuthorityCount = 2;
        sid->IdentifierAuthority = nt;
        DWORD rids[2] = {SECURITY_BUILTIN_DOMAIN_RID, rid};
        std::memcpy(bytes + 8, rids, sizeof rids);
    }
    PSID get() { return bytes; }
};

}  // namespace

TEST(Acls, InitializeChecksSizeAndRevision) {
    alignas(4) BYTE buffer[150];
    auto *acl = reinterpret_cast<PACL>(buffer);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InitializeAcl(acl, sizeof(ACL) - 1, ACL_REVISION));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InitializeAcl(acl, sizeof buffer, 1));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InitializeAcl(acl, sizeof buffer, MAX_ACL_REVISION + 1));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InitializeAcl(acl, 0x10000, ACL_REVISION));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);

    std::memset(buffer, 0xcc, sizeof buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
    EXPECT_EQ(acl->AclRevision, ACL_REVISION);
    EXPECT_EQ(acl->Sbz1, 0);
    EXPECT_EQ(acl->AceCount, 0);
    EXPECT_EQ(acl->Sbz2, 0);
    EXPECT_LE(acl->AclSize, sizeof buffer);  // never claims more than the buffer
    EXPECT_GE(acl->AclSize, sizeof buffer - 3);
    EXPECT_TRUE(IsValidAcl(acl));
}

TEST(Acls, AddAccessAllowedAceLaysOutPublishedRecords) {
    alignas(4) BYTE buffer[150] = {};
    auto *acl = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
    BuiltinSid administrators(DOMAIN_ALIAS_RID_ADMINS), power_users(DOMAIN_ALIAS_RID_POWER_USERS);
    ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, administrators.get()));
    ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, power_users.get()));
    EXPECT_EQ(acl->AceCount, 2);
    EXPECT_TRUE(IsValidAcl(acl));

    // Header, then each ACE: type, flags, size, mask, SID; packed one after the other.
    for (int i = 0; i < 2; ++i) {
        LPVOID entry = nullptr;
        ASSERT_TRUE(GetAce(acl, i, &entry));
        EXPECT_EQ(entry, buffer + 8 + 24 * i);
        auto *ace = static_cast<ACCESS_ALLOWED_ACE *>(entry);
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags, 0);
        EXPECT_EQ(ace->Header.AceSize, 24);
        EXPECT_EQ(ace->Mask, (DWORD)FILE_ALL_ACCESS);
        EXPECT_EQ(std::memcmp(&ace->SidStart, i ? power_users.get() : administrators.get(), 16), 0);
    }
    LPVOID entry;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetAce(acl, 2, &entry));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST(Acls, AddAccessAllowedAceFailures) {
    alignas(4) BYTE buffer[8 + 24 + 20] = {};
    auto *acl = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
    BuiltinSid administrators(DOMAIN_ALIAS_RID_ADMINS);

    BYTE zero_sid[75] = {};  // what a failed account lookup leaves in the caller's buffer
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, zero_sid));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_SID);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(AddAccessAllowedAce(acl, MAX_ACL_REVISION + 1, FILE_ALL_ACCESS, administrators.get()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_REVISION_MISMATCH);

    ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_READ, administrators.get()));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_READ, administrators.get()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALLOTTED_SPACE_EXCEEDED);
    EXPECT_EQ(acl->AceCount, 1);

    BYTE uninitialised[150] = {};  // an ACL nobody initialised
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(
        AddAccessAllowedAce(reinterpret_cast<PACL>(uninitialised), ACL_REVISION, GENERIC_READ, administrators.get()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_ACL);

    // An ACE that claims more than its ACL holds makes the ACL invalid.
    reinterpret_cast<ACE_HEADER *>(buffer + 8)->AceSize = 200;
    EXPECT_FALSE(IsValidAcl(acl));
}

TEST(SecurityDescriptors, InitializeAndSetDacl) {
    SECURITY_DESCRIPTOR descriptor;
    std::memset(&descriptor, 0xcc, sizeof descriptor);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InitializeSecurityDescriptor(&descriptor, 2));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_UNKNOWN_REVISION);
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_EQ(descriptor.Revision, SECURITY_DESCRIPTOR_REVISION);
    EXPECT_EQ(descriptor.Control, 0);
    EXPECT_EQ(descriptor.Owner, nullptr);
    EXPECT_EQ(descriptor.Group, nullptr);
    EXPECT_EQ(descriptor.Sacl, nullptr);
    EXPECT_EQ(descriptor.Dacl, nullptr);
    EXPECT_TRUE(IsValidSecurityDescriptor(&descriptor));

    alignas(4) BYTE buffer[150];
    auto *acl = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
    EXPECT_EQ(descriptor.Control, SE_DACL_PRESENT);
    EXPECT_EQ(descriptor.Dacl, acl);
    EXPECT_TRUE(IsValidSecurityDescriptor(&descriptor));

    BOOL present = FALSE, defaulted = TRUE;
    PACL read_back = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(&descriptor, &present, &read_back, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_EQ(read_back, acl);
    EXPECT_FALSE(defaulted);

    // A present but null DACL: what "unlocked" means.
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, TRUE));
    EXPECT_EQ(descriptor.Control, SE_DACL_PRESENT | SE_DACL_DEFAULTED);
    EXPECT_EQ(descriptor.Dacl, nullptr);
    EXPECT_TRUE(IsValidSecurityDescriptor(&descriptor));

    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, FALSE, nullptr, FALSE));
    EXPECT_EQ(descriptor.Control & SE_DACL_PRESENT, 0);
}

TEST(SecurityDescriptors, InvalidDescriptors) {
    SECURITY_DESCRIPTOR zero = {};  // never initialised
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetSecurityDescriptorDacl(&zero, TRUE, nullptr, FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_UNKNOWN_REVISION);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(IsValidSecurityDescriptor(&zero));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_UNKNOWN_REVISION);

    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    BYTE broken_acl[150] = {};  // revision 0
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(broken_acl), FALSE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(IsValidSecurityDescriptor(&descriptor));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_SECURITY_DESCR);
}

TEST(Sids, CheckCompareAndAllocate) {
    BuiltinSid administrators(DOMAIN_ALIAS_RID_ADMINS), power_users(DOMAIN_ALIAS_RID_POWER_USERS);
    EXPECT_TRUE(IsValidSid(administrators.get()));
    EXPECT_EQ(GetLengthSid(administrators.get()), 16u);
    EXPECT_FALSE(EqualSid(administrators.get(), power_users.get()));

    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID allocated = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                         &allocated));
    EXPECT_TRUE(EqualSid(allocated, administrators.get()));
    EXPECT_EQ(FreeSid(allocated), nullptr);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(AllocateAndInitializeSid(&nt, 9, 0, 0, 0, 0, 0, 0, 0, 0, &allocated));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_SID);
    BYTE zero[16] = {};
    EXPECT_FALSE(IsValidSid(zero));
}
