// The Windows build compiles the viewer's script with the toolchain's windres: both compilers must produce
// the same templates and menu. Skipped where the cross toolchain is not installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <filesystem>
#include <fstream>

#include "script_parser.h"

namespace fs = std::filesystem;
using namespace platform::rc;

namespace {

// The records of a .res file, read as the little-endian words (u16) of one part of it; never past its end.
struct ResReader {
    const std::vector<std::uint8_t> &bytes;
    std::size_t at, end;
    int u16() { return at + 2 <= end ? (at += 2, bytes[at - 2] | bytes[at - 1] << 8) : throw std::out_of_range("cut"); }
    std::uint32_t u32() { return u16() | static_cast<std::uint32_t>(u16()) << 16; }
    std::vector<int> s16s(int count) {
        std::vector<int> values;
        while (count--)
            values.push_back(static_cast<std::int16_t>(u16()));
        return values;
    }
    // A name or ordinal: 0xFFFF then a number ("#5"), or a NUL-terminated UTF-16 string (ASCII here).
    std::string name(bool upper = false) {
        std::string text;
        for (int c = u16(); c != 0 && c != 0xFFFF; c = u16())
            text += static_cast<char>(upper ? std::toupper(c) : c);
        return text.empty() && bytes[at - 2] == 0xFF ? "#" + std::to_string(u16()) : text;
    }
};

void compare_menu_items(ResReader &in, const std::vector<MenuEntry> &ours) {
    for (std::size_t i = 0; i < ours.size(); ++i) {
        SCOPED_TRACE(ours[i].text);
        int flags = in.u16(), popup = flags & 0x10;
        EXPECT_EQ((flags & 0x80) != 0, i + 1 == ours.size());  // MF_END on the last item of each level
        EXPECT_EQ(static_cast<unsigned>(flags & ~0x80), ours[i].flags);
        EXPECT_EQ(popup ? ours[i].id : in.u16(), ours[i].id);  // popups carry no id
        EXPECT_EQ(in.name(), ours[i].text);
        if (popup)
            compare_menu_items(in, ours[i].children);
    }
}

}  // namespace

TEST(WindresAgreement, ViewerScriptGivesTheSameTemplatesAndMenu) {
    const fs::path viewer = fs::path(PROJECT_SOURCE) / "viewer", res = fs::temp_directory_path() / "tarvoke-rc.res";
    if (std::system("command -v i686-w64-mingw32-windres >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "i686-w64-mingw32-windres is not installed";
    std::string command = "i686-w64-mingw32-windres -I " + viewer.string() + " -O res -o " + res.string() + " " +
                          (viewer / "tarvoke.rc").string();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream file(res, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
    Script ours = compile_script(viewer / "tarvoke.rc", {fs::path(PROJECT_SOURCE) / "platform" / "include"});
    const std::map<std::string, std::string> atoms = {
        {"#128", "BUTTON"}, {"#129", "EDIT"}, {"#130", "STATIC"}, {"#132", "SCROLLBAR"}};
    std::size_t seen = 0;
    for (std::size_t start = 0; start < bytes.size();) {
        ResReader in{bytes, start, bytes.size()};
        std::uint32_t data_size = in.u32(), header_size = in.u32();
        std::string type = in.name(), name = in.name(true);
        ResReader data{bytes, start + header_size, std::min(bytes.size(), start + header_size + data_size)};
        start = (start + header_size + data_size + 3) & ~std::size_t{3};
        for (const auto &dialog : ours.dialogs) {
            std::string our_name = dialog.name.text;
            std::transform(our_name.begin(), our_name.end(), our_name.begin(), ::toupper);
            if (type != "#5" || our_name != name)
                continue;
            SCOPED_TRACE(name);
            ++seen;
            EXPECT_EQ(data.u32(), dialog.style);
            EXPECT_EQ(data.u32(), dialog.ex_style);
            ASSERT_EQ(data.u16(), static_cast<int>(dialog.controls.size()));
            EXPECT_EQ(data.s16s(4), (std::vector<int>{dialog.x, dialog.y, dialog.cx, dialog.cy}));
            for (auto *text : {&dialog.menu, &dialog.class_name, &dialog.caption})
                EXPECT_EQ(data.name(), *text);
            for (const auto &control : dialog.controls) {
                SCOPED_TRACE(control.id);
                data.at = (data.at + 3) & ~std::size_t{3};
                EXPECT_EQ(data.u32(), control.style);
                EXPECT_EQ(data.u32(), control.ex_style);
                EXPECT_EQ(data.s16s(5), (std::vector<int>{control.x, control.y, control.cx, control.cy,
                                                          static_cast<std::int16_t>(control.id)}));
                std::string class_name = data.name(true);
                EXPECT_EQ(atoms.count(class_name) ? atoms.at(class_name) : class_name, control.class_name);
                EXPECT_EQ(data.name(), control.text);
                data.at += data.u16();  // creation data
            }
        }
        if (type == "#4" && ++seen) {
            EXPECT_EQ(data.u32(), 0u);  // version and header size
            compare_menu_items(data, ours.menus.at(0).items);
        }
    }
    EXPECT_EQ(seen, ours.dialogs.size() + 1);
}
