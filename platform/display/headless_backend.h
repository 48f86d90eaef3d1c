// An in-memory screen for tests and for running without a display: it keeps a copy of every surface,
// composes them in stacking order, takes injected input and writes PNG screenshots.
#pragma once

#include "backend.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace platform::display {

class HeadlessBackend : public Backend {
public:
    static constexpr int screen_width = 1024;
    static constexpr int screen_height = 768;

    HeadlessBackend() = default;
    ~HeadlessBackend() override;

    std::string_view name() const override { return "headless"; }
    SurfaceId create_surface(SurfaceId owner, const RECT &area) override;
    void destroy_surface(SurfaceId surface) override;
    void show_surface(SurfaceId surface, bool visible) override;
    void move_surface(SurfaceId surface, const RECT &area) override;
    void raise_surface(SurfaceId surface) override;
    void set_title(SurfaceId surface, std::string_view title) override;
    void set_icon(SurfaceId surface, int width, int height, const std::uint32_t *pixels) override;
    void present(SurfaceId surface, cairo_surface_t *pixels) override;
    void bell() override;
    RECT screen_area() const override { return {0, 0, screen_width, screen_height}; }
    bool shows_own_frame() const override { return true; }

    // Input at a screen point goes to the topmost visible surface there; false when there is none.
    bool click(POINT screen_point, bool double_click = false);
    bool mouse(InputType type, POINT screen_point);
    // Keys go to the topmost visible surface, pressed with the modifiers named.
    bool key(unsigned virtual_key, bool shift = false, bool control = false, bool alt = false);
    bool type_text(std::string_view text);
    bool close(SurfaceId surface);

    // The composed screen's pixel as 0x00RRGGBB.
    std::uint32_t screen_pixel(POINT screen_point) const;
    bool write_screen_png(const std::filesystem::path &file) const;
    bool write_surface_png(SurfaceId surface, const std::filesystem::path &file) const;
    // A copy of the composed screen (caller destroys it).
    cairo_surface_t *compose_screen() const;

    unsigned bell_count() const;
    std::optional<RECT> surface_area(SurfaceId surface) const;
    std::string title(SurfaceId surface) const;
    // Visible surfaces, bottom first.
    std::vector<SurfaceId> stacking_order() const;

    // Counts changes of what shows: surfaces shown, hidden, gone, retitled. A waiter takes the count, looks
    // at the screen, and waits for a count past it; false when `deadline` passed first.
    std::uint64_t changes() const;
    bool wait_for_change(std::uint64_t seen, std::chrono::steady_clock::time_point deadline) const;

private:
    struct Shown {
        SurfaceId owner = 0;
        RECT area{};
        bool visible = false;
        std::string title;
        cairo_surface_t *pixels = nullptr;  // the last presented copy
    };
    std::optional<SurfaceId> surface_at(POINT screen_point) const;
    std::optional<SurfaceId> top_surface() const;
    void raise_locked(SurfaceId surface, int depth = 0);
    void changed_locked();

    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::uint64_t changes_ = 0;
    std::map<SurfaceId, Shown> surfaces_;
    std::vector<SurfaceId> stack_;  // bottom first
    SurfaceId next_id_ = 1;
    unsigned bells_ = 0;
};

}  // namespace platform::display
