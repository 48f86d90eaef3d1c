// The Windows build compiles the same script with the toolchain's windres: both compilers must produce the
// same templates and menus. Skipped where the cross toolchain is not installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "script_parser.h"

namespace fs = std::filesystem;
using namespace platform::rc;

namespace {

// Reads the little-endian records of a .res file, refusing to run past the end of the part it reads.
struct ResReader {
    const std::vector<std::uint8_t> &bytes;
    std::size_t at, end;
    std::uint16_t u16() {
        if (at + 2 > end)
            throw std::runtime_error("resource file cut short");
        at += 2;
        return static_cast<std::uint16_t>(bytes[at - 2] | bytes[at - 1] << 8);
    }
    std::uint32_t u32() { return u16() | static_cast<std::uint32_t>(u16()) << 16; }
    std::int16_t s16() { return static_cast<std::int16_t>(u16()); }
    // A name or ordinal: 0xFFFF then a number ("#5"), or a NUL-terminated UTF-16 string (ASCII here).
    std::string name() {
        std::uint16_t first = u16();
        if (first == 0xFFFF)
            return "#" + std::to_string(u16());
        std::string text;
        for (std::uint16_t c = first; c != 0; c = u16())
            text += static_cast<char>(c);
        return text;
    }
};

std::string upper(std::string text) {
    for (auto &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

void compare_dialog(ResReader in, const DialogResource &ours) {
    SCOPED_TRACE(ours.name.text);
    EXPECT_EQ(in.u32(), ours.style);
    EXPECT_EQ(in.u32(), ours.ex_style);
    ASSERT_EQ(in.u16(), ours.controls.size());
    EXPECT_EQ((std::vector<int>{in.s16(), in.s16(), in.s16(), in.s16()}),
              (std::vector<int>{ours.x, ours.y, ours.cx, ours.cy}));
    EXPECT_EQ(in.name(), ours.menu);
    EXPECT_EQ(in.name(), ours.class_name);
    EXPECT_EQ(in.name(), ours.caption);
    const std::map<std::string, std::string> atoms = {
        {"#128", "BUTTON"}, {"#129", "EDIT"}, {"#130", "STATIC"}, {"#132", "SCROLLBAR"}};
    for (const auto &control : ours.controls) {
        SCOPED_TRACE(control.id);
        in.at = (in.at + 3) & ~std::size_t{3};
        EXPECT_EQ(in.u32(), control.style);
        EXPECT_EQ(in.u32(), control.ex_style);
        EXPECT_EQ((std::vector<int>{in.s16(), in.s16(), in.s16(), in.s16(), in.s16()}),
                  (std::vector<int>{control.x, control.y, control.cx, control.cy, control.id}));
        std::string class_name = in.name();
        EXPECT_EQ(atoms.count(class_name) ? atoms.at(class_name) : upper(class_name), control.class_name);
        EXPECT_EQ(in.name(), control.text);
        in.at += in.u16();  // creation data
    }
}

void compare_menu_items(ResReader &in, const std::vector<MenuEntry> &ours) {
    for (std::size_t i = 0; i < ours.size(); ++i) {
        SCOPED_TRACE(ours[i].text);
        std::uint16_t flags = in.u16();
        EXPECT_EQ((flags & 0x80) != 0, i + 1 == ours.size());  // MF_END on the last item of each level
        EXPECT_EQ(flags & ~0x80, ours[i].flags);
        EXPECT_EQ((flags & 0x10) ? ours[i].id : in.u16(), ours[i].id);  // popups carry no id
        EXPECT_EQ(in.name(), ours[i].text);
        if (flags & 0x10)
            compare_menu_items(in, ours[i].children);
    }
}

}  // namespace

TEST(WindresAgreement, ViewerScriptGivesTheSameTemplatesAndMenu) {
    const fs::path viewer = fs::path(PROJECT_SOURCE) / "viewer";
    const fs::path res = fs::temp_directory_path() / ("tarvoke-windres-" + std::to_string(::getpid()) + ".res");
    if (std::system("command -v i686-w64-mingw32-windres >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "i686-w64-mingw32-windres is not installed";
    std::string command = "i686-w64-mingw32-windres -I " + viewer.string() + " -O res -o " + res.string() + " " +
                          (viewer / "tarvoke.rc").string();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream file(res, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
    fs::remove(res);

    Script ours = compile_script(viewer / "tarvoke.rc", {fs::path(PROJECT_SOURCE) / "platform" / "include"});
    ASSERT_EQ(ours.menus.size(), 1u);
    std::size_t dialogs_seen = 0, menus_seen = 0;
    for (std::size_t start = 0; start < bytes.size();) {
        ResReader in{bytes, start, bytes.size()};
        std::uint32_t data_size = in.u32(), header_size = in.u32();
        std::string type = in.name(), name = upper(in.name());
        ResReader data{bytes, start + header_size, start + header_size + data_size};
        ASSERT_LE(data.end, bytes.size());
        for (const auto &dialog : ours.dialogs) {
            if (type == "#5" && upper(dialog.name.text) == name && ++dialogs_seen)
                compare_dialog(data, dialog);
        }
        if (type == "#4" && ++menus_seen) {
            EXPECT_EQ(data.u32(), 0u);  // version and header size
            EXPECT_EQ(name, upper(ours.menus[0].name.text));
            compare_menu_items(data, ours.menus[0].items);
        }
        start = (data.end + 3) & ~std::size_t{3};
    }
    EXPECT_EQ(dialogs_seen, ours.dialogs.size());
    EXPECT_EQ(menus_seen, 1u);
}
