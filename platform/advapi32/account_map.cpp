#include "account_map.h"

#include "prefix/prefix.h"
#include "security_records.h"

#include <grp.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>

namespace platform::security {
namespace {

struct KnownAccount {
    std::string_view name;
    std::string_view domain;
    SID_NAME_USE use;
    BYTE authority;  // the last byte of the identifier authority
    std::vector<DWORD> rids;
    std::string_view default_group;  // empty: not a group (Everyone)
};

const std::vector<KnownAccount> &known_accounts() {
    static const std::vector<KnownAccount> accounts = {
        {"Administrators", "BUILTIN", SidTypeAlias, 5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}, "root"},
        {"Power Users",
         "BUILTIN",
         SidTypeAlias,
         5,
         {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_POWER_USERS},
         "staff"},
        {"Everyone", "", SidTypeWellKnownGroup, 1, {SECURITY_WORLD_RID}, ""},
    };
    return accounts;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<BYTE> sid_record(const KnownAccount &account) {
    std::vector<BYTE> record(offsetof(SID, SubAuthority) + account.rids.size() * sizeof(DWORD));
    record[0] = SID_REVISION;
    record[1] = static_cast<BYTE>(account.rids.size());
    record[7] = account.authority;  // authority bytes 2..7, big-endian, all but the last zero here
    std::memcpy(record.data() + offsetof(SID, SubAuthority), account.rids.data(), account.rids.size() * sizeof(DWORD));
    return record;
}

// The Unix group name (or number) the map gives the alias, or nothing when it is not mapped.
std::optional<std::string> mapped_group_name(const KnownAccount &account) {
    auto entries = platform::prefix::section_entries("accounts");
    if (entries.empty())
        return std::string(account.default_group);
    std::optional<std::string> found;
    for (auto &[key, value] : entries)
        if (equal_ignoring_case(key, account.name) && !value.empty())
            found = value;  // the last of repeated keys wins, as elsewhere in platform.conf
    return found;
}

std::optional<gid_t> group_id(const std::string &name) {
    // A number names a group as surely as a name does: it must exist too, or an ACL would grant a group
    // that nobody is in and that a later group of that number would silently inherit.
    gid_t number = 0;
    auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
    bool numeric = error == std::errc() && end == name.data() + name.size();
    std::vector<char> buffer(16384);
    group entry{}, *result = nullptr;
    int failed = numeric ? getgrgid_r(number, &entry, buffer.data(), buffer.size(), &result)
                         : getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &result);
    if (failed != 0 || !result)
        return std::nullopt;
    return result->gr_gid;
}

std::optional<gid_t> mapped_group(const KnownAccount &account) {
    auto name = mapped_group_name(account);
    return name ? group_id(*name) : std::nullopt;
}

}  // namespace

std::optional<Account> find_account(std::string_view name) {
    for (auto &known : known_accounts()) {
        bool matches = equal_ignoring_case(name, known.name);
        if (!matches && !known.domain.empty() && name.size() == known.domain.size() + 1 + known.name.size())
            matches = equal_ignoring_case(name.substr(0, known.domain.size()), known.domain) &&
                      name[known.domain.size()] == '\\' &&
                      equal_ignoring_case(name.substr(known.domain.size() + 1), known.name);
        if (!matches)
            continue;
        if (known.use == SidTypeAlias && !mapped_group(known))
            return std::nullopt;
        return Account{known.name, known.domain, known.use, sid_record(known)};
    }
    return std::nullopt;
}

std::optional<UnixGrantee> unix_grantee(const void *sid) {
    for (auto &known : known_accounts()) {
        auto record = sid_record(known);
        if (!equal_sids(sid, record.data()))
            continue;
        if (known.use == SidTypeWellKnownGroup)
            return UnixGrantee{true, 0};
        if (auto group = mapped_group(known))
            return UnixGrantee{false, *group};
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace platform::security
