// The viewer end to end over NetBIOS over TCP/IP: WinMain on a thread of its own with the headless screen, the
// dialogs driven as a user drives them, and every answer from the real transport. The network is a private one
// the test makes: two namespaces joined by a veth pair that is the only LANA, Samba's nmbd as the remote peer
// and, when asked, as the local node. Skipped (never passed) where that network cannot be made.
#include <windows.h>
#include <nb30.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "lana_slots.h"
#include "testing/peer_testbed.h"
#include "netapi32/netbios_hooks.h"
#include "testing/temporary_prefix.h"
#include "resource.h"
#include "testing/headless_display.h"
#include "viewer_harness.h"

namespace ui = platform::testing::ui;
using platform::nbt::testing::PeerTestbed;
using namespace tarvoke::testing;
using namespace std::chrono_literals;

namespace {

// Longer than any command can take: the transport's deadline is 30 seconds.
constexpr auto kCommandDeadline = 30s;
constexpr auto kGenerous = 60s;

const std::string kTrailer =
    "                                             \r\n"
    "============================================\r\n"
    "=              END OF REPORT               =\r\n"
    "============================================\r\n"
    "                                             \r\n";

// A namespace change moves only the calling thread, so the network is made once, while the process still has
// its one thread: before the first test starts the viewer, the headless screen or Netbios()'s own threads.
PeerTestbed *testbed = nullptr;
std::string testbed_missing;

class PeerNetwork : public ::testing::Environment {
public:
    void SetUp() override {
        testbed = PeerTestbed::create(testbed_missing).release();
        if (testbed)
            platform::testing::reload_prefix();  // the testbed's prefix, whose LANA map names only the veth
    }
    void TearDown() override {
        delete testbed;
        testbed = nullptr;
    }
};

[[maybe_unused]] auto *const peer_network = ::testing::AddGlobalTestEnvironment(new PeerNetwork);

// One name of a name table, as the report prints it or as nmblookup lists it.
using TableName = platform::nbt::testing::ListedName;

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r'))
        text.pop_back();
    return text;
}

bool StartsWith(const std::string &text, const std::string &prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool Contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> LinesOf(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(Trimmed(line));
    return lines;
}

// The name table section of a report, read back from its text. A line the report should not hold makes the
// entry's type or state -1, so that it compares unequal.
std::vector<TableName> NameTableOfReport(const std::string &report) {
    std::vector<TableName> names;
    for (const auto &line : LinesOf(report)) {
        if (StartsWith(line, "Name Table Entry number")) {
            names.emplace_back();
            names.back().type = names.back().state = -1;
        } else if (names.empty()) {
            continue;
        } else if (StartsWith(line, "Name                        ")) {
            names.back().name = Trimmed(line.substr(28));
        } else if (line == "  Redirector Name") {
            names.back().type = 0x00;
        } else if (line == "  User Name") {
            names.back().type = 0x03;
        } else if (line == "  Forwarded User Name") {
            names.back().type = 0x05;
        } else if (line == "  Server Name") {
            names.back().type = 0x20;
        } else if (StartsWith(line, "  Unknown name terminator code")) {
            names.back().type = std::stoi(line.substr(line.size() - 2), nullptr, 16);
        } else if (line == "  Group Name") {
            names.back().group = true;
        } else if (line == "  Name Registered") {
            names.back().state = REGISTERED;
        } else if (line == "  Name deregistered") {
            names.back().state = DEREGISTERED;
        } else if (line == "  Name is a duplicate") {
            names.back().state = DUPLICATE;
        } else if (line == "  Name is a duplicate and deregistering") {
            names.back().state = DUPLICATE_DEREG;
        } else if (StartsWith(line, "====")) {
            break;  // the next section
        }
    }
    return names;
}

// The line under "Permanent Node Name" for a MAC address written "aa:bb:cc:dd:ee:ff" or "AA-BB-CC-DD-EE-FF".
std::string NodeNameLine(std::string mac) {
    std::string line = "    ";
    for (std::size_t i = 0; i + 2 <= mac.size(); i += 3) {
        line += " ";
        for (char c : mac.substr(i, 2))
            line += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        line += " ";
    }
    return Trimmed(line);
}

// The line that follows `heading` in a report, trimmed; empty when there is none.
std::string LineAfter(const std::string &report, const std::string &heading) {
    auto lines = LinesOf(report);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i] == heading)
            return lines[i + 1];
    }
    return {};
}

