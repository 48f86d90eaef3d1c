// LookupAccountNameA for the accounts the platform maps (account_map.h), on the local machine only.
#include "account_map.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

using namespace platform::security;

namespace {

bool is_local_machine(LPCSTR name) {
    if (!name || !*name)
        return true;
    std::string wanted(name);
    if (wanted.starts_with("\\\\"))
        wanted.erase(0, 2);
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::string local(host);
    if (auto dot = local.find('.'); dot != std::string::npos)
        local.resize(dot);
    auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    return lower(wanted) == lower(local) || wanted == ".";
}

}  // namespace

extern "C" BOOL WINAPI LookupAccountNameA(LPCSTR lpSystemName, LPCSTR lpAccountName, PSID Sid, LPDWORD cbSid,
                                          LPSTR ReferencedDomainName, LPDWORD cchReferencedDomainName,
                                          PSID_NAME_USE peUse) {
    if (!lpAccountName || !cbSid || !cchReferencedDomainName || !peUse) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!is_local_machine(lpSystemName)) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return FALSE;
    }
    auto account = find_account(lpAccountName);
    if (!account) {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
    }
    auto sid_size = static_cast<DWORD>(account->sid.size());
    auto domain_length = static_cast<DWORD>(account->domain.size());
    if (*cbSid < sid_size || *cchReferencedDomainName <= domain_length || !Sid || !ReferencedDomainName) {
        // The sizes that would do, the domain's with its terminating NUL.
        *cbSid = sid_size;
        *cchReferencedDomainName = domain_length + 1;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(Sid, account->sid.data(), sid_size);
    *cbSid = sid_size;
    std::memcpy(ReferencedDomainName, account->domain.data(), domain_length);
    ReferencedDomainName[domain_length] = '\0';
    *cchReferencedDomainName = domain_length;  // without the NUL on success
    *peUse = account->use;
    return TRUE;
}
