// Test support: a report buffer attached to a slot, and WinMain on a thread of its own (the program's main
// thread, owner of its windows) with the LANA dialogs driven as a user drives them.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "lana_slots.h"
#include "report_buffer.h"
#include "testing/headless_display.h"
#include "testing/scripted_netbios.h"

namespace tarvoke::testing {

inline constexpr const char *kMainTitle = "TarVoke - NetBios Statistics";
inline constexpr const char *kLanasTitle = "LANA to Configure";

void RestoreSlotTables();
inline HWND FakeWindow(ULONG_PTR value) {
    return reinterpret_cast<HWND>(value);
}

class AttachedReport {
public:
    AttachedReport(WORD lana, HWND hwnd);
    ~AttachedReport();
    HWND window() const { return hwnd_; }
    PREPORTBUF report() const { return report_; }
    std::vector<std::string> lines() const;  // the lines appended since the last reset
    std::string text() const { return report_->szText; }

private:
    WORD lana_;
    HWND hwnd_;
    HGLOBAL hmem_;
    PREPORTBUF report_;
};

// Pumps the calling thread's messages until `condition` holds; false when `limit` passed first.
inline bool wait_for(const std::function<bool()> &condition,
                     std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    return platform::testing::ui::pump_until(condition, limit);
}
inline bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}
void ResetViewerState();
// A visible window with this title, a control `id` (when not 0) and `text` on show; null when none came.
HWND WaitForWindow(std::string_view title, int id = 0, std::string_view text = {});

class RunningViewer {
public:
    RunningViewer();
    explicit RunningViewer(platform::testing::ScriptedNetbios &) : RunningViewer() {}
    ~RunningViewer();
    HWND main_window() { return WaitForWindow(kMainTitle); }  // null when it did not appear
    bool finished() const { return finished_; }
    int wait_for_exit();  // WinMain's result, or -1000 when it did not return

private:
    std::thread thread_;
    std::atomic<bool> finished_{false};
    std::atomic<int> exit_code_{0};
};

std::string text_of(HWND hwnd);
void ChooseMenuItem(HWND hwndMain, char mnemonic);
inline bool WaitForNoWindow(std::string_view title) {
    return wait_for([&] { return platform::testing::ui::find_window_titled(title) == nullptr; });
}
void ReplaceEditText(HWND hwndEdit, std::string_view text);
inline bool IsChecked(HWND hwndDlg, int id) {
    return SendMessageA(GetDlgItem(hwndDlg, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}
std::string ControlText(HWND hwndDlg, int id);
HWND OpenSelection(HWND hwndMain);
HWND OpenConfiguration(HWND hwndMain, int lana);

// What to change in the configuration dialog; fields left empty keep what the dialog shows.
struct LanaSettings {
    std::optional<std::string> name{}, frequency{};
    std::optional<bool> errors{}, name_table{}, capacity{}, sessions{}, active{};
};
void EnterSettings(HWND hwndConfig, const LanaSettings &settings);
// Opens the dialogs for `lana`, applies the settings and presses OK; true once both dialogs are gone.
bool ConfigureLana(HWND hwndMain, int lana, const LanaSettings &settings);

// Orders the viewer thread's writes of the slot table (it is the only writer) before the caller's reads.
inline void SyncWithViewer(HWND hwndMain) {
    SendMessageA(hwndMain, WM_NULL, 0, 0);
}
HWND WaitForLanaDisplay(int lana);
std::string LanaReportText(HWND hwndMain, int lana);
void DeactivateWatchedLanas(HWND hwndMain);

class ViewerSession : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void Start();
    HWND main() const { return hwnd_main_; }
    void Sync() const { SyncWithViewer(hwnd_main_); }
    std::string ReportText(int lana) const { return LanaReportText(hwnd_main_, lana); }
    std::size_t Issued(int lana, UCHAR command) const;  // commands of this kind issued so far for `lana`
    bool Activate(int lana, LanaSettings settings = {});

    platform::testing::ScriptedNetbios netbios_;
    std::unique_ptr<RunningViewer> viewer_;
    HWND hwnd_main_ = nullptr;
};

}  // namespace tarvoke::testing
