// The clipboard and primary selections on X, as ICCCM describes them: the process owns a selection while
// it offers text, answers other clients' requests for it, and reads a selection from whichever client owns it.
#pragma once

#include "backend.h"

#include <X11/Xlib.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

namespace platform::display {

class X11Selections {
public:
    // `xlib_lock` is the lock every Xlib call of the connection is made under.
    X11Selections(Display *display, std::mutex &xlib_lock);
    X11Selections(const X11Selections &) = delete;
    X11Selections &operator=(const X11Selections &) = delete;

    // From the event reader, with the lock held: true when the event was about the selections.
    bool handle(const XEvent &event);

    // Without the lock held.
    void own(Selection which, std::string_view utf8);
    std::optional<std::string> read(Selection which);

private:
    struct Offer {
        bool held = false;
        std::string utf8;
        Time since = CurrentTime;
    };
    struct Transfer {
        bool waiting = false;
        Atom selection = None, target = None;
        bool done = false;
        std::optional<std::string> bytes;
    };

    Atom atom_of(Selection which) const;
    Offer *offer_for(Atom selection);
    void answer(const XSelectionRequestEvent &request);
    bool write_target(const Offer &offer, Window requestor, Atom property, Atom target);
    void receive(const XSelectionEvent &notify);
    std::optional<std::string> convert(std::unique_lock<std::mutex> &lock, Atom selection, Atom target);

    Display *display_;
    std::mutex &lock_;
    std::condition_variable arrived_;
    Window window_ = None;  // an unmapped window that owns the selections and receives their contents
    Atom clipboard_, targets_, timestamp_, utf8_string_, incr_, transfer_property_;
    Offer clipboard_offer_, primary_offer_;
    Transfer transfer_;
    Time last_event_time_ = CurrentTime;
};

}  // namespace platform::display
