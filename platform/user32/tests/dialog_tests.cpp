// Dialogs, their controls, message boxes, the menu bar and UI scripts, driven by injected input. A modal
// test's input is injected once the dialog is active: the owner's deactivation posts a message that the
// modal loop itself dispatches, and its handler types or clicks.
#include "message_log.h"
#include "rc/resource_tables.h"
#include "ui_script.h"

#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <tuple>

namespace {

namespace res = platform::resources;

constexpr DWORD child = WS_CHILD | WS_VISIBLE;
const res::DialogControl form_controls[] = {
    {"STATIC", "Name", 501, child | SS_LEFT | WS_GROUP, 0, 2, 6, 40, 8},
    {"EDIT", "", 103, child | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0, 50, 6, 40, 12},
    {"BUTTON", "Check", 117, child | BS_AUTOCHECKBOX | WS_TABSTOP, 0, 2, 22, 50, 10},
    {"BUTTON", "OK", 101, child | BS_PUSHBUTTON | WS_TABSTOP, 0, 10, 36, 40, 14},
    {"BUTTON", "Cancel", 102, child | BS_PUSHBUTTON | WS_TABSTOP, 0, 55, 36, 40, 14},
    {"SCROLLBAR", "", 116, child | SBS_VERT, 0, 98, 6, 8, 28},
};
const res::Dialog shown{WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 20, 20, 110, 56, "Shown", "", 0, "", "", form_controls};
const res::DialogControl about_controls[] = {
    {"STATIC", "About text", 102, child | SS_LEFT, 0, 11, 4, 73, 8},
    {"BUTTON", "OK", 141, child | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 35, 54, 38, 14},
};
const res::Dialog about{WS_POPUP | WS_CAPTION, 0, 11, 19, 90, 72, "About", "", 0, "", "", about_controls};
const res::MenuItem options_items[] = {{"&Configure LANA", 100, 0, {}}, {"&About", 140, 0, {}}, {"E&xit", 150, 0, {}}};
const res::MenuItem bar_items[] = {{"&Options", 0, MF_POPUP, options_items}};
const res::Menu test_menu{bar_items};

// What the dialog was told: WM_COMMAND as MAKEWPARAM(id, code), WM_VSCROLL as MAKEWPARAM(bar id, code).
std::vector<std::pair<UINT, WPARAM>> told;
std::vector<WPARAM> chosen;         // WM_COMMAND that reached the owner
std::function<void()> when_active;  // the user's input, run once the next modal dialog is active
bool marker_seen = false;           // F1 reached the owner: what came before it has been handled
int about_opened = 0;               // in a played script, About opens its box and destruction quits

// Pumps this thread's messages through the dialog manager, as a modal loop does.
void pump_dialog(HWND dialog) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
}

std::vector<WPARAM> told_of(UINT message, int code = -1) {
    std::vector<WPARAM> found;
    for (auto [m, wparam] : told)
        if (m == message && (code < 0 || HIWORD(wparam) == code))
            found.push_back(wparam);
    return found;
}

INT_PTR CALLBACK form_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    log_message(dialog, message);
    if (message == WM_COMMAND)
        told.push_back({message, wparam});
    if (message == WM_VSCROLL)
        told.push_back({message, MAKEWPARAM(GetDlgCtrlID(reinterpret_cast<HWND>(lparam)), wparam)});
    bool ends = message == WM_COMMAND && (LOWORD(wparam) == 102 || LOWORD(wparam) == 141);
    if (ends)
        EndDialog(dialog, LOWORD(wparam));
    return message == WM_INITDIALOG || ends;
}

LRESULT CALLBACK owner_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_ACTIVATE && LOWORD(wparam) == WA_INACTIVE && when_active)
        PostMessageA(hwnd, WM_USER + 100, 0, 0);
    if (message == WM_USER + 100 && when_active)
        std::exchange(when_active, nullptr)();
    if (message == WM_COMMAND)
        chosen.push_back(wparam);
    if (message == WM_COMMAND && wparam == 140 && about_opened >= 0 && ++about_opened)
        DialogBoxParamA(nullptr, "ABOUT", hwnd, form_proc, 0);
    if (message == WM_DESTROY && about_opened >= 0)
        PostQuitMessage(0);
    marker_seen = marker_seen || (message == WM_KEYDOWN && wparam == VK_F1);
    return logging_proc(hwnd, message, wparam, lparam);
}

