// Access control lists: the published ACL record with its ACEs packed after the header.
#include "security_records.h"

#include <cstring>

using namespace platform::security;

extern "C" BOOL WINAPI InitializeAcl(PACL pAcl, DWORD nAclLength, DWORD dwAclRevision) {
    if (nAclLength < sizeof(ACL)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (dwAclRevision < MIN_ACL_REVISION || dwAclRevision > MAX_ACL_REVISION || nAclLength > 0xFFFF || !pAcl) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memset(pAcl, 0, sizeof(ACL));
    pAcl->AclRevision = static_cast<BYTE>(dwAclRevision);
    // ACEs are DWORD-aligned; the ACL claims only the aligned part of the buffer, never more than it was given.
    pAcl->AclSize = static_cast<WORD>(nAclLength & ~DWORD{3});
    return TRUE;
}

extern "C" BOOL WINAPI IsValidAcl(PACL pAcl) {
    return valid_acl(pAcl);
}

extern "C" BOOL WINAPI AddAccessAllowedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid) {
    DWORD sid_size = sid_length(pSid);
    if (!sid_size) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    if (dwAceRevision > MAX_ACL_REVISION || (pAcl && pAcl->AclRevision > MAX_ACL_REVISION)) {
        SetLastError(ERROR_REVISION_MISMATCH);
        return FALSE;
    }
    BYTE *free_space = acl_free_space(pAcl);
    if (!free_space) {
        SetLastError(ERROR_INVALID_ACL);
        return FALSE;
    }
    DWORD ace_size = offsetof(ACCESS_ALLOWED_ACE, SidStart) + sid_size;
    auto *acl_start = reinterpret_cast<BYTE *>(pAcl);
    if (free_space + ace_size > acl_start + pAcl->AclSize) {
        SetLastError(ERROR_ALLOTTED_SPACE_EXCEEDED);
        return FALSE;
    }
    ACCESS_ALLOWED_ACE ace{};
    ace.Header.AceType = ACCESS_ALLOWED_ACE_TYPE;
    ace.Header.AceFlags = 0;
    ace.Header.AceSize = static_cast<WORD>(ace_size);
    ace.Mask = AccessMask;
    std::memcpy(free_space, &ace, offsetof(ACCESS_ALLOWED_ACE, SidStart));
    std::memcpy(free_space + offsetof(ACCESS_ALLOWED_ACE, SidStart), pSid, sid_size);
    pAcl->AceCount++;
    if (dwAceRevision > pAcl->AclRevision)
        pAcl->AclRevision = static_cast<BYTE>(dwAceRevision);  // an ACE of a later revision upgrades the ACL
    return TRUE;
}

extern "C" BOOL WINAPI GetAce(PACL pAcl, DWORD dwAceIndex, LPVOID *pAce) {
    if (!valid_acl(pAcl) || dwAceIndex >= pAcl->AceCount || !pAce) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto *position = reinterpret_cast<BYTE *>(pAcl) + sizeof(ACL);
    for (DWORD i = 0; i < dwAceIndex; ++i)
        position += reinterpret_cast<ACE_HEADER *>(position)->AceSize;
    *pAce = position;
    return TRUE;
}
