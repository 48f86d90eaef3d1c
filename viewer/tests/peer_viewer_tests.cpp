// The viewer over the real NetBIOS-over-TCP/IP transport, against Samba's nmbd in a private network of
// namespaces that the test makes (root only): the report of the peer, asked for by its address, lists the
// names that nmblookup lists.
#include "testing/peer_testbed.h"
#include "testing/temporary_prefix.h"
#include "viewer_harness.h"

namespace nbt = platform::nbt::testing;
using namespace tarvoke::testing;

namespace {

// A namespace change moves only the calling thread, so the network is made once, while the process still has
// its one thread: before the headless screen or Netbios() start threads of their own.
nbt::PeerTestbed *testbed = nullptr;
std::string testbed_missing;

class PeerNetwork : public ::testing::Environment {
public:
    void SetUp() override {
        testbed = nbt::PeerTestbed::create(testbed_missing).release();
        if (testbed)
            platform::testing::reload_prefix();  // the testbed's prefix, whose LANA map names only the veth
    }
    void TearDown() override { delete testbed; }
};

[[maybe_unused]] auto *const peer_network = ::testing::AddGlobalTestEnvironment(new PeerNetwork);

TEST(PeerViewer, TheReportOfThePeerByAddressListsTheNamesNmblookupLists) {
    if (!testbed)
        GTEST_SKIP() << "no private test network: " << testbed_missing;
    std::string error;
    ASSERT_TRUE(testbed->start_peer(error)) << error;
    std::string address = nbt::dotted(testbed->peer_address());
    auto listing = testbed->run({"nmblookup", "-s", testbed->client_config(), "-A", address});
    ASSERT_TRUE(listing.has_value());
    auto names = nbt::parse_nmblookup(*listing);
    ASSERT_FALSE(names.empty()) << *listing;

    ResetViewerState();
    RunningViewer viewer;
    HWND hwndMain = viewer.main_window();
    ASSERT_NE(hwndMain, nullptr);
    ASSERT_TRUE(ConfigureLana(hwndMain, 0, {.name = address, .frequency = "-1", .active = true}));
    std::string report;
    EXPECT_TRUE(wait_for([&] { return Contains(report = LanaReportText(hwndMain, 0), "END OF REPORT"); }));
    for (const auto &name : names)
        EXPECT_NE(report.find(name.name), std::string::npos) << name << "\n" << report;
    EXPECT_EQ(report.find("Session Information"), std::string::npos) << "sessions are asked of \"*\" only";
    DeactivateWatchedLanas(hwndMain);
}

}  // namespace
