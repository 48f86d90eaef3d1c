#include "ui_script.h"

#include "display/headless_backend.h"
#include "prefix/prefix.h"
#include "menu.h"
#include "window_manager.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

namespace platform::user {
namespace {

using namespace std::chrono_literals;

std::string trim(std::string s) {
    auto start = s.find_first_not_of(" \t\r");
    if (start == std::string::npos)
        return {};
    auto end = s.find_last_not_of(" \t\r");
    return s.substr(start, end - start + 1);
}

std::string lower(std::string s) {
    for (auto &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string without_ampersands(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c != '&')
            out.push_back(c);
    return out;
}

const std::map<std::string, unsigned> &key_names() {
    static const std::map<std::string, unsigned> names{
        {"enter", VK_RETURN},   {"return", VK_RETURN}, {"escape", VK_ESCAPE}, {"esc", VK_ESCAPE}, {"tab", VK_TAB},
        {"shift+tab", VK_TAB},  {"up", VK_UP},         {"down", VK_DOWN},     {"left", VK_LEFT},  {"right", VK_RIGHT},
        {"pageup", VK_PRIOR},   {"pagedown", VK_NEXT}, {"home", VK_HOME},     {"end", VK_END},    {"delete", VK_DELETE},
        {"backspace", VK_BACK}, {"space", VK_SPACE},   {"alt", VK_MENU},      {"f10", VK_F10}};
    return names;
}

const std::map<std::string, int> &scroll_codes() {
    static const std::map<std::string, int> codes{
        {"lineup", SB_LINEUP}, {"linedown", SB_LINEDOWN}, {"pageup", SB_PAGEUP},       {"pagedown", SB_PAGEDOWN},
        {"top", SB_TOP},       {"bottom", SB_BOTTOM},     {"endscroll", SB_ENDSCROLL}, {"thumb", SB_THUMBPOSITION}};
    return codes;
}

display::HeadlessBackend *screen() {
    return dynamic_cast<display::HeadlessBackend *>(&display::backend());
}

std::vector<WindowPtr> visible_top_levels() {
    std::vector<WindowPtr> result;
    if (auto *headless = screen())
        for (auto id : headless->stacking_order())
            if (auto window = window_of_surface(id))
                result.push_back(window);
    return result;
}

WindowPtr window_titled(const std::string &title) {
    auto windows = visible_top_levels();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (screen()->title((*it)->surface_id) == title)
            return *it;
    return nullptr;
}

WindowPtr active_window() {
    auto windows = visible_top_levels();
    return windows.empty() ? nullptr : windows.back();
}

// Waits until the thread that owns `window` has handled all its input, messages and painting and waits for
// more (a thread busy elsewhere is given five seconds).
void settle(const WindowPtr &window) {
    if (window)
        window->queue->wait_until_idle(QS_INPUT | QS_POSTMESSAGE | QS_PAINT | QS_SENDMESSAGE,
                                       std::chrono::steady_clock::now() + 5s);
}

// Waits until `found` gives a window, looking again at each change of what the screen shows; null when
// `deadline` passed first.
WindowPtr wait_for_window(const std::function<WindowPtr()> &found, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        auto seen = screen()->changes();
        if (auto window = found())
            return window;
        if (!screen()->wait_for_change(seen, deadline))
            return found();
    }
}

POINT on_screen(const WindowPtr &window, POINT surface_point) {
    auto top = top_level_of(window);
    return {top->rect.left + surface_point.x, top->rect.top + surface_point.y};
}

POINT center_of(const WindowPtr &window) {
    RECT r = surface_rect(window);
    return on_screen(window, {(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

bool find_in_menu(MenuData *menu, const std::string &text) {
    if (!menu)
        return false;
    for (auto &entry : menu->items)
        if (without_ampersands(entry.text) == text || (entry.popup && find_in_menu(menu_data(entry.popup), text)))
            return true;
    return false;
}

bool do_menu(const std::string &text, std::string &error) {
    auto window = active_window();
    while (window && !window->menu && window->owner)
        window = find_window_quiet(window->owner);
    if (!window || !window->menu) {
        error = "the active window has no menu";
        return false;
    }
    std::string wanted = without_ampersands(text);
    auto bar = menu_bar_layout(window);
    for (auto &item : bar) {
        if (!item.entry->popup || !find_in_menu(menu_data(item.entry->popup), wanted))
            continue;
        screen()->click(
            on_screen(window, {(item.area.left + item.area.right) / 2, (item.area.top + item.area.bottom) / 2}));
        // The pop-up is the topmost window once it shows; its rows are its text once the menu loop waits.
        auto popup = wait_for_window(
            [] {
                auto windows = visible_top_levels();
                return windows.empty() || windows.back()->window_class->name != "#32768" ? nullptr : windows.back();
            },
            std::chrono::steady_clock::now() + 4s);
        settle(window);
        for (auto &run : popup ? popup->surface->texts() : std::vector<display::TextRun>{})
            if (run.text == wanted) {
                screen()->click(
                    on_screen(popup, {(run.area.left + run.area.right) / 2, (run.area.top + run.area.bottom) / 2}));
                settle(window);
                return true;
            }
        error = "the menu did not open";
        return false;
    }
    error = "no menu item \"" + text + "\"";
    return false;
}

bool do_click(const std::string &text, std::string &error) {
    auto window = active_window();
    if (!window) {
        error = "no window is showing";
        return false;
    }
    std::string wanted = without_ampersands(text);
    for (HWND child_handle : window->children) {
        auto child = find_window_quiet(child_handle);
        if (child && (child->style & WS_VISIBLE) && lower(child->window_class->name) == "button" &&
            without_ampersands(child->text) == wanted) {
            screen()->click(center_of(child));
            settle(window);
            return true;
        }
    }
    error = "no button \"" + text + "\" in the active window";
    return false;
}

bool play_line(const ScriptLine &line, std::filesystem::path &directory, std::string &error) {
    const std::string &arg = line.argument;
    if (line.verb == "menu")
        return do_menu(arg, error);
    if (line.verb == "click")
        return do_click(arg, error);
    if (line.verb == "type") {
        auto window = active_window();
        if (!window || !screen()->type_text(arg)) {
            error = "no window to type into";
            return false;
        }
        settle(window);
        return true;
    }
    if (line.verb == "key") {
        auto window = active_window();
        std::string name = lower(arg);
        if (!window || !screen()->key(key_names().at(name), name == "shift+tab")) {
            error = "no window for the key";
            return false;
        }
        settle(window);
        return true;
    }
    if (line.verb == "scroll" || line.verb == "doubleclick" || line.verb == "waitfor") {
        std::string title = arg;
        std::string rest;
        if (line.verb == "scroll") {
            // The code is the last word (or the last two for "Thumb N").
            std::istringstream words(arg);
            std::vector<std::string> parts;
            for (std::string w; words >> w;)
                parts.push_back(w);
            std::size_t code_words = (parts.size() >= 3 && lower(parts[parts.size() - 2]) == "thumb") ? 2 : 1;
            rest = arg.substr(arg.rfind(parts[parts.size() - code_words]));
            title = trim(arg.substr(0, arg.size() - rest.size()));
        }
        if (line.verb == "waitfor") {
            int limit = 10000;
            auto space = arg.find_last_of(' ');
            if (space != std::string::npos && arg.find_first_not_of("0123456789", space + 1) == std::string::npos &&
                space + 1 < arg.size()) {
                limit = std::atoi(arg.c_str() + space + 1);
                title = trim(arg.substr(0, space));
            }
            auto shown = wait_for_window([&] { return window_titled(title); },
                                         std::chrono::steady_clock::now() + std::chrono::milliseconds(limit));
            if (!shown) {
                error = "no window \"" + title + "\" within " + std::to_string(limit) + " ms";
                return false;
            }
            settle(shown);
            return true;
        }
        auto window = window_titled(title);
        if (!window) {
            error = "no window \"" + title + "\"";
            return false;
        }
        if (line.verb == "doubleclick") {
            RECT client = client_in_surface(window);
            screen()->click(on_screen(window, {(client.left + client.right) / 2, (client.top + client.bottom) / 2}),
                            true);
        } else {
            std::istringstream words(rest);
            std::string code_name;
            int position = 0;
            words >> code_name >> position;
            int code = scroll_codes().at(lower(code_name));
            // What the scroll bar itself would send: the code, then the end of scrolling.
            PostMessageA(window->handle, WM_VSCROLL, MAKEWPARAM(code, position), 0);
            if (code != SB_ENDSCROLL)
                PostMessageA(window->handle, WM_VSCROLL, SB_ENDSCROLL, 0);
        }
        settle(window);
        return true;
    }
    if (line.verb == "wait") {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(arg.c_str())));
        return true;
    }
    if (line.verb == "directory") {
        directory = directory / arg;
        std::error_code ignored;
        std::filesystem::create_directories(directory, ignored);
        return true;
    }
    if (line.verb == "shot") {
        if (!screen()->write_screen_png(directory / (arg + ".png"))) {
            error = "cannot write " + (directory / (arg + ".png")).string();
            return false;
        }
        std::ofstream text(directory / (arg + ".txt"));
        for (auto &window : visible_top_levels()) {
            text << "[" << screen()->title(window->surface_id) << "]\n";
            for (auto &run : window->surface->texts())
                text << "  " << run.text << "\n";
        }
        if (!text) {
            error = "cannot write " + (directory / (arg + ".txt")).string();
            return false;
        }
        return true;
    }
    if (line.verb == "quit") {
        auto windows = visible_top_levels();
        WindowPtr main;
        for (auto &w : windows)
            if (!w->owner && (!main || w->handle < main->handle))
                main = w;
        if (!main) {
            error = "no main window";
            return false;
        }
        // A main window under a modal box takes no input, its close box included; the program is told to
        // quit instead, which ends each modal loop and then its own message loop, as on Windows.
        if (is_enabled(*main))
            screen()->close(main->surface_id);
        else
            main->queue->post_quit(0);
        return true;
    }
    error = "unknown command \"" + line.verb + "\"";
    return false;
}

}  // namespace

bool parse_ui_script(const std::string &text, std::vector<ScriptLine> &lines, std::string &error) {
    static const std::map<std::string, bool> verbs{
        {"menu", true}, {"click", true},   {"type", true}, {"key", true},   {"scroll", true},   {"doubleclick", true},
        {"wait", true}, {"waitfor", true}, {"shot", true}, {"quit", false}, {"directory", true}};
    std::istringstream input(text);
    std::string raw;
    int number = 0;
    while (std::getline(input, raw)) {
        ++number;
        std::string content = trim(raw);
        if (content.empty() || content[0] == '#')
            continue;
        auto space = content.find_first_of(" \t");
        ScriptLine line{number, lower(content.substr(0, space)),
                        space == std::string::npos ? "" : trim(content.substr(space))};
        auto fail = [&](const std::string &message) {
            error = "script:" + std::to_string(number) + ": " + message;
            return false;
        };
        auto verb = verbs.find(line.verb);
        if (verb == verbs.end())
            return fail("unknown command \"" + line.verb + "\"");
        if (verb->second && line.argument.empty())
            return fail(line.verb + " needs an argument");
        if (!verb->second && !line.argument.empty())
            return fail(line.verb + " takes no argument");
        if (line.verb == "key" && !key_names().count(lower(line.argument)))
            return fail("unknown key \"" + line.argument + "\"");
        if (line.verb == "wait" && line.argument.find_first_not_of("0123456789") != std::string::npos)
            return fail("wait needs milliseconds");
        if (line.verb == "scroll") {
            std::istringstream words(line.argument);
            std::vector<std::string> parts;
            for (std::string w; words >> w;)
                parts.push_back(lower(w));
            bool thumb = parts.size() >= 3 && parts[parts.size() - 2] == "thumb" &&
                         parts.back().find_first_not_of("0123456789") == std::string::npos;
            if (parts.size() < 2 || (!thumb && (!scroll_codes().count(parts.back()) || parts.back() == "thumb")))
                return fail("scroll needs a window title and a code");
        }
        if (line.verb == "shot" && line.argument.find('/') != std::string::npos)
            return fail("a shot name is a plain file name");
        lines.push_back(std::move(line));
    }
    return true;
}

bool play_ui_script(const std::vector<ScriptLine> &lines, const std::filesystem::path &base, std::string &error) {
    if (!screen()) {
        error = "script:0: UI scripts need the headless screen";
        return false;
    }
    std::filesystem::path directory = base;
    for (const auto &line : lines) {
        std::string message;
        if (!play_line(line, directory, message)) {
            error = "script:" + std::to_string(line.number) + ": " + message;
            return false;
        }
    }
    return true;
}

void start_configured_ui_script() {
    static std::once_flag once;
    std::call_once(once, [] {
        auto setting = prefix::setting("display", "script");
        if (!setting || !screen())
            return;
        std::filesystem::path file = prefix::resolve(*setting);
        std::thread([file] {
            std::ifstream in(file);
            std::stringstream content;
            content << in.rdbuf();
            std::vector<ScriptLine> lines;
            std::string error;
            if (!in)
                error = "script:0: cannot read " + file.string();
            else if (parse_ui_script(content.str(), lines, error))
                play_ui_script(lines, file.parent_path(), error);
            if (!error.empty()) {
                std::fprintf(stderr, "%s\n", error.c_str());
                std::fflush(stderr);
                std::_Exit(2);
            }
        }).detach();
    });
}

}  // namespace platform::user
