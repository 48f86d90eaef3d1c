// An edit control's clipboard commands: copy, cut, paste and clear, through the clipboard calls.
#include "clipboard.h"
#include "edit_editing.h"

#include <cstring>

namespace platform::user::edit {
namespace {

bool read_only(const WindowPtr &window) {
    return (window->style & ES_READONLY) || !is_enabled(*window);
}

std::string selected_text(const WindowPtr &window) {
    auto [start, end] = selection(window);
    return window->text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

std::string clipboard_contents(HWND hwnd) {
    std::string text;
    if (!OpenClipboard(hwnd))
        return text;
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        SIZE_T size = GlobalSize(data);
        if (const auto *bytes = static_cast<const char *>(GlobalLock(data))) {
            text.assign(bytes, strnlen(bytes, size));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

}  // namespace

void copy(HWND hwnd, const WindowPtr &window) {
    std::string text = selected_text(window);
    // A password is never given away, and an empty selection leaves the clipboard as it was.
    if (text.empty() || (window->style & ES_PASSWORD))
        return;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    auto *bytes = block ? static_cast<char *>(GlobalLock(block)) : nullptr;
    if (!bytes) {
        if (block)
            GlobalFree(block);
        return;
    }
    std::memcpy(bytes, text.c_str(), text.size() + 1);
    GlobalUnlock(block);
    if (OpenClipboard(hwnd)) {
        EmptyClipboard();
        if (SetClipboardData(CF_TEXT, block))
            block = nullptr;  // the clipboard owns it now
        CloseClipboard();
    }
    if (block)
        GlobalFree(block);
}

void clear(HWND hwnd, const WindowPtr &window) {
    auto [start, end] = selection(window);
    if (start != end && !read_only(window))
        replace_selection(hwnd, window, "", true);
}

void cut(HWND hwnd, const WindowPtr &window) {
    if (window->style & ES_PASSWORD)
        return;
    copy(hwnd, window);
    clear(hwnd, window);
}

void paste(HWND hwnd, const WindowPtr &window, bool from_primary) {
    if (read_only(window))
        return;
    std::string text;
    if (from_primary) {
        auto primary = primary_text();
        if (!primary)
            return;
        text = *primary;
    } else {
        text = clipboard_contents(hwnd);
    }
    // One line takes the first line of what is pasted.
    text = text.substr(0, text.find_first_of("\r\n"));
    if (!text.empty())
        replace_selection(hwnd, window, text, true);
}

}  // namespace platform::user::edit
