#include "surface.h"

#include <algorithm>

namespace platform::display {
namespace {

bool overlaps(const RECT &a, const RECT &b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool contains(const RECT &outer, const RECT &inner) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

cairo_surface_t *white_image(int width, int height) {
    auto *image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(width, 1), std::max(height, 1));
    cairo_t *cr = cairo_create(image);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_destroy(cr);
    return image;
}

}  // namespace

Surface::Surface(int width, int height) : image_(white_image(width, height)), width_(width), height_(height) {}

Surface::~Surface() {
    cairo_surface_destroy(image_);
}

void Surface::resize(int width, int height) {
    if (width == width_ && height == height_)
        return;
    auto *image = white_image(width, height);
    cairo_t *cr = cairo_create(image);
    cairo_set_source_surface(cr, image_, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(image_);
    image_ = image;
    width_ = width;
    height_ = height;
    dirty_ = true;
}

void Surface::record_text(const RECT &area, std::string text) {
    std::lock_guard lock(text_lock_);
    std::erase_if(texts_, [&](const TextRun &run) { return overlaps(run.area, area); });
    texts_.push_back({area, std::move(text)});
}

void Surface::erase_text(const RECT &area) {
    std::lock_guard lock(text_lock_);
    std::erase_if(texts_, [&](const TextRun &run) { return contains(area, run.area); });
}

std::vector<TextRun> Surface::texts() const {
    std::lock_guard lock(text_lock_);
    auto sorted = texts_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const TextRun &a, const TextRun &b) {
        return a.area.top != b.area.top ? a.area.top < b.area.top : a.area.left < b.area.left;
    });
    return sorted;
}

}  // namespace platform::display
