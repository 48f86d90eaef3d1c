// The viewer's main window and one report display window brought to a fixed state on whichever display
// backend the process uses, so that two runs on different backends can be compared pixel for pixel.
// Nothing here touches a particular backend.
#pragma once

#include <windows.h>

#include <memory>
#include <thread>

#include "report_fixture.h"
#include "testing/scripted_netbios.h"

namespace tarvoke::testing {

// The LANA whose display window is shown and the title it gets.
inline constexpr WORD kShownLana = 3;
inline constexpr const char *kDisplayTitle = "LANA 03";

class ShownWindows {
public:
    ShownWindows();
    // Closes the display window and ends the viewer as its close box would.
    ~ShownWindows();
    ShownWindows(const ShownWindows &) = delete;
    ShownWindows &operator=(const ShownWindows &) = delete;

    // The running viewer's main window once it has painted and waits in its message loop; null when it
    // did not get there in time.
    HWND main_window();
    // A "DISPLAY" dialog owned by the calling thread, showing an adapter-status report scrolled down one
    // line, its drawing done; null when it could not be made. The caller pumps its messages.
    HWND open_display_window();

private:
    platform::testing::ScriptedNetbios netbios_;
    std::thread viewer_;  // WinMain, the owner of the main window
    HWND display_ = nullptr;
    std::unique_ptr<AttachedReport> report_;
};

// Handles what waits in the calling thread's queue, without blocking; its windows are then shown.
void PumpPendingMessages();

}  // namespace tarvoke::testing
