// LookupAccountNameA for the builtin aliases as the prefix's account map ties them to Unix groups.
#include "testing/temporary_prefix.h"

#include <windows.h>

#include <cstring>
#include <tuple>

namespace {

constexpr DWORD sentinel = 0xdeadbeef;
const BYTE administrators[16] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};  // S-1-5-32-544
const BYTE power_users[16] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x23, 0x02, 0, 0};     // S-1-5-32-547
const BYTE world[12] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};                              // S-1-1-0

// One lookup as the service makes it: a 75-byte SID buffer and a 40-character domain unless given.
struct Lookup {
    const char *accounts;  // platform.conf's [accounts] section, or nullptr for none
    const char *system, *name;
    DWORD error;                                                        // ERROR_SUCCESS: found
    const BYTE *sid;                                                    // found: the SID, its size, the domain
    DWORD cb_sid = 75, cch_domain = 40, cb_after = 75, cch_after = 40;  // sizes given, and expected after
};

class Accounts : public platform::testing::PrefixTest, public ::testing::WithParamInterface<Lookup> {};

TEST_P(Accounts, ResultSizesAndLastError) {
    const Lookup &c = GetParam();
    if (c.accounts)
        temporary_.write_config(std::string("[accounts]\n") + c.accounts);
    BYTE sid[75] = {};
    char domain[40] = "untouched";
    DWORD cb_sid = c.cb_sid, cch_domain = c.cch_domain;
    SID_NAME_USE use = (SID_NAME_USE)0;
    SetLastError(sentinel);
    BOOL found = LookupAccountNameA(c.system, c.name, c.cb_sid ? sid : nullptr, &cb_sid,
                                    c.cch_domain ? domain : nullptr, &cch_domain, &use);
    EXPECT_EQ(found, c.error == ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), found ? sentinel : c.error);
    bool everyone = c.sid == world;
    EXPECT_EQ(cb_sid, found ? (everyone ? 12u : 16u) : c.cb_after);
    EXPECT_EQ(cch_domain, found ? (everyone ? 0u : 7u) : c.cch_after);
    EXPECT_EQ(use, found ? (everyone ? SidTypeWellKnownGroup : SidTypeAlias) : (SID_NAME_USE)0);
    EXPECT_EQ(std::memcmp(sid, found && c.sid ? c.sid : sid, cb_sid), 0);
    EXPECT_STREQ(domain, !found ? domain : everyone ? "" : "BUILTIN");
}

INSTANTIATE_TEST_SUITE_P(
    BuiltinAliases, Accounts,
    // The account map decides which aliases resolve (the lookups themselves: security_conformance_tests.cpp).
    ::testing::Values(Lookup{"Administrators = root\n", nullptr, "Power Users", ERROR_NONE_MAPPED, nullptr},
                      Lookup{"Power Users = no-such-group-here\n", nullptr, "Power Users", ERROR_NONE_MAPPED, nullptr},
                      Lookup{"power users = adm\n", nullptr, "Power Users", 0, power_users},
                      Lookup{"Power Users = 0\n", nullptr, "Power Users", 0, power_users},  // a number that exists
                      Lookup{"Power Users = 99999\n", nullptr, "Power Users", ERROR_NONE_MAPPED, nullptr},
                      Lookup{"power users = adm\n", nullptr, "Administrators", ERROR_NONE_MAPPED, nullptr}));

}  // namespace
