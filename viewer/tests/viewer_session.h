// A running viewer for end-to-end tests: WinMain on its own thread with scripted LANAs, and at the end every
// watched LANA switched off through the dialogs, so that no worker outlives the test.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "lana_config_driver.h"
#include "lana_slots.h"
#include "report_buffer.h"
#include "viewer_harness.h"

namespace tarvoke::testing {

// Orders the viewer thread's writes of the slot table before the caller's reads: the send returns once the
// main thread has handled it in its loop, and the table is written only by the main thread.
void SyncWithViewer(HWND hwndMain);
// The display window of `lana` once it shows, or null.
HWND WaitForLanaDisplay(int lana);
// The complete report of `lana` as the buffer holds it; empty when the slot has none.
std::string LanaReportText(HWND hwndMain, int lana);
// Switches `lana` off through the dialogs; true once its display window and worker are gone.
bool DeactivateLana(HWND hwndMain, int lana);
// Every watched LANA switched off through the dialogs, so that no worker outlives the test.
void DeactivateWatchedLanas(HWND hwndMain);

class ViewerSession : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the viewer; the scripted LANAs must be set before.
    void Start();
    HWND main() const { return hwnd_main_; }
    void Sync() const { SyncWithViewer(hwnd_main_); }
    // The display window of `lana` once it shows, or null.
    HWND WaitForDisplay(int lana) const;
    // The complete report of `lana` as the buffer holds it; empty when the slot has none.
    std::string ReportText(int lana) const;
    // Adapter-status and session-status commands issued so far for `lana`.
    std::size_t AdapterStatusCount(int lana) const;
    std::size_t SessionStatusCount(int lana) const;
    bool Activate(int lana, LanaSettings settings = {});
    bool Deactivate(int lana);

    platform::testing::ScriptedNetbios netbios_;
    std::unique_ptr<RunningViewer> viewer_;
    HWND hwnd_main_ = nullptr;
};

}  // namespace tarvoke::testing
