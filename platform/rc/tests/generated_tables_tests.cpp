// The sample script, compiled into this test program by add_resources, as user32 finds it.
#include <gtest/gtest.h>

#include "resource_tables.h"

using namespace platform::resources;

// One line per item: text, id, flags (MF_POPUP 0x10, MF_SEPARATOR 0x800, MF_GRAYED 0x1, MF_CHECKED 0x8).
static void list_items(std::span<const MenuItem> items, const std::string &indent, std::vector<std::string> &out) {
    for (const auto &item : items) {
        out.push_back(indent + std::string(item.text) + " " + std::to_string(item.id) + " " +
                      std::to_string(item.flags));
        list_items(item.children, indent + "  ", out);
    }
}

TEST(GeneratedTables, MatchTheScript) {
    const Menu *menu = find_menu(std::string_view("samplemenu"));  // names match without regard to case
    ASSERT_NE(menu, nullptr);
    std::vector<std::string> items;
    list_items(menu->items, "", items);
    EXPECT_EQ(items, (std::vector<std::string>{"&File 0 16", "  &Open\tCtrl+O 16 0", "   0 2048", "  &Quit 17 1",
                                               "&Help 18 8"}));

    const Dialog *dialog = find_dialog(resource_id_from("Sample"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->style, 0x80C80040u);  // the header's style, WS_SYSMENU, DS_SETFONT from FONT
    EXPECT_EQ((std::vector<int>{dialog->x, dialog->y, dialog->cx, dialog->cy}), (std::vector<int>{1, 2, 300, 0x40}));
    EXPECT_EQ(dialog->caption, "Say \"hi\"\tnow");
    EXPECT_EQ(std::string(dialog->font_face) + " " + std::to_string(dialog->font_point_size), "Helv 8");
    std::vector<std::string> controls;
    char line[200];
    for (const auto &c : dialog->controls) {
        std::snprintf(line, sizeof line, "%.*s %.*s %d %08X %X %d,%d,%d,%d", (int)c.class_name.size(),
                      c.class_name.data(), (int)c.text.size(), c.text.data(), c.id, c.style, c.ex_style, c.x, c.y, c.cx,
                      c.cy);
        controls.push_back(line);
    }
    EXPECT_EQ(
        controls,
        (std::vector<std::string>{
            "STATIC Name: -1 50020000 0 4,4,30,8",
            "EDIT  272 50010080 0 40,4,60,12",  // NOT WS_BORDER took the default border off
            "STATIC c 3 50000001 0 1,1,1,1",
            "STATIC r 4 58020002 200 1,1,1,1",
            "BUTTON Check 5 50010002 0 1,1,1,1",
            "BUTTON Group 6 50000007 0 1,1,1,1",
            "BUTTON Push 1 40010000 0 1,1,1,1",
            "MyClass Custom 9 50001234 0 -5,-6,7,8",
            "SCROLLBAR Bar 10 40000001 0 1,2,3,4",
            "STATIC SampleIcon 11 50000003 0 20,30,0,0",  // an icon takes the size of its icon
            "BUTTON x 12 50000001 0 0,0,1,1",             // NOT WS_TABSTOP, BS_DEFPUSHBUTTON
            // -1 - 0xFFFFFFFE wraps as 32-bit arithmetic does: 1, then + 3 - (-1) = 5, ORed into SS_LEFT | WS_GROUP
            "STATIC y 13 50020005 0 0,0,1,1",
        }));

    const Dialog *numbered = find_dialog(resource_id_from(reinterpret_cast<const char *>(7)));
    ASSERT_NE(numbered, nullptr);
    EXPECT_EQ(numbered->style, 0x80880000u);  // no STYLE: WS_POPUP | WS_BORDER | WS_SYSMENU
    EXPECT_TRUE(numbered->controls.empty());
    EXPECT_TRUE(!find_dialog(std::string_view("NUMBERED")) && !find_dialog(std::uint16_t{8}));
    EXPECT_EQ(find_menu(std::string_view("Sample")), nullptr);  // a dialog's name is no menu's
    const Icon *icon = find_icon(std::string_view("SAMPLEICON"));
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(icon->width == 32 && icon->pixels.size() == 32u * 32u);
}
