// The resource compiler's front end: each kind of malformed line, the icon reader and the tool's report of a
// fault. What valid scripts compile into is checked on data/sample.rc (generated_tables_tests.cpp).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "ico_reader.h"
#include "script_parser.h"

namespace fs = std::filesystem;
using namespace platform::rc;

namespace {

const fs::path kInclude = fs::path(PROJECT_SOURCE) / "platform" / "include";

// A folder of the test's own, removed afterwards.
struct ScratchDir {
    const fs::path path_ = fs::temp_directory_path() / ("rc-test-" + std::to_string(::getpid()));
    ScratchDir() { fs::create_directories(path_); }
    ~ScratchDir() { fs::remove_all(path_); }
    fs::path write(const std::string &name, const std::string &text) const {
        std::ofstream(path_ / name, std::ios::binary) << text;
        return path_ / name;
    }
};

}  // namespace

// Each kind of fault, on the line where it stands; every script starts from a valid first line.
struct MalformedCase {
    std::string script;
    int line;
    const char *message;
};
// A dialog with one statement (line 3) or one control (line 4) in it.
std::string statement(const std::string &text) {
    return "D DIALOG 1, 2, 3, 4\n" + text + "\nBEGIN\nEND\n";
}
std::string control(const std::string &text) {
    return "D DIALOG 1, 2, 3, 4\nBEGIN\n  " + text + "\nEND\n";
}