// The count at the end of a report line such as "Name Table Entry Count                 00003"; -1 if absent.
int CountOnLine(const std::string &report, const std::string &label) {
    for (const auto &line : LinesOf(report)) {
        if (StartsWith(line, label) && line.size() > label.size())
            return std::stoi(line.substr(label.size()));
    }
    return -1;
}

// The adapter-status commands the viewer hands to Netbios(), as they reach it.
class AdapterStatusLog : public platform::netbios::NcbObserver {
public:
    void issued(const platform::netbios::IssuedNcb &ncb) override {
        if ((ncb.command & ~ASYNCH) != NCBASTAT)
            return;
        std::lock_guard guard(lock_);
        commands_.push_back(ncb);
    }
    std::size_t count(int lana) const {
        std::lock_guard guard(lock_);
        std::size_t n = 0;
        for (const auto &ncb : commands_)
            n += ncb.lana == lana;
        return n;
    }
    platform::netbios::IssuedNcb last() const {
        std::lock_guard guard(lock_);
        return commands_.empty() ? platform::netbios::IssuedNcb{} : commands_.back();
    }

private:
    mutable std::mutex lock_;
    std::vector<platform::netbios::IssuedNcb> commands_;
};

class PeerViewer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testbed)
            GTEST_SKIP() << "no test network: " << testbed_missing;
        std::string error;
        ASSERT_TRUE(testbed->start_peer(error)) << error;
        ResetViewerState();
        previous_observer_ = platform::netbios::install_ncb_observer(log_);
        viewer_ = std::make_unique<RunningViewer>();
        hwnd_main_ = viewer_->main_window();
        ASSERT_NE(hwnd_main_, nullptr);
    }

    void TearDown() override {
        if (viewer_ && hwnd_main_ && !viewer_->finished())
            DeactivateWatchedLanas(hwnd_main_);
        viewer_.reset();
        if (testbed) {
            EXPECT_TRUE(platform::netbios::wait_until_idle(kGenerous));
            platform::netbios::install_ncb_observer(previous_observer_);
            ResetViewerState();
            testbed->stop_peer();
        }
    }

    bool Activate(const std::string &name) {
        LanaSettings settings;
        settings.name = name;
        settings.frequency = "-1";  // two cycles at activation, then one for each wake: a report that stays
        settings.active = true;
        return ConfigureLana(hwnd_main_, 0, settings) && WaitForLanaDisplay(0) != nullptr;
    }

    // Waits until LANA 0 has issued `count` adapter-status commands and the report of the last is complete.
    bool WaitForCycles(std::size_t count) {
        return wait_for([&] { return log_->count(0) >= count; }, kGenerous) &&
               platform::netbios::wait_until_idle(kGenerous) &&
               wait_for([&] { return Contains(Report(), "END OF REPORT"); }, kGenerous);
    }

    // One more cycle, asked for as a user does: a double click on the display window.
    bool Refresh() {
        std::size_t issued = log_->count(0);
        HWND hwndDisplay = WaitForLanaDisplay(0);
        return hwndDisplay && ui::double_click_client(hwndDisplay, {40, 40}) && WaitForCycles(issued + 1);
    }

    // The return code of the last adapter-status command, read once it completed.
    UCHAR LastRetcode() const {
        SyncWithViewer(hwnd_main_);
        return log_->last().ncb ? log_->last().ncb->ncb_retcode : NRC_PENDING;
    }

    // The first 15 bytes of the last adapter-status command's call name: the name as the viewer sends it.
    std::string LastCallname() const {
        auto callname = log_->last().callname;
        return std::string(callname.begin(), callname.begin() + NCBNAMSZ - 1);
    }

    std::string Report() const { return LanaReportText(hwnd_main_, 0); }

    std::string Nmblookup(const platform::nbt::Ipv4Address &address) const {
        auto listing =
            testbed->run({"nmblookup", "-s", testbed->client_config(), "-A", platform::nbt::testing::dotted(address)});
        EXPECT_TRUE(listing) << "nmblookup -A failed";
        return listing.value_or("");
    }

    // The peer's name table in the report of LANA 0 matches what nmblookup lists. A node's names can change
    // while the test runs (it may win a browser election and add names), so a mismatch is looked at again
    // once, with a fresh listing and a fresh report.
    void ExpectNameTableLikeNmblookup(const platform::nbt::Ipv4Address &address) {
        auto expected = platform::nbt::testing::parse_nmblookup(Nmblookup(address));
        auto shown = NameTableOfReport(Report());
        if (shown != expected) {
            ASSERT_TRUE(Refresh());
            expected = platform::nbt::testing::parse_nmblookup(Nmblookup(address));
            shown = NameTableOfReport(Report());
        }
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(shown, expected) << Report();
        EXPECT_EQ(CountOnLine(Report(), "Name Table Entry Count"), static_cast<int>(expected.size()));
    }

    std::shared_ptr<AdapterStatusLog> log_ = std::make_shared<AdapterStatusLog>();
    std::shared_ptr<platform::netbios::NcbObserver> previous_observer_;
    std::unique_ptr<RunningViewer> viewer_;
    HWND hwnd_main_ = nullptr;
};

