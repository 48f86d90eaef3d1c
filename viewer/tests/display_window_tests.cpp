// The report display window: a real "DISPLAY" dialog owned by the test's thread, its slot and report set up
// as activation does, the report written by the program's own functions.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

#include "display_guard.h"
#include "report_buffer.h"
#include "report_fixture.h"
#include "resource.h"
#include "tarvoke_ui.h"
#include "testing/headless_display.h"
#include "testing/resource_counts.h"
#include "viewer_harness.h"

namespace ui = platform::testing::ui;
using namespace tarvoke::testing;

namespace {

constexpr WORD kLana = 3;

// A complete report of `count` lines as a polling cycle writes it: numbered lines, then the trailer.
void FillReport(HWND hwnd, PREPORTBUF lpReport, int count) {
    ResetReport(lpReport);
    for (int i = 0; i < count - 5; ++i)
        AppendReportLine(hwnd, "Line %03d of the report\r\n", i);
    AppendReportTrailer(hwnd);
    CompleteReport(lpReport);
}

class DisplayWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ResetViewerState();
        hwnd_ = CreateDialogParamA(GetModuleHandleA(nullptr), "DISPLAY", nullptr, DisplayDlgProc, 0);
        ASSERT_NE(hwnd_, nullptr);
        report_ = std::make_unique<AttachedReport>(kLana, hwnd_);
        LanaSlots[kLana].hWakeEvent = wake_;
        SetSlotDisplayProc(kLana, DisplayDlgProc);
        ShowWindow(hwnd_, SW_SHOW);
        FillReport(hwnd_, report_->report(), 60);  // 43 is then the highest top line
        command(IDM_DISPLAYREFRESH);
    }
    void TearDown() override {
        report_.reset();
        CloseHandle(wake_);
        DestroyWindow(hwnd_);
        ResetViewerState();
    }
    // The procedure's own result: a message sent to a dialog answers with its message result instead.
    INT_PTR command(WORD id) { return DisplayDlgProc(hwnd_, WM_COMMAND, id, 0); }
    INT_PTR scroll(WORD code, WORD position = 0) {
        return DisplayDlgProc(hwnd_, WM_VSCROLL, static_cast<WPARAM>(code | position << 16), 0);
    }
    LONG top_line() const { return GetReportTopLine(report_->report()); }
    bool woken() const { return WaitForSingleObject(wake_, 0) == WAIT_OBJECT_0; }
    // The first report line the window shows, as a user reads it.
    std::string first_shown_line() const {
        for (const auto &line : ui::window_text(hwnd_)) {
            if (line.rfind("Line ", 0) == 0)
                return line;
        }
        return {};
    }
    static std::string line(LONG n) {
        char sz[32];
        std::snprintf(sz, sizeof sz, "Line %03ld of the report", static_cast<long>(n));
        return sz;
    }

    HWND hwnd_ = nullptr;
    HANDLE wake_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::unique_ptr<AttachedReport> report_;
};

