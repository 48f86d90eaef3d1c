// The resource compiler's front end: the viewer's script, each kind of malformed line, the icon reader and
// the command-line tool's report of a fault.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ico_reader.h"
#include "script_parser.h"

namespace fs = std::filesystem;
using namespace platform::rc;

namespace {

const fs::path kSource = PROJECT_SOURCE;
const fs::path kInclude = kSource / "platform" / "include";

class ScratchDir {
public:
    ScratchDir() {
        path_ = fs::temp_directory_path() / ("rc-test-" + std::to_string(::getpid()) + "-" + std::to_string(++count_));
        fs::create_directories(path_);
    }
    ~ScratchDir() { fs::remove_all(path_); }
    fs::path write(const std::string &name, const std::string &text) const {
        std::ofstream(path_ / name, std::ios::binary) << text;
        return path_ / name;
    }
    const fs::path &path() const { return path_; }

private:
    static inline int count_ = 0;
    fs::path path_;
};

const DialogResource &dialog_named(const Script &script, const std::string &name) {
    for (const auto &dialog : script.dialogs) {
        if (dialog.name.text == name)
            return dialog;
    }
    throw std::runtime_error("no dialog " + name);
}

}  // namespace

TEST(ViewerScript, CompilesWithTheTemplatesAsLaidOut) {
    Script script = compile_script(kSource / "viewer" / "tarvoke.rc", {kInclude});
    ASSERT_EQ(script.menus.size(), 1u);
    ASSERT_EQ(script.dialogs.size(), 4u);
    ASSERT_EQ(script.icons.size(), 1u);

    const auto &menu = script.menus[0];
    EXPECT_EQ(menu.name.text, "TarvokeMenu");
    ASSERT_EQ(menu.items.size(), 1u);
    EXPECT_EQ(menu.items[0].text, "&Options");
    ASSERT_EQ(menu.items[0].children.size(), 3u);
    EXPECT_EQ(menu.items[0].children[0].id, 100);
    EXPECT_EQ(menu.items[0].children[1].text, "&About Tarvoke");
    EXPECT_EQ(menu.items[0].children[2].id, 150);
    EXPECT_EQ(menu.items[0].children[2].text, "E&xit");

    const auto &about = dialog_named(script, "ABOUT");
    EXPECT_EQ(about.style, 0x80C00000u);  // WS_POPUP | WS_CAPTION: no system menu, no modal frame
    EXPECT_EQ(about.caption, "About");
    ASSERT_EQ(about.controls.size(), 6u);
    EXPECT_EQ(about.controls[0].text, "         TARVOKE");
    EXPECT_EQ(about.controls[0].style, 0x50000000u);  // static SS_LEFT, no WS_GROUP
    EXPECT_EQ(about.controls[4].style, 0x50000003u);  // SS_ICON
    EXPECT_EQ(about.controls[4].text, "TarvokeIcon");
    EXPECT_EQ(about.controls[4].cx, 16);
    EXPECT_EQ(about.controls[5].id, 141);
    EXPECT_EQ(about.controls[5].style, 0x50010001u);  // BS_DEFPUSHBUTTON | WS_TABSTOP

    const auto &lanas = dialog_named(script, "LANAS");
    EXPECT_EQ(lanas.style, 0x80C00080u);
    EXPECT_EQ(lanas.controls[1].class_name, "EDIT");
    EXPECT_EQ(lanas.controls[1].style, 0x50810080u);  // WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL

    const auto &configure = dialog_named(script, "CONFIGURE");
    EXPECT_EQ(configure.style, 0x90C80080u);
    EXPECT_EQ(configure.caption, "");
    ASSERT_EQ(configure.controls.size(), 12u);
    EXPECT_EQ(configure.controls[4].class_name, "SCROLLBAR");
    EXPECT_EQ(configure.controls[4].style, 0x50000001u);  // SBS_VERT, no tab stop
    EXPECT_EQ(configure.controls[6].id, 119);             // template order is tab order
    EXPECT_EQ(configure.controls[6].style, 0x50010003u);

    const auto &display = dialog_named(script, "DISPLAY");
    EXPECT_EQ(display.style, 0x80E30000u);
    EXPECT_EQ(display.x, 70);
    EXPECT_EQ(display.cy, 107);
    EXPECT_TRUE(display.controls.empty());

    EXPECT_EQ(script.icons[0].width, 32);
    EXPECT_EQ(script.icons[0].height, 32);
}

