// What the X11 layer's files share: the per-form connection, the window
// tree, the slider's geometry and the guards every X call runs under.
//
// Thread: UI, as the rest of the layer.
#pragma once

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "x11/X11Platform.h"

namespace orvo {

// Named, not anonymous: the turn and the error trap must be one per process,
// whichever of the layer's files takes them.
namespace x11 {

enum Kind { kForm, kGroup, kLabel, kSlider, kRadio, kMemo, kPicture, kKnob };
constexpr int kColours = 7;

// Xft, fontconfig and FreeType keep process-wide caches without locks of
// their own: every connection that opens a font shares one face per font
// file, and glyphs are loaded into it as text is measured and drawn. Hosts
// may run each plug-in window on a UI thread of its own, so our X work takes
// turns across the process: one UI thread at a time, held for a whole entry
// (re-entered freely on the thread that holds it). Only UI threads ever wait
// here; the audio thread never comes near the editor.
class XTurn {
public:
    XTurn() {
        if (depth++ == 0) turn().lock();
    }
    ~XTurn() {
        if (--depth == 0) turn().unlock();
    }
    XTurn(const XTurn&) = delete;
    XTurn& operator=(const XTurn&) = delete;

private:
    static std::mutex& turn() {
        static std::mutex m;
        return m;
    }
    static thread_local inline int depth = 0;
};

// Xlib reports protocol errors through one process-wide handler whose
// default ends the process. A window of ours can vanish under us (the host
// destroys its window before effEditClose), so errors on our connection are
// swallowed while we work and everything else goes to the handler that was
// in place before ours.
//
// Hosts may run each plug-in window on a UI thread of its own, so nothing
// here is per process but the handler itself: which connection a thread is
// working on is the thread's own, and the handler, once put in place, stays
// until the library unloads. Swapping it in and out around each piece of
// work, as one thread could, would let two threads restore each other's.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* d) : d(d) {
        if (!d || depth++ > 0) return;
        working = d;
        install();
    }
    ~ErrorTrap() {
        if (!d || --depth > 0) return;
        XSync(d, False);  // errors of our requests arrive while still trapped
        working = nullptr;
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

private:
    // Called on the thread whose request failed: Xlib reports an error while
    // that thread reads its connection.
    static int handler(Display* display, XErrorEvent* e) {
        if (display == working) return 0;
        XErrorHandler next = previous.load(std::memory_order_relaxed);
        return next ? next(display, e) : 0;
    }
    // Puts the handler back in place should someone have replaced it since.
    static void install() {
        XErrorHandler before = XSetErrorHandler(&handler);
        if (before != &handler) previous.store(before, std::memory_order_relaxed);
    }
    // At unload the function must not stay installed.
    struct Uninstall {
        ~Uninstall() {
            XErrorHandler before = previous.load(std::memory_order_relaxed);
            if (!before) return;
            XErrorHandler current = XSetErrorHandler(before);
            if (current != &handler) XSetErrorHandler(current);  // not ours: leave it
        }
    };

    XTurn turn;  // first in, last out: the trap is set and lifted within the turn
    Display* d;
    static thread_local inline Display* working = nullptr;  // this thread's connection while trapped
    static thread_local inline int depth = 0;               // traps open on this thread
    static inline std::atomic<XErrorHandler> previous{nullptr};
    static inline Uninstall uninstall;
};

}  // namespace x11

struct X11Platform::Connection {
    Display* display = nullptr;
    int screen = 0;
    Visual* visual = nullptr;
    Colormap colormap = 0;
    int depth = 0;
    GC gc = nullptr;
    XftFont* font = nullptr;
    XftColor textColour{};
    bool haveTextColour = false;
    unsigned long pixel[x11::kColours] = {};

    unsigned long pixelOf(Colour c) const { return pixel[static_cast<int>(c)]; }
    unsigned long pixelOfRgb(std::uint32_t rgb) {
        XColor xc{};
        xc.red = static_cast<unsigned short>(((rgb >> 16) & 0xFF) * 257);
        xc.green = static_cast<unsigned short>(((rgb >> 8) & 0xFF) * 257);
        xc.blue = static_cast<unsigned short>((rgb & 0xFF) * 257);
        xc.flags = DoRed | DoGreen | DoBlue;
        return XAllocColor(display, colormap, &xc) ? xc.pixel : BlackPixel(display, screen);
    }
    ~Connection() {
        if (!display) return;
        if (font) XftFontClose(display, font);
        if (haveTextColour) XftColorFree(display, visual, colormap, &textColour);
        if (gc) XFreeGC(display, gc);
        // Closing the connection also frees every window and pixmap it made.
        XCloseDisplay(display);
    }
};

struct X11Platform::Node {
    int kind = x11::kForm;
    Window window = 0;
    Node* parent = nullptr;
    Box box;
    std::string text;
    std::vector<std::string> items;
    bool alignBottom = false;
    int value = 0;   // slider position, radio selection
    int max = 0;     // slider range
    int tickEvery = 5;
    ControlSink* sink = nullptr;
    Pixmap picture = 0;
    bool dirty = true;
    int caretLine = 0;    // memo: caret as line and byte offset
    std::size_t caretByte = 0;
};

}  // namespace orvo
