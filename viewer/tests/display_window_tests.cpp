// The report display window: a real "DISPLAY" dialog owned by the test's thread, its slot and report set up
// as activation does, the report written by the program's own functions.

#include "resource.h"
#include "tarvoke_ui.h"
#include "testing/resource_counts.h"
#include "viewer_harness.h"

namespace ui = platform::testing::ui;
using namespace tarvoke::testing;

namespace {

class DisplayWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ResetViewerState();
        hwnd_ = CreateDialogParamA(GetModuleHandleA(nullptr), "DISPLAY", nullptr, DisplayDlgProc, 0);
        report_ = std::make_unique<AttachedReport>(3, hwnd_);
        LanaSlots[3].hWakeEvent = wake_;
        SetSlotDisplayProc(3, DisplayDlgProc);
        ShowWindow(hwnd_, SW_SHOW);
        Fill(60);  // 43 is then the highest top line
    }
    void TearDown() override {
        report_.reset();
        CloseHandle(wake_);
        DestroyWindow(hwnd_);
        ResetViewerState();
    }
    // A complete report of `count` lines as a polling cycle writes it, then shown from line 0.
    void Fill(int count) {
        ResetReport(report_->report());
        for (int i = 0; i < count - 5; ++i)
            AppendReportLine(hwnd_, "Line %03d of the report\r\n", i);
        AppendReportTrailer(hwnd_);
        CompleteReport(report_->report());
        EXPECT_EQ(DisplayDlgProc(hwnd_, WM_COMMAND, IDM_DISPLAYREFRESH, 0), 0);
    }
    INT_PTR scroll(WORD code, WORD position = 0) {  // the procedure's own result
        return DisplayDlgProc(hwnd_, WM_VSCROLL, static_cast<WPARAM>(code | position << 16), 0);
    }
    LONG top() const { return GetReportTopLine(report_->report()); }
    bool woken() const { return WaitForSingleObject(wake_, 0) == WAIT_OBJECT_0; }
    // The scroll position and the first report line the window shows, as a user reads it.
    std::string shown() const {
        std::string first;
        for (const auto &line : ui::window_text(hwnd_))
            first = first.empty() && line.rfind("Line ", 0) == 0 ? line.substr(5, 3) : first;
        return std::to_string(GetScrollPos(hwnd_, SB_VERT)) + " " + first;
    }

    HWND hwnd_ = nullptr;
    HANDLE wake_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::unique_ptr<AttachedReport> report_;
};

TEST_F(DisplayWindow, ScrollCodesMoveTheTopLineWithinTheReportAndARefreshShowsLineZero) {
    const struct {
        LONG start;
        WORD code, position;
        const char *shown;  // scroll position and first line; none when the message moves nothing
    } cases[] = {{0, SB_LINEUP, 0, "0 000"},           {4, SB_LINEUP, 0, "3 003"},
                 {4, SB_LINEDOWN, 0, "5 005"},         {43, SB_LINEDOWN, 0, "43 043"},
                 {0, SB_PAGEDOWN, 0, "24 024"},        {30, SB_PAGEDOWN, 0, "43 043"},
                 {30, SB_PAGEUP, 0, "6 006"},          {5, SB_PAGEUP, 0, "0 000"},
                 {3, SB_THUMBPOSITION, 500, "43 043"}, {3, SB_THUMBTRACK, 42, "42 042"},
                 {3, SB_BOTTOM, 0, "43 043"},          {7, SB_TOP, 0, "0 000"},
                 {4, SB_ENDSCROLL, 0, nullptr},        {4, 9, 0, nullptr}};
    for (const auto &c : cases) {
        SetReportTopLine(report_->report(), c.start);
        EXPECT_EQ(scroll(c.code, c.position), c.shown ? 1 : 0) << c.start << " " << c.code;
        EXPECT_EQ(c.shown ? shown() : std::to_string(top()), c.shown ? c.shown : "4") << c.start << " " << c.code;
    }
    Fill(60);  // a new report shows from its first line, whatever the top line was
    int nMin = -1, nMax = -1;
    GetScrollRange(hwnd_, SB_VERT, &nMin, &nMax);
    EXPECT_EQ(std::to_string(nMin) + " " + std::to_string(nMax) + " " + shown(), "0 43 0 000");
    // At the end the report is shorter than the window: below its last line nothing of the first page stays.
    scroll(SB_BOTTOM);
    int stale = 0;
    for (int y = (60 - 43) * 10; y < 214; ++y)  // below the 17 ten-pixel lines from line 43 on, to the bottom
        for (int x = 0; x < 193 * 2 - 16; ++x)  // the template's width less a scroll bar, at least
            stale += ui::client_pixel(hwnd_, {x, y}) != 0xFFFFFF;
    EXPECT_EQ(stale, 0);
}

