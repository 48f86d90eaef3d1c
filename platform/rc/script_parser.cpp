#include "script_parser.h"

#include <array>
#include <fstream>
#include <iterator>
#include <limits>

#include "expression.h"
#include "ico_reader.h"

namespace platform::rc {
namespace {

namespace fs = std::filesystem;

// Window-style bits the compiler itself adds; the same published values as the system headers.
constexpr std::uint32_t kWsPopup = 0x80000000u, kWsChild = 0x40000000u, kWsVisible = 0x10000000u;
constexpr std::uint32_t kWsCaption = 0x00C00000u, kWsBorder = 0x00800000u, kWsSysMenu = 0x00080000u;
constexpr std::uint32_t kWsGroup = 0x00020000u, kWsTabStop = 0x00010000u;
constexpr std::uint32_t kDsSetFont = 0x40u;
constexpr std::uint32_t kMfGrayed = 0x1, kMfDisabled = 0x2, kMfChecked = 0x8, kMfPopup = 0x10;
constexpr std::uint32_t kMfMenuBarBreak = 0x20, kMfMenuBreak = 0x40, kMfSeparator = 0x800, kMfHelp = 0x4000;
constexpr std::uintmax_t kMaxIconFileBytes = 1u << 20;

// The control statements and what each implies, as the resource compiler has always applied it.
enum class ControlForm { Text, NoText, Icon };
struct ControlKind {
    const char *keyword;
    ControlForm form;
    const char *class_name;
    std::uint32_t style;
};
constexpr std::array kControlKinds = {
    ControlKind{"LTEXT", ControlForm::Text, "STATIC", 0x0 /*SS_LEFT*/ | kWsGroup},
    ControlKind{"RTEXT", ControlForm::Text, "STATIC", 0x2 /*SS_RIGHT*/ | kWsGroup},
    ControlKind{"CTEXT", ControlForm::Text, "STATIC", 0x1 /*SS_CENTER*/ | kWsGroup},
    ControlKind{"PUSHBUTTON", ControlForm::Text, "BUTTON", 0x0 /*BS_PUSHBUTTON*/ | kWsTabStop},
    ControlKind{"DEFPUSHBUTTON", ControlForm::Text, "BUTTON", 0x1 /*BS_DEFPUSHBUTTON*/ | kWsTabStop},
    ControlKind{"CHECKBOX", ControlForm::Text, "BUTTON", 0x2 /*BS_CHECKBOX*/ | kWsTabStop},
    ControlKind{"AUTOCHECKBOX", ControlForm::Text, "BUTTON", 0x3 /*BS_AUTOCHECKBOX*/ | kWsTabStop},
    ControlKind{"GROUPBOX", ControlForm::Text, "BUTTON", 0x7 /*BS_GROUPBOX*/},
    ControlKind{"EDITTEXT", ControlForm::NoText, "EDIT", 0x0 /*ES_LEFT*/ | kWsBorder | kWsTabStop},
    ControlKind{"SCROLLBAR", ControlForm::NoText, "SCROLLBAR", 0x0 /*SBS_HORZ*/},
    ControlKind{"ICON", ControlForm::Icon, "STATIC", 0x3 /*SS_ICON*/},
};

// Class names a CONTROL statement may give as a keyword or a string; kept in one spelling.
constexpr std::array kPredefinedClasses = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};

constexpr std::array kMemoryOptions = {"DISCARDABLE", "MOVEABLE",   "FIXED",          "PURE",  "IMPURE",
                                       "PRELOAD",     "LOADONCALL", "NONDISCARDABLE", "SHARED"};

std::string upper(std::string text) {
    for (auto &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

class Parser {
public:
    explicit Parser(const PreprocessedScript &source)
        : source_(source), cursor_(source.tokens, source.end), expressions_(source.macros) {}

    Script run() {
        script_.dependencies = source_.dependencies;
        while (!cursor_.at_end())
            resource();
        return std::move(script_);
    }

private:
    void resource() {
        const Token &first = cursor_.next("a resource");
        for (const char *statement : {"STRINGTABLE", "LANGUAGE", "VERSION", "CHARACTERISTICS"}) {
            if (keyword_equals(first, statement))
                throw ScriptError(first.where, "unsupported statement '" + first.text + "'");
        }
        ResourceName name = resource_name(first);
        const Token &type = cursor_.next("a resource type after the name");
        skip_memory_options();
        if (keyword_equals(type, "MENU"))
            script_.menus.push_back(menu(std::move(name)));
        else if (keyword_equals(type, "DIALOG"))
            script_.dialogs.push_back(dialog(std::move(name), type.where));
        else if (keyword_equals(type, "ICON"))
            script_.icons.push_back(icon(std::move(name), type.where));
        else
            throw ScriptError(type.where, "unsupported resource type '" + type.text + "'");
    }

    ResourceName resource_name(const Token &token) {
        ResourceName name;
        if (token.kind == TokenKind::String ||
            (token.kind == TokenKind::Identifier && !expressions_.is_defined(token.text))) {
            if (token.text.empty())
                throw ScriptError(token.where, "a resource name may not be empty");
            name.text = token.text;
            return name;
        }
        if (token.kind != TokenKind::Identifier && token.kind != TokenKind::Number)
            throw ScriptError(token.where, "expected a resource name, found '" + token.text + "'");
        std::vector<Token> one{token};
        TokenCursor single(one, token.where);
        std::int64_t value = expressions_.value(single);
        if (value < 1 || value > 0xFFFF)
            throw ScriptError(token.where, "resource id " + std::to_string(value) + " is not between 1 and 65535");
        name.is_number = true;
        name.number = static_cast<std::uint16_t>(value);
        return name;
    }

    void skip_memory_options() {
        for (bool again = true; again;) {
            again = false;
            for (const char *option : kMemoryOptions)
                again = again || cursor_.accept_keyword(option);
        }
    }

    void begin_block(const std::string &what) {
        if (cursor_.accept_keyword("BEGIN") || cursor_.accept_punct('{'))
            return;
        const Token &token = cursor_.next("BEGIN " + what);
        throw ScriptError(token.where, "expected BEGIN " + what + ", found '" + token.text + "'");
    }

    bool end_block() { return cursor_.accept_keyword("END") || cursor_.accept_punct('}'); }

    std::string string_argument(const std::string &what) {
        const Token &token = cursor_.next(what);
        if (token.kind != TokenKind::String)
            throw ScriptError(token.where, "expected " + what + " in quotes, found '" + token.text + "'");
        return token.text;
    }

    std::int64_t ranged(std::int64_t low, std::int64_t high, const std::string &what) {
        Location where = cursor_.here();
        std::int64_t value = expressions_.value(cursor_);
        if (value < low || value > high)
            throw ScriptError(where, what + " " + std::to_string(value) + " is out of range");
        return value;
    }

    std::int16_t coordinate() {
        return static_cast<std::int16_t>(
            ranged(std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max(), "coordinate"));
    }

    void comma(const std::string &context) { cursor_.expect_punct(',', context); }

    // ---- MENU -------------------------------------------------------------------------------------------

    MenuResource menu(ResourceName name) {
        MenuResource result{std::move(name), {}};
        begin_block("to open the menu");
        result.items = menu_items();
        if (result.items.empty())
            throw ScriptError(cursor_.here(), "a menu needs at least one item");
        return result;
    }

    std::vector<MenuEntry> menu_items() {
        std::vector<MenuEntry> items;
        while (!end_block()) {
            const Token &statement = cursor_.next("MENUITEM, POPUP or END");
            MenuEntry entry;
            if (keyword_equals(statement, "MENUITEM")) {
                if (cursor_.accept_keyword("SEPARATOR")) {
                    entry.flags = kMfSeparator;
                } else {
                    entry.text = string_argument("the item's text");
                    comma("after the item's text");
                    entry.id = static_cast<std::uint16_t>(ranged(0, 0xFFFF, "menu item id"));
                    entry.flags = menu_options();
                }
            } else if (keyword_equals(statement, "POPUP")) {
                entry.text = string_argument("the pop-up's text");
                entry.flags = menu_options() | kMfPopup;
                begin_block("to open the pop-up");
                entry.children = menu_items();
                if (entry.children.empty())
                    throw ScriptError(statement.where, "pop-up \"" + entry.text + "\" has no items");
            } else {
                throw ScriptError(statement.where,
                                  "expected MENUITEM, POPUP or END in a menu, found '" + statement.text + "'");
            }
            items.push_back(std::move(entry));
        }
        return items;
    }

    std::uint32_t menu_options() {
        static constexpr std::pair<const char *, std::uint32_t> kOptions[] = {
            {"CHECKED", kMfChecked},           {"GRAYED", kMfGrayed},       {"INACTIVE", kMfDisabled},
            {"MENUBARBREAK", kMfMenuBarBreak}, {"MENUBREAK", kMfMenuBreak}, {"HELP", kMfHelp}};
        std::uint32_t flags = 0;
        while (cursor_.accept_punct(',')) {
            const Token &option = cursor_.next("a menu option");
            bool known = false;
            for (auto [keyword, flag] : kOptions) {
                if (keyword_equals(option, keyword)) {
                    flags |= flag;
                    known = true;
                }
            }
            if (!known)
                throw ScriptError(option.where, "unknown menu option '" + option.text + "'");
        }
        return flags;
    }

    // ---- DIALOG -----------------------------------------------------------------------------------------

    DialogResource dialog(ResourceName name, const Location &where) {
        DialogResource result;
        result.name = std::move(name);
        result.x = coordinate();
        comma("after the dialog's x");
        result.y = coordinate();
        comma("after the dialog's y");
        result.cx = coordinate();
        comma("after the dialog's width");
        result.cy = coordinate();

        bool has_style = false, has_caption = false, has_font = false;
        std::uint32_t style = 0;
        while (!cursor_.peek_keyword("BEGIN") &&
               !(cursor_.peek() && cursor_.peek()->text == "{" && cursor_.peek()->kind == TokenKind::Punct)) {
            const Token &option = cursor_.next("BEGIN to open the dialog's controls");
            if (keyword_equals(option, "STYLE")) {
                style = expressions_.style(cursor_, 0);
                has_style = true;
            } else if (keyword_equals(option, "EXSTYLE")) {
                result.ex_style = expressions_.style(cursor_, 0);
            } else if (keyword_equals(option, "CAPTION")) {
                result.caption = string_argument("the caption");
                has_caption = true;
            } else if (keyword_equals(option, "FONT")) {
                result.font_point_size = static_cast<std::uint16_t>(ranged(1, 0xFFFF, "font size"));
                comma("after the font size");
                result.font_face = string_argument("the font's face name");
                has_font = true;
            } else if (keyword_equals(option, "CLASS")) {
                result.class_name = string_argument("the class name");
            } else if (keyword_equals(option, "MENU")) {
                const Token &menu_name = cursor_.next("the menu's name");
                if (menu_name.kind == TokenKind::Punct)
                    throw ScriptError(menu_name.where, "expected the menu's name, found '" + menu_name.text + "'");
                result.menu = menu_name.text;
            } else {
                throw ScriptError(option.where, "unsupported dialog statement '" + option.text + "'");
            }
        }
        // Without STYLE a dialog is a bordered pop-up with a system menu; CAPTION and FONT add their bits.
        result.style = (has_style ? style : kWsPopup | kWsBorder | kWsSysMenu) | (has_caption ? kWsCaption : 0) |
                       (has_font ? kDsSetFont : 0);
        begin_block("to open the dialog's controls");
        while (!end_block())
            result.controls.push_back(control());
        (void)where;
        return result;
    }

    ControlEntry control() {
        const Token &statement = cursor_.next("a control or END");
        ControlEntry entry;
        if (keyword_equals(statement, "CONTROL"))
            return generic_control();
        const ControlKind *kind = nullptr;
        for (const auto &candidate : kControlKinds) {
            if (keyword_equals(statement, candidate.keyword))
                kind = &candidate;
        }
        if (!kind)
            throw ScriptError(statement.where, "unsupported control statement '" + statement.text + "'");

        entry.class_name = kind->class_name;
        if (kind->form != ControlForm::NoText) {
            entry.text = control_text(kind->form == ControlForm::Icon);
            comma("after the control's text");
        }
        entry.id = control_id();
        comma("after the control's id");
        entry.x = coordinate();
        comma("after the control's x");
        entry.y = coordinate();
        std::uint32_t style = kind->style | kWsChild | kWsVisible;
        bool size_optional = kind->form == ControlForm::Icon;
        if (!size_optional || cursor_.accept_punct(',')) {
            if (!size_optional)
                comma("after the control's y");
            entry.cx = coordinate();
            comma("after the control's width");
            entry.cy = coordinate();
        }
        if (kind->form == ControlForm::Icon)
            entry.cx = entry.cy = 0;  // an icon control takes the icon's size, whatever the statement says
        if (cursor_.accept_punct(','))
            style = expressions_.style(cursor_, style);
        if (cursor_.accept_punct(','))
            entry.ex_style = expressions_.style(cursor_, 0);
        entry.style = style;
        return entry;
    }

    // CONTROL text, id, class, style, x, y, cx, cy [, exstyle]
    ControlEntry generic_control() {
        ControlEntry entry;
        entry.text = control_text(false);
        comma("after the control's text");
        entry.id = control_id();
        comma("after the control's id");
        const Token &cls = cursor_.next("the control's class");
        if (cls.kind != TokenKind::String && cls.kind != TokenKind::Identifier)
            throw ScriptError(cls.where, "expected the control's class, found '" + cls.text + "'");
        entry.class_name = cls.text;
        bool predefined_class = false;
        for (const char *predefined : kPredefinedClasses) {
            if (upper(cls.text) == predefined) {
                entry.class_name = predefined;
                predefined_class = true;
            }
        }
        if (cls.kind == TokenKind::Identifier && !predefined_class)
            throw ScriptError(cls.where, "unknown control class '" + cls.text + "' (a custom class goes in quotes)");
        comma("after the control's class");
        entry.style = expressions_.style(cursor_, kWsChild | kWsVisible);
        comma("after the control's style");
        entry.x = coordinate();
        comma("after the control's x");
        entry.y = coordinate();
        comma("after the control's y");
        entry.cx = coordinate();
        comma("after the control's width");
        entry.cy = coordinate();
        if (cursor_.accept_punct(','))
            entry.ex_style = expressions_.style(cursor_, 0);
        return entry;
    }

    // A control's text, or for an icon the icon's name (which may be written bare); an ordinal is kept as "#n".
    std::string control_text(bool may_be_name) {
        const Token *token = cursor_.peek();
        if (token && token->kind == TokenKind::String)
            return cursor_.next("the control's text").text;
        if (may_be_name && token && token->kind == TokenKind::Identifier && !expressions_.is_defined(token->text))
            return cursor_.next("the control's text").text;
        return "#" + std::to_string(ranged(0, 0xFFFF, "resource ordinal"));
    }

    std::int32_t control_id() { return static_cast<std::int32_t>(ranged(-1, 0xFFFF, "control id")); }

    // ---- ICON -------------------------------------------------------------------------------------------

    IconResource icon(ResourceName name, const Location &where) {
        std::string file = string_argument("the icon's file name");
        fs::path path = source_.directory / file;
        std::error_code ec;
        auto size = fs::file_size(path, ec);
        if (ec || !fs::is_regular_file(path, ec))
            throw ScriptError(where, "cannot read icon file '" + file + "'");
        if (size > kMaxIconFileBytes)
            throw ScriptError(where, "icon file '" + file + "' is too large");
        std::ifstream in(path, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        script_.dependencies.push_back(path.string());
        try {
            IconImage image = read_icon(bytes);
            return IconResource{std::move(name), image.width, image.height, std::move(image.pixels)};
        } catch (const IconFormatError &error) {
            throw ScriptError(where, "'" + file + "': " + error.what());
        }
    }

    const PreprocessedScript &source_;
    TokenCursor cursor_;
    ExpressionReader expressions_;
    Script script_;
};

}  // namespace

Script parse_script(const PreprocessedScript &source) {
    return Parser(source).run();
}

Script compile_script(const fs::path &script, const std::vector<fs::path> &include_dirs) {
    return parse_script(preprocess(script, include_dirs));
}

}  // namespace platform::rc