TEST_F(DisplayWindow, ScrollCodesMoveTheTopLineWithinTheReportAndRefreshShowsLineZero) {
    const struct {
        LONG start;
        WORD code, position;
        LONG top;
        INT_PTR result;
    } cases[] = {{0, SB_LINEUP, 0, 0, 1},           {4, SB_LINEUP, 0, 3, 1},
                 {4, SB_LINEDOWN, 0, 5, 1},         {43, SB_LINEDOWN, 0, 43, 1},
                 {0, SB_PAGEDOWN, 0, 24, 1},        {30, SB_PAGEDOWN, 0, 43, 1},
                 {30, SB_PAGEUP, 0, 6, 1},          {5, SB_PAGEUP, 0, 0, 1},
                 {3, SB_THUMBPOSITION, 500, 43, 1}, {3, SB_THUMBTRACK, 43, 43, 1},
                 {3, SB_BOTTOM, 0, 43, 1},          {7, SB_TOP, 0, 0, 1},
                 {4, SB_ENDSCROLL, 0, 4, 0},        {4, 9, 0, 4, 0}};
    for (const auto &c : cases) {
        SetReportTopLine(report_->report(), c.start);
        EXPECT_EQ(scroll(c.code, c.position), c.result) << c.start << " " << c.code;
        EXPECT_EQ(top_line(), c.top) << c.start << " " << c.code;
        EXPECT_EQ(GetScrollPos(hwnd_, SB_VERT), c.result ? c.top : GetScrollPos(hwnd_, SB_VERT));
        EXPECT_EQ(first_shown_line(), c.result ? line(c.top) : first_shown_line());
    }
    SetReportTopLine(report_->report(), 6);
    EXPECT_EQ(command(IDM_DISPLAYREFRESH), 0);
    int nMin = -1, nMax = -1;
    GetScrollRange(hwnd_, SB_VERT, &nMin, &nMax);
    EXPECT_EQ(std::make_pair(nMin, nMax), std::make_pair(0, 43));
    EXPECT_EQ(top_line() + GetScrollPos(hwnd_, SB_VERT), 0);
    EXPECT_EQ(first_shown_line(), line(0));
    // A repaint draws from the report's top line, whatever the scroll bar said.
    scroll(SB_THUMBPOSITION, 9);
    SetScrollPos(hwnd_, SB_VERT, 0, FALSE);
    InvalidateRect(hwnd_, nullptr, TRUE);
    UpdateWindow(hwnd_);
    EXPECT_EQ(std::make_pair(GetScrollPos(hwnd_, SB_VERT), first_shown_line()), std::make_pair(9, line(9)));
}

TEST_F(DisplayWindow, ScrollingHoldsPeriodicRefreshOnceAndADoubleClickReleasesIt) {
    for (SHORT frequency : {-1, -5}) {  // refresh on request only: nothing to hold
        SetSlotFrequency(kLana, frequency);
        scroll(SB_LINEDOWN);
        EXPECT_EQ(GetSlotHold(kLana), 0);
        EXPECT_FALSE(woken());
    }
    SetSlotFrequency(kLana, 0);
    EXPECT_EQ(scroll(SB_ENDSCROLL), 0);  // the hold rule looks at every scroll message
    EXPECT_EQ(GetSlotHold(kLana), 1);
    EXPECT_TRUE(woken());
    scroll(SB_LINEDOWN);
    EXPECT_FALSE(woken());
    // A click on the scroll bar's lower arrow, and a double-click to release, as a user does them.
    SetSlotHold(kLana, 0);
    ASSERT_TRUE(ui::click(ui::scroll_down_arrow_of(hwnd_)));
    EXPECT_TRUE(wait_for([this] { return top_line() == 4 && first_shown_line() == line(4); }));
    EXPECT_TRUE(GetSlotHold(kLana) == 1 && woken());
    ASSERT_TRUE(ui::double_click_client(hwnd_, {20, 20}));
    EXPECT_TRUE(wait_for([this] { return woken(); }));
    EXPECT_EQ(GetSlotHold(kLana), 0);
    // Without a hold a double-click still wakes the worker: it asks for a new cycle.
    ASSERT_TRUE(ui::double_click_client(hwnd_, {20, 20}));
    EXPECT_TRUE(wait_for([this] { return woken(); }));
}

TEST_F(DisplayWindow, CloseClearsTheProcedureBeforeWakingAndOtherCommandsChangeNothing) {
    scroll(SB_LINEDOWN);
    for (WORD id : {WORD{1}, WORD{2}, WORD{IDM_EXIT}, WORD{221}, WORD{231}}) {
        EXPECT_EQ(command(id), 0) << id;
        EXPECT_TRUE(top_line() == 1 && !woken() && IsWindowVisible(hwnd_)) << id;
    }
    std::atomic<bool> proc_cleared_at_wake{false};
    std::thread worker([&] {
        WaitForSingleObject(wake_, INFINITE);
        proc_cleared_at_wake = GetSlotDisplayProc(kLana) == nullptr;
    });
    EXPECT_EQ(command(IDM_DISPLAYCLOSE), 1);
    worker.join();
    EXPECT_TRUE(proc_cleared_at_wake);
    EXPECT_TRUE(IsWindow(hwnd_) && !IsWindowVisible(hwnd_));
}

