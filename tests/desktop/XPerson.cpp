#include "tests/desktop/XPerson.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <thread>

namespace {

// A 32-bit property of the window; -1 when it has none.
long CardinalProperty(Display* display, Window window, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long value = -1;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
            Success &&
        data && format == 32 && count == 1)
        value = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
    if (data) XFree(data);
    return value;
}

// The title as the window manager would show it: the UTF-8 name first, else WM_NAME.
std::string Title(Display* display, Window window) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 1024, False,
                           XInternAtom(display, "UTF8_STRING", False), &type, &format, &count, &after, &data) == Success &&
        data && format == 8) {
        title.assign(reinterpret_cast<char*>(data), count);
    } else {
        char* name = nullptr;
        if (XFetchName(display, window, &name) && name) {
            title = name;
            XFree(name);
        }
    }
    if (data) XFree(data);
    return title;
}

}  // namespace

XPerson::XPerson() {
    // One connection for the test program's life: an X server resets when its last
    // client leaves, and refuses connections while it does, between two tests.
    static Display* shared = [] {
        // The program's windows may go at any moment: a request about one that has
        // gone fails, and the call reports it, instead of Xlib ending the test.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        return XOpenDisplay(nullptr);
    }();
    display_ = shared;
    if (!display_) {
        problem_ = "cannot open the X display";
        return;
    }
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display_, &event, &error, &major, &minor)) problem_ = "the X server has no test extension";
}

XPerson::Place XPerson::WaitForWindow(pid_t process, const std::string& title, int limitMs) {
    const Atom pidAtom = XInternAtom(display_, "_NET_WM_PID", False);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        Place found;
        if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && !found.window; ++i) {
                XWindowAttributes attributes;
                if (!XGetWindowAttributes(display_, children[i], &attributes) || attributes.map_state != IsViewable)
                    continue;
                if (CardinalProperty(display_, children[i], pidAtom) != process || Title(display_, children[i]) != title)
                    continue;
                int x = 0, y = 0;
                Window child = 0;
                XTranslateCoordinates(display_, children[i], root, 0, 0, &x, &y, &child);
                found = {children[i], x, y, attributes.width, attributes.height};
            }
            if (children) XFree(children);
        }
        if (found.window || std::chrono::steady_clock::now() >= end) return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool XPerson::Shows(unsigned long window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable;
}

std::vector<unsigned long> XPerson::Look(unsigned long window, int x, int y, int width, int height) {
    std::vector<unsigned long> pixels;
    XImage* image = XGetImage(display_, window, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    if (!image) return pixels;
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column) pixels.push_back(XGetPixel(image, column, row) & 0xFFFFFF);
    XDestroyImage(image);
    return pixels;
}

void XPerson::MoveTo(int x, int y) {
    XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
    XSync(display_, False);
}

void XPerson::Click(int x, int y) {
    XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XSync(display_, False);
}

void XPerson::Close(unsigned long window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XSync(display_, False);
}

void XPerson::Key(unsigned keycode, bool down) { XTestFakeKeyEvent(display_, keycode, down, CurrentTime); }

std::string XPerson::Type(const std::string& text) {
    const unsigned shift = XKeysymToKeycode(display_, XK_Shift_L);
    for (char c : text) {
        // Printable ASCII keysyms are the characters' own codes.
        const KeySym symbol = static_cast<unsigned char>(c);
        const KeyCode code = XKeysymToKeycode(display_, symbol);
        if (c < 0x20 || c > 0x7e || !code) return std::string("no key types '") + c + "'";
        const bool shifted = XkbKeycodeToKeysym(display_, code, 0, 0) != symbol;
        if (shifted) Key(shift, true);
        Key(code, true);
        Key(code, false);
        if (shifted) Key(shift, false);
    }
    XSync(display_, False);
    return {};
}

std::string XPerson::Press(const std::string& key, bool control) {
    const KeySym symbol = XStringToKeysym(key.c_str());
    const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(display_, symbol);
    if (!code) return "no key is named " + key;
    const unsigned ctrl = XKeysymToKeycode(display_, XK_Control_L);
    if (control) Key(ctrl, true);
    Key(code, true);
    Key(code, false);
    if (control) Key(ctrl, false);
    XSync(display_, False);
    return {};
}
