#include "viewer_harness.h"

#include "report_fixture.h"
#include "tarvoke_ui.h"
#include "testing/headless_display.h"

namespace tarvoke::testing {

namespace ui = platform::testing::ui;

bool wait_for(const std::function<bool()> &condition, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool stays_false(const std::function<bool()> &happened, std::chrono::milliseconds grace) {
    return !wait_for(happened, grace);
}

void ResetViewerState() {
    ui::headless();
    RestoreSlotTables();
    UnregisterClassA("TarvokeClass", GetModuleHandleA(nullptr));
    hInst = nullptr;
    hwndMain = nullptr;
}

RunningViewer::RunningViewer(platform::testing::ScriptedNetbios &) : RunningViewer() {}

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
        HWND hwnd = ui::find_window_titled(kMainTitle);
        if (hwnd)
            ui::request_close(hwnd);
        wait_for([this] { return finished_.load(); });
    }
    if (thread_.joinable())
        thread_.join();
}

HWND RunningViewer::main_window() {
    HWND hwnd = nullptr;
    wait_for([&] {
        hwnd = ui::find_window_titled(kMainTitle);
        return hwnd != nullptr;
    });
    return hwnd;
}

int RunningViewer::wait_for_exit(std::chrono::milliseconds limit) {
    if (!wait_for([this] { return finished_.load(); }, limit))
        return -1000;
    return exit_code_;
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

}  // namespace tarvoke::testing
