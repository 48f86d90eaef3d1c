// What lies outside the client area: frame, caption with its boxes, menu bar and window scroll bars.
// Drawn by user32 itself so that every backend shows the same thing.
#include "gdi32/gdi_objects.h"
#include "menu.h"
#include "scroll_bar_geometry.h"
#include "thread_state.h"
#include "window_manager.h"

namespace platform::user {
namespace {

bool inside(const RECT &r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

void fill(HDC dc, const RECT &r, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

// The caption's boxes from the right: close, then maximize and minimize.
struct CaptionBoxes {
    RECT close{}, maximize{}, minimize{};
};

CaptionBoxes caption_boxes(const Window &window, const RECT &outer) {
    CaptionBoxes boxes;
    Frame frame = frame_of(window);
    int top = outer.top + frame.border + 2;
    int size = frame.caption - 4;
    int right = outer.right - frame.border - 2;
    if (window.style & WS_SYSMENU) {
        boxes.close = {right - size, top, right, top + size};
        right -= size + 2;
    }
    if (window.style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX)) {
        boxes.maximize = {right - size, top, right, top + size};
        boxes.minimize = {right - 2 * size, top, right - size, top + size};
    }
    return boxes;
}

// A caption box with its sign drawn as bars: 0 close (a cross), 1 maximize (a frame), 2 minimize (a bar).
void draw_box(HDC dc, const RECT &box, int sign) {
    if (box.right <= box.left)
        return;
    RECT face = box;
    DrawEdge(dc, &face, EDGE_RAISED, BF_RECT | BF_SOFT | BF_MIDDLE);
    int l = box.left + 4, t = box.top + 4, r = box.right - 5, b = box.bottom - 5;
    switch (sign) {
        case 0:
            for (int i = 0; i <= r - l && i <= b - t; ++i) {
                fill(dc, RECT{l + i, t + i, l + i + 1, t + i + 1}, 0);
                fill(dc, RECT{r - i, t + i, r - i + 1, t + i + 1}, 0);
            }
            break;
        case 1:
            fill(dc, RECT{l, t, r + 1, t + 2}, 0);
            fill(dc, RECT{l, b, r + 1, b + 1}, 0);
            fill(dc, RECT{l, t, l + 1, b + 1}, 0);
            fill(dc, RECT{r, t, r + 1, b + 1}, 0);
            break;
        default:
            fill(dc, RECT{l, b - 1, r + 1, b + 1}, 0);
            break;
    }
}

}  // namespace

void draw_nonclient(const WindowPtr &window) {
    Frame frame = frame_of(*window);
    if (!frame.border && !frame.edge && !frame.caption && !frame.menu && !frame.vscroll)
        return;
    auto top = top_level_of(window);
    if (!top || !top->surface)
        return;
    RECT outer = surface_rect(window);
    HDC dc = gdi::create_surface_dc(top->surface, {0, 0}, outer);
    RECT client = client_in_surface(window);
    if (frame.border == 1) {
        // A thin border is a black line.
        RECT line = outer;
        DrawEdge(dc, &line, BDR_OUTER, BF_RECT | BF_MONO);
    } else if (frame.border > 1) {
        // A dialog or sizing frame: a raised edge, then the border's face.
        fill(dc, RECT{outer.left, outer.top, outer.right, outer.top + frame.border}, GetSysColor(COLOR_ACTIVEBORDER));
        fill(dc, RECT{outer.left, outer.bottom - frame.border, outer.right, outer.bottom},
             GetSysColor(COLOR_ACTIVEBORDER));
        fill(dc, RECT{outer.left, outer.top, outer.left + frame.border, outer.bottom}, GetSysColor(COLOR_ACTIVEBORDER));
        fill(dc, RECT{outer.right - frame.border, outer.top, outer.right, outer.bottom},
             GetSysColor(COLOR_ACTIVEBORDER));
        RECT edge = outer;
        DrawEdge(dc, &edge, EDGE_RAISED, BF_RECT);
    }
    if (frame.edge) {
        RECT sunken{outer.left + frame.border, outer.top + frame.border + frame.caption + frame.menu,
                    outer.right - frame.border, outer.bottom - frame.border};
        DrawEdge(dc, &sunken, EDGE_SUNKEN, BF_RECT);
    }
    if (frame.caption) {
        bool active = thread_state().active == window->handle;
        RECT bar{outer.left + frame.border, outer.top + frame.border, outer.right - frame.border,
                 outer.top + frame.border + frame.caption};
        fill(dc, bar, gdi::system_color(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
        auto boxes = caption_boxes(*window, outer);
        RECT title = bar;
        title.left += 4;
        if (boxes.minimize.right > boxes.minimize.left)
            title.right = boxes.minimize.left;
        else if (boxes.close.right > boxes.close.left)
            title.right = boxes.close.left;
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, gdi::system_color(COLOR_CAPTIONTEXT));
        DrawTextA(dc, window->text.c_str(), -1, &title, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SetTextColor(dc, RGB(0, 0, 0));
        draw_box(dc, boxes.minimize, 2);
        draw_box(dc, boxes.maximize, 1);
        draw_box(dc, boxes.close, 0);
    }
    if (frame.menu) {
        RECT bar{client.left, client.top - frame.menu, client.right + frame.vscroll, client.top};
        fill(dc, bar, gdi::system_color(COLOR_MENU));
        fill(dc, RECT{bar.left, bar.bottom - 1, bar.right, bar.bottom}, RGB(128, 128, 128));
        SetBkMode(dc, TRANSPARENT);
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));  // menus have the 8-point face, as on NT 4
        for (auto &item : menu_bar_layout(window)) {
            RECT text = item.area;
            DrawTextA(dc, item.entry->text.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
    }
    if (frame.vscroll)
        draw_vertical_scroll_bar(dc, window_vertical_bar(window), window->vertical, is_enabled(*window));
    gdi::delete_dc(dc);
}

LRESULT hit_test(const WindowPtr &window, POINT screen) {
    auto top = top_level_of(window);
    POINT at{screen.x - top->rect.left, screen.y - top->rect.top};
    RECT outer = surface_rect(window);
    if (!inside(outer, at))
        return HTNOWHERE;
    RECT client = client_in_surface(window);
    if (inside(client, at))
        return HTCLIENT;
    Frame frame = frame_of(*window);
    if (frame.vscroll && inside(window_vertical_bar(window), at))
        return HTVSCROLL;
    if (frame.menu && at.y >= client.top - frame.menu && at.y < client.top && at.x >= client.left &&
        at.x < client.right + frame.vscroll)
        return HTMENU;
    if (frame.caption) {
        auto boxes = caption_boxes(*window, outer);
        if (inside(boxes.close, at))
            return HTCLOSE;
        if (inside(boxes.maximize, at))
            return HTMAXBUTTON;
        if (inside(boxes.minimize, at))
            return HTMINBUTTON;
        RECT bar{outer.left + frame.border, outer.top + frame.border, outer.right - frame.border,
                 outer.top + frame.border + frame.caption};
        if (inside(bar, at))
            return HTCAPTION;
    }
    return HTBORDER;
}

}  // namespace platform::user
