// Security descriptors in absolute form: building and checking them. Also the bridge through which kernel
// calls (CreateNamedPipeA) apply a descriptor to a file: it lives here because every program that builds a
// descriptor links this file.
#include "file_security.h"
#include "security_records.h"

#include <cstring>

using namespace platform::security;

namespace {

// The descriptor as a writable absolute one, or null with the last error set.
SECURITY_DESCRIPTOR *writable_absolute(PSECURITY_DESCRIPTOR descriptor) {
    auto *absolute = static_cast<SECURITY_DESCRIPTOR *>(descriptor);
    if (!absolute || absolute->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return nullptr;
    }
    if (absolute->Control & SE_SELF_RELATIVE) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return nullptr;
    }
    return absolute;
}

}  // namespace

extern "C" BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision) {
    if (dwRevision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    if (!pSecurityDescriptor) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memset(pSecurityDescriptor, 0, sizeof(SECURITY_DESCRIPTOR));
    static_cast<SECURITY_DESCRIPTOR *>(pSecurityDescriptor)->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

extern "C" BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent,
                                                 PACL pDacl, BOOL bDaclDefaulted) {
    auto *descriptor = writable_absolute(pSecurityDescriptor);
    if (!descriptor)
        return FALSE;
    if (!bDaclPresent) {
        descriptor->Control &= ~SE_DACL_PRESENT;
        return TRUE;
    }
    descriptor->Control |= SE_DACL_PRESENT;
    descriptor->Dacl = pDacl;
    if (bDaclDefaulted)
        descriptor->Control |= SE_DACL_DEFAULTED;
    else
        descriptor->Control &= ~SE_DACL_DEFAULTED;
    return TRUE;
}

extern "C" BOOL WINAPI GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, LPBOOL lpbDaclPresent,
                                                 PACL *pDacl, LPBOOL lpbDaclDefaulted) {
    auto parts = descriptor_parts(pSecurityDescriptor);
    if (!parts) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    if (!lpbDaclPresent || !pDacl || !lpbDaclDefaulted) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpbDaclPresent = parts->dacl_present();
    if (*lpbDaclPresent) {
        *pDacl = const_cast<PACL>(parts->dacl);
        *lpbDaclDefaulted = (parts->control & SE_DACL_DEFAULTED) != 0;
    }
    return TRUE;
}

extern "C" BOOL WINAPI IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor) {
    if (!descriptor_parts(pSecurityDescriptor)) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    if (!valid_descriptor(pSecurityDescriptor)) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return FALSE;
    }
    return TRUE;
}

extern "C" DWORD WINAPI GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR pSecurityDescriptor) {
    auto parts = descriptor_parts(pSecurityDescriptor);
    if (!parts)
        return 0;
    DWORD length =
        (parts->control & SE_SELF_RELATIVE) ? sizeof(SECURITY_DESCRIPTOR_RELATIVE) : sizeof(SECURITY_DESCRIPTOR);
    length += sid_length(parts->owner) + sid_length(parts->group);
    if (parts->sacl)
        length += parts->sacl->AclSize;
    if (parts->dacl)
        length += parts->dacl->AclSize;
    return length;
}

extern "C" DWORD platform_apply_file_security(const char *path, const void *security_descriptor) {
    return platform::security::apply_descriptor_to_file(path, security_descriptor);
}
