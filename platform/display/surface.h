// The pixels of one top-level window and the text a user would read on it. user32 owns one per top-level
// window and draws into it through gdi32; a display backend shows it.
#pragma once

#include <windows.h>

#include <cairo.h>

#include <mutex>
#include <string>
#include <vector>

namespace platform::display {

// A line of text where it landed, in surface coordinates.
struct TextRun {
    RECT area;
    std::string text;
};

class Surface {
public:
    Surface(int width, int height);
    ~Surface();
    Surface(const Surface &) = delete;
    Surface &operator=(const Surface &) = delete;

    cairo_surface_t *image() const { return image_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Keeps the old pixels that still fit; new area is white.
    void resize(int width, int height);

    // Drawn text. Text drawn over older text replaces it; a fill hides the text it covers entirely.
    void record_text(const RECT &area, std::string text);
    void erase_text(const RECT &area);
    std::vector<TextRun> texts() const;

    void mark_dirty() { dirty_ = true; }
    bool take_dirty() {
        bool dirty = dirty_;
        dirty_ = false;
        return dirty;
    }

private:
    cairo_surface_t *image_;
    int width_, height_;
    bool dirty_ = true;
    mutable std::mutex text_lock_;  // tests read the text from other threads
    std::vector<TextRun> texts_;
};

}  // namespace platform::display
