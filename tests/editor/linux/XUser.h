// A user at an X display, for the editor test hosts: the pointer and keys
// through XTest, and what a user sees (child windows, pixels) of the host's
// window. Header-only, so each test host takes it without a library.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <dirent.h>

#include <cstdint>
#include <vector>

namespace orvo::test {

struct XUser {
    Display* dpy = nullptr;
    Window parent = 0;  // the host's window: coordinates below are its own

    int childCount(Window w) const {
        Window root, par, *kids = nullptr;
        unsigned n = 0;
        if (!XQueryTree(dpy, w, &root, &par, &kids, &n)) return -1;
        if (kids) XFree(kids);
        return static_cast<int>(n);
    }

    std::vector<std::uint32_t> grab(int x, int y, int w, int h) const {
        std::vector<std::uint32_t> px;
        XImage* img =
            XGetImage(dpy, parent, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
        if (!img) return px;
        for (int yy = 0; yy < h; ++yy)
            for (int xx = 0; xx < w; ++xx) px.push_back(static_cast<std::uint32_t>(XGetPixel(img, xx, yy)) & 0xFFFFFF);
        XDestroyImage(img);
        return px;
    }

    void pointerTo(int x, int y) const {
        int rx, ry;
        Window child;
        XTranslateCoordinates(dpy, parent, DefaultRootWindow(dpy), x, y, &rx, &ry, &child);
        XTestFakeMotionEvent(dpy, DefaultScreen(dpy), rx, ry, CurrentTime);
        XFlush(dpy);
    }
    void button(bool down) const {
        XTestFakeButtonEvent(dpy, 1, down ? True : False, CurrentTime);
        XFlush(dpy);
    }
    void key(KeySym sym) const {
        KeyCode code = XKeysymToKeycode(dpy, sym);
        XTestFakeKeyEvent(dpy, code, True, CurrentTime);
        XTestFakeKeyEvent(dpy, code, False, CurrentTime);
        XFlush(dpy);
    }
    // Knob Drag (Tsumami1, at 216,96 in the form at the parent's top-left)
    // dragged 20 pixels up, 0.5 to 0.6, as a user does it: `idleFor(ms)`
    // runs the host's idle between the steps.
    template <class Idle>
    void dragKnobDragUp20(Idle&& idleFor) const {
        pointerTo(216 + 16, 96 + 16);
        idleFor(80);
        button(true);
        idleFor(80);
        pointerTo(216 + 16, 96 + 16 - 10);
        idleFor(80);
        pointerTo(216 + 16, 96 + 16 - 20);
        idleFor(80);
        button(false);
        idleFor(150);
    }
    // Reads and drops what the test's own connection received.
    void drain() const {
        while (XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
        }
    }
    // A mapped top-level window for the editor to live in.
    void openParent(int width, int height) {
        parent = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 40, 40, static_cast<unsigned>(width),
                                     static_cast<unsigned>(height), 0, 0, 0x404040);
        XSelectInput(dpy, parent, StructureNotifyMask);
        XMapWindow(dpy, parent);
        for (XEvent ev; XNextEvent(dpy, &ev), ev.type != MapNotify;) {
        }
    }
};

// Descriptors open in this process: what a closed editor must give back.
inline int openFds() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

}  // namespace orvo::test
