#include "headless_backend.h"

#include <algorithm>

namespace platform::display {
namespace {

// The desktop behind all windows.
constexpr double desktop_red = 0.0, desktop_green = 0.5, desktop_blue = 0.5;

bool inside(const RECT &area, POINT point) {
    return point.x >= area.left && point.x < area.right && point.y >= area.top && point.y < area.bottom;
}

cairo_surface_t *copy_of(cairo_surface_t *pixels) {
    int width = cairo_image_surface_get_width(pixels);
    int height = cairo_image_surface_get_height(pixels);
    auto *copy = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t *cr = cairo_create(copy);
    cairo_set_source_surface(cr, pixels, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    return copy;
}

}  // namespace

HeadlessBackend::~HeadlessBackend() {
    for (auto &[id, shown] : surfaces_)
        if (shown.pixels)
            cairo_surface_destroy(shown.pixels);
}

SurfaceId HeadlessBackend::create_surface(SurfaceId owner, const RECT &area) {
    std::lock_guard lock(lock_);
    SurfaceId id = next_id_++;
    surfaces_[id] = Shown{owner, area, false, {}, nullptr};
    return id;
}

void HeadlessBackend::destroy_surface(SurfaceId surface) {
    std::lock_guard lock(lock_);
    auto found = surfaces_.find(surface);
    if (found == surfaces_.end())
        return;
    if (found->second.pixels)
        cairo_surface_destroy(found->second.pixels);
    surfaces_.erase(found);
    std::erase(stack_, surface);
    changed_locked();
}

void HeadlessBackend::show_surface(SurfaceId surface, bool visible) {
    std::lock_guard lock(lock_);
    auto found = surfaces_.find(surface);
    if (found == surfaces_.end())
        return;
    found->second.visible = visible;
    if (visible)
        raise_locked(surface);
    changed_locked();
}

void HeadlessBackend::move_surface(SurfaceId surface, const RECT &area) {
    std::lock_guard lock(lock_);
    if (auto found = surfaces_.find(surface); found != surfaces_.end())
        found->second.area = area;
}

void HeadlessBackend::raise_surface(SurfaceId surface) {
    std::lock_guard lock(lock_);
    raise_locked(surface);
}

void HeadlessBackend::raise_locked(SurfaceId surface, int depth) {
    if (!surfaces_.count(surface) || depth > 16)  // 16: ownership has no cycles, but a bad caller stops here
        return;
    std::erase(stack_, surface);
    stack_.push_back(surface);
    // Owned surfaces stay above their owner, and theirs above them.
    for (auto &[id, shown] : surfaces_)
        if (shown.owner == surface && id != surface)
            raise_locked(id, depth + 1);
}

void HeadlessBackend::set_title(SurfaceId surface, std::string_view title) {
    std::lock_guard lock(lock_);
    if (auto found = surfaces_.find(surface); found != surfaces_.end())
        found->second.title = title;
    changed_locked();
}

void HeadlessBackend::changed_locked() {
    ++changes_;
    changed_.notify_all();
}

std::uint64_t HeadlessBackend::changes() const {
    std::lock_guard lock(lock_);
    return changes_;
}

bool HeadlessBackend::wait_for_change(std::uint64_t seen, std::chrono::steady_clock::time_point deadline) const {
    std::unique_lock lock(lock_);
    return changed_.wait_until(lock, deadline, [&] { return changes_ != seen; });
}

void HeadlessBackend::set_icon(SurfaceId, int, int, const std::uint32_t *) {}

void HeadlessBackend::present(SurfaceId surface, cairo_surface_t *pixels) {
    cairo_surface_flush(pixels);
    auto *copy = copy_of(pixels);
    std::lock_guard lock(lock_);
    auto found = surfaces_.find(surface);
    if (found == surfaces_.end()) {
        cairo_surface_destroy(copy);
        return;
    }
    if (found->second.pixels)
        cairo_surface_destroy(found->second.pixels);
    found->second.pixels = copy;
}

void HeadlessBackend::bell() {
    std::lock_guard lock(lock_);
    ++bells_;
}

unsigned HeadlessBackend::bell_count() const {
    std::lock_guard lock(lock_);
    return bells_;
}

std::optional<SurfaceId> HeadlessBackend::surface_at(POINT screen_point) const {
    for (auto it = stack_.rbegin(); it != stack_.rend(); ++it) {
        const auto &shown = surfaces_.at(*it);
        if (shown.visible && inside(shown.area, screen_point))
            return *it;
    }
    return std::nullopt;
}

std::optional<SurfaceId> HeadlessBackend::top_surface() const {
    for (auto it = stack_.rbegin(); it != stack_.rend(); ++it)
        if (surfaces_.at(*it).visible)
            return *it;
    return std::nullopt;
}

bool HeadlessBackend::mouse(InputType type, POINT screen_point) {
    InputEvent event{type};
    {
        std::lock_guard lock(lock_);
        auto target = surface_at(screen_point);
        if (!target)
            return false;
        const RECT &area = surfaces_.at(*target).area;
        event.surface = *target;
        event.point = {screen_point.x - area.left, screen_point.y - area.top};
    }
    deliver(event);
    return true;
}

bool HeadlessBackend::click(POINT screen_point, bool double_click) {
    if (!mouse(InputType::button_down, screen_point) || !mouse(InputType::button_up, screen_point))
        return false;
    if (double_click)
        return mouse(InputType::double_click, screen_point) && mouse(InputType::button_up, screen_point);
    return true;
}

bool HeadlessBackend::key(unsigned virtual_key, bool shift, bool control, bool alt) {
    InputEvent event{InputType::key_down};
    {
        std::lock_guard lock(lock_);
        auto target = top_surface();
        if (!target)
            return false;
        event.surface = *target;
    }
    event.virtual_key = virtual_key;
    event.shift = shift;
    event.control = control;
    event.alt = alt;
    deliver(event);
    event.type = InputType::key_up;
    deliver(event);
    return true;
}

bool HeadlessBackend::type_text(std::string_view text) {
    InputEvent event{InputType::character};
    {
        std::lock_guard lock(lock_);
        auto target = top_surface();
        if (!target)
            return false;
        event.surface = *target;
    }
    for (char c : text) {
        event.character = c;
        deliver(event);
    }
    return true;
}

bool HeadlessBackend::close(SurfaceId surface) {
    {
        std::lock_guard lock(lock_);
        if (!surfaces_.count(surface))
            return false;
    }
    InputEvent event{InputType::close};
    event.surface = surface;
    deliver(event);
    return true;
}

cairo_surface_t *HeadlessBackend::compose_screen() const {
    auto *screen = cairo_image_surface_create(CAIRO_FORMAT_RGB24, screen_width, screen_height);
    cairo_t *cr = cairo_create(screen);
    cairo_set_source_rgb(cr, desktop_red, desktop_green, desktop_blue);
    cairo_paint(cr);
    std::lock_guard lock(lock_);
    for (SurfaceId id : stack_) {
        const auto &shown = surfaces_.at(id);
        if (!shown.visible || !shown.pixels)
            continue;
        cairo_set_source_surface(cr, shown.pixels, shown.area.left, shown.area.top);
        cairo_paint(cr);
    }
    cairo_destroy(cr);
    cairo_surface_flush(screen);
    return screen;
}

std::uint32_t HeadlessBackend::screen_pixel(POINT screen_point) const {
    if (!inside(screen_area(), screen_point))
        return 0;
    auto *screen = compose_screen();
    auto *row = cairo_image_surface_get_data(screen) + screen_point.y * cairo_image_surface_get_stride(screen);
    std::uint32_t pixel = reinterpret_cast<const std::uint32_t *>(row)[screen_point.x] & 0xFFFFFF;
    cairo_surface_destroy(screen);
    return pixel;
}

bool HeadlessBackend::write_screen_png(const std::filesystem::path &file) const {
    auto *screen = compose_screen();
    bool written = cairo_surface_write_to_png(screen, file.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(screen);
    return written;
}

bool HeadlessBackend::write_surface_png(SurfaceId surface, const std::filesystem::path &file) const {
    std::lock_guard lock(lock_);
    auto found = surfaces_.find(surface);
    if (found == surfaces_.end() || !found->second.pixels)
        return false;
    return cairo_surface_write_to_png(found->second.pixels, file.c_str()) == CAIRO_STATUS_SUCCESS;
}

std::optional<RECT> HeadlessBackend::surface_area(SurfaceId surface) const {
    std::lock_guard lock(lock_);
    if (auto found = surfaces_.find(surface); found != surfaces_.end())
        return found->second.area;
    return std::nullopt;
}

std::string HeadlessBackend::title(SurfaceId surface) const {
    std::lock_guard lock(lock_);
    if (auto found = surfaces_.find(surface); found != surfaces_.end())
        return found->second.title;
    return {};
}

std::vector<SurfaceId> HeadlessBackend::stacking_order() const {
    std::lock_guard lock(lock_);
    std::vector<SurfaceId> visible;
    for (SurfaceId id : stack_)
        if (surfaces_.at(id).visible)
            visible.push_back(id);
    return visible;
}

}  // namespace platform::display
