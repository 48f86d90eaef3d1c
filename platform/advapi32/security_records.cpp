#include "security_records.h"

#include <cstring>

namespace platform::security {

DWORD sid_length(const void *sid) {
    auto *record = static_cast<const SID *>(sid);
    if (!record || record->Revision != SID_REVISION || record->SubAuthorityCount > SID_MAX_SUB_AUTHORITIES)
        return 0;
    return static_cast<DWORD>(offsetof(SID, SubAuthority) + record->SubAuthorityCount * sizeof(DWORD));
}

bool equal_sids(const void *a, const void *b) {
    DWORD length = sid_length(a);
    return length && length == sid_length(b) && std::memcmp(a, b, length) == 0;
}

namespace {

// Walks the ACL's entries; the end of the last one, or null when an entry overruns the ACL.
const BYTE *end_of_entries(const ACL *acl) {
    auto *start = reinterpret_cast<const BYTE *>(acl);
    std::size_t offset = sizeof(ACL);
    for (WORD i = 0; i < acl->AceCount; ++i) {
        if (offset + sizeof(ACE_HEADER) > acl->AclSize)
            return nullptr;
        auto *header = reinterpret_cast<const ACE_HEADER *>(start + offset);
        if (header->AceSize < sizeof(ACE_HEADER) || offset + header->AceSize > acl->AclSize)
            return nullptr;
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
            auto *ace = reinterpret_cast<const ACCESS_ALLOWED_ACE *>(header);
            std::size_t sid_offset = offsetof(ACCESS_ALLOWED_ACE, SidStart);
            if (header->AceSize < sid_offset + offsetof(SID, SubAuthority))
                return nullptr;
            DWORD length = sid_length(&ace->SidStart);
            if (!length || sid_offset + length > header->AceSize)
                return nullptr;
        }
        offset += header->AceSize;
    }
    return start + offset;
}

}  // namespace

bool valid_acl(const ACL *acl) {
    if (!acl || acl->AclRevision < MIN_ACL_REVISION || acl->AclRevision > MAX_ACL_REVISION ||
        acl->AclSize < sizeof(ACL) || acl->AclSize % sizeof(DWORD) != 0)
        return false;
    return end_of_entries(acl) != nullptr;
}

BYTE *acl_free_space(ACL *acl) {
    if (!valid_acl(acl))
        return nullptr;
    return const_cast<BYTE *>(end_of_entries(acl));
}

std::optional<DescriptorParts> descriptor_parts(const void *descriptor) {
    if (!descriptor)
        return std::nullopt;
    auto *absolute = static_cast<const SECURITY_DESCRIPTOR *>(descriptor);
    if (absolute->Revision != SECURITY_DESCRIPTOR_REVISION)
        return std::nullopt;
    DescriptorParts parts;
    parts.control = absolute->Control;
    if (!(absolute->Control & SE_SELF_RELATIVE)) {
        parts.owner = absolute->Owner;
        parts.group = absolute->Group;
        parts.sacl = absolute->Sacl;
        parts.dacl = absolute->Dacl;
    } else {
        // Self-relative: the parts are offsets from the descriptor's start; 0 means absent.
        auto *relative = static_cast<const SECURITY_DESCRIPTOR_RELATIVE *>(descriptor);
        auto *base = static_cast<const BYTE *>(descriptor);
        auto at = [&](DWORD offset) -> const void * { return offset ? base + offset : nullptr; };
        parts.owner = at(relative->Owner);
        parts.group = at(relative->Group);
        parts.sacl = static_cast<const ACL *>(at(relative->Sacl));
        parts.dacl = static_cast<const ACL *>(at(relative->Dacl));
    }
    if (!(parts.control & SE_DACL_PRESENT))
        parts.dacl = nullptr;
    if (!(parts.control & SE_SACL_PRESENT))
        parts.sacl = nullptr;
    return parts;
}

bool valid_descriptor(const void *descriptor) {
    auto parts = descriptor_parts(descriptor);
    if (!parts)
        return false;
    if ((parts->owner && !sid_length(parts->owner)) || (parts->group && !sid_length(parts->group)))
        return false;
    if ((parts->dacl && !valid_acl(parts->dacl)) || (parts->sacl && !valid_acl(parts->sacl)))
        return false;
    return true;
}

}  // namespace platform::security
