#include "viewer_harness.h"

#include <nb30.h>

#include <cstdio>

#include "report_buffer.h"
#include "report_fixture.h"
#include "resource.h"
#include "tarvoke_ui.h"
#include "testing/headless_display.h"

namespace tarvoke::testing {

namespace ui = platform::testing::ui;

bool wait_for(const std::function<bool()> &condition, std::chrono::milliseconds limit) {
    return ui::pump_until(condition, limit);
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
    if (!finished_) {
        if (HWND hwnd = ui::find_window_titled(kMainTitle))
            ui::request_close(hwnd);
        wait_for([this] { return finished_.load(); });
    }
    thread_.join();
}

HWND RunningViewer::main_window() {
    return WaitForWindow(kMainTitle);
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

HWND WaitForWindow(std::string_view title, int id) {
    HWND found = nullptr;
    wait_for([&] {
        for (HWND hwnd : ui::visible_windows()) {
            char szTitle[64] = "";
            GetWindowTextA(hwnd, szTitle, sizeof szTitle);
            if (title == szTitle && (id == 0 || GetDlgItem(hwnd, id) != nullptr))
                return (found = hwnd) != nullptr;
        }
        return false;
    });
    return found;
}

bool WaitForNoWindow(std::string_view title) {
    return wait_for([&] { return ui::find_window_titled(title) == nullptr; });
}

void ReplaceEditText(HWND hwndEdit, std::string_view text) {
    ui::click(ui::center_of(hwndEdit));
    ui::key(VK_HOME);
    ui::key(VK_END, true);
    if (text.empty())
        ui::key(VK_DELETE);
    else
        ui::type(text);
}

bool IsChecked(HWND hwndDlg, int id) {
    return SendMessageA(GetDlgItem(hwndDlg, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
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

HWND OpenConfiguration(HWND hwndMain, int lana, std::string_view number) {
    HWND hwndLanas = OpenSelection(hwndMain);
    if (!hwndLanas)
        return nullptr;
    ReplaceEditText(GetDlgItem(hwndLanas, IDC_LANAS_NUMBER), number.data() ? number : std::to_string(lana));
    ui::click(ui::center_of(GetDlgItem(hwndLanas, IDC_LANAS_OK)));
    char szTitle[16];
    std::snprintf(szTitle, sizeof szTitle, "LANA %02d", lana);
    HWND hwndConfig = WaitForWindow(szTitle, IDC_CONFIG_OK);  // the display window has the same title
    // The dialog's controls are filled during its creation; the check boxes show the slot once it paints.
    if (hwndConfig)
        wait_for([&] { return !ui::window_text(hwndConfig).empty(); });
    return hwndConfig;
}

void EnterSettings(HWND hwndConfig, const LanaSettings &settings) {
    if (settings.name)
        ReplaceEditText(GetDlgItem(hwndConfig, IDC_CONFIG_NAME), *settings.name);
    if (settings.frequency)
        ReplaceEditText(GetDlgItem(hwndConfig, IDC_CONFIG_FREQUENCY), *settings.frequency);
    const std::pair<int, std::optional<bool>> checks[] = {
        {IDC_CONFIG_ERRORS, settings.errors},     {IDC_CONFIG_NAMETABLE, settings.name_table},
        {IDC_CONFIG_CAPACITY, settings.capacity}, {IDC_CONFIG_SESSIONS, settings.sessions},
        {IDC_CONFIG_ACTIVE, settings.active},
    };
    for (const auto &[id, checked] : checks) {
        if (checked && IsChecked(hwndConfig, id) != *checked) {
            ui::click(ui::center_of(GetDlgItem(hwndConfig, id)));
            wait_for([&, id = id, on = *checked] { return IsChecked(hwndConfig, id) == on; });
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
            if (std::string(szText) == szTitle && GetDlgItem(candidate, IDC_CONFIG_OK) == nullptr)
                return (hwnd = candidate) != nullptr;
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
    text.resize(static_cast<std::size_t>(CopyReportText(lpReport, 0, text.data(), CB_REPORT_TEXT)));
    GlobalUnlock(hmemLana);
    return text;
}

static bool DeactivateLana(HWND hwndMain, int lana) {
    LanaSettings settings;
    settings.active = false;
    if (!ConfigureLana(hwndMain, lana, settings))
        return false;
    SyncWithViewer(hwndMain);
    return GetSlotDisplayWindow(lana) == nullptr && LanaSlots[lana].hThread == nullptr;
}

void DeactivateWatchedLanas(HWND hwndMain) {
    SyncWithViewer(hwndMain);
    for (int lana = 0; lana < MAX_LANA_SLOTS; ++lana)
        EXPECT_TRUE(GetSlotDisplayWindow(lana) == nullptr || DeactivateLana(hwndMain, lana)) << "LANA " << lana;
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

static std::size_t CountIssued(const platform::testing::ScriptedNetbios &netbios, int lana, UCHAR command) {
    std::size_t count = 0;
    for (const auto &ncb : netbios.issued())
        count += ncb.lana == lana && (ncb.command & ~ASYNCH) == command;
    return count;
}

std::size_t ViewerSession::AdapterStatusCount(int lana) const {
    return CountIssued(netbios_, lana, NCBASTAT);
}

std::size_t ViewerSession::SessionStatusCount(int lana) const {
    return CountIssued(netbios_, lana, NCBSSTAT);
}

bool ViewerSession::Activate(int lana, LanaSettings settings) {
    settings.active = true;
    return ConfigureLana(hwnd_main_, lana, settings) && WaitForLanaDisplay(lana) != nullptr;
}

bool ViewerSession::Deactivate(int lana) {
    return DeactivateLana(hwnd_main_, lana);
}

}  // namespace tarvoke::testing
