// The sample script, compiled into this test program by add_resources, as user32 finds it.
#include <gtest/gtest.h>

#include "resource_tables.h"

using namespace platform::resources;

TEST(GeneratedTables, MenuMatchesTheScript) {
    const Menu *menu = find_menu(std::string_view("samplemenu"));  // names match without regard to case
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->items.size(), 2u);
    ASSERT_EQ(menu->items[0].children.size(), 3u);
    const struct {
        const MenuItem &item;
        const char *text;
        int id;
        unsigned flags;  // MF_POPUP 0x10, MF_SEPARATOR 0x800, MF_GRAYED 0x1, MF_CHECKED 0x8
    } expected[] = {{menu->items[0], "&File", 0, 0x10},
                    {menu->items[0].children[0], "&Open\tCtrl+O", 0x10, 0},
                    {menu->items[0].children[1], "", 0, 0x800},
                    {menu->items[0].children[2], "&Quit", 17, 0x1},
                    {menu->items[1], "&Help", 18, 0x8}};
    for (auto &e : expected) {
        EXPECT_EQ(e.item.text, e.text);
        EXPECT_EQ(e.item.id, e.id) << e.text;
        EXPECT_EQ(e.item.flags, e.flags) << e.text;
    }
    EXPECT_TRUE(menu->items[1].children.empty());
}

TEST(GeneratedTables, DialogMatchesTheScript) {
    const Dialog *dialog = find_dialog(resource_id_from("Sample"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->style, 0x80C80040u);  // the header's style, WS_SYSMENU, DS_SETFONT from FONT
    EXPECT_EQ(dialog->x, 1);
    EXPECT_EQ(dialog->cy, 0x40);
    EXPECT_EQ(dialog->caption, "Say \"hi\"\tnow");
    EXPECT_EQ(dialog->font_face, "Helv");
    EXPECT_EQ(dialog->font_point_size, 8);

    struct Expected {
        const char *class_name;
        const char *text;
        int id;
        std::uint32_t style;
        std::uint32_t ex_style;
    };
    const Expected expected[] = {
        {"STATIC", "Name:", -1, 0x50020000, 0},
        {"EDIT", "", 0x110, 0x50010080, 0},  // NOT WS_BORDER took the default border off
        {"STATIC", "c", 3, 0x50000001, 0},
        {"STATIC", "r", 4, 0x58020002, 0x200},
        {"BUTTON", "Check", 5, 0x50010002, 0},
        {"BUTTON", "Group", 6, 0x50000007, 0},
        {"BUTTON", "Push", 1, 0x40010000, 0},
        {"MyClass", "Custom", 9, 0x50001234, 0},
        {"SCROLLBAR", "Bar", 10, 0x40000001, 0},
        {"STATIC", "SampleIcon", 11, 0x50000003, 0},
    };
    ASSERT_EQ(dialog->controls.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(dialog->controls[i].class_name, expected[i].class_name);
        EXPECT_EQ(dialog->controls[i].text, expected[i].text);
        EXPECT_EQ(dialog->controls[i].id, expected[i].id);
        EXPECT_EQ(dialog->controls[i].style, expected[i].style);
        EXPECT_EQ(dialog->controls[i].ex_style, expected[i].ex_style);
    }
    EXPECT_EQ(dialog->controls[7].x, -5);
    EXPECT_EQ(dialog->controls[7].cy, 8);
    EXPECT_EQ(dialog->controls[9].cx, 0);  // an icon control takes the size of its icon
    EXPECT_EQ(dialog->controls[9].cy, 0);
}

TEST(GeneratedTables, NumberedAndMissingResources) {
    const Dialog *numbered = find_dialog(resource_id_from(reinterpret_cast<const char *>(7)));
    ASSERT_NE(numbered, nullptr);
    EXPECT_EQ(numbered->style, 0x80880000u);  // no STYLE: WS_POPUP | WS_BORDER | WS_SYSMENU
    EXPECT_TRUE(numbered->controls.empty());
    EXPECT_EQ(find_dialog(std::string_view("NUMBERED")), nullptr);
    EXPECT_EQ(find_dialog(std::uint16_t{8}), nullptr);
    EXPECT_EQ(find_menu(std::string_view("Sample")), nullptr);  // a dialog's name is no menu's

    const Icon *icon = find_icon(std::string_view("SAMPLEICON"));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->width, 32);
    EXPECT_EQ(icon->pixels.size(), 32u * 32u);
}