class Dialogs : public ::testing::Test {
protected:
    HWND owner = nullptr, dialog = nullptr;
    void SetUp() override {
        ui::headless();
        res::register_dialog(std::string_view("SHOWN"), &shown);
        res::register_dialog(std::string_view("ABOUT"), &about);
        res::register_menu(std::string_view("TestMenu"), &test_menu);
        register_class("OwnerClass", owner_proc, "TESTMENU");  // resource names ignore case
        owner = make_window("OwnerClass", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 500, 400);
        ui::pump_pending();
        log_of_messages.clear();
        told.clear();
        chosen.clear();
        about_opened = -1;
    }
    void TearDown() override {
        DestroyWindow(owner);
        ui::pump_pending();
    }
    // Shows the modeless dialog with every control, its input handled as a modal loop would.
    void show_form() {
        dialog = CreateDialogParamA(nullptr, "SHOWN", owner, form_proc, 0);
        pump_dialog(dialog);
        told.clear();
    }
};

// What a visible dialog's creation sends, exactly, and where dialog units put it (the order of the
// procedure's first messages and the focus: dialog_conformance_tests.cpp).
TEST_F(Dialogs, CreationOrderFocusAndDialogUnits) {
    dialog = CreateDialogParamA(nullptr, "SHOWN", owner, form_proc, 0);
    // WM_COMMAND is EN_SETFOCUS from the edit.
    // clang-format off
    const std::vector<Expected> creation = {{WM_INITDIALOG, dialog}, {WM_SHOWWINDOW, dialog}, {WM_NCACTIVATE, owner},
        {WM_ACTIVATE, owner}, {WM_NCACTIVATE, dialog}, {WM_ACTIVATE, dialog}, {WM_KILLFOCUS, owner},
        {WM_COMMAND, dialog}, WM_PAINT, WM_ERASEBKGND};
    // clang-format on
    expect_sequence(creation, "visible dialog creation");
    // 110 by 56 dialog units of the system font (base units 8 by 16) make 220 by 112 pixels; the position
    // is relative to the owner's client area.
    RECT client, edit, frame;
    GetClientRect(dialog, &client);
    GetWindowRect(GetDlgItem(dialog, 103), &edit);
    GetWindowRect(dialog, &frame);
    POINT origin{0, 0}, owner_origin{0, 0};
    ClientToScreen(dialog, &origin);
    ClientToScreen(owner, &owner_origin);
    EXPECT_EQ(std::make_pair(client.right, client.bottom), std::make_pair(220, 112));
    RECT units{0, 0, 110, 56};
    EXPECT_TRUE(MapDialogRect(dialog, &units) && units.right == client.right && units.bottom == client.bottom);
    EXPECT_EQ(std::make_pair(edit.left - origin.x, edit.top - origin.y), std::make_pair(100, 12));
    EXPECT_EQ(std::make_pair(frame.left - owner_origin.x, frame.top - owner_origin.y), std::make_pair(40, 40));
}

TEST_F(Dialogs, TabAndShiftTabWalkTheTabStopsInTemplateOrder) {
    show_form();  // the edit, the first tab stop, has the focus
    const std::pair<bool, int> steps[] = {{0, 117}, {0, 101}, {0, 102}, {0, 103}, {1, 102}, {1, 101}, {0, 102}};
    for (auto [shift, focus] : steps) {
        ui::key(VK_TAB, shift);
        pump_dialog(dialog);
        EXPECT_EQ(GetDlgCtrlID(GetFocus()), focus);  // wrapping at both ends
    }
    EnableWindow(GetDlgItem(dialog, 103), FALSE);  // a disabled control is passed over
    ui::key(VK_TAB);
    pump_dialog(dialog);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), 117);
    EXPECT_TRUE(told_of(WM_COMMAND, BN_CLICKED).empty());  // Tab presses nothing
    SetActiveWindow(owner);                                // the dialog keeps its focus for when it is active again
    SetActiveWindow(dialog);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), 117);
}