TEST_F(DisplayWindow, AWindowThatNoSlotNamesIsAnsweredZeroAndChangesNothing) {
    HWND hwndForeign = CreateDialogParamA(GetModuleHandleA(nullptr), "DISPLAY", nullptr, DisplayDlgProc, 0);
    ShowWindow(hwndForeign, SW_SHOW);
    SetSlotFrequency(kLana, 5);
    for (UINT message : {UINT{WM_COMMAND}, UINT{WM_VSCROLL}, UINT{WM_LBUTTONDBLCLK}})
        EXPECT_EQ(DisplayDlgProc(hwndForeign, message, message == WM_COMMAND ? IDM_DISPLAYCLOSE : SB_BOTTOM, 0), 0);
    EXPECT_EQ(DisplayDlgProc(hwndForeign, WM_COMMAND, IDM_DISPLAYREFRESH, 0), 0);
    EXPECT_EQ(DisplayDlgProc(nullptr, WM_PAINT, 0, 0), 0);
    EXPECT_TRUE(IsWindowVisible(hwndForeign));
    EXPECT_EQ(text_of(hwndForeign).find("Line "), std::string::npos);
    EXPECT_TRUE(top_line() == 0 && GetSlotHold(kLana) == 0 && !woken());
    EXPECT_EQ(GetSlotDisplayProc(kLana), DisplayDlgProc);
    DestroyWindow(hwndForeign);
}

TEST_F(DisplayWindow, AShortReportStaysOnShowAfterARepaintAndDrawingHoldsNoGraphicsObjects) {
    FillReport(hwnd_, report_->report(), 12);  // 17 lines or fewer: the highest top line is 0
    command(IDM_DISPLAYREFRESH);
    std::size_t objects = platform::testing::gdi_object_count();
    std::size_t dcs = platform::testing::device_context_count();
    for (int i = 0; i < 50; ++i) {
        InvalidateRect(hwnd_, nullptr, TRUE);
        UpdateWindow(hwnd_);
        command(IDM_DISPLAYREFRESH);
        scroll(SB_PAGEDOWN);
    }
    EXPECT_EQ(first_shown_line(), line(0));
    EXPECT_EQ(platform::testing::gdi_object_count(), objects);
    EXPECT_EQ(platform::testing::device_context_count(), dcs);
    ResetReport(report_->report());
    InvalidateRect(hwnd_, nullptr, TRUE);
    UpdateWindow(hwnd_);
    EXPECT_EQ(first_shown_line(), "");
    EXPECT_EQ(ui::client_pixel(hwnd_, {8, 4}), 0xFFFFFFu);
}

// The worker's end frees the report under the display guard; messages racing with it either see the whole
// buffer or no slot at all. Meaningful under the sanitizers, which see any use of the freed block.
TEST_F(DisplayWindow, WorkerEndNeverFreesTheReportUnderAMessage) {
    report_.reset();
    HGLOBAL hmem = GlobalAlloc(GMEM_NODISCARD, sizeof(REPORTBUF));
    auto lpReport = static_cast<PREPORTBUF>(GlobalLock(hmem));
    InitReportBuffer(lpReport);
    LanaSlots[kLana].hmemLana = hmem;
    SetSlotDisplayWindow(kLana, hwnd_);
    FillReport(hwnd_, lpReport, 60);
    GlobalUnlock(hmem);
    std::thread worker([&] {
        LockDisplayedReports();
        SetSlotDisplayWindow(kLana, nullptr);
        LanaSlots[kLana].hmemLana = nullptr;
        GlobalFree(hmem);
        UnlockDisplayedReports();
    });
    while (GetSlotDisplayWindow(kLana) != nullptr) {
        SendMessageA(hwnd_, WM_VSCROLL, SB_PAGEDOWN, 0);
        SendMessageA(hwnd_, WM_VSCROLL, SB_TOP, 0);
    }
    worker.join();
    EXPECT_EQ(SendMessageA(hwnd_, WM_COMMAND, IDM_DISPLAYREFRESH, 0), 0);
}

}  // namespace
