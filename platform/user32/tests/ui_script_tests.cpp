// UI scripts: every malformed line is refused with its number, and a played script drives a window with
// a menu and a modal dialog to the end, leaving a screenshot and the screen's text.
#include "message_log.h"
#include "rc/resource_tables.h"
#include "testing/headless_display.h"
#include "ui_script.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

namespace ui = platform::testing::ui;
namespace res = platform::resources;
using platform::user::parse_ui_script;
using platform::user::ScriptLine;

TEST(UiScriptParsing, AcceptsEveryCommand) {
    std::vector<ScriptLine> lines;
    std::string error;
    ASSERT_TRUE(
        parse_ui_script("# a demo\n\nmenu &About Tarvoke\nwaitfor About 5000\nclick OK\ntype -1\n"
                        "key Shift+Tab\nscroll LANA 00 PageDown\nscroll LANA 00 Thumb 12\n"
                        "doubleclick LANA 00\nwait 10\ndirectory shots\nshot main\nquit\n",
                        lines, error))
        << error;
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[0].number, 3);
    EXPECT_EQ(lines[0].verb, "menu");
    EXPECT_EQ(lines[0].argument, "&About Tarvoke");
    EXPECT_EQ(lines[11].verb, "quit");
}

TEST(UiScriptParsing, RefusesMalformedLinesWithTheirNumber) {
    const std::pair<const char *, const char *> cases[] = {
        {"menu About\njump Now\n", "script:2: unknown command \"jump\""},
        {"key Hyper\n", "script:1: unknown key \"Hyper\""},
        {"\n\nclick\n", "script:3: click needs an argument"},
        {"quit now\n", "script:1: quit takes no argument"},
        {"wait soon\n", "script:1: wait needs milliseconds"},
        {"scroll LANA 00 Sideways\n", "script:1: scroll needs a window title and a code"},
        {"scroll PageDown\n", "script:1: scroll needs a window title and a code"},
        {"shot ../escape\n", "script:1: a shot name is a plain file name"},
    };
    for (auto [text, message] : cases) {
        std::vector<ScriptLine> lines;
        std::string error;
        EXPECT_FALSE(parse_ui_script(text, lines, error)) << text;
        EXPECT_EQ(error, message);
    }
}

const res::MenuItem file_items[] = {{"&About Demo", 140, 0, {}}, {"E&xit", 150, 0, {}}};
const res::MenuItem bar_items[] = {{"&Options", 0, MF_POPUP, file_items}};
const res::Menu demo_menu{bar_items};
const res::DialogControl about_controls[] = {
    {"STATIC", "Demo program", 102, WS_CHILD | WS_VISIBLE | SS_LEFT, 0, 11, 4, 73, 8},
    {"BUTTON", "OK", 141, WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 35, 30, 38, 14},
};
const res::Dialog demo_about{WS_POPUP | WS_CAPTION, 0, 11, 19, 90, 50, "About Demo", "", 0, "", "", about_controls};

INT_PTR CALLBACK about_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && LOWORD(wparam) == 141) {
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}

int about_opened = 0;
LRESULT CALLBACK demo_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_COMMAND && LOWORD(wparam) == 140) {
        ++about_opened;
        DialogBoxParamA(nullptr, "DEMOABOUT", hwnd, about_proc, 0);
    }
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

TEST(UiScriptPlaying, DrivesMenuDialogAndCloseBoxAndTakesAShot) {
    ui::headless();
    res::register_menu(std::string_view("DEMOMENU"), &demo_menu);
    res::register_dialog(std::string_view("DEMOABOUT"), &demo_about);
    WNDCLASSA wc{};
    wc.lpfnWndProc = demo_proc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = "DemoMenu";
    wc.lpszClassName = "DemoMain";
    RegisterClassA(&wc);
    HWND main = CreateWindowExA(0, "DemoMain", "Demo", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 30, 30, 400, 300, nullptr,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(main, nullptr);
    auto directory = std::filesystem::temp_directory_path() / ("ui_script_" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(directory);

    std::vector<ScriptLine> lines;
    std::string error;
    ASSERT_TRUE(
        parse_ui_script("waitfor Demo\nmenu About Demo\nwaitfor About Demo\nshot about\nkey Enter\n"
                        "menu &About Demo\nwaitfor About Demo\nclick OK\nquit\n",
                        lines, error));
    bool played = false;
    std::thread player([&] { played = platform::user::play_ui_script(lines, directory, error); });
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    player.join();
    EXPECT_TRUE(played) << error;
    EXPECT_EQ(about_opened, 2);
    EXPECT_FALSE(IsWindow(main));
    EXPECT_TRUE(std::filesystem::exists(directory / "about.png"));
    std::ifstream text(directory / "about.txt");
    std::stringstream content;
    content << text.rdbuf();
    EXPECT_NE(content.str().find("[About Demo]\n"), std::string::npos) << content.str();
    EXPECT_NE(content.str().find("  Demo program\n"), std::string::npos) << content.str();
    std::filesystem::remove_all(directory);

    // A line that cannot be carried out stops with its number.
    std::vector<ScriptLine> failing;
    ASSERT_TRUE(parse_ui_script("\nclick Nothing\n", failing, error));
    EXPECT_FALSE(platform::user::play_ui_script(failing, directory, error));
    EXPECT_EQ(error, "script:2: no window is showing");
}

}  // namespace
