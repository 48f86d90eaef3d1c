#include "window_states.h"

#include <cstring>
#include <vector>

#include "lana_slots.h"
#include "report_buffer.h"
#include "report_sections.h"
#include "resource.h"
#include "tarvoke_ui.h"
#include "testing/window_inspection.h"
#include "viewer_harness.h"

namespace tarvoke::testing {
namespace {

bool shows_text(HWND hwnd, const char *text) {
    return platform::testing::shows_text(hwnd, text);
}

void AddName(ADAPTER_STATUS *lpStatus, const char *lpszName, UCHAR ucType, UCHAR ucFlags) {
    auto *lpNames = reinterpret_cast<NAME_BUFFER *>(lpStatus + 1);
    NAME_BUFFER &entry = lpNames[lpStatus->name_count];
    std::memset(entry.name, ' ', NCBNAMSZ);
    std::memcpy(entry.name, lpszName, std::strlen(lpszName));
    entry.name[NCBNAMSZ - 1] = ucType;
    entry.name_num = static_cast<UCHAR>(lpStatus->name_count + 1);
    entry.name_flags = ucFlags;
    ++lpStatus->name_count;
}

// An adapter-status report as a polling cycle writes it: every adapter section, then the trailer. Long
// enough to scroll, so the window shows its scroll bar with the thumb off the top.
void WriteAdapterReport(HWND hwnd, PREPORTBUF lpReport) {
    std::vector<unsigned char> reply(CB_STATUS_REPLY);
    auto *lpStatus = reinterpret_cast<ADAPTER_STATUS *>(reply.data());
    const unsigned char mac[6] = {0x02, 0x00, 0x5E, 0x10, 0x20, 0x30};
    std::memcpy(lpStatus->adapter_address, mac, sizeof mac);
    lpStatus->duration = 7;
    lpStatus->xmit_success = 1234;
    lpStatus->recv_success = 5678;
    lpStatus->t1_timeouts = 2;
    lpStatus->max_sess = 16;
    lpStatus->max_cfg_sess = 8;
    lpStatus->max_dgram_size = 512;
    lpStatus->name_count = 0;
    AddName(lpStatus, "WORKSTATION", 0x00, REGISTERED);
    AddName(lpStatus, "WORKGROUP", 0x00, REGISTERED | GROUP_NAME);

    ResetReport(lpReport);
    FormatAdapterErrors(kShownLana, lpStatus);
    FormatAdapterCapacity(kShownLana, lpStatus);
    FormatNameTable(kShownLana, lpStatus);
    AppendReportTrailer(hwnd);
    CompleteReport(lpReport);
}

}  // namespace

void PumpPendingMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

ShownWindows::ShownWindows() {
    RestoreSlotTables();
    netbios_.set_lanas({0, 2});
    viewer_ = std::thread([] {
        char szCmdLine[] = "";
        WinMain(GetModuleHandleA(nullptr), nullptr, szCmdLine, SW_SHOWDEFAULT);
    });
}

ShownWindows::~ShownWindows() {
    if (display_) {
        SetSlotDisplayProc(kShownLana, nullptr);
        report_.reset();
        DestroyWindow(display_);
    }
    if (wait_for([] { return hwndMain != nullptr; }))
        PostMessageA(hwndMain, WM_CLOSE, 0, 0);
    viewer_.join();
    RestoreSlotTables();
}

HWND ShownWindows::main_window() {
    bool painted = wait_for([] { return hwndMain != nullptr && shows_text(hwndMain, "Options"); });
    // A sent message is handled once the viewer waits in its message loop, after its first paint.
    if (!painted)
        return nullptr;
    SendMessageA(hwndMain, WM_NULL, 0, 0);
    return IsWindow(hwndMain) ? hwndMain : nullptr;
}

HWND ShownWindows::open_display_window() {
    display_ = CreateDialogParamA(GetModuleHandleA(nullptr), "DISPLAY", nullptr, DisplayDlgProc, 0);
    if (!display_)
        return nullptr;
    SetWindowTextA(display_, kDisplayTitle);
    report_ = std::make_unique<AttachedReport>(kShownLana, display_);
    SetSlotDisplayProc(kShownLana, DisplayDlgProc);
    SetSlotFrequency(kShownLana, -1);  // scrolling then holds nothing and wakes no worker
    ShowWindow(display_, SW_SHOW);
    PumpPendingMessages();
    WriteAdapterReport(display_, report_->report());
    SendMessageA(display_, WM_COMMAND, IDM_DISPLAYREFRESH, 0);
    SendMessageA(display_, WM_VSCROLL, SB_LINEDOWN, 0);
    PumpPendingMessages();
    return shows_text(display_, "Error Information") ? display_ : nullptr;
}

}  // namespace tarvoke::testing
