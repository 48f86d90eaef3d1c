// LookupAccountNameA for the builtin aliases, mapped to Unix groups by the prefix's account map.
#include "testing/temporary_prefix.h"

#include <windows.h>

#include <cstring>
#include <fstream>

namespace {

const BYTE administrators_sid[16] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};  // S-1-5-32-544
const BYTE power_users_sid[16] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x23, 0x02, 0, 0};     // S-1-5-32-547

}  // namespace

class Accounts : public platform::testing::PrefixTest {
protected:
    void write_accounts(const std::string &section) {
        std::ofstream(prefix_ / "platform.conf") << "[accounts]\n" << section;
        platform::testing::reload_prefix();
    }
};

TEST_F(Accounts, BuiltinAliasesByDefault) {
    // The service's call: a 75-byte SID buffer whose size variable is shared by both lookups.
    BYTE sid[75] = {};
    DWORD cb_sid = sizeof sid;
    char domain[40] = {};
    DWORD cch_domain = sizeof domain;
    SID_NAME_USE use = (SID_NAME_USE)0;
    ASSERT_TRUE(LookupAccountNameA(nullptr, "Administrators", sid, &cb_sid, domain, &cch_domain, &use));
    EXPECT_EQ(cb_sid, 16u);
    EXPECT_EQ(std::memcmp(sid, administrators_sid, 16), 0);
    EXPECT_STREQ(domain, "BUILTIN");
    EXPECT_EQ(cch_domain, 7u);
    EXPECT_EQ(use, SidTypeAlias);

    char domain2[40] = {};
    cch_domain = sizeof domain2;
    use = (SID_NAME_USE)0;
    ASSERT_TRUE(LookupAccountNameA(nullptr, "Power Users", sid, &cb_sid, domain2, &cch_domain, &use));
    EXPECT_EQ(std::memcmp(sid, power_users_sid, 16), 0);
    EXPECT_EQ(use, SidTypeAlias);

    // Names ignore case and may carry their domain.
    cb_sid = sizeof sid;
    cch_domain = sizeof domain;
    EXPECT_TRUE(LookupAccountNameA("", "BUILTIN\\power users", sid, &cb_sid, domain, &cch_domain, &use));
    EXPECT_EQ(std::memcmp(sid, power_users_sid, 16), 0);
}

TEST_F(Accounts, SizesAndErrors) {
    DWORD cb_sid = 0, cch_domain = 0;
    SID_NAME_USE use;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(LookupAccountNameA(nullptr, "Administrators", nullptr, &cb_sid, nullptr, &cch_domain, &use));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(cb_sid, 16u);
    EXPECT_EQ(cch_domain, 8u);  // with room for the NUL

    // A domain buffer that holds the name but not its NUL is too small too.
    BYTE sid[16];
    char domain[7];
    cb_sid = sizeof sid;
    cch_domain = sizeof domain;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(LookupAccountNameA(nullptr, "Administrators", sid, &cb_sid, domain, &cch_domain, &use));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(cch_domain, 8u);

    char big_domain[40];
    cb_sid = sizeof sid;
    cch_domain = sizeof big_domain;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(LookupAccountNameA(nullptr, "Nobody In Particular", sid, &cb_sid, big_domain, &cch_domain, &use));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NONE_MAPPED);
    EXPECT_EQ(cb_sid, 16u);  // untouched
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(
        LookupAccountNameA("\\\\elsewhere-host", "Administrators", sid, &cb_sid, big_domain, &cch_domain, &use));
    EXPECT_EQ(GetLastError(), (DWORD)RPC_S_SERVER_UNAVAILABLE);
}

TEST_F(Accounts, AccountMapDecidesWhichAliasesResolve) {
    BYTE sid[75];
    char domain[40];
    DWORD cb_sid = sizeof sid, cch_domain = sizeof domain;
    SID_NAME_USE use = (SID_NAME_USE)0;

    write_accounts("Administrators = root\n");  // a map without "Power Users"
    EXPECT_TRUE(LookupAccountNameA(nullptr, "Administrators", sid, &cb_sid, domain, &cch_domain, &use));
    SetLastError(0xdeadbeef);
    use = (SID_NAME_USE)0;
    EXPECT_FALSE(LookupAccountNameA(nullptr, "Power Users", sid, &cb_sid, domain, &cch_domain, &use));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NONE_MAPPED);
    EXPECT_EQ(use, (SID_NAME_USE)0);

    write_accounts("Administrators = root\nPower Users = no-such-group-here\n");  // a group the machine lacks
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(LookupAccountNameA(nullptr, "Power Users", sid, &cb_sid, domain, &cch_domain, &use));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NONE_MAPPED);

    write_accounts("power users = adm\n");
    cb_sid = sizeof sid;
    cch_domain = sizeof domain;
    EXPECT_TRUE(LookupAccountNameA(nullptr, "Power Users", sid, &cb_sid, domain, &cch_domain, &use));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(LookupAccountNameA(nullptr, "Administrators", sid, &cb_sid, domain, &cch_domain, &use));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NONE_MAPPED);
}

TEST_F(Accounts, EveryoneIsAWellKnownGroup) {
    BYTE sid[75];
    char domain[40];
    DWORD cb_sid = sizeof sid, cch_domain = sizeof domain;
    SID_NAME_USE use;
    ASSERT_TRUE(LookupAccountNameA(nullptr, "Everyone", sid, &cb_sid, domain, &cch_domain, &use));
    const BYTE world[12] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};  // S-1-1-0
    EXPECT_EQ(cb_sid, 12u);
    EXPECT_EQ(std::memcmp(sid, world, 12), 0);
    EXPECT_STREQ(domain, "");
    EXPECT_EQ(cch_domain, 0u);
    EXPECT_EQ(use, SidTypeWellKnownGroup);
}