// Each kind of fault, on the line where it stands; every script starts from a valid first line.
struct MalformedCase {
    const char *script;
    int line;
    const char *message;
};

class MalformedScript : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedScript, IsRefusedWithItsLine) {
    ScratchDir dir;
    dir.write("ids.h", "#define GOOD 5\n#define LOOP LOOP\n#define FN(a) (a)\n#define CAST ((int)1)\n");
    auto script = dir.write("bad.rc", std::string("#include \"ids.h\"\n") + GetParam().script);
    try {
        compile_script(script, {kInclude});
        FAIL() << "accepted:\n" << GetParam().script;
    } catch (const ScriptError &error) {
        EXPECT_EQ(error.where().file, script.string());
        EXPECT_EQ(error.where().line, GetParam().line) << error.what();
        EXPECT_NE(error.message().find(GetParam().message), std::string::npos) << error.what();
        std::string expected_prefix = script.string() + ":" + std::to_string(GetParam().line) + ": ";
        EXPECT_EQ(std::string(error.what()).rfind(expected_prefix, 0), 0u) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, MalformedScript,
    ::testing::Values(
        MalformedCase{"#if 1\n", 2, "unsupported directive '#if'"},
        MalformedCase{"#include \"missing.h\"\n", 2, "cannot find include file 'missing.h'"},
        MalformedCase{"#include missing.h\n", 2, "#include needs a file name"},
        MalformedCase{"#define\n", 2, "#define needs a name"},
        MalformedCase{"M MENU\nBEGIN\n  MENUITEM \"a\", 1\n  MENUITEM \"b, 2\nEND\n", 5, "string is not closed"},
        MalformedCase{"M MENU\nBEGIN\n  MENUITEM \"a\" 1\nEND\n", 4, "expected ',' after the item's text"},
        MalformedCase{"M MENU\nBEGIN\n  MENUITEM \"a\", 1, BOLD\nEND\n", 4, "unknown menu option 'BOLD'"},
        MalformedCase{"M MENU\nBEGIN\n  MENUITEM \"a\", 70000\nEND\n", 4, "menu item id 70000 is out of range"},
        MalformedCase{"M MENU\nBEGIN\n  MENU \"a\", 1\nEND\n", 4, "expected MENUITEM, POPUP or END"},
        MalformedCase{"M MENU\nBEGIN\n  POPUP \"a\"\n  BEGIN\n  END\nEND\n", 4, "has no items"},
        MalformedCase{"M MENU\nBEGIN\n  MENUITEM \"a\", 1\n", 4, "unexpected end of file"},
        MalformedCase{"D DIALOG 1, 2, 3\nBEGIN\nEND\n", 3, "expected ','"},
        MalformedCase{"D DIALOG 1, 2, 3, 40000\nBEGIN\nEND\n", 2, "coordinate 40000 is out of range"},
        MalformedCase{"D DIALOG 1, 2, 3, 4\nSTYLE GOOD | WS_NONSENSE\nBEGIN\nEND\n", 3, "'WS_NONSENSE' is not defined"},
        MalformedCase{"D DIALOG 1, 2, 3, 4\nSTYLE LOOP\nBEGIN\nEND\n", 3, "'LOOP' refers to itself"},
        MalformedCase{"D DIALOG 1, 2, 3, 4\nSTYLE FN(1)\nBEGIN\nEND\n", 3, "macro with arguments"},
        MalformedCase{"D DIALOG 1, 2, 3, 4\nSTYLE CAST\nBEGIN\nEND\n", 3, "'CAST' does not stand for a number"},
        MalformedCase{"D DIALOG 1, 2, 3, 4\nMENUEX x\nBEGIN\nEND\n", 3, "unsupported dialog statement 'MENUEX'"},
        MalformedCase{"D DIALOG 1, 2, 3, 4\nCAPTION Title\nBEGIN\nEND\n", 3, "expected the caption in quotes"},
        MalformedCase{"D DIALOG 1, 2, 3, 4\nBEGIN\n  LISTVIEW \"a\", 1, 1, 1, 1, 1\nEND\n", 4,
                      "unsupported control statement 'LISTVIEW'"},
        MalformedCase{"D DIALOG 1, 2, 3, 4\nBEGIN\n  PUSHBUTTON \"a\", 1, 1, 1, 1\nEND\n", 5, "expected ','"},
        MalformedCase{"D DIALOG 1, 2, 3, 4\nBEGIN\n  EDITTEXT 1, 1, 1, 1, 1, ES_LEFT @\nEND\n", 4,
                      "unexpected character '@'"},
        MalformedCase{"D DIALOG 1, 2, 3, 4\nBEGIN\n  CONTROL \"a\", 1, Tree, 0, 1, 1, 1, 1\nEND\n", 4,
                      "unknown control class 'Tree'"},
        MalformedCase{"D DIALOG 1, 2, 3, 4\nBEGIN\n  LTEXT \"a\", 99999, 1, 1, 1, 1\nEND\n", 4,
                      "control id 99999 is out of range"},
        MalformedCase{"D DIALOG 1, 2, 3, 4\nBEGIN\n  LTEXT \"a\\q\", 1, 1, 1, 1, 1\nEND\n", 4, "unknown escape"},
        MalformedCase{"D DIALOG 1, 2, 3, 4\nBEGIN\n  LTEXT \"a\", 0x1g, 1, 1, 1, 1\nEND\n", 4, "malformed number"},
        MalformedCase{"D DIALOG 1, 2, 3, 4\nBEGIN\n  LTEXT \"a\", 99999999999, 1, 1, 1, 1\nEND\n", 4, "is too large"},
        MalformedCase{"D DIALOGEX 1, 2, 3, 4\n", 2, "unsupported resource type 'DIALOGEX'"},
        MalformedCase{"STRINGTABLE\nBEGIN\nEND\n", 2, "unsupported statement 'STRINGTABLE'"},
        MalformedCase{"GOOD\n", 2, "unexpected end of file, expected a resource type"},
        MalformedCase{"0 MENU\nBEGIN\nEND\n", 2, "resource id 0 is not between 1 and 65535"},
        MalformedCase{"I ICON \"nowhere.ico\"\n", 2, "cannot read icon file 'nowhere.ico'"},
        MalformedCase{"I ICON \"ids.h\"\n", 2, "not an icon file"},
        MalformedCase{"/* never\nclosed\n", 2, "comment is not closed"}));

TEST(HeaderDefinitions, WindowStylesComeFromTheSystemHeaderAndNotSubtracts) {
    ScratchDir dir;
    auto script = dir.write("s.rc",
                            "#include <windows.h>\n"
                            "D DIALOG 0, 0, 1, 1\n"
                            "STYLE WS_OVERLAPPEDWINDOW | NOT WS_SYSMENU\n"
                            "BEGIN\n"
                            "  PUSHBUTTON \"x\", 1, 0, 0, 1, 1, NOT WS_TABSTOP | BS_DEFPUSHBUTTON\n"
                            "  LTEXT \"y\", 2, 0, 0, 1, 1, -1 - 0xFFFFFFFE + (2 | 1) - ~0\n"
                            "END\n");
    Script compiled = compile_script(script, {kInclude});
    const auto &dialog = compiled.dialogs.at(0);
    EXPECT_EQ(dialog.style, 0x00CF0000u & ~0x00080000u);
    EXPECT_EQ(dialog.controls.at(0).style, 0x50000001u);
    // -1 - 0xFFFFFFFE wraps as 32-bit arithmetic does: 1, then + 3 - (-1) = 5, ORed into SS_LEFT | WS_GROUP.
    EXPECT_EQ(dialog.controls.at(1).style, 0x50020005u);
}

// A 2 x 2 icon at 4 bits: a bottom-up colour bitmap and a mask.
std::vector<std::uint8_t> tiny_icon() {
    std::vector<std::uint8_t> bytes = {0, 0, 1,  0, 1, 0,                                  // header, one image
                                       2, 2, 16, 0, 1, 0, 4, 0, 0, 0, 0, 0, 22, 0, 0, 0};  // entry
    std::vector<std::uint8_t> info(40, 0);
    info[0] = 40, info[4] = 2, info[8] = 4, info[12] = 1, info[14] = 4;
    bytes.insert(bytes.end(), info.begin(), info.end());
    for (int i = 0; i < 16; ++i) {  // palette: colour i is (r=i, g=0, b=0)
        bytes.insert(bytes.end(), {0, 0, static_cast<std::uint8_t>(i), 0});
    }
    bytes.insert(bytes.end(), {0x12, 0, 0, 0, 0x34, 0, 0, 0});  // bottom row 1 2, top row 3 4
    bytes.insert(bytes.end(), {0x40, 0, 0, 0, 0x00, 0, 0, 0});  // bottom row: right pixel clear
    std::uint32_t size = static_cast<std::uint32_t>(bytes.size() - 22);
    bytes[14] = size & 0xFF, bytes[15] = size >> 8;
    return bytes;
}

TEST(IconReader, DecodesPaletteRowsAndMask) {
    IconImage image = read_icon(tiny_icon());
    ASSERT_EQ(image.width, 2);
    ASSERT_EQ(image.height, 2);
    EXPECT_EQ(image.pixels, (std::vector<std::uint32_t>{0xFF030000, 0xFF040000, 0xFF010000, 0x00020000}));
}

TEST(IconReader, RefusesEveryTruncationWithoutReadingPastTheEnd) {
    auto bytes = tiny_icon();
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_THROW(read_icon(cut), IconFormatError) << "length " << length;
    }
}