TEST_F(Dialogs, ModalLoopsTakeDialogKeysClicksAndWorkersSends) {
    // A worker's send to the owner is served by the modal loop; its Enter presses the default button.
    bool owner_was_disabled = false;
    std::atomic<LRESULT> reply{0};
    std::thread worker;
    when_active = [&] {
        owner_was_disabled = !IsWindowEnabled(owner);
        worker = std::thread([&] {
            reply = SendMessageA(owner, WM_GETTEXTLENGTH, 0, 0);
            ui::key(VK_RETURN);
        });
    };
    EXPECT_EQ(DialogBoxParamA(nullptr, "ABOUT", owner, form_proc, 0), 141);
    worker.join();
    EXPECT_EQ(reply.load(), 5);  // "Owner"
    EXPECT_EQ(told_of(WM_COMMAND, BN_CLICKED), std::vector<WPARAM>{141});
    EXPECT_TRUE(owner_was_disabled && IsWindowEnabled(owner));
    EXPECT_EQ(GetActiveWindow(), owner);
    // Without a default button Enter sends IDOK and Escape IDCANCEL; unhandled, they leave the dialog open.
    told.clear();
    when_active = [] {
        ui::key(VK_RETURN);
        ui::key(VK_ESCAPE);
        ui::click(ui::center_of(GetDlgItem(GetActiveWindow(), 102)));
    };
    EXPECT_EQ(DialogBoxParamA(nullptr, "SHOWN", owner, form_proc, 0), 102);
    EXPECT_EQ(told_of(WM_COMMAND, BN_CLICKED), (std::vector<WPARAM>{IDOK, IDCANCEL, 102}));
}

TEST_F(Dialogs, MessageBoxesAnswerWithTheButtonChosen) {
    unsigned bells = ui::bell_count();
    std::string seen;
    // Type, key, a button clicked after it, result (the keys' other answers: dialog_conformance_tests.cpp).
    const std::tuple<UINT, unsigned, int, int> cases[] = {
        {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, VK_ESCAPE, IDYES, IDYES},  // no Cancel button: Escape does nothing
        {MB_OK, VK_ESCAPE, 0, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON3, VK_RETURN, 0, IDCANCEL},  // past the last button: the last
        {MB_RETRYCANCEL, VK_RETURN, 0, IDRETRY},
    };
    for (auto [type, key, click, result] : cases) {
        when_active = [&] {
            ui::pump_until([&] { return (seen = ui::screen_text()).find("wish") != std::string::npos; });
            ui::key(key);
            if (click)
                ui::click(ui::center_of(GetDlgItem(GetActiveWindow(), click)));
        };
        EXPECT_EQ(MessageBoxA(owner, "Do you wish to exit?", "Exit", type), result) << type;
    }
    EXPECT_NE(seen.find("[Exit]"), std::string::npos) << seen;
    EXPECT_NE(seen.find("Retry"), std::string::npos) << seen;
    EXPECT_EQ(ui::bell_count(), bells);
    MessageBeep(1);
    EXPECT_EQ(ui::bell_count(), bells + 1);
}

