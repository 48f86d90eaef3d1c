// Graphics objects, stock objects and filling, checked on the pixels of an in-memory bitmap.
#include "gdi_test_canvas.h"

#include <winuser.h>

#include <gtest/gtest.h>

namespace {

constexpr DWORD sentinel = 0xDEADBEEF;

TEST(GdiObjects, StockObjectsAreStableAndSurviveDeletion) {
    HGDIOBJ white = GetStockObject(WHITE_BRUSH);
    ASSERT_NE(white, nullptr);
    EXPECT_EQ(white, GetStockObject(WHITE_BRUSH));
    EXPECT_NE(white, GetStockObject(BLACK_BRUSH));
    EXPECT_TRUE(DeleteObject(white));
    EXPECT_EQ(white, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetStockObject(9), nullptr);  // an index with no object
    EXPECT_EQ(GetStockObject(-1), nullptr);
}

TEST(GdiObjects, CreatedObjectsAreCountedUntilDeleted) {
    std::size_t before = platform::gdi::live_object_count();
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HFONT font = CreateFontA(10, 8, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS,
                             DEFAULT_QUALITY, FIXED_PITCH, "Courier");
    ASSERT_NE(brush, nullptr);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(platform::gdi::live_object_count(), before + 2);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_EQ(platform::gdi::live_object_count(), before);

    SetLastError(sentinel);
    EXPECT_FALSE(DeleteObject(brush));  // already gone
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(GdiObjects, SelectObjectReturnsThePreviousObjectOfThatKind) {
    TestCanvas canvas(10, 10);
    HBRUSH brush = CreateSolidBrush(RGB(0, 255, 0));
    HGDIOBJ old_brush = SelectObject(canvas.dc, brush);
    EXPECT_EQ(old_brush, GetStockObject(WHITE_BRUSH));
    HGDIOBJ old_font = SelectObject(canvas.dc, GetStockObject(ANSI_FIXED_FONT));
    EXPECT_EQ(old_font, GetStockObject(SYSTEM_FONT));
    EXPECT_EQ(SelectObject(canvas.dc, old_brush), brush);  // the font slot was not touched
    DeleteObject(brush);

    SetLastError(sentinel);
    EXPECT_EQ(SelectObject(canvas.dc, reinterpret_cast<HGDIOBJ>(0x7777)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(FillRect, FillsExactlyTheRectangleWithTheBrushColour) {
    TestCanvas canvas(20, 20);
    HBRUSH grey = CreateSolidBrush(0xC0C0C0);
    RECT area{5, 6, 10, 12};
    EXPECT_EQ(FillRect(canvas.dc, &area, grey), 1);
    DeleteObject(grey);
    EXPECT_EQ(canvas.pixel(5, 6), 0xC0C0C0u);
    EXPECT_EQ(canvas.pixel(9, 11), 0xC0C0C0u);
    EXPECT_EQ(canvas.pixel(10, 11), 0xFFFFFFu);  // right and bottom edges are excluded
    EXPECT_EQ(canvas.pixel(9, 12), 0xFFFFFFu);
    EXPECT_EQ(canvas.pixel(4, 6), 0xFFFFFFu);
}

TEST(FillRect, AcceptsSystemColourBrushesAndRefusesHollowOrBadOnes) {
    TestCanvas canvas(8, 8);
    RECT all{0, 0, 8, 8};
    EXPECT_EQ(FillRect(canvas.dc, &all, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)), 1);
    EXPECT_EQ(canvas.pixel(3, 3), 0xC0C0C0u);
    SetLastError(sentinel);
    EXPECT_EQ(FillRect(canvas.dc, &all, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))), 0);
    EXPECT_EQ(FillRect(canvas.dc, &all, reinterpret_cast<HBRUSH>(0x4444)), 0);
    EXPECT_EQ(canvas.pixel(3, 3), 0xC0C0C0u);
}

TEST(DeviceContext, ClipAndOriginConfineDrawing) {
    auto surface = std::make_shared<platform::display::Surface>(30, 30);
    // A client area at (10, 10) of 10 by 10 pixels.
    HDC dc = platform::gdi::create_surface_dc(surface, {10, 10}, {10, 10, 20, 20});
    RECT huge{-100, -100, 100, 100};
    FillRect(dc, &huge, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(GetPixel(dc, 0, 0), 0u);
    EXPECT_EQ(GetPixel(dc, 9, 9), 0u);
    EXPECT_EQ(GetPixel(dc, 10, 10), CLR_INVALID);  // outside the clip
    platform::gdi::delete_dc(dc);
    HDC whole = platform::gdi::create_surface_dc(surface, {0, 0}, {0, 0, 30, 30});
    EXPECT_EQ(GetPixel(whole, 9, 9), 0xFFFFFFu);
    EXPECT_EQ(GetPixel(whole, 20, 20), 0xFFFFFFu);
    EXPECT_EQ(GetPixel(whole, 10, 10), 0u);
    platform::gdi::delete_dc(whole);
}

}  // namespace
