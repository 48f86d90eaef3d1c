// Running the viewer inside a test: WinMain on a thread of its own (the program's main thread, owner of all
// its windows), the screen headless, the NetBIOS answers scripted or from the real transport, and the LANA
// dialogs driven as a user drives them.
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

#include "lana_slots.h"
#include "testing/scripted_netbios.h"

namespace tarvoke::testing {

inline constexpr const char *kMainTitle = "TarVoke - NetBios Statistics";
inline constexpr const char *kLanasTitle = "LANA to Configure";

// Pumps the calling thread's messages until `condition` holds; false when `limit` passed first.
bool wait_for(const std::function<bool()> &condition, std::chrono::milliseconds limit = std::chrono::seconds(20));

// The headless screen, a fresh slot table and no program class left from an earlier run.
void ResetViewerState();

class RunningViewer {
public:
    // The viewer over whatever transport Netbios() has: the real one, unless a test installed another.
    RunningViewer();
    explicit RunningViewer(platform::testing::ScriptedNetbios &) : RunningViewer() {}
    ~RunningViewer();
    RunningViewer(const RunningViewer &) = delete;
    RunningViewer &operator=(const RunningViewer &) = delete;

    // The main window once it is on the screen; null when it did not appear.
    HWND main_window();
    bool finished() const { return finished_; }
    // Waits for WinMain to return; its result, or -1000 when it did not return in time.
    int wait_for_exit();

private:
    std::thread thread_;
    std::atomic<bool> finished_{false};
    std::atomic<int> exit_code_{0};
};

// The text a user reads on a window, all its lines joined by newlines.
std::string text_of(HWND hwnd);
// Opens the "&Options" pop-up with the mouse and picks an item by its mnemonic.
void ChooseMenuItem(HWND hwndMain, char mnemonic);

// What to change in the configuration dialog; fields left empty keep what the dialog shows.
struct LanaSettings {
    std::optional<std::string> name{}, frequency{};
    std::optional<bool> errors{}, name_table{}, capacity{}, sessions{}, active{};
};

// Waits for a visible window with this title (and, when id is not 0, a control `id`); null when none came.
HWND WaitForWindow(std::string_view title, int id = 0);
bool WaitForNoWindow(std::string_view title);
// Replaces the text of an edit control: a click into it, Home, Shift+End, then the text typed.
void ReplaceEditText(HWND hwndEdit, std::string_view text);
bool IsChecked(HWND hwndDlg, int id);
std::string ControlText(HWND hwndDlg, int id);
// "&Configure LANA" from the menu; the selection dialog, or null.
HWND OpenSelection(HWND hwndMain);
// The selection dialog with `number` typed and OK pressed; the configuration dialog "LANA nn", or null.
HWND OpenConfiguration(HWND hwndMain, int lana, std::string_view number = {});
// Applies the settings in an open configuration dialog without pressing OK.
void EnterSettings(HWND hwndConfig, const LanaSettings &settings);
// Opens the dialogs for `lana`, applies the settings and presses OK; true once both dialogs are gone.
bool ConfigureLana(HWND hwndMain, int lana, const LanaSettings &settings);

// Orders the viewer thread's writes of the slot table before the caller's reads: the send returns once the
// main thread has handled it in its loop, and the table is written only by the main thread.
void SyncWithViewer(HWND hwndMain);
// The display window of `lana` once it shows, or null.
HWND WaitForLanaDisplay(int lana);
// The complete report of `lana` as the buffer holds it; empty when the slot has none.
std::string LanaReportText(HWND hwndMain, int lana);
// Every watched LANA switched off through the dialogs, so that no worker outlives the test.
void DeactivateWatchedLanas(HWND hwndMain);

// A running viewer with scripted LANAs 0 and 1 (change them before Start).
class ViewerSession : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void Start();
    HWND main() const { return hwnd_main_; }
    void Sync() const { SyncWithViewer(hwnd_main_); }
    std::string ReportText(int lana) const { return LanaReportText(hwnd_main_, lana); }
    // Adapter-status and session-status commands issued so far for `lana`.
    std::size_t AdapterStatusCount(int lana) const;
    std::size_t SessionStatusCount(int lana) const;
    bool Activate(int lana, LanaSettings settings = {});
    // Switches `lana` off through the dialogs; true once its display window and worker are gone.
    bool Deactivate(int lana);

    platform::testing::ScriptedNetbios netbios_;
    std::unique_ptr<RunningViewer> viewer_;
    HWND hwnd_main_ = nullptr;
};

}  // namespace tarvoke::testing
