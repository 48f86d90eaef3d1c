// Getting, posting, sending and dispatching messages.
#include "kernel32/handle_table.h"
#include "input_translation.h"
#include "thread_state.h"
#include "window_manager.h"

namespace platform::user {
namespace {

bool in_range(UINT message, UINT min, UINT max) {
    return (min == 0 && max == 0) || (message >= min && message <= max);
}

bool input_in_range(UINT min, UINT max) {
    return (min == 0 && max == 0) || (min <= WM_MOUSEMOVE + 0x20 && max >= WM_KEYDOWN) ||
           (min <= WM_NCLBUTTONDBLCLK && max >= WM_NCMOUSEMOVE);
}

}  // namespace

// Handles every message other threads have sent to this one.
void process_sent_messages() {
    auto queue = current_queue();
    while (auto message = queue->next_sent()) {
        LRESULT result = 0;
        if (message->internal_call)
            result = (*message->internal_call)();
        else if (auto window = find_window_quiet(message->hwnd))
            result = call_window_proc(window, message->message, message->wparam, message->lparam);
        std::lock_guard lock(kernel::sync_lock());
        message->complete(result);
    }
}

namespace {

// Another thread's window: its thread handles the message; meanwhile this thread still answers what is
// sent to it, so two threads sending to each other do not deadlock.
LRESULT send_to_owner_thread(const WindowPtr &window, std::shared_ptr<SentMessage> message) {
    window->queue->send(message);
    auto own = current_queue();
    for (;;) {
        own->set_wake_mask(QS_SENDMESSAGE);
        DWORD result = platform::kernel::wait_for_objects({message, own}, false, INFINITE);
        own->set_wake_mask(QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) {
            std::lock_guard lock(platform::kernel::sync_lock());
            return message->result;
        }
        process_sent_messages();
    }
}

}  // namespace

LRESULT call_on_window_thread(const WindowPtr &window, const std::function<LRESULT()> &call) {
    if (window->thread_id == GetCurrentThreadId())
        return call();
    auto message = std::make_shared<SentMessage>(window->handle, WM_NULL, 0, 0);
    message->internal_call = &call;
    return send_to_owner_thread(window, std::move(message));
}

bool peek_message(MSG &out, HWND filter, UINT min, UINT max, bool remove) {
    process_sent_messages();
    auto queue = current_queue();
    if (queue->take_posted(out, filter, min, max, remove))
        return true;
    auto &state = thread_state();
    if (!filter && input_in_range(min, max)) {
        display::InputEvent event;
        while (state.ready_input.empty() && queue->take_input(event))
            translate_input(event, state.ready_input);
        for (auto it = state.ready_input.begin(); it != state.ready_input.end(); ++it) {
            if (!in_range(it->message, min, max))
                continue;
            out = *it;
            if (remove)
                state.ready_input.erase(it);
            return true;
        }
    }
    int exit_code;
    if (queue->take_quit(exit_code)) {
        if (!remove)
            queue->post_quit(exit_code);
        out = MSG{};
        out.message = WM_QUIT;
        out.wParam = static_cast<WPARAM>(exit_code);
        out.time = GetTickCount();
        return true;
    }
    if (in_range(WM_PAINT, min, max) && queue->has_paint()) {
        if (auto window = next_window_to_paint(filter)) {
            out = MSG{};
            out.hwnd = window->handle;
            out.message = WM_PAINT;
            out.time = GetTickCount();
            return true;
        }
    }
    return in_range(WM_TIMER, min, max) && queue->take_timer(out, filter, remove);
}

// Blocks until something of `mask` (or a sent message) is waiting, or `milliseconds` pass.
DWORD wait_for_queue(const std::vector<std::shared_ptr<kernel::WaitableObject>> &others, bool wait_all,
                     DWORD milliseconds, DWORD mask) {
    present_thread_surfaces();
    auto queue = current_queue();
    queue->set_wake_mask(mask);
    std::vector<std::shared_ptr<kernel::WaitableObject>> objects = others;
    objects.push_back(queue);
    queue->set_owner_waiting(true);
    DWORD result = kernel::wait_for_objects(objects, wait_all, milliseconds);
    queue->set_owner_waiting(false);
    queue->set_wake_mask(QS_ALLINPUT);
    return result;
}

void track_mouse(const std::function<void(POINT screen, bool released)> &track) {
    auto queue = current_queue();
    for (;;) {
        process_sent_messages();
        display::InputEvent event;
        if (queue->take_input(event)) {
            if (apply_manager_event(event))
                continue;
            auto top = window_of_surface(event.surface);
            POINT screen{event.point.x + (top ? top->rect.left : 0), event.point.y + (top ? top->rect.top : 0)};
            if (event.type == display::InputType::button_up) {
                track(screen, true);
                return;
            }
            if (event.type == display::InputType::mouse_move)
                track(screen, false);
            continue;
        }
        wait_for_queue({}, false, INFINITE, QS_MOUSE | QS_KEY);
    }
}

}  // namespace platform::user

using namespace platform::user;

extern "C" BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (hWnd && !find_window(hWnd))
        return FALSE;
    if (peek_message(*lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0))
        return TRUE;
    present_thread_surfaces();
    return FALSE;
}

