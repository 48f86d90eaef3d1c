// Conformance tests of the security calls: Win32 and GoogleTest only, so they also run on Windows and Wine.
#include "conformance.h"

namespace {

TEST(SecurityConformance, WorldSidIsValidAndEqualToItself) {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID first = NULL, second = NULL;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &first));
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &second));
    EXPECT_TRUE(IsValidSid(first));
    EXPECT_EQ(GetLengthSid(first), 12u);  // revision, count, authority and one sub-authority
    EXPECT_TRUE(EqualSid(first, second));
    FreeSid(first);
    FreeSid(second);
}

}  // namespace
