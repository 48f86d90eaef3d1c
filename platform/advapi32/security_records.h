// Reading and checking the published security records (SID, ACL, ACE, security descriptor in absolute and
// self-relative form). Every walk over caller memory stays inside the sizes the records themselves declare.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>

namespace platform::security {

// The length of a valid SID, or 0 for a null or malformed one.
DWORD sid_length(const void *sid);
bool equal_sids(const void *a, const void *b);

// True when the ACL's revision, size and entries agree with each other.
bool valid_acl(const ACL *acl);
// Where the next ACE would go (the end of the last one), or null for an invalid ACL.
BYTE *acl_free_space(ACL *acl);

// A descriptor's parts, whichever form it is in. `dacl` is null for a null DACL (and when none is present).
struct DescriptorParts {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    const void *owner = nullptr;
    const void *group = nullptr;
    const ACL *sacl = nullptr;
    const ACL *dacl = nullptr;
    bool dacl_present() const { return control & SE_DACL_PRESENT; }
};

// Nothing for a descriptor whose revision is unknown.
std::optional<DescriptorParts> descriptor_parts(const void *descriptor);

// True when the descriptor's revision is known and every part it has is valid.
bool valid_descriptor(const void *descriptor);

}  // namespace platform::security
