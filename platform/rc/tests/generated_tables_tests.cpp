// The sample script, compiled into this test program by add_resources, as user32 finds it.
#include <gtest/gtest.h>

#include "resource_tables.h"

using namespace platform::resources;

TEST(GeneratedTables, MenuMatchesTheScript) {
    const Menu *menu = find_menu(std::string_view("samplemenu"));  // names match without regard to case
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->items.size(), 2u);
    const MenuItem &file = menu->items[0];
    EXPECT_EQ(file.text, "&File");
    EXPECT_EQ(file.flags, 0x10u);  // MF_POPUP
    ASSERT_EQ(file.children.size(), 3u);
    EXPECT_EQ(file.children[0].text, "&Open\tCtrl+O");
    EXPECT_EQ(file.children[0].id, 0x10);
    EXPECT_EQ(file.children[1].flags, 0x800u);  // MF_SEPARATOR
    EXPECT_EQ(file.children[2].id, 17);
    EXPECT_EQ(file.children[2].flags, 0x1u);  // MF_GRAYED
    EXPECT_EQ(menu->items[1].flags, 0x8u);    // MF_CHECKED
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
