// The menu bar from a menu resource, driven by mouse and keyboard; each choice posts WM_COMMAND.
#include "message_log.h"
#include "rc/resource_tables.h"
#include "testing/headless_display.h"

#include <thread>

namespace {

namespace ui = platform::testing::ui;
namespace res = platform::resources;

const res::MenuItem options_items[] = {
    {"&Configure LANA", 100, 0, {}},
    {"&About Tarvoke", 140, 0, {}},
    {"E&xit", 150, 0, {}},
};
const res::MenuItem bar_items[] = {{"&Options", 0, MF_POPUP, options_items}};
const res::Menu test_menu{bar_items};

std::vector<WPARAM> chosen;

LRESULT CALLBACK menu_owner_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_COMMAND)
        chosen.push_back(wparam);
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

class Menus : public ::testing::Test {
protected:
    HWND hwnd = nullptr;
    void SetUp() override {
        ui::headless();
        res::register_menu(std::string_view("TestMenu"), &test_menu);
        WNDCLASSA wc{};
        wc.lpfnWndProc = menu_owner_proc;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszMenuName = "TESTMENU";  // resource names ignore case
        wc.lpszClassName = "MenuOwner";
        UnregisterClassA("MenuOwner", nullptr);
        ASSERT_NE(RegisterClassA(&wc), 0);
        hwnd = CreateWindowExA(0, "MenuOwner", "Menu owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 400, 300,
                               nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(hwnd, nullptr);
        ASSERT_NE(GetMenu(hwnd), nullptr);
        ui::pump_pending();
        chosen.clear();
    }
    void TearDown() override {
        DestroyWindow(hwnd);
        ui::pump_pending();
    }
};

TEST_F(Menus, TheBarShowsThePopupTitleAndLoadMenuFailsForUnknownNames) {
    auto lines = ui::window_text(hwnd);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Options"), lines.end());
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadMenuA(nullptr, "NoSuchMenu"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(Menus, MouseOpensThePopupAndChoosesAnItem) {
    // The menu loop runs inside the click's handling, so the second click comes from another thread
    // once the pop-up shows, as a user's would.
    std::thread user([] {
        POINT exit{-1, -1};
        for (int i = 0; i < 4000 && exit.x < 0; ++i) {
            Sleep(5);
            exit = ui::popup_item_of("E&xit");
        }
        ui::click(exit);
    });
    ui::click(ui::menu_bar_item_of(hwnd, 0));
    bool done = ui::pump_until([] { return !chosen.empty(); });
    user.join();
    ASSERT_TRUE(done);
    EXPECT_EQ(chosen, std::vector<WPARAM>{150});
}

TEST_F(Menus, KeyboardAltArrowsEnterAndEscape) {
    ui::key(VK_MENU);
    ui::key(VK_DOWN);  // opens Options on its first item
    ui::key(VK_DOWN);
    ui::key(VK_RETURN);
    ASSERT_TRUE(ui::pump_until([] { return !chosen.empty(); }));
    EXPECT_EQ(chosen, std::vector<WPARAM>{140});

    chosen.clear();
    ui::key(VK_F10);
    ui::key(VK_RETURN);
    ui::key(VK_ESCAPE);  // closes the pop-up
    ui::key(VK_ESCAPE);  // leaves the menu
    PostMessageA(hwnd, WM_USER, 0, 0);
    ui::pump_pending();
    ui::pump_until([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_TRUE(chosen.empty());
}

TEST_F(Menus, MnemonicsOpenThePopupAndChoose) {
    ui::key(VK_F10);
    ui::type("ox");
    ASSERT_TRUE(ui::pump_until([] { return !chosen.empty(); }));
    EXPECT_EQ(chosen, std::vector<WPARAM>{150});
}

}  // namespace
