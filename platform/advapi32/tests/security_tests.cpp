// LookupAccountNameA for the builtin aliases as the prefix's account map ties them to Unix groups. What a
// found alias returns (sizes, domain, SID type) is pinned by security_conformance_tests.cpp.
#include "testing/temporary_prefix.h"

#include <windows.h>

#include <cstring>
#include <tuple>

namespace {

const BYTE power_users[16] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x23, 0x02, 0, 0};  // S-1-5-32-547

using Accounts = platform::testing::PrefixTest;

TEST_F(Accounts, TheMapDecidesWhichAliasesResolve) {
    const std::tuple<const char *, const char *, bool> cases[] = {
        // [accounts] section, name looked up, found
        {"Administrators = root\n", "Power Users", false},
        {"Power Users = no-such-group-here\n", "Power Users", false},
        {"power users = adm\n", "Power Users", true},
        {"Power Users = 0\n", "Power Users", true},  // a number that exists
        {"Power Users = 99999\n", "Power Users", false},
        {"power users = adm\n", "Administrators", false}};
    for (auto [accounts, name, found] : cases) {
        temporary_.write_config(std::string("[accounts]\n") + accounts);
        BYTE sid[75] = {};
        char domain[40];
        DWORD cb_sid = sizeof sid, cch_domain = sizeof domain;
        SID_NAME_USE use;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(LookupAccountNameA(nullptr, name, sid, &cb_sid, domain, &cch_domain, &use), found) << accounts;
        EXPECT_EQ(GetLastError(), found ? 0xdeadbeef : (DWORD)ERROR_NONE_MAPPED) << accounts;
        EXPECT_EQ(std::memcmp(sid, power_users, 16) == 0, found) << accounts;
    }
}

}  // namespace
