// The accounts this platform knows and the Unix groups they stand for. The builtin aliases map to Unix groups
// through the [accounts] section of platform.conf ("Power Users = staff"); a section that names any alias
// replaces the defaults, so an alias it leaves out is not mapped at all. "Everyone" stands for every user.
#pragma once

#include <windows.h>

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::security {

struct Account {
    std::string_view name;    // as Windows spells it
    std::string_view domain;  // "BUILTIN" for the aliases, empty for well-known groups
    SID_NAME_USE use;
    std::vector<BYTE> sid;  // the SID record
};

// The account of this name (case ignored, "BUILTIN\" allowed before an alias), when it is mapped here.
// Nothing when the name is unknown or its Unix group (a name or a number) is not mapped or does not exist.
std::optional<Account> find_account(std::string_view name);

// Who a SID stands for on Linux.
struct UnixGrantee {
    bool everyone = false;
    gid_t group = 0;
};
std::optional<UnixGrantee> unix_grantee(const void *sid);

}  // namespace platform::security