TEST_F(Dialogs, AutoCheckBoxAndScrollBarControlsNotifyTheDialog) {
    show_form();
    HWND box = GetDlgItem(dialog, 117);
    ui::click(ui::center_of(box));
    pump_dialog(dialog);
    EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(told_of(WM_COMMAND), (std::vector<WPARAM>{MAKEWPARAM(103, EN_KILLFOCUS), 117}));
    EXPECT_EQ(GetFocus(), box);
    // The edit's border became a sunken client edge; the box's sunken white square (from y 3) has the mark.
    RECT edit;
    GetWindowRect(GetDlgItem(dialog, 103), &edit);
    EXPECT_EQ(ui::screen_pixel({edit.left, edit.top}) + ui::screen_pixel({edit.left + 1, edit.top + 1}), 0x808080u);
    for (COLORREF mark : {0u, 0xFFFFFFu}) {
        const POINT probes[] = {{0, 3}, {1, 4}, {10, 6}, {5, 11}};
        const COLORREF expected[] = {0x808080, 0, 0xFFFFFF, mark};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(ui::client_pixel(box, probes[i]), expected[i]) << i << " " << mark;
        SendMessageA(box, BM_SETCHECK, BST_UNCHECKED, 0);  // setting the mark notifies nobody
        pump_dialog(dialog);
    }
    // A push button's raised bevel (white outermost at the top left, black and grey at the bottom right)
    // becomes a black and a grey frame while it is pressed; released outside it, a press is no click.
    HWND ok = GetDlgItem(dialog, 101);
    for (bool pressed : {false, true}) {
        if (pressed)
            ui::mouse_down(ui::center_of(ok));
        pump_dialog(dialog);
        EXPECT_EQ(ui::client_pixel(ok, {0, 0}), pressed ? 0u : 0xFFFFFFu);
        EXPECT_EQ(ui::client_pixel(ok, {1, 1}), pressed ? 0x808080u : 0xC0C0C0u);
        EXPECT_EQ(ui::client_pixel(ok, {4, 4}), pressed ? 0x3F3F3Fu : 0xC0C0C0u);  // a dot of the focus frame
    }
    ui::mouse_up(ui::center_of(box));
    pump_dialog(dialog);
    SetFocus(box);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 117), static_cast<UINT>(BST_UNCHECKED));
    ui::key(VK_SPACE);
    pump_dialog(dialog);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 117), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(told_of(WM_COMMAND, BN_CLICKED), (std::vector<WPARAM>{117, 117}));
    // The scroll bar control's arrows send line codes, each followed by SB_ENDSCROLL.
    RECT area;
    GetWindowRect(GetDlgItem(dialog, 116), &area);
    ui::click({(area.left + area.right) / 2, area.top + 2});
    ui::click({(area.left + area.right) / 2, area.bottom - 2});
    pump_dialog(dialog);
    EXPECT_EQ(told_of(WM_VSCROLL), (std::vector<WPARAM>{MAKEWPARAM(116, SB_LINEUP), MAKEWPARAM(116, SB_ENDSCROLL),
                                                        MAKEWPARAM(116, SB_LINEDOWN), MAKEWPARAM(116, SB_ENDSCROLL)}));
}

TEST_F(Dialogs, EditTypingCaretSelectionAndDeletion) {
    show_form();
    HWND edit = GetDlgItem(dialog, 103);
    // Keys (with Shift or not), what is typed after them, the text then, and the EN_CHANGE count (-1: any).
    const std::tuple<std::vector<std::pair<unsigned, bool>>, const char *, const char *, int> steps[] = {
        {{}, "12345", "12345", 5},
        {{{VK_HOME, false}, {VK_DELETE, false}, {VK_END, false}, {VK_BACK, false}}, "", "234", 2},
        {{{VK_END, false}, {VK_DELETE, false}, {VK_HOME, false}, {VK_BACK, false}}, "", "234", -1},  // at the ends
        {{{VK_RIGHT, false}, {VK_RIGHT, false}, {VK_LEFT, true}}, "x", "2x4", 1},  // replaces the selection
        {{{VK_HOME, false}, {VK_END, true}}, "-1 ", "-1 ", 3},
        {{}, "WWWWWWWWWWWWWWWWWWWW", "-1 WWWWWWWWWWWWWWWWWWWW", 20},  // wider than the edit: it scrolls
    };
    for (auto &[keys, typed, text, changes] : steps) {
        told.clear();
        for (auto [key, shift] : keys)
            ui::key(key, shift);
        ui::type(typed);
        pump_dialog(dialog);
        char got[64];
        GetDlgItemTextA(dialog, 103, got, sizeof got);
        EXPECT_STREQ(got, text);
        EXPECT_TRUE(changes < 0 || told_of(WM_COMMAND, EN_CHANGE).size() == static_cast<std::size_t>(changes)) << text;
    }
    ui::double_click(ui::center_of(edit));  // selects the word under the mouse
    pump_dialog(dialog);
    EXPECT_EQ(SendMessageA(edit, EM_GETSEL, 0, 0), MAKELRESULT(3, 23));
    ui::key(VK_HOME);
    ui::key('A', false, true);  // Ctrl+A selects everything, wherever the caret is
    pump_dialog(dialog);
    EXPECT_EQ(SendMessageA(edit, EM_GETSEL, 0, 0), MAKELRESULT(0, 23));
    // Disabled, it takes neither keys nor characters.
    EnableWindow(edit, FALSE);
    for (auto [message, wparam] :
         {std::pair<UINT, WPARAM>{WM_KEYDOWN, VK_HOME}, {WM_KEYDOWN, VK_DELETE}, {WM_CHAR, 'z'}})
        SendMessageA(edit, message, wparam, 0);
    EXPECT_EQ(SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0), 23);
}

