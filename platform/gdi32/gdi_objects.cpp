#include "gdi_objects.h"

#include <winuser.h>

#include <array>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace platform::gdi {
namespace {

constexpr std::uintptr_t stock_base = 0x3000;
constexpr std::uintptr_t stock_count = DEFAULT_GUI_FONT + 1;
constexpr std::uintptr_t first_dynamic = 0x10000;

struct Table {
    std::mutex lock;
    std::unordered_map<std::uintptr_t, std::shared_ptr<GdiObject>> objects;
    std::unordered_map<std::uintptr_t, std::unique_ptr<DeviceContext>> dcs;
    std::array<std::shared_ptr<GdiObject>, stock_count> stock;
    std::uintptr_t next = first_dynamic;
};

Font stock_font(int height, int width, int pitch, const char *face, int weight = FW_NORMAL) {
    Font font;
    font.request.height = height;
    font.request.width = width;
    font.request.pitch_and_family = pitch;
    font.request.face = face;
    font.request.weight = weight;
    return font;
}

// The faces the stock fonts are drawn in: fonts-liberation's, whose widths are those of the sans serif and
// the courier of the era's screens, so text takes the room programs of the time gave it.
constexpr const char *sans_face = "Liberation Sans";
constexpr const char *fixed_face = "Liberation Mono";

Table &table() {
    static Table *instance = [] {
        auto *t = new Table;
        auto brush = [](COLORREF color, bool hollow = false) {
            return std::make_shared<GdiObject>(Brush{color, hollow});
        };
        t->stock[WHITE_BRUSH] = brush(RGB(255, 255, 255));
        t->stock[LTGRAY_BRUSH] = brush(RGB(192, 192, 192));
        t->stock[GRAY_BRUSH] = brush(RGB(128, 128, 128));
        t->stock[DKGRAY_BRUSH] = brush(RGB(64, 64, 64));
        t->stock[BLACK_BRUSH] = brush(RGB(0, 0, 0));
        t->stock[NULL_BRUSH] = brush(0, true);
        t->stock[WHITE_PEN] = std::make_shared<GdiObject>(Pen{RGB(255, 255, 255), 1, false});
        t->stock[BLACK_PEN] = std::make_shared<GdiObject>(Pen{RGB(0, 0, 0), 1, false});
        t->stock[NULL_PEN] = std::make_shared<GdiObject>(Pen{0, 1, true});
        auto font = [](Font value) { return std::make_shared<GdiObject>(std::move(value)); };
        t->stock[OEM_FIXED_FONT] = font(stock_font(12, 8, FIXED_PITCH, fixed_face));
        t->stock[ANSI_FIXED_FONT] = font(stock_font(12, 8, FIXED_PITCH, fixed_face));
        t->stock[SYSTEM_FIXED_FONT] = font(stock_font(16, 8, FIXED_PITCH, fixed_face));
        // The system font, which dialogs without a font of their own use: a bold face whose characters are 13
        // pixels high, as in the era's 16-pixel system font with its internal leading.
        t->stock[SYSTEM_FONT] = font(stock_font(-13, 0, VARIABLE_PITCH, sans_face, FW_BOLD));
        t->stock[DEVICE_DEFAULT_FONT] = font(stock_font(-13, 0, VARIABLE_PITCH, sans_face, FW_BOLD));
        // 8 points at 96 dots an inch, an 11-pixel character height: the face of menus.
        t->stock[ANSI_VAR_FONT] = font(stock_font(-11, 0, VARIABLE_PITCH, sans_face));
        t->stock[DEFAULT_GUI_FONT] = font(stock_font(-11, 0, VARIABLE_PITCH, sans_face));
        return t;
    }();
    return *instance;
}

std::shared_ptr<GdiObject> lookup(HGDIOBJ handle) {
    auto value = reinterpret_cast<std::uintptr_t>(handle);
    auto &t = table();
    if (value >= stock_base && value < stock_base + stock_count)
        return t.stock[value - stock_base];
    std::lock_guard guard(t.lock);
    if (auto found = t.objects.find(value); found != t.objects.end())
        return found->second;
    return nullptr;
}

template <typename T>
const T *lookup_as(HGDIOBJ handle) {
    auto object = lookup(handle);
    // Objects are never changed after creation and a deleted one stays alive while a DC selects it;
    // the pointer stays valid as long as the caller holds the handle.
    if (object)
        if (auto *value = std::get_if<T>(object.get()))
            return value;
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

HGDIOBJ insert(GdiObject object) {
    auto &t = table();
    std::lock_guard guard(t.lock);
    auto value = t.next;
    t.next += 4;
    t.objects.emplace(value, std::make_shared<GdiObject>(std::move(object)));
    return reinterpret_cast<HGDIOBJ>(value);
}

bool is_stock(HGDIOBJ handle) {
    auto value = reinterpret_cast<std::uintptr_t>(handle);
    return value >= stock_base && value < stock_base + stock_count;
}

}  // namespace

DeviceContext::~DeviceContext() {
    if (cr)
        cairo_destroy(cr);
    if (clip_region)
        cairo_region_destroy(clip_region);
}

const Brush *brush_of(HGDIOBJ handle) {
    return lookup_as<Brush>(handle);
}
const Pen *pen_of(HGDIOBJ handle) {
    return lookup_as<Pen>(handle);
}
const Font *font_of(HGDIOBJ handle) {
    return lookup_as<Font>(handle);
}

DeviceContext *dc_of(HDC handle) {
    auto &t = table();
    std::lock_guard guard(t.lock);
    if (auto found = t.dcs.find(reinterpret_cast<std::uintptr_t>(handle)); found != t.dcs.end())
        return found->second.get();
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

HDC create_surface_dc(std::shared_ptr<display::Surface> surface, POINT origin, const RECT &clip,
                      const cairo_region_t *region) {
    auto dc = std::make_unique<DeviceContext>();
    dc->cr = cairo_create(surface->image());
    dc->surface = std::move(surface);
    dc->origin = origin;
    dc->clip = clip;
    cairo_rectangle(dc->cr, clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top);
    cairo_clip(dc->cr);
    if (region) {
        dc->clip_region = cairo_region_copy(region);
        int count = cairo_region_num_rectangles(region);
        for (int i = 0; i < count; ++i) {
            cairo_rectangle_int_t r;
            cairo_region_get_rectangle(region, i, &r);
            cairo_rectangle(dc->cr, r.x, r.y, r.width, r.height);
        }
        cairo_clip(dc->cr);
    }
    cairo_translate(dc->cr, origin.x, origin.y);
    dc->brush = GetStockObject(WHITE_BRUSH);
    dc->pen = GetStockObject(BLACK_PEN);
    dc->font = GetStockObject(SYSTEM_FONT);
    auto &t = table();
    std::lock_guard guard(t.lock);
    auto value = t.next;
    t.next += 4;
    t.dcs.emplace(value, std::move(dc));
    return reinterpret_cast<HDC>(value);
}

bool delete_dc(HDC handle) {
    std::unique_ptr<DeviceContext> dc;
    auto &t = table();
    {
        std::lock_guard guard(t.lock);
        auto found = t.dcs.find(reinterpret_cast<std::uintptr_t>(handle));
        if (found == t.dcs.end())
            return false;
        dc = std::move(found->second);
        t.dcs.erase(found);
    }
    return true;
}

std::size_t live_object_count() {
    auto &t = table();
    std::lock_guard guard(t.lock);
    return t.objects.size();
}

std::size_t live_dc_count() {
    auto &t = table();
    std::lock_guard guard(t.lock);
    return t.dcs.size();
}

// The default colour scheme of the NT 4 era desktop, by COLOR_ index. Indexes past COLOR_INFOBK did not
// exist then and read as black.
constexpr std::array<COLORREF, COLOR_INFOBK + 1> nt4_scheme = {
    RGB(192, 192, 192),  // COLOR_SCROLLBAR
    RGB(0, 128, 128),    // COLOR_BACKGROUND
    RGB(0, 0, 128),      // COLOR_ACTIVECAPTION
    RGB(128, 128, 128),  // COLOR_INACTIVECAPTION
    RGB(192, 192, 192),  // COLOR_MENU
    RGB(255, 255, 255),  // COLOR_WINDOW
    RGB(0, 0, 0),        // COLOR_WINDOWFRAME
    RGB(0, 0, 0),        // COLOR_MENUTEXT
    RGB(0, 0, 0),        // COLOR_WINDOWTEXT
    RGB(255, 255, 255),  // COLOR_CAPTIONTEXT
    RGB(192, 192, 192),  // COLOR_ACTIVEBORDER
    RGB(192, 192, 192),  // COLOR_INACTIVEBORDER
    RGB(128, 128, 128),  // COLOR_APPWORKSPACE
    RGB(0, 0, 128),      // COLOR_HIGHLIGHT
    RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGB(192, 192, 192),  // COLOR_BTNFACE, COLOR_3DFACE
    RGB(128, 128, 128),  // COLOR_BTNSHADOW, COLOR_3DSHADOW
    RGB(128, 128, 128),  // COLOR_GRAYTEXT
    RGB(0, 0, 0),        // COLOR_BTNTEXT
    RGB(192, 192, 192),  // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT, COLOR_3DHILIGHT
    RGB(0, 0, 0),        // COLOR_3DDKSHADOW
    RGB(192, 192, 192),  // COLOR_3DLIGHT
    RGB(0, 0, 0),        // COLOR_INFOTEXT
    RGB(255, 255, 225),  // COLOR_INFOBK
};

COLORREF system_color(int index) {
    return index >= 0 && index < static_cast<int>(nt4_scheme.size()) ? nt4_scheme[index] : RGB(0, 0, 0);
}

bool is_system_color(int index) {
    return index >= 0 && index < static_cast<int>(nt4_scheme.size());
}

bool brush_color(HBRUSH brush, COLORREF &color) {
    auto value = reinterpret_cast<std::uintptr_t>(brush);
    if (value >= 1 && is_system_color(static_cast<int>(value - 1))) {
        color = system_color(static_cast<int>(value - 1));
        return true;
    }
    const Brush *b = brush_of(brush);
    if (!b || b->hollow)
        return false;
    color = b->color;
    return true;
}

void set_source_color(cairo_t *cr, COLORREF color) {
    cairo_set_source_rgb(cr, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
}

}  // namespace platform::gdi

using namespace platform::gdi;

extern "C" HGDIOBJ WINAPI GetStockObject(int i) {
    if (i < 0 || static_cast<std::uintptr_t>(i) >= stock_count || !table().stock[i])
        return nullptr;
    return reinterpret_cast<HGDIOBJ>(stock_base + i);
}

extern "C" HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    return static_cast<HBRUSH>(insert(Brush{color & 0xFFFFFF, false}));
}

extern "C" HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color) {
    return static_cast<HPEN>(insert(Pen{color & 0xFFFFFF, cWidth < 1 ? 1 : cWidth, iStyle == PS_NULL}));
}

