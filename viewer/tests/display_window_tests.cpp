// The report display window: a real "DISPLAY" dialog owned by the test's thread, its slot and report set up
// as activation does, the report written by the engine's own functions.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

#include "display_guard.h"
#include "lana_slots.h"
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

WPARAM scroll_code(WORD code, WORD position = 0) {
    return static_cast<WPARAM>(code | position << 16);
}

// A complete report of `count` lines written as a polling cycle writes it: numbered lines, the trailer.
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
        SetWindowTextA(hwnd_, "LANA 03");
        report_ = std::make_unique<AttachedReport>(kLana, hwnd_);
        wake_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        LanaSlots[kLana].hWakeEvent = wake_;
        SetSlotDisplayProc(kLana, DisplayDlgProc);
        SetSlotFrequency(kLana, -1);
        ShowWindow(hwnd_, SW_SHOW);
        ui::pump_pending();
    }
    void TearDown() override {
        report_.reset();
        LanaSlots[kLana].hWakeEvent = nullptr;
        CloseHandle(wake_);
        DestroyWindow(hwnd_);
        ResetViewerState();
    }

    void build_report(int count) { FillReport(hwnd_, report_->report(), count); }
    // The procedure's own result: a message sent to a dialog answers with its message result instead.
    INT_PTR command(WORD id) { return DisplayDlgProc(hwnd_, WM_COMMAND, id, 0); }
    INT_PTR scroll(WORD code, WORD position = 0) {
        return DisplayDlgProc(hwnd_, WM_VSCROLL, scroll_code(code, position), 0);
    }
    LONG top_line() const { return GetReportTopLine(report_->report()); }
    bool woken() const { return WaitForSingleObject(wake_, 0) == WAIT_OBJECT_0; }
    // The first report line the window shows, as a user reads it.
    std::string first_shown_line() const {
        for (const auto &line : ui::window_text(hwnd_)) {
            if (line.rfind("Line ", 0) == 0 || line.rfind("====", 0) == 0)
                return line;
        }
        return {};
    }
    // Ink where the report's first line is drawn (ten rows of 8-pixel characters), sampled on every other column.
    int inked_pixels_in_first_line() const {
        int count = 0;
        for (int y = 0; y < 10; ++y) {
            for (int x = 0; x < 22 * 8; x += 2)
                count += ui::client_pixel(hwnd_, {x, y}) != 0xFFFFFF;
        }
        return count;
    }

    HWND hwnd_ = nullptr;
    HANDLE wake_ = nullptr;
    std::unique_ptr<AttachedReport> report_;
};

}  // namespace

TEST_F(DisplayWindow, RefreshShowsLineZeroAndSetsTheRangeWhateverTheTopLineWas) {
    build_report(30);  // 13 is then the highest top line
    SetReportTopLine(report_->report(), 6);

    EXPECT_EQ(command(IDM_DISPLAYREFRESH), 0);

    EXPECT_EQ(top_line(), 0);
    int nMin = -1, nMax = -1;
    GetScrollRange(hwnd_, SB_VERT, &nMin, &nMax);
    EXPECT_EQ(nMin, 0);
    EXPECT_EQ(nMax, 13);
    EXPECT_EQ(GetScrollPos(hwnd_, SB_VERT), 0);
    EXPECT_EQ(first_shown_line(), "Line 000 of the report");
}

struct ScrollCase {
    LONG start;
    WORD code;
    WORD position;
    LONG expected_top;
    LRESULT expected_result;
};

class DisplayScroll : public DisplayWindow, public ::testing::WithParamInterface<ScrollCase> {};

