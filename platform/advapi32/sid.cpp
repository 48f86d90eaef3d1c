// SIDs: checking, comparing, measuring and allocating the published SID record.
#include "security_records.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace platform::security;

extern "C" BOOL WINAPI IsValidSid(PSID pSid) {
    return sid_length(pSid) != 0;
}

extern "C" DWORD WINAPI GetLengthSid(PSID pSid) {
    auto *sid = static_cast<const SID *>(pSid);
    return static_cast<DWORD>(offsetof(SID, SubAuthority) + sid->SubAuthorityCount * sizeof(DWORD));
}

extern "C" BOOL WINAPI EqualSid(PSID pSid1, PSID pSid2) {
    if (!sid_length(pSid1) || !sid_length(pSid2)) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return equal_sids(pSid1, pSid2);
}

extern "C" BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority, BYTE nSubAuthorityCount,
                                                DWORD nSubAuthority0, DWORD nSubAuthority1, DWORD nSubAuthority2,
                                                DWORD nSubAuthority3, DWORD nSubAuthority4, DWORD nSubAuthority5,
                                                DWORD nSubAuthority6, DWORD nSubAuthority7, PSID *pSid) {
    if (!pIdentifierAuthority || !pSid || nSubAuthorityCount > 8) {
        SetLastError(nSubAuthorityCount > 8 ? ERROR_INVALID_SID : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::size_t length = offsetof(SID, SubAuthority) + nSubAuthorityCount * sizeof(DWORD);
    auto *sid = static_cast<SID *>(std::calloc(1, std::max(length, sizeof(SID))));
    if (!sid) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    sid->Revision = SID_REVISION;
    sid->SubAuthorityCount = nSubAuthorityCount;
    sid->IdentifierAuthority = *pIdentifierAuthority;
    const DWORD rids[8] = {nSubAuthority0, nSubAuthority1, nSubAuthority2, nSubAuthority3,
                           nSubAuthority4, nSubAuthority5, nSubAuthority6, nSubAuthority7};
    std::memcpy(sid->SubAuthority, rids, nSubAuthorityCount * sizeof(DWORD));
    *pSid = sid;
    return TRUE;
}

extern "C" PVOID WINAPI FreeSid(PSID pSid) {
    std::free(pSid);
    return nullptr;
}
