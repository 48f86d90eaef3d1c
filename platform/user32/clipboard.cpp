// The clipboard calls for CF_TEXT, on one store for the process. With a backend that shares selections (X),
// the contents are the desktop's CLIPBOARD selection: what the program sets is offered to every other
// client, and what it reads is whatever client holds the selection now.
#include "clipboard.h"

#include "display/backend.h"
#include "display/latin1.h"
#include "window.h"

#include <cstring>
#include <mutex>

namespace platform::user {
namespace {

struct Clipboard {
    std::mutex lock;
    DWORD opened_by = 0;                 // the thread that has the clipboard open
    HWND open_window = nullptr;          // and the window it opened it for
    std::optional<std::string> text;     // CF_TEXT as set in this process, without a shared selection
    HGLOBAL data = nullptr;              // the CF_TEXT block given or handed out, which the clipboard owns
    std::string data_text;               // what `data` holds
    std::optional<std::string> primary;  // the primary selection, without a shared one
};

Clipboard &clipboard() {
    static Clipboard *instance = new Clipboard;  // lives as long as the process: blocks may be handed out late
    return *instance;
}

// CF_TEXT ends lines with CR LF; X clients exchange LF alone, in UTF-8.
std::string to_desktop(std::string_view text) {
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            lines.push_back(text[i]);
    return display::latin1_to_utf8(lines);
}

std::string from_desktop(std::string_view utf8) {
    std::string latin1 = display::utf8_to_latin1(utf8), text;
    for (std::size_t i = 0; i < latin1.size(); ++i) {
        if (latin1[i] == '\n' && (i == 0 || latin1[i - 1] != '\r'))
            text.push_back('\r');
        text.push_back(latin1[i]);
    }
    return text;
}

std::optional<std::string> current_text(Clipboard &board) {
    auto &screen = display::backend();
    if (!screen.has_selections())
        return board.text;
    auto shared = screen.read_selection(display::Selection::clipboard);
    return shared ? std::optional(from_desktop(*shared)) : std::nullopt;
}

bool opened_here(const Clipboard &board) {
    if (board.opened_by == GetCurrentThreadId())
        return true;
    SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
    return false;
}

void release_data(Clipboard &board) {
    if (board.data)
        GlobalFree(board.data);
    board.data = nullptr;
    board.data_text.clear();
}

}  // namespace

void offer_primary(std::string_view text) {
    auto &screen = display::backend();
    if (screen.has_selections()) {
        screen.own_selection(display::Selection::primary, to_desktop(text));
        return;
    }
    std::lock_guard lock(clipboard().lock);
    clipboard().primary = std::string(text);
}

std::optional<std::string> primary_text() {
    auto &screen = display::backend();
    if (screen.has_selections()) {
        auto shared = screen.read_selection(display::Selection::primary);
        return shared ? std::optional(from_desktop(*shared)) : std::nullopt;
    }
    std::lock_guard lock(clipboard().lock);
    return clipboard().primary;
}

}  // namespace platform::user

using namespace platform::user;

extern "C" BOOL WINAPI OpenClipboard(HWND hWndNewOwner) {
    if (hWndNewOwner && !find_window(hWndNewOwner))
        return FALSE;
    auto &board = clipboard();
    std::lock_guard lock(board.lock);
    // Open for another window, it stays closed to this one; the same window (or none again) may reopen it.
    if (board.opened_by && board.open_window != hWndNewOwner) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    board.opened_by = GetCurrentThreadId();
    board.open_window = hWndNewOwner;
    return TRUE;
}

extern "C" BOOL WINAPI CloseClipboard(void) {
    auto &board = clipboard();
    std::lock_guard lock(board.lock);
    if (!opened_here(board))
        return FALSE;
    board.opened_by = 0;
    board.open_window = nullptr;
    return TRUE;
}

extern "C" BOOL WINAPI EmptyClipboard(void) {
    auto &board = clipboard();
    std::lock_guard lock(board.lock);
    if (!opened_here(board))
        return FALSE;
    board.text.reset();
    release_data(board);
    return TRUE;
}

extern "C" HANDLE WINAPI SetClipboardData(UINT uFormat, HANDLE hMem) {
    auto &board = clipboard();
    std::lock_guard lock(board.lock);
    if (!opened_here(board))
        return nullptr;
    if (uFormat != CF_TEXT) {
        SetLastError(ERROR_NOT_SUPPORTED);  // text is all this clipboard carries
        return nullptr;
    }
    const auto *bytes = hMem ? static_cast<const char *>(GlobalLock(hMem)) : nullptr;
    if (!bytes) {
        SetLastError(ERROR_INVALID_PARAMETER);  // rendering on request is not offered
        return nullptr;
    }
    std::string text(bytes, strnlen(bytes, GlobalSize(hMem)));
    GlobalUnlock(hMem);
    if (board.data != hMem)
        release_data(board);
    board.data = hMem;
    board.data_text = text;
    board.text = text;
    auto &screen = platform::display::backend();
    if (screen.has_selections())
        screen.own_selection(platform::display::Selection::clipboard, to_desktop(text));
    return hMem;
}

extern "C" HANDLE WINAPI GetClipboardData(UINT uFormat) {
    auto &board = clipboard();
    std::lock_guard lock(board.lock);
    if (!opened_here(board))
        return nullptr;
    auto text = uFormat == CF_TEXT ? current_text(board) : std::nullopt;
    if (!text)
        return nullptr;
    if (board.data && board.data_text == *text)
        return board.data;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text->size() + 1);
    auto *bytes = block ? static_cast<char *>(GlobalLock(block)) : nullptr;
    if (!bytes) {
        if (block)
            GlobalFree(block);
        return nullptr;
    }
    std::memcpy(bytes, text->c_str(), text->size() + 1);
    GlobalUnlock(block);
    release_data(board);
    board.data = block;
    board.data_text = *text;
    return block;
}

extern "C" BOOL WINAPI IsClipboardFormatAvailable(UINT format) {
    auto &board = clipboard();
    std::lock_guard lock(board.lock);
    return format == CF_TEXT && current_text(board).has_value();
}