// The MAC address of the test's end of the veth pair, as `ip` reports it inside the namespace.
std::string VethMac() {
    auto listing = testbed->run({"ip", "-o", "link", "show", "dev", testbed->local_interface()});
    if (!listing)
        return {};
    auto at = listing->find("link/ether ");
    return at == std::string::npos ? std::string() : listing->substr(at + 11, 17);
}

TEST_F(PeerViewer, TheVethIsTheOneLanaAndItsLocalReportShowsItsMacAndTheLocalNodesNames) {
    // Only the veth is enumerated: the selection dialog proposes it and every other number is unusable.
    HWND hwndLanas = OpenSelection(hwnd_main_);
    ASSERT_NE(hwndLanas, nullptr);
    EXPECT_TRUE(wait_for([&] { return ControlText(hwndLanas, IDC_LANAS_NUMBER) == "0"; }));
    ui::click(ui::center_of(GetDlgItem(hwndLanas, IDC_LANAS_CANCEL)));
    ASSERT_TRUE(WaitForNoWindow(kLanasTitle));
    SyncWithViewer(hwnd_main_);
    EXPECT_EQ(LanaSlots[0].nState, LANA_PRESENT);
    for (int lana = 1; lana < MAX_LANA_SLOTS; ++lana)
        EXPECT_EQ(LanaSlots[lana].nState, LANA_UNUSABLE) << "LANA " << lana;

    ASSERT_TRUE(Activate("*"));
    ASSERT_TRUE(WaitForCycles(2));
    EXPECT_EQ(LastRetcode(), NRC_GOODRET);
    std::string report = Report();
    auto mac = VethMac();
    ASSERT_EQ(mac.size(), 17u) << "no MAC address for " << testbed->local_interface();
    EXPECT_EQ(LineAfter(report, "Permanent Node Name"), NodeNameLine(mac)) << report;
    EXPECT_TRUE(Contains(report, "Error Information")) << report;
    EXPECT_TRUE(Contains(report, "Session Information")) << report;         // the local adapter has a session section
    EXPECT_EQ(CountOnLine(report, "Name Table Entry Count"), 0) << report;  // no NetBIOS node on this end yet
    EXPECT_EQ(report.substr(report.size() - kTrailer.size()), kTrailer);

    std::string error;
    ASSERT_TRUE(testbed->start_local_node(error)) << error;
    ASSERT_TRUE(Refresh());
    ExpectNameTableLikeNmblookup(testbed->local_address());
    auto names = NameTableOfReport(Report());
    EXPECT_NE(std::find(names.begin(), names.end(), TableName{testbed->local_node_name(), 0x20, false, REGISTERED}),
              names.end())
        << Report();
    EXPECT_EQ(LineAfter(Report(), "Permanent Node Name"), NodeNameLine(mac));
}