TEST_F(Dialogs, TheMenuBarTakesArrowsMnemonicsEnterAndEscape) {
    // The mouse's way through the bar and a pop-up is the played script's "menu" below.
    const std::tuple<std::vector<unsigned>, const char *, std::vector<WPARAM>> cases[] = {
        {{VK_MENU, VK_DOWN, VK_DOWN, VK_RETURN}, "", {140}},          // Down opens Options on its first item
        {{VK_F10, VK_DOWN, VK_UP, VK_RETURN}, "", {150}},             // Up wraps to the last
        {{VK_F10, VK_RIGHT, VK_DOWN, VK_RETURN}, "", {100}},          // Right wraps round the one-item bar
        {{VK_F10, VK_DOWN, VK_DOWN, VK_LEFT, VK_RETURN}, "", {100}},  // and reopens its pop-up on the first item
        {{VK_F10}, "ox", {150}},                                      // mnemonics
        {{VK_F10, VK_F10}, "", {}},                                   // a second F10 leaves the menu
        {{VK_F10, VK_RETURN, VK_ESCAPE, VK_ESCAPE}, "", {}},          // closes the pop-up, then leaves the menu
    };
    for (auto &[keys, typed, expected] : cases) {
        chosen.clear();
        marker_seen = false;
        for (unsigned key : keys)
            ui::key(key);
        ui::type(typed);
        ui::key(VK_F1);  // reaches the owner only once the menu loop has ended
        ASSERT_TRUE(ui::pump_until([] { return marker_seen; }));
        ui::pump_pending();
        EXPECT_EQ(chosen, expected);
    }
}

// UI scripts: a malformed line is refused with its number; a played script drives the owner's menu and
// About box to the end, leaving a screenshot and the screen's text, and quits while About is open; a line
// it cannot carry out stops it.
TEST_F(Dialogs, UiScriptsParseDriveTheWindowsAndStopAtTheFirstFailure) {
    using platform::user::parse_ui_script, platform::user::play_ui_script;
    std::vector<platform::user::ScriptLine> lines;
    std::string error;
    // Scripts the parser refuses, then two that fail as they play.
    // clang-format off
    const std::pair<const char *, const char *> refused[] = {
        {"menu About\njump Now\n", "script:2: unknown command \"jump\""},
        {"key Hyper\n", "script:1: unknown key \"Hyper\""}, {"wait soon\n", "script:1: wait needs milliseconds"},
        {"\n\nclick\n", "script:3: click needs an argument"}, {"quit now\n", "script:1: quit takes no argument"},
        {"shot a/b\n", "script:1: a shot name is a plain file name"},
        {"scroll LANA 00 Sideways\n", "script:1: scroll needs a window title and a code"},
        {"waitfor Owner\nclick Nope\n", "script:2: no button \"Nope\" in the active window"},
        {"doubleclick Ghost\n", "script:1: no window \"Ghost\""}};
    // clang-format on
    ASSERT_TRUE(
        parse_ui_script("# the demo\n\nwaitfor Owner 5000\nmenu About\nwaitfor About\nshot about\nkey Enter\n"
                        "menu &About\nwaitfor About\nclick OK\nmenu About\nwaitfor About\nquit\n",
                        lines, error));
    char folder[] = "/tmp/ui_script_XXXXXX";  // a new folder of the test's own, mode 0700
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::filesystem::path directory = folder;
    bool played = false;
    about_opened = 0;
    std::thread player([&] {
        for (auto [text, message] : refused) {
            std::vector<platform::user::ScriptLine> parsed;
            EXPECT_FALSE(parse_ui_script(text, parsed, error) && play_ui_script(parsed, directory, error)) << text;
            EXPECT_EQ(error, message);
        }
        played = play_ui_script(lines, directory, error);
    });
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    player.join();
    EXPECT_TRUE(played) << error;
    // The last quit ended About's modal loop and then this one; the owner's end quits nothing more.
    EXPECT_EQ(std::exchange(about_opened, -1), 3);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_TRUE(std::filesystem::exists(directory / "about.png"));
    std::ifstream file(directory / "about.txt");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("[About]\n  About\n  About text\n"), std::string::npos) << text;
    std::filesystem::remove_all(directory);
}

}  // namespace