TEST_P(DisplayScroll, MovesTheTopLineWithinTheReport) {
    build_report(27);  // highest top line 10
    command(IDM_DISPLAYREFRESH);
    SetReportTopLine(report_->report(), GetParam().start);
    SetScrollPos(hwnd_, SB_VERT, GetParam().start, TRUE);

    EXPECT_EQ(scroll(GetParam().code, GetParam().position), GetParam().expected_result);

    EXPECT_EQ(top_line(), GetParam().expected_top);
    EXPECT_EQ(GetScrollPos(hwnd_, SB_VERT), GetParam().expected_top);
    if (GetParam().expected_result == 1) {
        char szExpected[32];
        std::snprintf(szExpected, sizeof szExpected, "Line %03d of the report",
                      static_cast<int>(GetParam().expected_top));
        EXPECT_EQ(first_shown_line(), szExpected);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCode, DisplayScroll,
                         ::testing::Values(ScrollCase{0, SB_LINEUP, 0, 0, 1}, ScrollCase{4, SB_LINEUP, 0, 3, 1},
                                           ScrollCase{4, SB_LINEDOWN, 0, 5, 1}, ScrollCase{10, SB_LINEDOWN, 0, 10, 1},
                                           ScrollCase{0, SB_PAGEDOWN, 0, 10, 1}, ScrollCase{5, SB_PAGEUP, 0, 0, 1},
                                           ScrollCase{3, SB_THUMBPOSITION, 500, 10, 1},
                                           ScrollCase{3, SB_THUMBTRACK, 7, 7, 1}, ScrollCase{3, SB_BOTTOM, 0, 10, 1},
                                           ScrollCase{7, SB_TOP, 0, 0, 1}, ScrollCase{4, SB_ENDSCROLL, 0, 4, 0},
                                           ScrollCase{4, 9, 0, 4, 0}));

TEST_F(DisplayWindow, ScrollingHoldsPeriodicRefreshOnceAndDoubleClickReleasesIt) {
    build_report(27);
    command(IDM_DISPLAYREFRESH);
    SetSlotFrequency(kLana, 5);

    EXPECT_EQ(scroll(SB_ENDSCROLL), 0);  // the hold rule looks at every scroll message
    EXPECT_EQ(GetSlotHold(kLana), 1);
    EXPECT_TRUE(woken());
    EXPECT_EQ(top_line(), 0);
    scroll(SB_LINEDOWN);
    EXPECT_EQ(GetSlotHold(kLana), 1);
    EXPECT_FALSE(woken());

    ASSERT_TRUE(ui::double_click_client(hwnd_, {20, 20}));
    EXPECT_TRUE(ui::pump_until([] { return GetSlotHold(kLana) == 0; }));
    EXPECT_TRUE(woken());

    // Without a hold a double-click still wakes the worker: it asks for a new cycle.
    ASSERT_TRUE(ui::double_click_client(hwnd_, {20, 20}));
    EXPECT_TRUE(ui::pump_until([this] { return woken(); }));
    EXPECT_EQ(GetSlotHold(kLana), 0);
}

TEST_F(DisplayWindow, WithoutPeriodicRefreshScrollingNeverHolds) {
    build_report(27);
    command(IDM_DISPLAYREFRESH);
    for (WORD code : {SB_LINEDOWN, SB_PAGEDOWN, SB_ENDSCROLL, SB_TOP}) {
        scroll(code);
        EXPECT_EQ(GetSlotHold(kLana), 0) << code;
        EXPECT_FALSE(woken()) << code;
    }
}

TEST_F(DisplayWindow, CloseClearsTheProcedureBeforeWakingAndEndsTheDialog) {
    build_report(27);
    SetSlotHold(kLana, 1);
    std::atomic<bool> proc_cleared_at_wake{false};
    std::thread worker([&] {
        WaitForSingleObject(wake_, INFINITE);
        proc_cleared_at_wake = GetSlotDisplayProc(kLana) == nullptr;
    });

    EXPECT_EQ(command(IDM_DISPLAYCLOSE), 1);
    worker.join();

    EXPECT_TRUE(proc_cleared_at_wake);
    EXPECT_EQ(GetSlotHold(kLana), 1);
    EXPECT_TRUE(IsWindow(hwnd_));
    EXPECT_FALSE(IsWindowVisible(hwnd_));
}

TEST_F(DisplayWindow, OtherCommandsChangeNothing) {
    build_report(27);
    command(IDM_DISPLAYREFRESH);
    scroll(SB_LINEDOWN);
    for (WORD id : {WORD{1}, WORD{2}, WORD{IDM_EXIT}, WORD{221}, WORD{231}}) {
        EXPECT_EQ(command(id), 0) << id;
        EXPECT_EQ(top_line(), 1) << id;
        EXPECT_FALSE(woken()) << id;
        EXPECT_EQ(GetSlotDisplayProc(kLana), DisplayDlgProc) << id;
        EXPECT_TRUE(IsWindowVisible(hwnd_)) << id;
    }
}

TEST_F(DisplayWindow, WindowThatNoSlotNamesIsAnsweredZeroAndDrawsNothing) {
    build_report(27);
    HWND hwndForeign = CreateDialogParamA(GetModuleHandleA(nullptr), "DISPLAY", nullptr, DisplayDlgProc, 0);
    ASSERT_NE(hwndForeign, nullptr);
    ShowWindow(hwndForeign, SW_SHOW);
    SetSlotFrequency(kLana, 5);

    EXPECT_EQ(DisplayDlgProc(hwndForeign, WM_COMMAND, IDM_DISPLAYREFRESH, 0), 0);
    EXPECT_EQ(DisplayDlgProc(hwndForeign, WM_VSCROLL, scroll_code(SB_BOTTOM), 0), 0);
    EXPECT_EQ(DisplayDlgProc(hwndForeign, WM_COMMAND, IDM_DISPLAYCLOSE, 0), 0);
    EXPECT_EQ(DisplayDlgProc(hwndForeign, WM_LBUTTONDBLCLK, 0, 0), 0);
    EXPECT_EQ(DisplayDlgProc(nullptr, WM_PAINT, 0, 0), 0);
    EXPECT_TRUE(IsWindowVisible(hwndForeign));

    EXPECT_EQ(text_of(hwndForeign).find("Line "), std::string::npos);
    EXPECT_EQ(top_line(), 0);
    EXPECT_EQ(GetSlotHold(kLana), 0);
    EXPECT_FALSE(woken());
    EXPECT_EQ(GetSlotDisplayProc(kLana), DisplayDlgProc);
    DestroyWindow(hwndForeign);
}

TEST_F(DisplayWindow, ShortReportStaysOnShowAfterARepaint) {
    build_report(12);  // 17 lines or fewer: the highest top line is 0
    ASSERT_EQ(GetReportLineCount(report_->report()), 0);
    command(IDM_DISPLAYREFRESH);
    ui::pump_pending();
    EXPECT_GT(inked_pixels_in_first_line(), 0);
    EXPECT_EQ(first_shown_line(), "Line 000 of the report");

    InvalidateRect(hwnd_, nullptr, TRUE);
    UpdateWindow(hwnd_);
    EXPECT_GT(inked_pixels_in_first_line(), 0);
    EXPECT_EQ(first_shown_line(), "Line 000 of the report");
}

TEST_F(DisplayWindow, EmptyReportPaintsAWhiteWindow) {
    ResetReport(report_->report());
    InvalidateRect(hwnd_, nullptr, TRUE);
    UpdateWindow(hwnd_);
    EXPECT_EQ(inked_pixels_in_first_line(), 0);
    EXPECT_EQ(first_shown_line(), "");
}

TEST_F(DisplayWindow, PaintRedrawsFromTheTopLine) {
    build_report(40);
    command(IDM_DISPLAYREFRESH);
    scroll(SB_THUMBPOSITION, 9);
    SetScrollPos(hwnd_, SB_VERT, 0, FALSE);

    InvalidateRect(hwnd_, nullptr, TRUE);
    UpdateWindow(hwnd_);

    EXPECT_EQ(GetScrollPos(hwnd_, SB_VERT), 9);
    EXPECT_EQ(first_shown_line(), "Line 009 of the report");
}

TEST_F(DisplayWindow, RepeatedDrawingHoldsNoGraphicsObjects) {
    build_report(60);
    command(IDM_DISPLAYREFRESH);
    ui::pump_pending();
    std::size_t objects = platform::testing::gdi_object_count();
    std::size_t dcs = platform::testing::device_context_count();
    for (int i = 0; i < 1000; ++i) {
        command(IDM_DISPLAYREFRESH);
        scroll(SB_PAGEDOWN);
        InvalidateRect(hwnd_, nullptr, TRUE);
        UpdateWindow(hwnd_);
    }
    EXPECT_EQ(platform::testing::gdi_object_count(), objects);
    EXPECT_EQ(platform::testing::device_context_count(), dcs);
}

// The worker's end frees the report under the display guard; messages racing with it either see the whole
// buffer or no slot at all. Meaningful under the sanitizers, which see any use of the freed block.
TEST_F(DisplayWindow, WorkerEndNeverFreesTheReportUnderAMessage) {
    report_.reset();
    HGLOBAL hmem = GlobalAlloc(GMEM_NODISCARD, sizeof(REPORTBUF));
    ASSERT_NE(hmem, nullptr);
    auto lpReport = static_cast<PREPORTBUF>(GlobalLock(hmem));
    InitReportBuffer(lpReport);
    LanaSlots[kLana].hmemLana = hmem;
    SetSlotDisplayWindow(kLana, hwnd_);
    FillReport(hwnd_, lpReport, 60);
    GlobalUnlock(hmem);

    std::atomic<bool> started{false};
    std::thread worker([&] {
        started = true;
        std::this_thread::yield();
        LockDisplayedReports();
        SetSlotDisplayWindow(kLana, nullptr);
        LanaSlots[kLana].hmemLana = nullptr;
        GlobalFree(hmem);
        UnlockDisplayedReports();
    });
    while (!started)
        std::this_thread::yield();
    while (GetSlotDisplayWindow(kLana) != nullptr) {
        SendMessageA(hwnd_, WM_VSCROLL, scroll_code(SB_PAGEDOWN), 0);
        SendMessageA(hwnd_, WM_VSCROLL, scroll_code(SB_TOP), 0);
    }
    worker.join();
    EXPECT_EQ(SendMessageA(hwnd_, WM_COMMAND, IDM_DISPLAYREFRESH, 0), 0);
}

TEST_F(DisplayWindow, ClickOnTheDownArrowScrollsOneLineAndHolds) {
    build_report(27);
    command(IDM_DISPLAYREFRESH);
    SetSlotFrequency(kLana, 5);

    ASSERT_TRUE(ui::click(ui::scroll_down_arrow_of(hwnd_)));
    EXPECT_TRUE(ui::pump_until([this] { return top_line() == 1 && first_shown_line() == "Line 001 of the report"; }));
    EXPECT_EQ(GetScrollPos(hwnd_, SB_VERT), 1);
    EXPECT_EQ(GetSlotHold(kLana), 1);
    EXPECT_TRUE(woken());
}