TEST(IconReader, RefusesImpossibleHeaders) {
    auto oversized_palette = tiny_icon();
    oversized_palette[22 + 32] = 17;  // biClrUsed beyond 4 bits
    EXPECT_THROW(read_icon(oversized_palette), IconFormatError);
    auto huge = tiny_icon();
    huge[22 + 5] = 0x10;  // width 4098
    EXPECT_THROW(read_icon(huge), IconFormatError);
    auto compressed = tiny_icon();
    compressed[22 + 16] = 2;
    EXPECT_THROW(read_icon(compressed), IconFormatError);
}

TEST(IconReader, ViewerIconIsThirtyTwoSquareWithClearCorners) {
    std::ifstream in(kSource / "viewer" / "tarvoke.ico", std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    IconImage image = read_icon(bytes);
    ASSERT_EQ(image.pixels.size(), 32u * 32u);
    EXPECT_EQ(image.pixels[0] >> 24, 0u);
    EXPECT_EQ(image.pixels[10 * 32 + 10] >> 24, 0xFFu);
}

TEST(Tool, ReportsTheFaultAndFailsWithoutLeavingOutput) {
    ScratchDir dir;
    auto script = dir.write("bad.rc", "M MENU\nBEGIN\n  MENUITEM \"a\" 1\nEND\n");
    auto output = dir.path() / "out.cpp";
    auto errors = dir.path() / "errors.txt";
    std::string command =
        std::string(RC_COMPILE_PATH) + " -o " + output.string() + " " + script.string() + " 2>" + errors.string();
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream in(errors);
    std::string message;
    std::getline(in, message);
    EXPECT_EQ(message, script.string() + ":3: expected ',' after the item's text, found number 1");
    EXPECT_FALSE(fs::exists(output));
}