extern "C" HFONT WINAPI CreateFontA(int cHeight, int cWidth, int, int, int cWeight, DWORD bItalic, DWORD, DWORD, DWORD,
                                    DWORD, DWORD, DWORD, DWORD iPitchAndFamily, LPCSTR pszFaceName) {
    Font font;
    font.request.height = cHeight;
    font.request.width = cWidth < 0 ? -cWidth : cWidth;
    font.request.weight = cWeight == 0 ? FW_NORMAL : cWeight;
    font.request.italic = bItalic != 0;
    font.request.pitch_and_family = static_cast<int>(iPitchAndFamily);
    if (pszFaceName)
        font.request.face.assign(pszFaceName, strnlen(pszFaceName, 31));
    font.resolved = resolve_font(font.request);
    return static_cast<HFONT>(insert(std::move(font)));
}

extern "C" BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    if (is_stock(ho))
        return TRUE;  // stock objects ignore deletion
    auto &t = table();
    std::lock_guard guard(t.lock);
    if (t.objects.erase(reinterpret_cast<std::uintptr_t>(ho)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

extern "C" HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    DeviceContext *dc = dc_of(hdc);
    auto object = lookup(h);
    if (!dc || !object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HGDIOBJ *slot = std::holds_alternative<Brush>(*object) ? &dc->brush
                    : std::holds_alternative<Pen>(*object) ? &dc->pen
                                                           : &dc->font;
    HGDIOBJ previous = *slot;
    *slot = h;
    return previous;
}

extern "C" COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
    DeviceContext *dc = dc_of(hdc);
    if (!dc)
        return CLR_INVALID;
    COLORREF previous = dc->text_color;
    dc->text_color = color & 0xFFFFFF;
    return previous;
}

extern "C" COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
    DeviceContext *dc = dc_of(hdc);
    if (!dc)
        return CLR_INVALID;
    COLORREF previous = dc->background_color;
    dc->background_color = color & 0xFFFFFF;
    return previous;
}

extern "C" int WINAPI SetBkMode(HDC hdc, int mode) {
    DeviceContext *dc = dc_of(hdc);
    if (!dc || (mode != OPAQUE && mode != TRANSPARENT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int previous = dc->background_mode;
    dc->background_mode = mode;
    return previous;
}
