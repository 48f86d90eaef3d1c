// The one small interface between the window manager in user32 and where pixels go. A backend shows
// top-level surfaces and reports input on them; it knows nothing of windows or messages.
#pragma once

#include <windows.h>

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform::display {

using SurfaceId = std::uint32_t;

// What happens to a surface: the user's input, and what a window manager does to it (close, moved,
// show_state, activated, deactivated).
enum class InputType {
    button_down,
    button_up,
    double_click,
    mouse_move,
    key_down,
    key_up,
    character,
    close,        // the manager's close button
    middle_down,  // the middle button, which pastes the primary selection on X
    middle_up,
    moved,        // the manager moved or sized it: `area`
    show_state,   // the manager maximised, minimised or restored it: `state`
    activated,    // the manager gave it the keyboard focus
    deactivated,  // the keyboard focus left it for a window of another program (or none)
};

enum class ShowState { normal, maximized, minimized };

// Input on a surface. Points are relative to the surface's top left corner.
struct InputEvent {
    InputType type;
    SurfaceId surface = 0;
    POINT point{};
    unsigned virtual_key = 0;  // key_down, key_up
    char character = 0;        // character
    bool shift = false;
    bool control = false;  // key_down, key_up: Ctrl and Alt held with the key
    bool alt = false;
    RECT area{};                          // moved: the whole surface on the screen, frame drawn by user32 included
    ShowState state = ShowState::normal;  // show_state
};

// What a window's style asks a window manager to offer for its surface.
struct SurfaceTraits {
    bool caption = true;
    bool sizable = true;  // a sizing frame; without one the manager keeps the size
    bool minimize_box = true;
    bool maximize_box = true;
    bool close_box = true;   // the system menu, whose Close the close button is
    bool dialog = false;     // a dialog box or message box
    bool unmanaged = false;  // a pop-up menu: shown where it is asked to be, with no frame and no focus
};

// The two selections a desktop shares text through: the clipboard (copy and paste) and the primary
// selection (what is selected now, pasted with the middle button).
enum class Selection { clipboard, primary };

class Backend {
public:
    virtual ~Backend() = default;
    virtual std::string_view name() const = 0;

    // A top-level surface at `area` (screen coordinates); `owner` (0 for none) keeps it above its owner.
    virtual SurfaceId create_surface(SurfaceId owner, const RECT &area) = 0;
    virtual void destroy_surface(SurfaceId surface) = 0;
    virtual void show_surface(SurfaceId surface, bool visible) = 0;
    virtual void move_surface(SurfaceId surface, const RECT &area) = 0;
    // Raises the surface, then the surfaces it owns above it (and theirs above them).
    virtual void raise_surface(SurfaceId surface) = 0;
    // Gives the surface the keyboard focus once it shows; nothing for a backend without a keyboard of its own.
    virtual void focus_surface(SurfaceId surface) {}
    // The surface with the screen's keyboard focus as the backend last learnt or asked for it; 0 when none of
    // ours has it (and for a backend without a focus of its own). Focus events reach user32 late: this says
    // whether one still holds when it is applied.
    virtual SurfaceId focused_surface() { return 0; }
    // Before the surface first shows, and when the style changes.
    virtual void set_traits(SurfaceId surface, const SurfaceTraits &traits) {}
    virtual void set_title(SurfaceId surface, std::string_view title) = 0;
    // 0xAARRGGBB pixels, row by row.
    virtual void set_icon(SurfaceId surface, int width, int height, const std::uint32_t *pixels) = 0;
    // Shows the surface's current pixels; the backend copies what it keeps.
    virtual void present(SurfaceId surface, cairo_surface_t *pixels) = 0;
    virtual void bell() = 0;
    virtual RECT screen_area() const = 0;
    // True when the backend's screen shows the frame and caption user32 draws; false when a window manager
    // draws its own and only the part below the caption is shown.
    virtual bool shows_own_frame() const = 0;

    // The part of a surface that user32 draws as frame and caption. A backend whose window manager draws
    // its own frame shows only what lies inside these insets.
    virtual void set_frame_insets(SurfaceId surface, const RECT &insets) {}

    // Shared selections. A backend without them (the headless screen) leaves the text to the process's own
    // store. Text is UTF-8.
    virtual bool has_selections() const { return false; }
    // Offers `text` to other clients as the selection's contents until another client takes it.
    virtual void own_selection(Selection which, std::string_view text) {}
    // The selection's text from whichever client holds it; nothing when nobody does or the holder refuses.
    virtual std::optional<std::string> read_selection(Selection which) { return std::nullopt; }

    // Where input goes. The sink is called from whichever thread produces the input.
    void set_input_sink(std::function<void(const InputEvent &)> sink) { sink_ = std::move(sink); }

protected:
    void deliver(const InputEvent &event) const {
        if (sink_)
            sink_(event);
    }

private:
    std::function<void(const InputEvent &)> sink_;
};

// The process's backend, made on first use: x11, or headless when the prefix's [display] backend (or
// PLATFORM_DISPLAY_BACKEND) says so. Without a usable X display the program ends with exit code 1 and a
// message on standard error that says what to do.
Backend &backend();

// For tests: replaces the process's backend before any window exists.
void install_backend(std::unique_ptr<Backend> replacement);
// The backend if one was made already, else null (makes none).
Backend *existing_backend();

}  // namespace platform::display
