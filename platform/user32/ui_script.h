// UI scripts: a line-based list of user actions that the headless screen plays against the running
// program, named by [display] script in platform.conf or PLATFORM_UI_SCRIPT.
//
//   menu TEXT                  a menu item of the active window by its text ('&' ignored)
//   click TEXT                 a button or check box of the active window by its text
//   type TEXT                  characters into the focused control
//   key NAME                   Enter, Escape, Tab, Shift+Tab, Up, Down, Left, Right, PageUp, PageDown,
//                              Home, End, Delete, Backspace, Space, Alt, F10
//   scroll WINDOW-TITLE CODE   LineUp, LineDown, PageUp, PageDown, Top, Bottom, EndScroll or Thumb N
//   doubleclick WINDOW-TITLE   in the middle of the window's client area
//   wait MS
//   waitfor WINDOW-TITLE [MS]  until a window with that title shows (default limit 10000 ms)
//   directory PATH             where shot writes (relative to the script's folder; default that folder)
//   shot NAME                  NAME.png of the screen and NAME.txt of every visible window's text
//   quit                       as the close box of the main window; while a modal box disables the main
//                              window, WM_QUIT to its thread, which ends the modal loops and the program's
//
// Blank lines and lines starting with '#' are skipped. A line the player cannot carry out stops the
// program with "script:LINE: message" on standard error and exit code 2.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace platform::user {

struct ScriptLine {
    int number = 0;
    std::string verb;
    std::string argument;  // the rest of the line, trimmed
};

// Parses a script; on a malformed line returns false with "script:LINE: message" in `error`.
bool parse_ui_script(const std::string &text, std::vector<ScriptLine> &lines, std::string &error);

// Plays a parsed script on the calling thread (not a UI thread); false with the message on failure.
bool play_ui_script(const std::vector<ScriptLine> &lines, const std::filesystem::path &base, std::string &error);

// Starts the configured script on a thread of its own when the headless screen is in use; once.
void start_configured_ui_script();

}  // namespace platform::user
