#include "x11_selections.h"

#include "latin1.h"

#include <X11/Xatom.h>

#include <chrono>
#include <cstdio>
#include <vector>

namespace platform::display {
namespace {

// How long a selection's owner has to answer; a client that never does must not hang the program.
constexpr auto answer_limit = std::chrono::seconds(3);

// Protocol errors raised by the calls made while one of these lives are counted instead of ending the
// process: a request names a window that another client may destroy at any moment. Only with the Xlib
// lock held, so that no other thread's errors land here.
class ErrorTrap {
public:
    explicit ErrorTrap(Display *display) : display_(display) {
        XSync(display_, False);
        errors() = 0;
        previous_ = XSetErrorHandler(count);
    }
    ~ErrorTrap() {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }
    bool failed() {
        XSync(display_, False);
        return errors() != 0;
    }

private:
    static int &errors() {
        static int count = 0;
        return count;
    }
    static int count(Display *, XErrorEvent *) {
        ++errors();
        return 0;
    }
    Display *display_;
    XErrorHandler previous_;
};

// The largest property one request can write, with room for the request's own fields.
std::size_t largest_property(Display *display) {
    long units = XExtendedMaxRequestSize(display);
    if (units == 0)
        units = XMaxRequestSize(display);
    return static_cast<std::size_t>(units) * 4 - 64;
}

Time event_time(const XEvent &event) {
    switch (event.type) {
        case KeyPress:
        case KeyRelease:
            return event.xkey.time;
        case ButtonPress:
        case ButtonRelease:
            return event.xbutton.time;
        case PropertyNotify:
            return event.xproperty.time;
        default:
            return CurrentTime;
    }
}

}  // namespace

X11Selections::X11Selections(Display *display, std::mutex &xlib_lock) : display_(display), lock_(xlib_lock) {
    std::lock_guard lock(lock_);
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    window_ = XCreateWindow(display_, DefaultRootWindow(display_), -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent,
                            CWEventMask, &attributes);
    clipboard_ = XInternAtom(display_, "CLIPBOARD", False);
    targets_ = XInternAtom(display_, "TARGETS", False);
    timestamp_ = XInternAtom(display_, "TIMESTAMP", False);
    utf8_string_ = XInternAtom(display_, "UTF8_STRING", False);
    incr_ = XInternAtom(display_, "INCR", False);
    transfer_property_ = XInternAtom(display_, "PLATFORM_SELECTION", False);
    XFlush(display_);
}

Atom X11Selections::atom_of(Selection which) const {
    return which == Selection::clipboard ? clipboard_ : XA_PRIMARY;
}

X11Selections::Offer *X11Selections::offer_for(Atom selection) {
    if (selection == clipboard_)
        return &clipboard_offer_;
    if (selection == XA_PRIMARY)
        return &primary_offer_;
    return nullptr;
}

void X11Selections::own(Selection which, std::string_view utf8) {
    std::lock_guard lock(lock_);
    Atom selection = atom_of(which);
    Offer &offer = *offer_for(selection);
    offer.utf8 = std::string(utf8);
    offer.since = last_event_time_;
    XSetSelectionOwner(display_, selection, window_, offer.since);
    offer.held = XGetSelectionOwner(display_, selection) == window_;
    XFlush(display_);
}

std::optional<std::string> X11Selections::read(Selection which) {
    std::unique_lock lock(lock_);
    Atom selection = atom_of(which);
    Window owner = XGetSelectionOwner(display_, selection);
    if (owner == None)
        return std::nullopt;
    if (owner == window_) {
        const Offer &offer = *offer_for(selection);
        return offer.held ? std::optional(offer.utf8) : std::nullopt;
    }
    // UTF-8 first; a client that offers only Latin-1 STRING is asked again for that.
    if (auto text = convert(lock, selection, utf8_string_))
        return text;
    if (auto text = convert(lock, selection, XA_STRING))
        return latin1_to_utf8(*text);
    return std::nullopt;
}

std::optional<std::string> X11Selections::convert(std::unique_lock<std::mutex> &lock, Atom selection, Atom target) {
    transfer_ = Transfer{true, selection, target, false, std::nullopt};
    XDeleteProperty(display_, window_, transfer_property_);
    XConvertSelection(display_, selection, target, transfer_property_, window_, last_event_time_);
    XFlush(display_);
    bool answered = arrived_.wait_for(lock, answer_limit, [this] { return transfer_.done; });
    transfer_.waiting = false;
    if (!answered)
        std::fprintf(stderr, "display: the selection's owner did not answer; nothing pasted\n");
    return answered ? transfer_.bytes : std::nullopt;
}

bool X11Selections::handle(const XEvent &event) {
    if (Time time = event_time(event); time != CurrentTime)
        last_event_time_ = time;
    if (event.xany.window != window_ || window_ == None)
        return false;
    switch (event.type) {
        case SelectionRequest:
            answer(event.xselectionrequest);
            return true;
        case SelectionClear:
            // Another client took the selection: what this process offered is no longer the selection.
            if (Offer *offer = offer_for(event.xselectionclear.selection)) {
                offer->held = false;
                offer->utf8.clear();
            }
            return true;
        case SelectionNotify:
            receive(event.xselection);
            return true;
        default:
            return true;
    }
}

void X11Selections::answer(const XSelectionRequestEvent &request) {
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = display_;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = None;  // refused, unless written below
    const Offer *offer = offer_for(request.selection);
    // A request from before this process took the selection asks for an earlier owner's contents.
    bool current = offer && offer->held &&
                   (request.time == CurrentTime || offer->since == CurrentTime || request.time >= offer->since);
    // Clients of the obsolete protocol name no property: the target's name is used instead.
    Atom property = request.property != None ? request.property : request.target;
    ErrorTrap trap(display_);
    if (current && request.requestor != None && write_target(*offer, request.requestor, property, request.target))
        reply.property = property;
    XSendEvent(display_, request.requestor, False, NoEventMask, reinterpret_cast<XEvent *>(&reply));
    trap.failed();  // a requestor that went away has nothing left to tell
}

bool X11Selections::write_target(const Offer &offer, Window requestor, Atom property, Atom target) {
    ErrorTrap trap(display_);
    if (target == targets_) {
        Atom offered[] = {targets_, timestamp_, utf8_string_, XA_STRING};
        XChangeProperty(display_, requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(offered), 4);
    } else if (target == timestamp_) {
        long since = static_cast<long>(offer.since);
        XChangeProperty(display_, requestor, property, XA_INTEGER, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(&since), 1);
    } else if (target == utf8_string_ || target == XA_STRING) {
        std::string bytes = target == utf8_string_ ? offer.utf8 : utf8_to_latin1(offer.utf8);
        // Larger contents would need the incremental protocol, which is not offered.
        if (bytes.size() > largest_property(display_))
            return false;
        XChangeProperty(display_, requestor, property, target, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(bytes.data()), static_cast<int>(bytes.size()));
    } else {
        return false;  // MULTIPLE and every other target are not offered
    }
    return !trap.failed();
}

void X11Selections::receive(const XSelectionEvent &notify) {
    if (!transfer_.waiting || notify.selection != transfer_.selection || notify.target != transfer_.target)
        return;
    transfer_.done = true;
    transfer_.bytes.reset();
    if (notify.property != None) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char *data = nullptr;
        ErrorTrap trap(display_);
        long longest = static_cast<long>(largest_property(display_) / 4);
        if (XGetWindowProperty(display_, window_, notify.property, 0, longest, True, AnyPropertyType, &type, &format,
                               &count, &remaining, &data) == Success &&
            !trap.failed()) {
            // Only whole 8-bit text of the type asked for; an incremental transfer is not taken.
            if (type == transfer_.target && format == 8 && remaining == 0 && data)
                transfer_.bytes = std::string(reinterpret_cast<const char *>(data), count);
        }
        if (data)
            XFree(data);
        if (type == incr_ || remaining > 0) {
            std::fprintf(stderr, "display: the selection is too large to take in one piece; nothing pasted\n");
            XDeleteProperty(display_, window_, notify.property);
        }
    }
    arrived_.notify_all();
}

}  // namespace platform::display
