#include "viewer_harness.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "resource.h"
#include "tarvoke_ui.h"

namespace tarvoke::testing {

namespace ui = platform::testing::ui;

// Taken before any test runs, while the tables still hold their constant-initialised start-up values.
const std::vector<LANASLOT> initial_lana_slots(std::begin(LanaSlots), std::end(LanaSlots));
const std::vector<LANASLOT> initial_config_slots(std::begin(ConfigSlots), std::end(ConfigSlots));

void RestoreSlotTables() {
    std::ranges::copy(initial_lana_slots, LanaSlots);
    std::ranges::copy(initial_config_slots, ConfigSlots);
}

AttachedReport::AttachedReport(WORD lana, HWND hwnd) : lana_(lana), hwnd_(hwnd) {
    hmem_ = GlobalAlloc(GMEM_NODISCARD, sizeof(REPORTBUF));
    report_ = static_cast<PREPORTBUF>(GlobalLock(hmem_));
    InitReportBuffer(report_);
    LanaSlots[lana_].hmemLana = hmem_;
    SetSlotDisplayWindow(lana_, hwnd_);
}

AttachedReport::~AttachedReport() {
    SetSlotDisplayWindow(lana_, nullptr);
    LanaSlots[lana_].hmemLana = nullptr;
    GlobalUnlock(hmem_);
    GlobalFree(hmem_);
}

std::vector<std::string> AttachedReport::lines() const {
    std::vector<std::string> result;
    for (LONG k = 0; k < GetReportLineCount(report_); ++k)
        result.emplace_back(report_->szText + report_->awLineStart[k], report_->szText + report_->awLineStart[k + 1]);
    return result;
}

void ResetViewerState() {
    ui::headless();
    RestoreSlotTables();
    UnregisterClassA("TarvokeClass", GetModuleHandleA(nullptr));
    hInst = nullptr;
    hwndMain = nullptr;
}

RunningViewer::RunningViewer() {
    thread_ = std::thread([this] {
        char szCmdLine[] = "";
        exit_code_ = WinMain(GetModuleHandleA(nullptr), nullptr, szCmdLine, SW_SHOWDEFAULT);
        // The process would end here and take its windows along; this thread ends instead, so it clears up.
        if (IsWindow(hwndMain))
            DestroyWindow(hwndMain);
        finished_ = true;
    });
}

RunningViewer::~RunningViewer() {
    if (HWND hwnd = finished_ ? nullptr : ui::find_window_titled(kMainTitle))
        ui::request_close(hwnd);
    wait_for_exit();
    thread_.join();
}

int RunningViewer::wait_for_exit() {
    return wait_for([this] { return finished_.load(); }) ? exit_code_.load() : -1000;
}

std::string text_of(HWND hwnd) {
    std::string text;
    for (const auto &line : ui::window_text(hwnd))
        text += line + "\n";
    return text;
}

void ChooseMenuItem(HWND hwndMain, char mnemonic) {
    ui::click(ui::menu_bar_item_of(hwndMain, 0));
    ui::type(std::string(1, mnemonic));
}

HWND WaitForWindow(std::string_view title, int id, std::string_view text) {
    HWND found = nullptr;
    wait_for([&] {
        for (HWND hwnd : ui::visible_windows()) {
            char szTitle[64] = "";
            GetWindowTextA(hwnd, szTitle, sizeof szTitle);
            if (title == szTitle && (id == 0 || GetDlgItem(hwnd, id) != nullptr) && Contains(text_of(hwnd), text))
                return (found = hwnd) != nullptr;
        }
        return false;
    });
    return found;
}

void ReplaceEditText(HWND hwndEdit, std::string_view text) {
    ui::click(ui::center_of(hwndEdit));
    ui::key(VK_HOME);
    ui::key(VK_END, true);
    ui::key(VK_DELETE);
    ui::type(text);
}

std::string ControlText(HWND hwndDlg, int id) {
    char szText[64] = "";
    GetWindowTextA(GetDlgItem(hwndDlg, id), szText, sizeof szText);
    return szText;
}

HWND OpenSelection(HWND hwndMain) {
    ChooseMenuItem(hwndMain, 'c');
    return WaitForWindow(kLanasTitle, IDC_LANAS_NUMBER);
}

HWND OpenConfiguration(HWND hwndMain, int lana) {
    HWND hwndLanas = OpenSelection(hwndMain);
    if (!hwndLanas)
        return nullptr;
    ReplaceEditText(GetDlgItem(hwndLanas, IDC_LANAS_NUMBER), std::to_string(lana));
    ui::click(ui::center_of(GetDlgItem(hwndLanas, IDC_LANAS_OK)));
    char szTitle[16];
    std::snprintf(szTitle, sizeof szTitle, "LANA %02d", lana);
    HWND hwndConfig = WaitForWindow(szTitle, IDC_CONFIG_OK);  // the display window has the same title
    // The controls are filled during the dialog's creation; the check boxes show the slot once it paints.
    return hwndConfig && wait_for([&] { return !ui::window_text(hwndConfig).empty(); }) ? hwndConfig : nullptr;
}

void EnterSettings(HWND hwndConfig, const LanaSettings &settings) {
    if (settings.name)
        ReplaceEditText(GetDlgItem(hwndConfig, IDC_CONFIG_NAME), *settings.name);
    if (settings.frequency)
        ReplaceEditText(GetDlgItem(hwndConfig, IDC_CONFIG_FREQUENCY), *settings.frequency);
    const std::optional<bool> checks[] = {settings.errors, settings.name_table, settings.capacity, settings.sessions,
                                          settings.active};  // the check boxes' ids are consecutive
    for (int id = IDC_CONFIG_ERRORS; id <= IDC_CONFIG_ACTIVE; ++id) {
        if (checks[id - IDC_CONFIG_ERRORS] && IsChecked(hwndConfig, id) != *checks[id - IDC_CONFIG_ERRORS]) {
            ui::click(ui::center_of(GetDlgItem(hwndConfig, id)));
            wait_for([&] { return IsChecked(hwndConfig, id) == *checks[id - IDC_CONFIG_ERRORS]; });
        }
    }
}

bool ConfigureLana(HWND hwndMain, int lana, const LanaSettings &settings) {
    HWND hwndConfig = OpenConfiguration(hwndMain, lana);
    if (!hwndConfig)
        return false;
    EnterSettings(hwndConfig, settings);
    ui::click(ui::center_of(GetDlgItem(hwndConfig, IDC_CONFIG_OK)));
    return WaitForNoWindow(kLanasTitle);
}

HWND WaitForLanaDisplay(int lana) {
    HWND hwnd = nullptr;
    wait_for([&] { return (hwnd = GetSlotDisplayWindow(static_cast<WORD>(lana))) && IsWindowVisible(hwnd); });
    return hwnd;
}

std::string LanaReportText(HWND hwndMain, int lana) {
    SyncWithViewer(hwndMain);
    HGLOBAL hmemLana = LanaSlots[lana].hmemLana;
    auto lpReport = static_cast<PREPORTBUF>(GlobalLock(hmemLana));
    std::string text(lpReport ? CB_REPORT_TEXT : 0, '\0');
    if (lpReport)
        text.resize(static_cast<std::size_t>(CopyReportText(lpReport, 0, text.data(), CB_REPORT_TEXT)));
    GlobalUnlock(hmemLana);
    return text;
}

void DeactivateWatchedLanas(HWND hwndMain) {
    for (int lana = 0; lana < MAX_LANA_SLOTS; ++lana) {
        SyncWithViewer(hwndMain);
        if (GetSlotDisplayWindow(static_cast<WORD>(lana)) != nullptr) {
            EXPECT_TRUE(ConfigureLana(hwndMain, lana, {.active = false})) << lana;
            EXPECT_TRUE(wait_for([&] { return !GetSlotDisplayWindow(static_cast<WORD>(lana)); })) << lana;
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

std::size_t ViewerSession::Issued(int lana, UCHAR command) const {
    std::size_t count = 0;
    for (const auto &ncb : netbios_.issued())
        count += ncb.lana == lana && (ncb.command & ~ASYNCH) == command;
    return count;
}

bool ViewerSession::Activate(int lana, LanaSettings settings) {
    settings.active = true;
    return ConfigureLana(hwnd_main_, lana, settings) && WaitForLanaDisplay(lana) != nullptr;
}

}  // namespace tarvoke::testing
