#include "viewer_session.h"

#include <nb30.h>

#include <cstdio>

#include "resource.h"
#include "testing/headless_display.h"

namespace tarvoke::testing {

namespace ui = platform::testing::ui;

void SyncWithViewer(HWND hwndMain) {
    SendMessageA(hwndMain, WM_NULL, 0, 0);
}

HWND WaitForLanaDisplay(int lana) {
    char szTitle[16];
    std::snprintf(szTitle, sizeof szTitle, "LANA %02d", lana);
    HWND hwnd = nullptr;
    wait_for([&] {
        for (HWND candidate : ui::visible_windows()) {
            char szText[16] = "";
            GetWindowTextA(candidate, szText, sizeof szText);
            if (std::string(szText) == szTitle && GetDlgItem(candidate, IDC_CONFIG_OK) == nullptr) {
                hwnd = candidate;
                return true;
            }
        }
        return false;
    });
    return hwnd;
}

std::string LanaReportText(HWND hwndMain, int lana) {
    SyncWithViewer(hwndMain);
    HGLOBAL hmemLana = LanaSlots[lana].hmemLana;
    auto lpReport = static_cast<PREPORTBUF>(GlobalLock(hmemLana));
    if (!lpReport)
        return {};
    std::string text(CB_REPORT_TEXT, '\0');
    int cch = CopyReportText(lpReport, 0, text.data(), static_cast<int>(text.size()));
    GlobalUnlock(hmemLana);
    text.resize(static_cast<std::size_t>(cch));
    return text;
}

bool DeactivateLana(HWND hwndMain, int lana) {
    LanaSettings settings;
    settings.active = false;
    if (!ConfigureLana(hwndMain, lana, settings))
        return false;
    SyncWithViewer(hwndMain);
    return GetSlotDisplayWindow(lana) == nullptr && LanaSlots[lana].hThread == nullptr;
}

void DeactivateWatchedLanas(HWND hwndMain) {
    SyncWithViewer(hwndMain);
    for (int lana = 0; lana < MAX_LANA_SLOTS; ++lana) {
        if (GetSlotDisplayWindow(lana) != nullptr) {
            EXPECT_TRUE(DeactivateLana(hwndMain, lana)) << "LANA " << lana;
        }
    }
}

void ViewerSession::SetUp() {
    ResetViewerState();
    netbios_.set_lanas({0, 1});
}

void ViewerSession::Start() {
    viewer_ = std::make_unique<RunningViewer>(netbios_);
    hwnd_main_ = viewer_->main_window();
    ASSERT_NE(hwnd_main_, nullptr);
    Sync();
}

void ViewerSession::TearDown() {
    if (viewer_ && hwnd_main_ && !viewer_->finished())
        DeactivateWatchedLanas(hwnd_main_);
    viewer_.reset();
    ResetViewerState();
}

HWND ViewerSession::WaitForDisplay(int lana) const {
    return WaitForLanaDisplay(lana);
}

std::string ViewerSession::ReportText(int lana) const {
    return LanaReportText(hwnd_main_, lana);
}

namespace {
std::size_t CountIssued(const platform::testing::ScriptedNetbios &netbios, int lana, UCHAR command) {
    std::size_t count = 0;
    for (const auto &ncb : netbios.issued()) {
        if (ncb.lana == lana && (ncb.command & ~ASYNCH) == command)
            ++count;
    }
    return count;
}
}  // namespace

std::size_t ViewerSession::AdapterStatusCount(int lana) const {
    return CountIssued(netbios_, lana, NCBASTAT);
}

std::size_t ViewerSession::SessionStatusCount(int lana) const {
    return CountIssued(netbios_, lana, NCBSSTAT);
}

bool ViewerSession::Activate(int lana, LanaSettings settings) {
    settings.active = true;
    return ConfigureLana(hwnd_main_, lana, settings) && WaitForDisplay(lana) != nullptr;
}

bool ViewerSession::Deactivate(int lana) {
    return DeactivateLana(hwnd_main_, lana);
}

}  // namespace tarvoke::testing
