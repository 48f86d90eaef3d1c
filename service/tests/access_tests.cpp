// Who may use the pipe and the drives: only members of the admitted groups ("Power Users" is mapped to
// nogroup here, so nobody is inside and daemon outside). Clients run as those users; needs root.
#include "service_harness.h"

namespace vessamir_test {
namespace {

class Access : public ServiceTest {
protected:
    void SetUp() override {
        if (!running_as_root())
            GTEST_SKIP() << "running clients as other users needs root";
        ServiceTest::SetUp();
    }
    void TearDown() override {
        if (running_as_root())
            ServiceTest::TearDown();
    }

    static std::string as_user(const std::string &user, const std::string &group, const std::string &command) {
        return "setpriv --reuid=" + user + " --regid=" + group + " --clear-groups " + command;
    }
    CommandResult pipecall_as(const std::string &user, const std::string &group, const std::string &request) {
        return run(as_user(user, group, std::string(PIPECALL_PATH) + " '\\\\.\\pipe\\sd_flppy' " + request));
    }
    bool can_open_drive(const std::string &user, const std::string &group) {
        return run(as_user(user, group, "head -c0 " + quoted(drive_file("a:").string()))).exit_status == 0;
    }
};

TEST_F(Access, OnlyMembersOfTheAdmittedGroupsReachThePipe) {
    start_running();
    auto inside = pipecall_as("nobody", "nogroup", "Q");
    EXPECT_EQ(inside.exit_status, 0) << inside.output;
    EXPECT_EQ(inside.output, "Floppy status is: Locked\n");
    auto outside = pipecall_as("daemon", "daemon", "U");
    EXPECT_EQ(outside.exit_status, 1) << outside.output;
    EXPECT_NE(outside.output.find("error 5"), std::string::npos) << outside.output;
    EXPECT_EQ(text_of(exchange("Q")), "Floppy status is: Locked");  // the refused unlock did nothing
}

TEST_F(Access, UnlockOpensTheDrivesToEveryoneAndLockClosesThem) {
    start_running();
    EXPECT_FALSE(can_open_drive("daemon", "daemon"));
    EXPECT_TRUE(can_open_drive("nobody", "nogroup"));
    EXPECT_EQ(pipecall_as("nobody", "nogroup", "U").output, "Floppies were unlocked\n");
    EXPECT_TRUE(can_open_drive("daemon", "daemon"));
    EXPECT_EQ(pipecall_as("nobody", "nogroup", "L").output, "Floppies were locked\n");
    EXPECT_FALSE(can_open_drive("daemon", "daemon"));
    EXPECT_TRUE(can_open_drive("nobody", "nogroup"));
}

}  // namespace
}  // namespace vessamir_test
