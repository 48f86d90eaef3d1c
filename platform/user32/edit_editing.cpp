// Changing an edit control's text: limit, undo and notifications.
#include "edit_editing.h"

#include "clipboard.h"
#include "controls.h"

#include <algorithm>
#include <cctype>

namespace platform::user::edit {
namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// EN_UPDATE before the control shows the new text, EN_CHANGE after.
void text_changed(HWND hwnd) {
    InvalidateRect(hwnd, nullptr, TRUE);
    notify_parent(hwnd, EN_UPDATE);
    notify_parent(hwnd, EN_CHANGE);
}

// Remembers a change for undo. Typing on at the end of the last insertion, and deleting on from where the
// last deletion was, extend the step; anything else starts a new one.
void record(ControlState &state, int start, const std::string &removed, int inserted) {
    bool extends_insertion = removed.empty() && state.undo_inserted > 0 && start == state.undo_at + state.undo_inserted;
    bool pure_deletion = inserted == 0 && state.undo_inserted == 0 && !state.undo_removed.empty();
    if (extends_insertion) {
        state.undo_inserted += inserted;
    } else if (pure_deletion && start == state.undo_at) {
        state.undo_removed += removed;  // Delete, again and again
    } else if (pure_deletion && start + static_cast<int>(removed.size()) == state.undo_at) {
        state.undo_removed.insert(0, removed);  // Backspace, again and again
        state.undo_at = start;
    } else if (removed.empty() && inserted > 0 && state.undo_inserted == 0 && start == state.undo_at &&
               !state.undo_removed.empty()) {
        state.undo_inserted = inserted;  // typing where text was just deleted replaces it
    } else {
        state.undo_at = start;
        state.undo_inserted = inserted;
        state.undo_removed = removed;
    }
}

}  // namespace

void convert_case(const WindowPtr &window, std::string &text) {
    for (auto &c : text) {
        if (window->style & ES_UPPERCASE)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        else if (window->style & ES_LOWERCASE)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
}

std::pair<int, int> selection(const WindowPtr &window) {
    return std::minmax(window->control.caret, window->control.anchor);
}

void move_caret(HWND hwnd, const WindowPtr &window, int to, bool extend) {
    window->control.caret = std::clamp(to, 0, static_cast<int>(window->text.size()));
    if (!extend)
        window->control.anchor = window->control.caret;
    keep_caret_visible(hwnd, window);
    InvalidateRect(hwnd, nullptr, TRUE);
}

std::pair<int, int> word_at(const std::string &text, int index) {
    int length = static_cast<int>(text.size());
    index = std::clamp(index, 0, length);
    if (index == length && index > 0)
        --index;
    if (length == 0)
        return {0, 0};
    bool blank = is_blank(text[static_cast<std::size_t>(index)]);
    int start = index, end = index;
    while (start > 0 && is_blank(text[static_cast<std::size_t>(start - 1)]) == blank)
        --start;
    while (end < length && is_blank(text[static_cast<std::size_t>(end)]) == blank)
        ++end;
    while (!blank && end < length && is_blank(text[static_cast<std::size_t>(end)]))
        ++end;
    return {start, end};
}

int word_left(const std::string &text, int index) {
    while (index > 0 && is_blank(text[static_cast<std::size_t>(index - 1)]))
        --index;
    while (index > 0 && !is_blank(text[static_cast<std::size_t>(index - 1)]))
        --index;
    return index;
}

int word_right(const std::string &text, int index) {
    int length = static_cast<int>(text.size());
    while (index < length && !is_blank(text[static_cast<std::size_t>(index)]))
        ++index;
    while (index < length && is_blank(text[static_cast<std::size_t>(index)]))
        ++index;
    return index;
}

void offer_selection(const WindowPtr &window) {
    auto [start, end] = selection(window);
    if (start < end && !(window->style & ES_PASSWORD))
        offer_primary(window->text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

bool replace_selection(HWND hwnd, const WindowPtr &window, std::string with, bool undoable) {
    auto &state = window->control;
    auto [start, end] = selection(window);
    std::string &text = window->text;
    convert_case(window, with);
    long long room = static_cast<long long>(state.limit) - static_cast<long long>(text.size()) + (end - start);
    bool cut_short = static_cast<long long>(with.size()) > std::max(0LL, room);
    // What does not fit is dropped; the parent hears of it, and of a change even when nothing was inserted.
    if (cut_short) {
        with.resize(static_cast<std::size_t>(std::max(0LL, room)));
        notify_parent(hwnd, EN_MAXTEXT);
    }
    std::string removed = text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
    text.replace(static_cast<std::size_t>(start), removed.size(), with);
    if (undoable)
        record(state, start, removed, static_cast<int>(with.size()));
    else
        empty_undo(window);
    state.caret = state.anchor = start + static_cast<int>(with.size());
    keep_caret_visible(hwnd, window);
    text_changed(hwnd);
    return !cut_short || !with.empty();
}

void text_was_set(HWND hwnd, const WindowPtr &window) {
    convert_case(window, window->text);
    auto &state = window->control;
    state.caret = state.anchor = 0;
    state.scroll = 0;
    empty_undo(window);
    text_changed(hwnd);
}

void empty_undo(const WindowPtr &window) {
    window->control.undo_at = window->control.undo_inserted = 0;
    window->control.undo_removed.clear();
}

bool can_undo(const WindowPtr &window) {
    return window->control.undo_inserted > 0 || !window->control.undo_removed.empty();
}

void undo(HWND hwnd, const WindowPtr &window) {
    auto &state = window->control;
    if (!can_undo(window))
        return;
    std::string &text = window->text;
    int at = std::min(state.undo_at, static_cast<int>(text.size()));
    auto count = std::min<std::size_t>(static_cast<std::size_t>(state.undo_inserted), text.size() - at);
    std::string taken_out = text.substr(static_cast<std::size_t>(at), count);
    text.replace(static_cast<std::size_t>(at), count, state.undo_removed);
    // Undoing again redoes: the step now puts back what this one took out. What came back is selected.
    int restored = static_cast<int>(state.undo_removed.size());
    state.undo_at = at;
    state.undo_inserted = restored;
    state.undo_removed = taken_out;
    state.anchor = at;
    state.caret = at + restored;
    keep_caret_visible(hwnd, window);
    text_changed(hwnd);
}

}  // namespace platform::user::edit
