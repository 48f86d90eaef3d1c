// The system icons as pictures of our own: flat colours, black outlines and hard edges, as the icons of
// the NT 4 era looked; a grey shadow lies under the shapes that stand on the dialog.
#include "message_box_icons.h"

#include <cmath>

namespace platform::user {
namespace {

constexpr double pi = 3.14159265358979323846;

void color(cairo_t *cr, int r, int g, int b) {
    cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
}

void fill_and_outline(cairo_t *cr, int r, int g, int b) {
    color(cr, r, g, b);
    cairo_fill_preserve(cr);
    color(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

// A speech balloon: an ellipse with a tail at the bottom left.
void balloon_path(cairo_t *cr, double dx, double dy) {
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, 16.5 + dx, 12.5 + dy);
    cairo_scale(cr, 14, 11);
    cairo_arc(cr, 0, 0, 1, 0.62 * pi, 2.42 * pi);
    cairo_restore(cr);
    cairo_line_to(cr, 4.5 + dx, 30.5 + dy);
    cairo_close_path(cr);
}

void balloon(cairo_t *cr) {
    balloon_path(cr, 2, 2);
    color(cr, 128, 128, 128);
    cairo_fill(cr);
    balloon_path(cr, 0, 0);
    fill_and_outline(cr, 255, 255, 255);
}

void question(cairo_t *cr) {
    balloon(cr);
    color(cr, 0, 0, 255);
    cairo_set_line_width(cr, 3);
    cairo_new_path(cr);
    cairo_arc(cr, 16.5, 9.5, 4, 1.0 * pi, 2.35 * pi);
    cairo_line_to(cr, 16.5, 15);
    cairo_line_to(cr, 16.5, 17);
    cairo_stroke(cr);
    cairo_rectangle(cr, 15, 19, 3, 3);
    cairo_fill(cr);
}

void information(cairo_t *cr) {
    balloon(cr);
    color(cr, 0, 0, 255);
    cairo_rectangle(cr, 15, 4, 3, 3);   // the dot
    cairo_rectangle(cr, 15, 9, 3, 10);  // the stem
    cairo_rectangle(cr, 13, 9, 2, 2);   // its serif at the top left
    cairo_rectangle(cr, 13, 18, 7, 2);  // its foot
    cairo_fill(cr);
}

void exclamation(cairo_t *cr) {
    cairo_new_path(cr);
    cairo_move_to(cr, 16.5, 1.5);
    cairo_line_to(cr, 30.5, 28.5);
    cairo_line_to(cr, 2.5, 28.5);
    cairo_close_path(cr);
    fill_and_outline(cr, 255, 255, 0);
    color(cr, 0, 0, 0);
    cairo_rectangle(cr, 15, 9, 3, 11);
    cairo_rectangle(cr, 15, 22, 3, 3);
    cairo_fill(cr);
}

void stop(cairo_t *cr) {
    cairo_new_path(cr);
    cairo_arc(cr, 17.5, 17.5, 14, 0, 2 * pi);
    color(cr, 128, 128, 128);
    cairo_fill(cr);
    cairo_arc(cr, 15.5, 15.5, 14, 0, 2 * pi);
    fill_and_outline(cr, 255, 0, 0);
    color(cr, 255, 255, 255);
    cairo_set_line_width(cr, 3.5);
    cairo_move_to(cr, 10, 10);
    cairo_line_to(cr, 21, 21);
    cairo_move_to(cr, 21, 10);
    cairo_line_to(cr, 10, 21);
    cairo_stroke(cr);
}

// A window: a white client area under a blue caption, in a black frame.
void application(cairo_t *cr) {
    cairo_rectangle(cr, 2.5, 4.5, 27, 23);
    fill_and_outline(cr, 255, 255, 255);
    color(cr, 0, 0, 128);
    cairo_rectangle(cr, 3, 5, 26, 5);
    cairo_fill(cr);
}

}  // namespace

bool draw_system_icon(cairo_t *cr, int x, int y, std::uintptr_t id) {
    void (*picture)(cairo_t *) = nullptr;
    switch (id) {
        case 32512:
            picture = application;
            break;
        case 32513:
            picture = stop;
            break;
        case 32514:
            picture = question;
            break;
        case 32515:
            picture = exclamation;
            break;
        case 32516:
            picture = information;
            break;
        default:
            return false;
    }
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rectangle(cr, 0, 0, 32, 32);
    cairo_clip(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    picture(cr);
    cairo_restore(cr);
    return true;
}

resources::DialogControl message_box_icon_control(UINT type) {
    std::string_view name;
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND:
            name = "#32513";
            break;
        case MB_ICONQUESTION:
            name = "#32514";
            break;
        case MB_ICONEXCLAMATION:
            name = "#32515";
            break;
        default:
            name = "#32516";
            break;
    }
    return {"STATIC", name, -1, WS_CHILD | WS_VISIBLE | SS_ICON, 0, 8, 8, 16, 16};
}

}  // namespace platform::user