// A double-click releasing the hold and waking the worker is seen end to end in worker_tests.cpp.
TEST_F(DisplayWindow, ScrollingHoldsPeriodicRefreshOnce) {
    SetSlotFrequency(3, -1);  // refresh on request only: nothing to hold
    scroll(SB_LINEDOWN);
    EXPECT_TRUE(GetSlotHold(3) == 0 && !woken());
    SetSlotFrequency(3, 0);
    EXPECT_EQ(scroll(SB_ENDSCROLL), 0);  // the hold rule looks at every scroll message
    EXPECT_TRUE(GetSlotHold(3) == 1 && woken());
    scroll(SB_LINEDOWN);
    EXPECT_FALSE(woken());
    SetSlotHold(3, 0);  // a click on the lower arrow, as a user does it
    ASSERT_TRUE(ui::click(ui::scroll_down_arrow_of(hwnd_)));
    EXPECT_TRUE(wait_for([this] { return shown() == "3 003"; }));
    EXPECT_TRUE(GetSlotHold(3) == 1 && woken());
}

TEST_F(DisplayWindow, CloseClearsTheProcedureBeforeWakingAndOtherCommandsChangeNothing) {
    scroll(SB_LINEDOWN);
    for (WORD id : {1, 2, IDM_EXIT, 221, 231}) {
        EXPECT_EQ(DisplayDlgProc(hwnd_, WM_COMMAND, id, 0), 0) << id;
        EXPECT_TRUE(top() == 1 && !woken() && IsWindowVisible(hwnd_)) << id;
    }
    bool cleared_at_wake = false;
    std::thread worker([&] {
        WaitForSingleObject(wake_, INFINITE);
        cleared_at_wake = GetSlotDisplayProc(3) == nullptr;
    });
    EXPECT_EQ(DisplayDlgProc(hwnd_, WM_COMMAND, IDM_DISPLAYCLOSE, 0), 1);
    worker.join();
    EXPECT_TRUE(cleared_at_wake && IsWindow(hwnd_) && !IsWindowVisible(hwnd_));
}

TEST_F(DisplayWindow, AShortReportStaysOnShowAndDrawingLeavesNoGraphicsObjects) {
    Fill(12);  // 17 lines or fewer: the highest top line is 0, and the page must not vanish on a repaint
    std::size_t objects = platform::testing::gdi_object_count(), dcs = platform::testing::device_context_count();
    for (int i = 0; i < 20; ++i) {
        InvalidateRect(hwnd_, nullptr, TRUE);
        UpdateWindow(hwnd_);
        scroll(SB_PAGEDOWN);
    }
    EXPECT_EQ(shown(), "0 000");
    EXPECT_EQ(platform::testing::gdi_object_count(), objects);
    EXPECT_EQ(platform::testing::device_context_count(), dcs);
    ResetReport(report_->report());
    InvalidateRect(hwnd_, nullptr, TRUE);
    UpdateWindow(hwnd_);
    EXPECT_EQ(shown() + std::to_string(ui::client_pixel(hwnd_, {8, 4})), "0 16777215");  // white
}

}  // namespace