extern "C" BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (hWnd && !find_window(hWnd))
        return -1;
    for (;;) {
        if (peek_message(*lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true))
            return lpMsg->message != WM_QUIT;
        wait_for_queue({}, false, INFINITE, QS_ALLINPUT);
    }
}

extern "C" BOOL WINAPI TranslateMessage(const MSG *lpMsg) {
    if (!lpMsg)
        return FALSE;
    if (lpMsg->message == WM_KEYUP || lpMsg->message == WM_SYSKEYUP)
        return TRUE;
    if (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_SYSKEYDOWN)
        return FALSE;
    char c = 0;
    switch (lpMsg->wParam) {
        case VK_RETURN:
            c = '\r';
            break;
        case VK_ESCAPE:
            c = 0x1B;
            break;
        case VK_TAB:
            c = '\t';
            break;
        case VK_BACK:
            c = 0x08;
            break;
        case VK_SPACE:
            c = ' ';
            break;
        default:
            if (lpMsg->wParam >= '0' && lpMsg->wParam <= '9')
                c = static_cast<char>(lpMsg->wParam);
            else if (lpMsg->wParam >= 'A' && lpMsg->wParam <= 'Z')
                c = static_cast<char>(thread_state().shift_down ? lpMsg->wParam : lpMsg->wParam + 32);
    }
    // Ctrl with a letter types its control character (Ctrl+C is 3), as a terminal does.
    bool control = thread_state().control_down && lpMsg->message == WM_KEYDOWN;
    if (control)
        c = lpMsg->wParam >= 'A' && lpMsg->wParam <= 'Z' ? static_cast<char>(lpMsg->wParam - 'A' + 1) : 0;
    // Alt with a key gives a system character (a mnemonic); Alt itself and F10 give none.
    if (!c || (lpMsg->message == WM_SYSKEYDOWN && (lpMsg->wParam == VK_MENU || lpMsg->wParam == VK_F10)))
        return TRUE;  // a key message is "translated" whether or not it makes a character
    MSG chr = *lpMsg;
    chr.message = lpMsg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    chr.wParam = static_cast<unsigned char>(c);
    // The character comes before any further input, as if the key had typed it.
    thread_state().ready_input.push_front(chr);
    return TRUE;
}

extern "C" LRESULT WINAPI DispatchMessageA(const MSG *lpMsg) {
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (dispatch_to_timer_proc(*lpMsg) || !lpMsg->hwnd)
        return 0;
    auto window = find_window(lpMsg->hwnd);
    if (!window)
        return 0;
    if (window->thread_id != GetCurrentThreadId()) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return 0;
    }
    LRESULT result = call_window_proc(window, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
    // A paint handler that did not validate would get WM_PAINT for ever.
    if (lpMsg->message == WM_PAINT && IsWindow(lpMsg->hwnd))
        validate(window, nullptr);
    return result;
}

namespace {

MSG posted_message(HWND hwnd, UINT id, WPARAM wparam, LPARAM lparam) {
    MSG message{};
    message.hwnd = hwnd;
    message.message = id;
    message.wParam = wparam;
    message.lParam = lparam;
    message.time = GetTickCount();
    return message;
}

}  // namespace

extern "C" BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    MSG message = posted_message(hWnd, Msg, wParam, lParam);
    if (!hWnd) {
        current_queue()->post(message);
        return TRUE;
    }
    auto window = find_window(hWnd);
    if (!window)
        return FALSE;
    window->queue->post(message);
    return TRUE;
}

extern "C" BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
    // Calling here makes the caller's own queue, as any user32 call does; another thread must have made its own.
    auto queue = idThread == GetCurrentThreadId() ? current_queue() : queue_of_thread(idThread);
    if (!queue) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    queue->post(posted_message(nullptr, Msg, wParam, lParam));
    return TRUE;
}

extern "C" void WINAPI PostQuitMessage(int nExitCode) {
    current_queue()->post_quit(nExitCode);
}

extern "C" LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto window = find_window(hWnd);
    if (!window)
        return 0;
    if (window->thread_id == GetCurrentThreadId())
        return call_window_proc(window, Msg, wParam, lParam);
    return send_to_owner_thread(window, std::make_shared<SentMessage>(hWnd, Msg, wParam, lParam));
}

extern "C" DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE *pHandles, BOOL fWaitAll,
                                                  DWORD dwMilliseconds, DWORD dwWakeMask) {
    if (nCount > MAXIMUM_WAIT_OBJECTS - 1 || (nCount && !pHandles)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<platform::kernel::WaitableObject>> objects;
    for (DWORD i = 0; i < nCount; ++i) {
        auto object =
            std::dynamic_pointer_cast<platform::kernel::WaitableObject>(platform::kernel::lookup_handle(pHandles[i]));
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects.push_back(std::move(object));
    }
    // Input already turned into messages counts as waiting input.
    if (!fWaitAll && !thread_state().ready_input.empty() && (dwWakeMask & QS_INPUT))
        return WAIT_OBJECT_0 + nCount;
    return wait_for_queue(objects, fWaitAll, dwMilliseconds, dwWakeMask);
}
