// The single-line edit control's text changes: the selection, replacing it within the limit, the one step of
// undo, the clipboard commands and the notifications the parent gets for each.
#pragma once

#include "window.h"

#include <string>
#include <utility>

namespace platform::user::edit {

// Start and end of the selection, start first.
std::pair<int, int> selection(const WindowPtr &window);
// Scrolls so that the caret is inside the visible part.
void keep_caret_visible(HWND hwnd, const WindowPtr &window);
void move_caret(HWND hwnd, const WindowPtr &window, int to, bool extend);
// The word around `index` and the blanks after it, as a double click selects it.
std::pair<int, int> word_at(const std::string &text, int index);
// Where Ctrl+Left and Ctrl+Right go: the start of the word before or after `index`.
int word_left(const std::string &text, int index);
int word_right(const std::string &text, int index);

// What the user selected becomes the primary selection (a password stays private).
void offer_selection(const WindowPtr &window);

// Replaces the selection with `with`, as typing, a paste or EM_REPLACESEL do: what goes past the limit is cut
// off (EN_MAXTEXT), the change can be undone when `undoable`, then EN_UPDATE and EN_CHANGE. False when nothing
// could be inserted although something was to be.
bool replace_selection(HWND hwnd, const WindowPtr &window, std::string with, bool undoable);
// ES_UPPERCASE and ES_LOWERCASE convert whatever enters the text: typed, pasted, set or given at creation.
void convert_case(const WindowPtr &window, std::string &text);
// The text set whole (WM_SETTEXT): no limit, no undo.
void text_was_set(HWND hwnd, const WindowPtr &window);
void empty_undo(const WindowPtr &window);
bool can_undo(const WindowPtr &window);
void undo(HWND hwnd, const WindowPtr &window);

void copy(HWND hwnd, const WindowPtr &window);
void cut(HWND hwnd, const WindowPtr &window);
void clear(HWND hwnd, const WindowPtr &window);
// Pastes the clipboard, or the primary selection (the middle button).
void paste(HWND hwnd, const WindowPtr &window, bool from_primary = false);

}  // namespace platform::user::edit
