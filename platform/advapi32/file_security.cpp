#include "file_security.h"

#include "account_map.h"
#include "kernel32/dos_paths.h"
#include "kernel32/errno_map.h"
#include "kernel32/named_pipe_location.h"
#include "security_records.h"

#include <acl/libacl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/acl.h>
#include <sys/stat.h>

#include <cerrno>
#include <map>
#include <memory>
#include <vector>

namespace platform::security {
namespace {

constexpr DWORD read_rights = GENERIC_READ | GENERIC_ALL | FILE_READ_DATA;
constexpr DWORD write_rights = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr DWORD execute_rights = GENERIC_EXECUTE | GENERIC_ALL | FILE_EXECUTE;

unsigned rwx_bits(ACCESS_MASK mask) {
    return ((mask & read_rights) ? 4u : 0u) | ((mask & write_rights) ? 2u : 0u) | ((mask & execute_rights) ? 1u : 0u);
}

// What the DACL gives, before it is laid out as POSIX entries.
struct Grants {
    unsigned everyone = 0;
    std::map<gid_t, unsigned> groups;
};

// Nothing when the DACL holds an entry that POSIX ACLs cannot express (a deny ACE).
std::optional<Grants> grants_of(const ACL *dacl) {
    Grants grants;
    auto *position = reinterpret_cast<const BYTE *>(dacl) + sizeof(ACL);
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        auto *header = reinterpret_cast<const ACE_HEADER *>(position);
        position += header->AceSize;
        if (header->AceFlags & INHERIT_ONLY_ACE)
            continue;  // applies to children only
        if (header->AceType == ACCESS_DENIED_ACE_TYPE)
            return std::nullopt;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        auto *ace = reinterpret_cast<const ACCESS_ALLOWED_ACE *>(header);
        auto grantee = unix_grantee(&ace->SidStart);
        if (!grantee)
            continue;  // a SID nobody here holds grants nobody anything
        if (grantee->everyone)
            grants.everyone |= rwx_bits(ace->Mask);
        else
            grants.groups[grantee->group] |= rwx_bits(ace->Mask);
    }
    return grants;
}

std::vector<gid_t> groups_of_user(uid_t user) {
    std::vector<char> buffer(16384);
    passwd entry{}, *result = nullptr;
    if (getpwuid_r(user, &entry, buffer.data(), buffer.size(), &result) != 0 || !result)
        return {};
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (getgrouplist(result->pw_name, result->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        getgrouplist(result->pw_name, result->pw_gid, groups.data(), &count);
    }
    groups.resize(static_cast<std::size_t>(count));
    return groups;
}

struct AclDeleter {
    void operator()(void *acl) const { acl_free(acl); }
};
using AclPointer = std::unique_ptr<std::remove_pointer_t<acl_t>, AclDeleter>;

bool add_entry(acl_t *acl, acl_tag_t tag, const void *qualifier, unsigned bits) {
    acl_entry_t entry;
    acl_permset_t permissions;
    if (acl_create_entry(acl, &entry) != 0 || acl_set_tag_type(entry, tag) != 0 ||
        (qualifier && acl_set_qualifier(entry, qualifier) != 0) || acl_get_permset(entry, &permissions) != 0 ||
        acl_clear_perms(permissions) != 0)
        return false;
    if ((bits & 4) && acl_add_perm(permissions, ACL_READ) != 0)
        return false;
    if ((bits & 2) && acl_add_perm(permissions, ACL_WRITE) != 0)
        return false;
    if ((bits & 1) && acl_add_perm(permissions, ACL_EXECUTE) != 0)
        return false;
    return acl_set_permset(entry, permissions) == 0;
}

AclPointer posix_acl(const Grants &grants, const struct stat &file) {
    acl_t acl = acl_init(static_cast<int>(4 + grants.groups.size()));
    if (!acl)
        return nullptr;
    unsigned owner = grants.everyone;
    for (gid_t group : groups_of_user(file.st_uid))
        if (auto found = grants.groups.find(group); found != grants.groups.end())
            owner |= found->second;
    unsigned owning_group = grants.everyone;
    if (auto found = grants.groups.find(file.st_gid); found != grants.groups.end())
        owning_group |= found->second;
    bool ok = add_entry(&acl, ACL_USER_OBJ, nullptr, owner) && add_entry(&acl, ACL_GROUP_OBJ, nullptr, owning_group) &&
              add_entry(&acl, ACL_OTHER, nullptr, grants.everyone);
    // Every admitted group gets an entry of its own, the owning group too: the ACL then says who is admitted,
    // and a later change of the file's group does not take those rights along.
    for (auto &[group, bits] : grants.groups)
        ok = ok && add_entry(&acl, ACL_GROUP, &group, bits | grants.everyone);
    if (ok && !grants.groups.empty())
        ok = acl_calc_mask(&acl) == 0;
    AclPointer owned(acl);  // only now: acl_create_entry may move the ACL
    return ok ? std::move(owned) : nullptr;
}

}  // namespace

DWORD apply_descriptor_to_file(const char *path, const void *descriptor) {
    if (!descriptor || static_cast<const SECURITY_DESCRIPTOR *>(descriptor)->Revision != SECURITY_DESCRIPTOR_REVISION)
        return ERROR_UNKNOWN_REVISION;  // checked first, as Windows' capture of a descriptor does
    if (!valid_descriptor(descriptor))
        return ERROR_INVALID_SECURITY_DESCR;
    auto parts = descriptor_parts(descriptor);
    struct stat file {};
    if (stat(path, &file) != 0)
        return platform::kernel::win32_error_for_path(errno, path);
    Grants grants;
    if (parts->dacl) {
        auto found = grants_of(parts->dacl);
        if (!found)
            return ERROR_NOT_SUPPORTED;
        grants = std::move(*found);
    } else {
        grants.everyone = 7;  // a null DACL: all access for everyone
    }
    auto acl = posix_acl(grants, file);
    if (!acl)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (acl_set_file(path, ACL_TYPE_ACCESS, acl.get()) != 0)
        return platform::kernel::win32_error_for_path(errno, path);
    return ERROR_SUCCESS;
}

}  // namespace platform::security

extern "C" BOOL WINAPI SetFileSecurityA(LPCSTR lpFileName, SECURITY_INFORMATION SecurityInformation,
                                        PSECURITY_DESCRIPTOR pSecurityDescriptor) {
    if (!lpFileName || !pSecurityDescriptor) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (SecurityInformation & ~DACL_SECURITY_INFORMATION) {
        // Owners, groups and audit lists of Linux files have no SID mapping here.
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    std::string path;
    if (auto pipe = platform::kernel::pipe_name(lpFileName)) {
        path = platform::kernel::pipe_socket_path(*pipe);
    } else if (auto mapped = platform::kernel::unix_path(lpFileName)) {
        path = *mapped;
    } else {
        return FALSE;
    }
    if (!(SecurityInformation & DACL_SECURITY_INFORMATION))
        return TRUE;
    DWORD error = platform::security::apply_descriptor_to_file(path.c_str(), pSecurityDescriptor);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
