// Running the viewer inside a test: WinMain on a thread of its own (the program's main thread, owner of all
// its windows), the screen headless, the NetBIOS answers scripted or from the real transport.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "testing/scripted_netbios.h"

namespace tarvoke::testing {

inline constexpr const char *kMainTitle = "TarVoke - NetBios Statistics";

// Waits, without pumping, until `condition` holds; false when `limit` passed first.
bool wait_for(const std::function<bool()> &condition, std::chrono::milliseconds limit = std::chrono::seconds(20));

// Gives a window `grace` to do something it must not do; true when `happened` stayed false all along.
bool stays_false(const std::function<bool()> &happened,
                 std::chrono::milliseconds grace = std::chrono::milliseconds(500));

// The headless screen, a fresh slot table and no program class left from an earlier run.
void ResetViewerState();

class RunningViewer {
public:
    // The viewer over whatever transport Netbios() has: the real one, unless a test installed another.
    RunningViewer();
    explicit RunningViewer(platform::testing::ScriptedNetbios &netbios);
    ~RunningViewer();
    RunningViewer(const RunningViewer &) = delete;
    RunningViewer &operator=(const RunningViewer &) = delete;

    // The main window once it is on the screen; null when it did not appear.
    HWND main_window();
    bool finished() const { return finished_; }
    // Waits for WinMain to return; its result, or -1000 when it did not return in time.
    int wait_for_exit(std::chrono::milliseconds limit = std::chrono::seconds(20));

private:
    std::thread thread_;
    std::atomic<bool> finished_{false};
    std::atomic<int> exit_code_{0};
};

// The text a user reads on a window, all its lines joined by newlines.
std::string text_of(HWND hwnd);

// Opens the "&Options" pop-up with the mouse and picks an item by its mnemonic.
void ChooseMenuItem(HWND hwndMain, char mnemonic);

}  // namespace tarvoke::testing
