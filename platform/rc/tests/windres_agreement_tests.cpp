// The Windows build compiles the same script with the toolchain's windres: both compilers must produce the
// same templates and menus. Skipped where the cross toolchain is not installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "script_parser.h"

namespace fs = std::filesystem;
using namespace platform::rc;

namespace {

const fs::path kSource = PROJECT_SOURCE;
constexpr const char *kWindres = "i686-w64-mingw32-windres";

// Reads the little-endian records of a .res file, refusing to run past its end.
class ResReader {
public:
    explicit ResReader(std::vector<std::uint8_t> bytes, std::size_t begin = 0, std::size_t end = SIZE_MAX)
        : bytes_(std::move(bytes)), at_(begin), end_(std::min(end, bytes_.size())) {}

    std::uint16_t u16() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
    std::uint32_t u32() { return u16() | static_cast<std::uint32_t>(u16()) << 16; }
    std::int16_t s16() { return static_cast<std::int16_t>(u16()); }
    void align4() { at_ = (at_ + 3) & ~std::size_t{3}; }
    bool done() const { return at_ >= end_; }
    std::size_t at() const { return at_; }
    void skip(std::size_t count) { at_ += count; }
    const std::vector<std::uint8_t> &bytes() const { return bytes_; }

    // A name or ordinal: 0xFFFF then a number, or a NUL-terminated UTF-16 string (ASCII here).
    std::string name_or_ordinal() {
        std::uint16_t first = u16();
        if (first == 0xFFFF)
            return "#" + std::to_string(u16());
        std::string text;
        for (std::uint16_t c = first; c != 0; c = u16())
            text += static_cast<char>(c);
        return text;
    }

private:
    std::uint32_t byte() {
        if (at_ >= end_)
            throw std::runtime_error("resource file cut short");
        return bytes_[at_++];
    }
    std::vector<std::uint8_t> bytes_;
    std::size_t at_;
    std::size_t end_;
};

std::string upper(std::string text) {
    for (auto &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string class_of(const std::string &atom_or_name) {
    if (atom_or_name == "#128")
        return "BUTTON";
    if (atom_or_name == "#129")
        return "EDIT";
    if (atom_or_name == "#130")
        return "STATIC";
    if (atom_or_name == "#132")
        return "SCROLLBAR";
    return upper(atom_or_name);
}

void compare_dialog(ResReader in, const DialogResource &ours) {
    SCOPED_TRACE(ours.name.text);
    EXPECT_EQ(in.u32(), ours.style);
    EXPECT_EQ(in.u32(), ours.ex_style);
    std::uint16_t count = in.u16();
    ASSERT_EQ(count, ours.controls.size());
    EXPECT_EQ(in.s16(), ours.x);
    EXPECT_EQ(in.s16(), ours.y);
    EXPECT_EQ(in.s16(), ours.cx);
    EXPECT_EQ(in.s16(), ours.cy);
    EXPECT_EQ(in.name_or_ordinal(), ours.menu);
    EXPECT_EQ(in.name_or_ordinal(), ours.class_name);
    EXPECT_EQ(in.name_or_ordinal(), ours.caption);
    for (const auto &control : ours.controls) {
        SCOPED_TRACE(control.id);
        in.align4();
        EXPECT_EQ(in.u32(), control.style);
        EXPECT_EQ(in.u32(), control.ex_style);
        EXPECT_EQ(in.s16(), control.x);
        EXPECT_EQ(in.s16(), control.y);
        EXPECT_EQ(in.s16(), control.cx);
        EXPECT_EQ(in.s16(), control.cy);
        EXPECT_EQ(in.u16(), static_cast<std::uint16_t>(control.id));
        EXPECT_EQ(class_of(in.name_or_ordinal()), control.class_name);
        EXPECT_EQ(in.name_or_ordinal(), control.text);
        in.skip(in.u16());  // creation data
    }
}

void compare_menu_items(ResReader &in, const std::vector<MenuEntry> &ours) {
    constexpr std::uint16_t kEnd = 0x80;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        SCOPED_TRACE(ours[i].text);
        std::uint16_t flags = in.u16();
        EXPECT_EQ((flags & kEnd) != 0, i + 1 == ours.size());
        EXPECT_EQ(flags & ~kEnd, ours[i].flags);
        bool popup = flags & 0x10;
        if (!popup) {
            EXPECT_EQ(in.u16(), ours[i].id);
        }
        EXPECT_EQ(in.name_or_ordinal(), ours[i].text);
        if (popup)
            compare_menu_items(in, ours[i].children);
    }
}

}  // namespace

TEST(WindresAgreement, ViewerScriptGivesTheSameTemplatesAndMenu) {
    if (std::system((std::string("command -v ") + kWindres + " >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << kWindres << " is not installed";
    fs::path res = fs::temp_directory_path() / ("tarvoke-windres-" + std::to_string(::getpid()) + ".res");
    fs::path viewer = kSource / "viewer";
    std::string command = std::string(kWindres) + " -I " + viewer.string() + " -O res -o " + res.string() + " " +
                          (viewer / "tarvoke.rc").string();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream file(res, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    fs::remove(res);

    Script ours = compile_script(viewer / "tarvoke.rc", {kSource / "platform" / "include"});
    std::size_t dialogs_seen = 0, menus_seen = 0;
    ResReader in(bytes);
    while (!in.done()) {
        std::size_t start = in.at();
        std::uint32_t data_size = in.u32();
        std::uint32_t header_size = in.u32();
        std::string type = in.name_or_ordinal();
        std::string name = upper(in.name_or_ordinal());
        std::size_t data = start + header_size;
        ASSERT_LE(data + data_size, bytes.size());
        if (type == "#5") {
            for (const auto &dialog : ours.dialogs) {
                if (upper(dialog.name.text) == name) {
                    compare_dialog(ResReader(bytes, data, data + data_size), dialog);
                    ++dialogs_seen;
                }
            }
        } else if (type == "#4") {
            ResReader menu(bytes, data, data + data_size);
            EXPECT_EQ(menu.u32(), 0u);  // version and header size
            ASSERT_EQ(ours.menus.size(), 1u);
            EXPECT_EQ(name, upper(ours.menus[0].name.text));
            compare_menu_items(menu, ours.menus[0].items);
            ++menus_seen;
        }
        in = ResReader(bytes, (data + data_size + 3) & ~std::size_t{3});
    }
    EXPECT_EQ(dialogs_seen, ours.dialogs.size());
    EXPECT_EQ(menus_seen, 1u);
}