TEST_F(PeerViewer, TheRemotePeerByNameAndByAddressShowsTheNamesNmblookupLists) {
    ASSERT_TRUE(Activate(testbed->peer_name()));
    ASSERT_TRUE(WaitForCycles(2));
    EXPECT_EQ(LastRetcode(), NRC_GOODRET);
    EXPECT_EQ(LastCallname(), testbed->peer_name() + std::string(NCBNAMSZ - 1 - testbed->peer_name().size(), ' '));
    ExpectNameTableLikeNmblookup(testbed->peer_address());
    std::string by_name = Report();
    auto names = NameTableOfReport(by_name);
    EXPECT_NE(std::find(names.begin(), names.end(), TableName{testbed->peer_name(), 0x20, false, REGISTERED}),
              names.end())
        << by_name;
    EXPECT_NE(std::find(names.begin(), names.end(), TableName{testbed->workgroup(), 0x00, true, REGISTERED}),
              names.end())
        << by_name;
    EXPECT_FALSE(Contains(by_name, "Session Information")) << by_name;  // sessions are asked of "*" only
    EXPECT_TRUE(Contains(by_name, "Capacity Information")) << by_name;
    // The unit id the peer sends, which nmblookup prints as its MAC address.
    std::string listing = Nmblookup(testbed->peer_address());
    auto mac_at = listing.find("MAC Address = ");
    ASSERT_NE(mac_at, std::string::npos) << listing;
    EXPECT_EQ(LineAfter(by_name, "Permanent Node Name"), NodeNameLine(listing.substr(mac_at + 14, 17)));

    // The same peer by its address, typed into the same slot: the commit runs one more cycle.
    std::size_t issued = log_->count(0);
    LanaSettings settings;
    settings.name = platform::nbt::testing::dotted(testbed->peer_address());
    ASSERT_TRUE(ConfigureLana(hwnd_main_, 0, settings));
    ASSERT_TRUE(WaitForCycles(issued + 1));
    EXPECT_EQ(LastRetcode(), NRC_GOODRET);
    EXPECT_EQ(LastCallname(), *settings.name + std::string(NCBNAMSZ - 1 - settings.name->size(), ' '));
    ExpectNameTableLikeNmblookup(testbed->peer_address());
    std::string by_address = Report();
    EXPECT_FALSE(Contains(by_address, "Session Information")) << by_address;
    EXPECT_EQ(LineAfter(by_address, "Permanent Node Name"), LineAfter(by_name, "Permanent Node Name"));
    // Unless the peer's names changed in between, the two reports are the same to the byte: the statistics
    // come from the peer, which sends zeros.
    if (NameTableOfReport(by_name) == NameTableOfReport(by_address)) {
        EXPECT_EQ(by_name, by_address);
    }
}

TEST_F(PeerViewer, ANameNobodyHoldsShowsOnlyTheTrailerAndTheViewerStaysResponsive) {
    ASSERT_TRUE(Activate("NOBODYHOLDSIT"));
    // The window answers the user while the worker waits for a reply that never comes.
    HWND hwndLanas = OpenSelection(hwnd_main_);
    ASSERT_NE(hwndLanas, nullptr);
    EXPECT_TRUE(wait_for([&] { return ControlText(hwndLanas, IDC_LANAS_NUMBER) == "0"; }));
    ui::click(ui::center_of(GetDlgItem(hwndLanas, IDC_LANAS_CANCEL)));
    ASSERT_TRUE(WaitForNoWindow(kLanasTitle));

    // The first cycle ended (the second began) within one command deadline, and so did the second.
    EXPECT_TRUE(wait_for([&] { return log_->count(0) >= 2; }, kCommandDeadline));
    ASSERT_TRUE(platform::netbios::wait_until_idle(kCommandDeadline));
    ASSERT_TRUE(wait_for([&] { return Contains(Report(), "END OF REPORT"); }));
    EXPECT_EQ(LastRetcode(), NRC_CMDTMO);
    EXPECT_EQ(Report(), kTrailer);
    EXPECT_EQ(LastCallname(), "NOBODYHOLDSIT  ");
}

}  // namespace
