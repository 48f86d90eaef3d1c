// Security and event-log calls of the advapi32 library: accounts, SIDs, access lists, security descriptors,
// file security, and event sources.
#pragma once

#include "windef.h"
#include "winnt.h"

#ifndef WINADVAPI
#define WINADVAPI WINBASEAPI
#endif

// Accounts and SIDs.
WINADVAPI BOOL WINAPI LookupAccountNameA(LPCSTR lpSystemName, LPCSTR lpAccountName, PSID Sid, LPDWORD cbSid,
                                         LPSTR ReferencedDomainName, LPDWORD cchReferencedDomainName,
                                         PSID_NAME_USE peUse);
WINADVAPI BOOL WINAPI IsValidSid(PSID pSid);
WINADVAPI DWORD WINAPI GetLengthSid(PSID pSid);
WINADVAPI BOOL WINAPI EqualSid(PSID pSid1, PSID pSid2);
WINADVAPI BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority, BYTE nSubAuthorityCount,
                                               DWORD nSubAuthority0, DWORD nSubAuthority1, DWORD nSubAuthority2,
                                               DWORD nSubAuthority3, DWORD nSubAuthority4, DWORD nSubAuthority5,
                                               DWORD nSubAuthority6, DWORD nSubAuthority7, PSID *pSid);
WINADVAPI PVOID WINAPI FreeSid(PSID pSid);

// Access control lists.
WINADVAPI BOOL WINAPI InitializeAcl(PACL pAcl, DWORD nAclLength, DWORD dwAclRevision);
WINADVAPI BOOL WINAPI IsValidAcl(PACL pAcl);
WINADVAPI BOOL WINAPI AddAccessAllowedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid);
WINADVAPI BOOL WINAPI GetAce(PACL pAcl, DWORD dwAceIndex, LPVOID *pAce);

// Security descriptors.
WINADVAPI BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision);
WINADVAPI BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent, PACL pDacl,
                                                BOOL bDaclDefaulted);
WINADVAPI BOOL WINAPI GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, LPBOOL lpbDaclPresent,
                                                PACL *pDacl, LPBOOL lpbDaclDefaulted);
WINADVAPI BOOL WINAPI IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor);
WINADVAPI DWORD WINAPI GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR pSecurityDescriptor);

// File security.
WINADVAPI BOOL WINAPI SetFileSecurityA(LPCSTR lpFileName, SECURITY_INFORMATION SecurityInformation,
                                       PSECURITY_DESCRIPTOR pSecurityDescriptor);

// Event log.
WINADVAPI HANDLE WINAPI RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName);
WINADVAPI BOOL WINAPI DeregisterEventSource(HANDLE hEventLog);
WINADVAPI BOOL WINAPI ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID lpUserSid,
                                   WORD wNumStrings, DWORD dwDataSize, LPCSTR *lpStrings, LPVOID lpRawData);