class MalformedScript : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedScript, IsRefusedWithItsLine) {
    ScratchDir dir;
    dir.write("ids.h", "#define GOOD 5\n#define LOOP LOOP\n#define FN(a) (a)\n#define CAST ((int)1)\n");
    auto script = dir.write("bad.rc", std::string("#include \"ids.h\"\n") + GetParam().script);
    try {
        compile_script(script, {kInclude});
        FAIL() << "accepted:\n" << GetParam().script;
    } catch (const ScriptError &error) {
        std::string where = script.string() + ":" + std::to_string(GetParam().line);
        EXPECT_EQ(error.where().file + ":" + std::to_string(error.where().line), where);
        EXPECT_EQ(std::string(error.what()), where + ": " + error.message());
        EXPECT_NE(error.message().find(GetParam().message), std::string::npos) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, MalformedScript,
                         ::testing::ValuesIn(std::vector<MalformedCase>{
                             {"#if 1\n", 2, "unsupported directive '#if'"},
                             {"#include \"missing.h\"\n", 2, "cannot find include file 'missing.h'"},
                             {"#include missing.h\n", 2, "#include needs a file name"},
                             {"#define\n", 2, "#define needs a name"},
                             {"M MENU\nBEGIN\n  MENUITEM \"a\", 1\n  MENUITEM \"b, 2\nEND\n", 5,
                              "string is not closed"},
                             {"M MENU\nBEGIN\n  MENUITEM \"a\" 1\nEND\n", 4, "expected ',' after the item's text"},
                             {"M MENU\nBEGIN\n  MENUITEM \"a\", 1, BOLD\nEND\n", 4, "unknown menu option 'BOLD'"},
                             {"M MENU\nBEGIN\n  MENUITEM \"a\", 70000\nEND\n", 4, "menu item id 70000 is out of range"},
                             {"M MENU\nBEGIN\n  MENU \"a\", 1\nEND\n", 4, "expected MENUITEM, POPUP or END"},
                             {"M MENU\nBEGIN\n  POPUP \"a\"\n  BEGIN\n  END\nEND\n", 4, "has no items"},
                             {"M MENU\nBEGIN\n  MENUITEM \"a\", 1\n", 4, "unexpected end of file"},
                             {"D DIALOG 1, 2, 3\nBEGIN\nEND\n", 3, "expected ','"},
                             {"D DIALOG 1, 2, 3, 40000\nBEGIN\nEND\n", 2, "coordinate 40000 is out of range"},
                             {statement("STYLE GOOD | WS_NONSENSE"), 3, "'WS_NONSENSE' is not defined"},
                             {statement("STYLE LOOP"), 3, "'LOOP' refers to itself"},
                             {statement("STYLE FN(1)"), 3, "macro with arguments"},
                             {statement("STYLE CAST"), 3, "'CAST' does not stand for a number"},
                             {statement("MENUEX x"), 3, "unsupported dialog statement 'MENUEX'"},
                             {statement("CAPTION Title"), 3, "expected the caption in quotes"},
                             {control("LISTVIEW \"a\", 1, 1, 1, 1, 1"), 4, "unsupported control statement 'LISTVIEW'"},
                             {control("PUSHBUTTON \"a\", 1, 1, 1, 1"), 5, "expected ','"},
                             {control("EDITTEXT 1, 1, 1, 1, 1, ES_LEFT @"), 4, "unexpected character '@'"},
                             {control("CONTROL \"a\", 1, Tree, 0, 1, 1, 1, 1"), 4, "unknown control class 'Tree'"},
                             {control("LTEXT \"a\", 99999, 1, 1, 1, 1"), 4, "control id 99999 is out of range"},
                             {control("LTEXT \"a\\q\", 1, 1, 1, 1, 1"), 4, "unknown escape"},
                             {control("LTEXT \"a\", 0x1g, 1, 1, 1, 1"), 4, "malformed number"},
                             {control("LTEXT \"a\", 99999999999, 1, 1, 1, 1"), 4, "is too large"},
                             {"D DIALOGEX 1, 2, 3, 4\n", 2, "unsupported resource type 'DIALOGEX'"},
                             {"STRINGTABLE\nBEGIN\nEND\n", 2, "unsupported statement 'STRINGTABLE'"},
                             {"GOOD\n", 2, "unexpected end of file, expected a resource type"},
                             {"0 MENU\nBEGIN\nEND\n", 2, "resource id 0 is not between 1 and 65535"},
                             {"I ICON \"nowhere.ico\"\n", 2, "cannot read icon file 'nowhere.ico'"},
                             {"I ICON \"ids.h\"\n", 2, "not an icon file"},
                             {"/* never\nclosed\n", 2, "comment is not closed"}}));

// A 2 x 2 icon at 4 bits: a bottom-up colour bitmap and a mask.
std::vector<std::uint8_t> tiny_icon() {
    std::vector<std::uint8_t> bytes = {0, 0, 1,  0, 1, 0,                                  // header, one image
                                       2, 2, 16, 0, 1, 0, 4, 0, 0, 0, 0, 0, 22, 0, 0, 0};  // entry
    std::vector<std::uint8_t> info(40, 0);
    info[0] = 40, info[4] = 2, info[8] = 4, info[12] = 1, info[14] = 4;
    bytes.insert(bytes.end(), info.begin(), info.end());
    for (int i = 0; i < 16; ++i)  // palette: colour i is (r=i, g=0, b=0)
        bytes.insert(bytes.end(), {0, 0, static_cast<std::uint8_t>(i), 0});
    bytes.insert(bytes.end(), {0x12, 0, 0, 0, 0x34, 0, 0, 0});  // bottom row 1 2, top row 3 4
    bytes.insert(bytes.end(), {0x40, 0, 0, 0, 0x00, 0, 0, 0});  // bottom row: right pixel clear
    std::uint32_t size = static_cast<std::uint32_t>(bytes.size() - 22);
    bytes[14] = size & 0xFF, bytes[15] = size >> 8;
    return bytes;
}

TEST(IconReader, DecodesPaletteRowsAndMaskAndRefusesBrokenFiles) {
    IconImage image = read_icon(tiny_icon());
    ASSERT_EQ(image.width, 2);
    ASSERT_EQ(image.height, 2);
    EXPECT_EQ(image.pixels, (std::vector<std::uint32_t>{0xFF030000, 0xFF040000, 0xFF010000, 0x00020000}));
    auto bytes = tiny_icon();
    for (std::size_t length = 0; length < bytes.size(); ++length) {  // never reads past the end
        std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_THROW(read_icon(cut), IconFormatError) << "length " << length;
    }
    // Impossible headers: more colours than 4 bits hold, a width of 4098, compression.
    for (auto [at, value] : {std::pair{22 + 32, 17}, {22 + 5, 0x10}, {22 + 16, 2}}) {
        bytes = tiny_icon();
        bytes[at] = static_cast<std::uint8_t>(value);
        EXPECT_THROW(read_icon(bytes), IconFormatError) << at;
    }
}

TEST(Tool, ReportsTheFaultAndFailsWithoutLeavingOutput) {
    ScratchDir dir;
    auto script = dir.write("bad.rc", "M MENU\nBEGIN\n  MENUITEM \"a\" 1\nEND\n");
    auto output = dir.path_ / "out.cpp", errors = dir.path_ / "errors.txt";
    int status = std::system(
        (std::string(RC_COMPILE_PATH) + " -o " + output.string() + " " + script.string() + " 2>" + errors.string())
            .c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    std::string message;
    std::getline(std::ifstream(errors) >> std::noskipws, message);
    EXPECT_EQ(message, script.string() + ":3: expected ',' after the item's text, found number 1");
    EXPECT_FALSE(fs::exists(output));
}
