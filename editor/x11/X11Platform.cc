#include "x11/X11Platform.h"

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Layout.h"
#include "x11/ScreenScale.h"

namespace orvo {

namespace {

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

// Slider geometry: where the channel runs and where the thumb of a position
// sits, shared by painting and hit-testing.
struct SliderGeometry {
    int cx, top, bottom, max;
    int halfAcross, above, below;  // the thumb: 15 across, 8 along the channel at 1x
    SliderGeometry(Box b, int max, Scale s)
        : cx(b.width / 2), top(s.px(8)), bottom(b.height - s.px(9)), max(max > 0 ? max : 1), halfAcross(s.px(7)),
          above(s.px(4)), below(s.px(3)) {}
    int centre(int p) const { return top + static_cast<int>(std::lround(double(p) * (bottom - top) / max)); }
    int positionAt(int y) const {
        int p = static_cast<int>(std::lround(double(y - top) * max / (bottom - top)));
        return std::clamp(p, 0, max);
    }
};

}  // namespace

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
    unsigned long pixel[kColours] = {};

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
    int kind = kForm;
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

namespace {

// GDI drawing semantics on Xlib: boxes exclude their right and bottom edges,
// lines exclude their end point, arcs run counter-clockwise between rays.
class XCanvas : public Canvas {
public:
    // Wider pens draw with the server's wide lines; 1-pixel ones keep the
    // exact pixels of thin lines and of the point-by-point strokes below.
    XCanvas(X11Platform::Connection& x, Drawable d, int width) : x(x), d(d), width(width) {
        if (width > 1) XSetLineAttributes(x.display, x.gc, static_cast<unsigned>(width), LineSolid, CapRound, JoinRound);
    }
    ~XCanvas() override {
        if (width > 1) XSetLineAttributes(x.display, x.gc, 0, LineSolid, CapButt, JoinMiter);
    }
    void setPen(Colour c) override { pen = x.pixelOf(c); }
    void setBrush(Colour c) override { brush = x.pixelOf(c); }
    void ellipse(int l, int t, int r, int b) override {
        if (r - l < 2 || b - t < 2) return;
        XSetForeground(x.display, x.gc, brush);
        XFillArc(x.display, d, x.gc, l, t, static_cast<unsigned>(r - l - 1), static_cast<unsigned>(b - t - 1), 0,
                 360 * 64);
        XSetForeground(x.display, x.gc, pen);
        XDrawArc(x.display, d, x.gc, l, t, static_cast<unsigned>(r - l - 1), static_cast<unsigned>(b - t - 1), 0,
                 360 * 64);
    }
    void arc(int l, int t, int r, int b, int x1, int y1, int x2, int y2) override {
        if (r - l < 2 || b - t < 2) return;
        const double cx = (l + r) / 2.0, cy = (t + b) / 2.0;
        const double a1 = std::atan2(cy - y1, x1 - cx) * 180.0 / M_PI;
        const double a2 = std::atan2(cy - y2, x2 - cx) * 180.0 / M_PI;
        double extent = a2 - a1;
        while (extent <= 0) extent += 360.0;
        XSetForeground(x.display, x.gc, pen);
        XDrawArc(x.display, d, x.gc, l, t, static_cast<unsigned>(r - l - 1), static_cast<unsigned>(b - t - 1),
                 static_cast<int>(std::lround(a1 * 64)), static_cast<int>(std::lround(extent * 64)));
    }
    void moveTo(int px, int py) override { cur = {px, py}; }
    void lineTo(int px, int py) override {
        if (width > 1) {
            XSetForeground(x.display, x.gc, pen);
            XDrawLine(x.display, d, x.gc, cur.x, cur.y, px, py);
            cur = {px, py};
            return;
        }
        std::vector<XPoint> pts;
        int x0 = cur.x, y0 = cur.y;
        const int dx = std::abs(px - x0), dy = -std::abs(py - y0);
        const int sx = x0 < px ? 1 : -1, sy = y0 < py ? 1 : -1;
        int err = dx + dy;
        while (x0 != px || y0 != py) {
            pts.push_back(XPoint{static_cast<short>(x0), static_cast<short>(y0)});
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y0 += sy;
            }
        }
        XSetForeground(x.display, x.gc, pen);
        if (!pts.empty())
            XDrawPoints(x.display, d, x.gc, pts.data(), static_cast<int>(pts.size()), CoordModeOrigin);
        cur = {px, py};
    }

private:
    X11Platform::Connection& x;
    Drawable d;
    int width;
    unsigned long pen = 0, brush = 0;
    Point cur;
};

}  // namespace

X11Platform::X11Platform() = default;

X11Platform::~X11Platform() {
    if (form) destroyForm(form);
}

X11Platform::Node* X11Platform::add(int kind, Widget parent, Box box, unsigned long background) {
    auto n = std::make_unique<Node>();
    n->kind = kind;
    n->parent = static_cast<Node*>(parent);
    n->box = box;
    if (x && n->parent && n->parent->window) {
        n->window = XCreateSimpleWindow(x->display, n->parent->window, box.left, box.top,
                                        static_cast<unsigned>(std::max(box.width, 1)),
                                        static_cast<unsigned>(std::max(box.height, 1)), 0, 0, background);
        long mask = ExposureMask;
        if (kind == kSlider || kind == kRadio || kind == kKnob || kind == kMemo)
            mask |= ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
        if (kind == kSlider || kind == kRadio || kind == kMemo) mask |= KeyPressMask | FocusChangeMask;
        XSelectInput(x->display, n->window, mask);
        XMapWindow(x->display, n->window);
        byWindow[n->window] = n.get();
    }
    nodes.push_back(std::move(n));
    return nodes.back().get();
}

Widget X11Platform::createForm(void* parentWindow, int width, int height, const FontStyle& style, Scale sc,
                               FormSink* sink) {
    XTurn turn;
    formSink = sink;
    scale = sc;
    auto c = std::make_unique<Connection>();
    // A connection of our own: the host's Display may belong to another
    // thread, and ours can be closed without touching the host's.
    c->display = XOpenDisplay(nullptr);
    const Window parent = static_cast<Window>(reinterpret_cast<std::uintptr_t>(parentWindow));
    if (c->display) {
        bool parentExists = false;
        {
            ErrorTrap trap(c->display);
            XWindowAttributes attrs;
            parentExists = parent && XGetWindowAttributes(c->display, parent, &attrs);
        }
        if (!parentExists) {
            XCloseDisplay(c->display);
            c->display = nullptr;
        }
    }
    auto n = std::make_unique<Node>();
    n->kind = kForm;
    n->box = {0, 0, width, height};
    form = n.get();
    nodes.push_back(std::move(n));
    if (!c->display) return form;  // no display or no such window: a form without windows

    Display* d = c->display;
    ErrorTrap trap(d);
    // Xft keeps closed fonts cached until the connection closes and frees
    // them from its close hook, which leaves render state behind that a later
    // connection at the same address trips over. With no cache, a font goes
    // when it is closed, while the connection is still whole.
    if (FcPattern* defaults = FcPatternBuild(nullptr, XFT_MAX_UNREF_FONTS, FcTypeInteger, 0, nullptr))
        XftDefaultSet(d, defaults);
    c->screen = DefaultScreen(d);
    c->visual = DefaultVisual(d, c->screen);
    c->colormap = DefaultColormap(d, c->screen);
    c->depth = DefaultDepth(d, c->screen);
    for (int i = 0; i < kColours; ++i) c->pixel[i] = c->pixelOfRgb(defaultRgb(static_cast<Colour>(i)));
    c->gc = XCreateGC(d, RootWindow(d, c->screen), 0, nullptr);
    // Times New Roman where installed; fontconfig's metric aliases give
    // Liberation Serif otherwise, and any serif face as a last resort.
    std::string pattern = std::string(style.face) + ",Liberation Serif,serif:pixelsize=" + std::to_string(style.pixelHeight);
    c->font = XftFontOpenName(d, c->screen, pattern.c_str());
    XRenderColor rc{};
    std::uint32_t rgb = defaultRgb(style.colour);
    rc.red = static_cast<unsigned short>(((rgb >> 16) & 0xFF) * 257);
    rc.green = static_cast<unsigned short>(((rgb >> 8) & 0xFF) * 257);
    rc.blue = static_cast<unsigned short>((rgb & 0xFF) * 257);
    rc.alpha = 0xFFFF;
    c->haveTextColour = XftColorAllocValue(d, c->visual, c->colormap, &rc, &c->textColour);
    x = std::move(c);

    // The default visual, named explicitly: a host may give a parent of
    // another depth (an ARGB window, say), and every pixmap and colour here
    // is made for the default one.
    XSetWindowAttributes wa{};
    wa.background_pixel = x->pixelOf(Colour::BtnFace);
    wa.border_pixel = 0;
    wa.colormap = x->colormap;
    form->window = XCreateWindow(d, parent, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                 x->depth, InputOutput, x->visual, CWBackPixel | CWBorderPixel | CWColormap, &wa);
    XSelectInput(d, form->window, ExposureMask | StructureNotifyMask);
    byWindow[form->window] = form;
    return form;
}

void X11Platform::showForm(Widget) {
    if (!x || !form->window) return;
    ErrorTrap trap(x->display);
    XMapRaised(x->display, form->window);
    XFlush(x->display);
}

void X11Platform::destroyForm(Widget) {
    XTurn turn;  // closing the font and the connection touch the shared caches too
    if (x) {
        ErrorTrap trap(x->display);
        if (knobDrag || slideDrag) XUngrabPointer(x->display, CurrentTime);
        for (auto& n : nodes)
            if (n->picture) XFreePixmap(x->display, n->picture);
        if (form && form->window) XDestroyWindow(x->display, form->window);
    }
    x.reset();
    nodes.clear();
    byWindow.clear();
    form = nullptr;
    focused = nullptr;
    formSink = nullptr;
    knobDrag = slideDrag = nullptr;
    interval = std::chrono::milliseconds{0};
}

void X11Platform::startTimer(Widget, int milliseconds) {
    interval = std::chrono::milliseconds{milliseconds};
    nextTick = std::chrono::steady_clock::now() + interval;
}

void X11Platform::repaintNow(Widget widget) {
    Node* n = static_cast<Node*>(widget);
    // The form's own surface is the window background the server clears; its
    // paint handler is what matters and runs here, at once.
    if (n == form) {
        if (formSink) formSink->formPaint();
        return;
    }
    n->dirty = true;
    paint(n);
}

void X11Platform::invalidate(Widget widget) {
    if (widget) static_cast<Node*>(widget)->dirty = true;
}

Widget X11Platform::createGroup(Widget parent, Box box, std::string_view caption) {
    ErrorTrap trap(x ? x->display : nullptr);
    Node* n = add(kGroup, parent, box, x ? x->pixelOf(Colour::BtnFace) : 0);
    n->text = caption;
    return n;
}

Widget X11Platform::createLabel(Widget parent, Box box, std::string_view text, bool alignBottom) {
    ErrorTrap trap(x ? x->display : nullptr);
    Node* n = add(kLabel, parent, labelBox(box, alignBottom, scale), x ? x->pixelOf(Colour::BtnFace) : 0);
    n->text = text;
    n->alignBottom = alignBottom;
    return n;
}

Widget X11Platform::createSlider(Widget parent, Box box, const SliderStyle& style, int position, ControlSink* sink) {
    ErrorTrap trap(x ? x->display : nullptr);
    Node* n = add(kSlider, parent, box, x ? x->pixelOf(Colour::BtnFace) : 0);
    n->max = style.max;
    n->tickEvery = style.tickEvery > 0 ? style.tickEvery : 1;
    n->value = position;
    n->sink = sink;
    return n;
}

void X11Platform::setSliderPosition(Widget slider, int position) {
    Node* n = static_cast<Node*>(slider);
    if (n->value != position) n->dirty = true;
    n->value = position;
}

Widget X11Platform::createRadioGroup(Widget parent, Box box, std::string_view caption,
                                     std::span<const std::string_view> items, int selected, ControlSink* sink) {
    ErrorTrap trap(x ? x->display : nullptr);
    Node* n = add(kRadio, parent, box, x ? x->pixelOf(Colour::BtnFace) : 0);
    n->text = caption;
    for (auto i : items) n->items.emplace_back(i);
    n->value = selected;
    n->sink = sink;
    return n;
}

void X11Platform::setRadioSelection(Widget group, int item) {
    Node* n = static_cast<Node*>(group);
    if (n->value != item) n->dirty = true;
    n->value = item;
}

Widget X11Platform::createMemo(Widget parent, Box box, std::span<const std::string_view> lines) {
    ErrorTrap trap(x ? x->display : nullptr);
    Node* n = add(kMemo, parent, box, x ? x->pixelOf(Colour::White) : 0);
    for (auto l : lines) n->items.emplace_back(l);
    return n;
}

Widget X11Platform::createPicture(Widget parent, Box box, const Image& image) {
    ErrorTrap trap(x ? x->display : nullptr);
    Node* n = add(kPicture, parent, box, x ? x->pixelOf(Colour::White) : 0);
    if (!x || !n->window || image.width <= 0 || image.height <= 0) return n;
    Display* d = x->display;
    // Pixels through the visual's masks, so any TrueColor depth works.
    XImage* img = XCreateImage(d, x->visual, static_cast<unsigned>(x->depth), ZPixmap, 0, nullptr,
                               static_cast<unsigned>(image.width), static_cast<unsigned>(image.height), 32, 0);
    if (!img) return n;
    img->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(img->bytes_per_line) * image.height));
    if (!img->data) {
        XDestroyImage(img);
        return n;
    }
    for (int yy = 0; yy < image.height; ++yy)
        for (int xx = 0; xx < image.width; ++xx) {
            std::uint32_t rgb = image.pixels[static_cast<std::size_t>(yy * image.width + xx)];
            auto channel = [](std::uint32_t v, unsigned long mask) {
                if (!mask) return 0UL;
                int shift = 0;
                while (!((mask >> shift) & 1)) ++shift;
                unsigned long bits = mask >> shift;
                return ((static_cast<unsigned long>(v) * bits / 255) << shift) & mask;
            };
            unsigned long px = channel((rgb >> 16) & 0xFF, img->red_mask) | channel((rgb >> 8) & 0xFF, img->green_mask) |
                               channel(rgb & 0xFF, img->blue_mask);
            XPutPixel(img, xx, yy, px);
        }
    n->picture = XCreatePixmap(d, n->window, static_cast<unsigned>(image.width), static_cast<unsigned>(image.height),
                               static_cast<unsigned>(x->depth));
    XPutImage(d, n->picture, x->gc, img, 0, 0, 0, 0, static_cast<unsigned>(image.width),
              static_cast<unsigned>(image.height));
    XDestroyImage(img);
    return n;
}

Widget X11Platform::createKnob(Widget parent, Box box, ControlSink* sink) {
    ErrorTrap trap(x ? x->display : nullptr);
    Node* n = add(kKnob, parent, box, x ? x->pixelOf(Colour::BtnFace) : 0);
    n->sink = sink;
    return n;
}

void X11Platform::setCapture(Widget widget) {
    Node* n = static_cast<Node*>(widget);
    knobDrag = n;
    if (!x || !n->window) return;
    ErrorTrap trap(x->display);
    XGrabPointer(x->display, n->window, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                 GrabModeAsync, None, None, CurrentTime);
}

void X11Platform::releaseCapture() {
    knobDrag = nullptr;
    if (!x) return;
    ErrorTrap trap(x->display);
    XUngrabPointer(x->display, CurrentTime);
}

Point X11Platform::cursorPos() {
    if (inEvent) return eventPointer;
    if (!x) return {};
    ErrorTrap trap(x->display);
    Window root, child;
    int rx = 0, ry = 0, wx, wy;
    unsigned mask;
    XQueryPointer(x->display, RootWindow(x->display, x->screen), &root, &child, &rx, &ry, &wx, &wy, &mask);
    return {rx, ry};
}

void X11Platform::idle() {
    if (!x) return;
    ErrorTrap trap(x->display);
    while (x && XPending(x->display)) {
        XEvent ev;
        XNextEvent(x->display, &ev);
        dispatch(&ev);
    }
    if (!x) return;
    // One tick per idle call at most: a host that idles rarely gets a slower
    // poll, not a burst of them.
    const auto now = std::chrono::steady_clock::now();
    if (interval.count() > 0 && formSink && now >= nextTick) {
        nextTick = std::max(nextTick + interval, now);
        formSink->timerTick();
    }
    paintDirty();
    XFlush(x->display);
}

double X11Platform::screenScale(void*) {
    XTurn turn;
    return x ? screenScaleOf(x->display) : screenScaleOfDefaultDisplay();
}

std::uintptr_t X11Platform::nativeWindow(Widget widget) const {
    return widget ? static_cast<const Node*>(widget)->window : 0;
}

void X11Platform::dispatch(void* event) {
    XEvent& ev = *static_cast<XEvent*>(event);
    auto it = byWindow.find(ev.xany.window);
    Node* n = it == byWindow.end() ? nullptr : it->second;
    if (!n) return;
    switch (ev.type) {
        case Expose:
            n->dirty = true;
            return;
        case DestroyNotify:
            // The host destroyed its window under us: nothing of ours is
            // left on the server to draw into.
            if (n == form && ev.xdestroywindow.window == form->window) {
                for (auto& m : nodes) m->window = 0;
                byWindow.clear();
            }
            return;
        case FocusIn:
        case FocusOut:
            if (ev.type == FocusIn) {
                if (focused && focused != n) focused->dirty = true;
                focused = n;
            } else if (focused == n) {
                focused = nullptr;
            }
            n->dirty = true;
            return;
        case KeyPress:
            keyPress(n, &ev);
            return;
        default: break;
    }
    if (ev.type != ButtonPress && ev.type != ButtonRelease && ev.type != MotionNotify) return;
    if (ev.type == ButtonPress && ev.xbutton.button == Button1 &&
        (n->kind == kSlider || n->kind == kRadio || n->kind == kMemo) && !knobDrag)
        focus(n);
    inEvent = true;
    if (ev.type == MotionNotify) {
        eventPointer = {ev.xmotion.x_root, ev.xmotion.y_root};
    } else {
        eventPointer = {ev.xbutton.x_root, ev.xbutton.y_root};
    }
    // While a knob holds the capture every pointer event is its own.
    if (knobDrag) n = knobDrag;
    if (n->kind == kKnob && n->sink) {
        if (ev.type == ButtonPress && ev.xbutton.button == Button1) {
            n->sink->leftPress();
        } else if (ev.type == ButtonRelease && ev.xbutton.button == Button1) {
            n->sink->leftRelease();
        } else if (ev.type == MotionNotify) {
            // A move without the button means the release went elsewhere:
            // the capture was lost.
            if (knobDrag == n && !(ev.xmotion.state & Button1Mask)) {
                knobDrag = nullptr;
                n->sink->captureLost();
            } else {
                n->sink->mouseMove();
            }
        }
    } else if (n->kind == kSlider && n->sink) {
        SliderGeometry g(n->box, n->max, scale);
        const int y = ev.type == MotionNotify ? ev.xmotion.y : ev.xbutton.y;
        if (ev.type == ButtonPress && (ev.xbutton.button == Button4 || ev.xbutton.button == Button5)) {
            // The wheel steps one position, up towards the top.
            const int p = std::clamp(n->value + (ev.xbutton.button == Button4 ? -1 : 1), 0, n->max);
            if (p != n->value) n->sink->userPosition(p);
        } else if (ev.type == ButtonPress && ev.xbutton.button == Button1) {
            const int c = g.centre(n->value);
            if (y >= c - g.above - scale.px(1) && y <= c + g.below + scale.px(1)) {
                slideDrag = n;
                slideGrabOffset = y - c;
            } else {
                // A click on the channel moves one page (one position here)
                // towards the pointer.
                n->sink->userPosition(std::clamp(n->value + (y < c ? -1 : 1), 0, n->max));
            }
        } else if (ev.type == MotionNotify && slideDrag == n) {
            const int p = g.positionAt(y - slideGrabOffset);
            if (p != n->value) n->sink->userPosition(p);
        } else if (ev.type == ButtonRelease && ev.xbutton.button == Button1) {
            slideDrag = nullptr;
        }
    } else if (n->kind == kMemo && ev.type == ButtonPress && ev.xbutton.button == Button1 && x->font &&
               !n->items.empty()) {
        // The caret goes to the character boundary nearest the click.
        const int lineHeight = x->font->ascent + x->font->descent;
        const int li = std::clamp((ev.xbutton.y - scale.px(2)) / std::max(lineHeight, 1), 0, int(n->items.size()) - 1);
        const std::string& l = n->items[static_cast<std::size_t>(li)];
        std::size_t best = 0;
        int bestDistance = std::abs(ev.xbutton.x - scale.px(3));
        for (std::size_t i = 1; i <= l.size(); ++i) {
            if (i < l.size() && (static_cast<unsigned char>(l[i]) & 0xC0) == 0x80) continue;
            XGlyphInfo gi;
            XftTextExtentsUtf8(x->display, x->font, reinterpret_cast<const FcChar8*>(l.data()), static_cast<int>(i), &gi);
            const int distance = std::abs(ev.xbutton.x - scale.px(3) - gi.xOff);
            if (distance < bestDistance) best = i, bestDistance = distance;
        }
        n->caretLine = li;
        n->caretByte = best;
        n->dirty = true;
    } else if (n->kind == kRadio && n->sink) {
        if (ev.type == ButtonRelease && ev.xbutton.button == Button1) {
            const int count = static_cast<int>(n->items.size());
            for (int i = 0; i < count; ++i) {
                Box b = radioItemBox(n->box.width, n->box.height, count, i, scale);
                if (ev.xbutton.x >= b.left && ev.xbutton.x < b.left + b.width && ev.xbutton.y >= b.top &&
                    ev.xbutton.y < b.top + b.height) {
                    n->sink->userSelect(i);
                    break;
                }
            }
        }
    }
    inEvent = false;
}

void X11Platform::focus(Node* n) {
    if (!x || !n->window) return;
    XSetInputFocus(x->display, n->window, RevertToParent, CurrentTime);
    if (focused && focused != n) focused->dirty = true;
    focused = n;
    n->dirty = true;
}

// The keys of the native controls: arrows, page keys, Home and End move a
// slider by one position or to an end; arrows choose the neighbouring radio
// item; Tab and Shift+Tab walk the controls in keyboard order.
void X11Platform::keyPress(Node* n, void* event) {
    XKeyEvent& key = static_cast<XEvent*>(event)->xkey;
    const KeySym sym = XLookupKeysym(&key, 0);
    if (sym == XK_Tab || sym == XK_ISO_Left_Tab) {
        std::vector<Node*> order;
        for (auto& m : nodes)
            if ((m->kind == kSlider || m->kind == kRadio || m->kind == kMemo) && m->window) order.push_back(m.get());
        auto it = std::find(order.begin(), order.end(), n);
        if (it == order.end() || order.empty()) return;
        std::ptrdiff_t i = it - order.begin();
        const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(order.size());
        const bool back = sym == XK_ISO_Left_Tab || (key.state & ShiftMask);
        focus(order[static_cast<std::size_t>((i + (back ? count - 1 : 1)) % count)]);
        return;
    }
    if (n->kind == kMemo) {
        editMemo(n, event);
        return;
    }
    if (!n->sink) return;
    if (n->kind == kSlider) {
        int p = n->value;
        switch (sym) {
            case XK_Up: case XK_Left: case XK_Prior: case XK_KP_Up: case XK_KP_Left: case XK_KP_Prior: --p; break;
            case XK_Down: case XK_Right: case XK_Next: case XK_KP_Down: case XK_KP_Right: case XK_KP_Next: ++p; break;
            case XK_Home: case XK_KP_Home: p = 0; break;
            case XK_End: case XK_KP_End: p = n->max; break;
            default: return;
        }
        p = std::clamp(p, 0, n->max);
        if (p != n->value) n->sink->userPosition(p);
    } else if (n->kind == kRadio) {
        const int last = static_cast<int>(n->items.size()) - 1;
        int i = n->value;
        switch (sym) {
            case XK_Up: case XK_Left: case XK_KP_Up: case XK_KP_Left: i = i < 0 ? 0 : i - 1; break;
            case XK_Down: case XK_Right: case XK_KP_Down: case XK_KP_Right: i = i < 0 ? 0 : i + 1; break;
            default: return;
        }
        i = std::clamp(i, 0, last);
        if (i != n->value) n->sink->userSelect(i);
    }
}

// The about text can be edited like any text box, to no effect: typing,
// Backspace, Delete, Return and the caret keys.
void X11Platform::editMemo(Node* n, void* event) {
    XKeyEvent& key = static_cast<XEvent*>(event)->xkey;
    char buf[16] = {};
    KeySym sym = 0;
    const int len = XLookupString(&key, buf, sizeof buf, &sym, nullptr);
    if (n->items.empty()) n->items.emplace_back();
    auto& lines = n->items;
    int& line = n->caretLine;
    std::size_t& at = n->caretByte;
    line = std::clamp(line, 0, static_cast<int>(lines.size()) - 1);
    std::string* cur = &lines[static_cast<std::size_t>(line)];
    at = std::min(at, cur->size());
    auto isCont = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    auto prev = [&](const std::string& t, std::size_t i) {
        while (i > 0 && isCont(t[--i])) {
        }
        return i;
    };
    auto next = [&](const std::string& t, std::size_t i) {
        if (i < t.size()) ++i;
        while (i < t.size() && isCont(t[i])) ++i;
        return i;
    };
    switch (sym) {
        case XK_Left:
            if (at > 0) at = prev(*cur, at);
            else if (line > 0) at = lines[static_cast<std::size_t>(--line)].size();
            break;
        case XK_Right:
            if (at < cur->size()) at = next(*cur, at);
            else if (line + 1 < static_cast<int>(lines.size())) ++line, at = 0;
            break;
        case XK_Up: if (line > 0) --line; break;
        case XK_Down: if (line + 1 < static_cast<int>(lines.size())) ++line; break;
        case XK_Home: at = 0; break;
        case XK_End: at = cur->size(); break;
        case XK_BackSpace:
            if (at > 0) {
                std::size_t from = prev(*cur, at);
                cur->erase(from, at - from);
                at = from;
            } else if (line > 0) {
                std::string rest = *cur;
                lines.erase(lines.begin() + line);
                --line;
                at = lines[static_cast<std::size_t>(line)].size();
                lines[static_cast<std::size_t>(line)] += rest;
            }
            break;
        case XK_Delete:
            if (at < cur->size()) {
                cur->erase(at, next(*cur, at) - at);
            } else if (line + 1 < static_cast<int>(lines.size())) {
                *cur += lines[static_cast<std::size_t>(line + 1)];
                lines.erase(lines.begin() + line + 1);
            }
            break;
        case XK_Return:
        case XK_KP_Enter: {
            std::string rest = cur->substr(at);
            cur->erase(at);
            lines.insert(lines.begin() + line + 1, rest);
            ++line;
            at = 0;
            break;
        }
        default: {
            if (len <= 0 || (key.state & ControlMask)) return;
            // XLookupString answers in Latin-1; the lines are UTF-8.
            std::string text;
            for (int i = 0; i < len; ++i) {
                unsigned char c = static_cast<unsigned char>(buf[i]);
                if (c < 0x20 || c == 0x7F) continue;
                if (c < 0x80) {
                    text += static_cast<char>(c);
                } else {
                    text += static_cast<char>(0xC0 | (c >> 6));
                    text += static_cast<char>(0x80 | (c & 0x3F));
                }
            }
            cur->insert(at, text);
            at += text.size();
            break;
        }
    }
    cur = &lines[static_cast<std::size_t>(line)];
    at = std::min(at, cur->size());
    while (at > 0 && at < cur->size() && isCont((*cur)[at])) --at;
    n->dirty = true;
}

void X11Platform::paintDirty() {
    for (auto& n : nodes)
        if (n->dirty) paint(n.get());
}

void X11Platform::paint(Node* n) {
    n->dirty = false;
    if (!x || !n->window || n->kind == kForm) return;
    Display* d = x->display;
    ErrorTrap trap(d);
    const int w = std::max(n->box.width, 1), h = std::max(n->box.height, 1);
    GC gc = x->gc;
    // Drawn off-screen and copied in one go, so nothing flickers while a
    // knob turns.
    Pixmap pm = XCreatePixmap(d, n->window, static_cast<unsigned>(w), static_cast<unsigned>(h),
                              static_cast<unsigned>(x->depth));
    XftDraw* draw = XftDrawCreate(d, pm, x->visual, x->colormap);
    auto fg = [&](Colour c) { XSetForeground(d, gc, x->pixelOf(c)); };
    auto fill = [&](Colour c, int l, int t, int ww, int hh) {
        fg(c);
        if (ww > 0 && hh > 0) XFillRectangle(d, pm, gc, l, t, static_cast<unsigned>(ww), static_cast<unsigned>(hh));
    };
    auto S = [this](int designPixels) { return scale.px(designPixels); };
    const int lw = scale.line();
    // Lines here are all level or upright; a wider one grows right and down
    // from the 1x line, as a pen of that width would.
    auto line = [&](Colour c, int x1, int y1, int x2, int y2) {
        fg(c);
        if (lw == 1) {
            XDrawLine(d, pm, gc, x1, y1, x2, y2);
            return;
        }
        XFillRectangle(d, pm, gc, std::min(x1, x2), std::min(y1, y2), static_cast<unsigned>(std::abs(x2 - x1) + lw),
                       static_cast<unsigned>(std::abs(y2 - y1) + lw));
    };
    // An outline inside the box (l, t, ww, hh).
    auto outline = [&](Colour c, int l, int t, int ww, int hh) {
        fg(c);
        if (lw == 1) {
            XDrawRectangle(d, pm, gc, l, t, static_cast<unsigned>(ww - 1), static_cast<unsigned>(hh - 1));
            return;
        }
        line(c, l, t, l + ww - lw, t);
        line(c, l, t + hh - lw, l + ww - lw, t + hh - lw);
        line(c, l, t, l, t + hh - lw);
        line(c, l + ww - lw, t, l + ww - lw, t + hh - lw);
    };
    const int ascent = x->font ? x->font->ascent : 11;
    const int descent = x->font ? x->font->descent : 3;
    auto textWidth = [&](const std::string& s) {
        if (!x->font || s.empty()) return 0;
        XGlyphInfo gi;
        XftTextExtentsUtf8(d, x->font, reinterpret_cast<const FcChar8*>(s.data()), static_cast<int>(s.size()), &gi);
        return static_cast<int>(gi.xOff);
    };
    auto text = [&](const std::string& s, int left, int baseline) {
        if (!x->font || !draw || !x->haveTextColour || s.empty()) return;
        XftDrawStringUtf8(draw, &x->textColour, x->font, left, baseline, reinterpret_cast<const FcChar8*>(s.data()),
                          static_cast<int>(s.size()));
    };
    // A flat group frame: one shadow line through the middle of the caption.
    auto frame = [&](const std::string& caption) {
        outline(Colour::BtnShadow, 0, S(kGroupFrameTop), w, h - S(kGroupFrameTop));
        if (!caption.empty()) {
            const int tw = textWidth(caption);
            fill(Colour::BtnFace, S(kGroupCaptionLeft) - S(2), 0, tw + S(4), S(kTextHeight));
            text(caption, S(kGroupCaptionLeft), ascent);
        }
    };

    const Colour background = n->kind == kMemo || n->kind == kPicture ? Colour::White : Colour::BtnFace;
    fill(background, 0, 0, w, h);
    switch (n->kind) {
        case kGroup: frame(n->text); break;
        case kLabel: text(n->text, 0, n->alignBottom ? h - descent : ascent); break;
        case kRadio: {
            frame(n->text);
            const int count = static_cast<int>(n->items.size());
            for (int i = 0; i < count; ++i) {
                Box b = radioItemBox(w, h, count, i, scale);
                const int cy = b.top + b.height / 2;
                const int ring = S(12), dot = S(6);
                // A flat radio button: black ring, white inside, black dot.
                fg(Colour::White);
                XFillArc(d, pm, gc, b.left, cy - ring / 2, static_cast<unsigned>(ring), static_cast<unsigned>(ring), 0,
                         360 * 64);
                fg(Colour::Black);
                if (lw == 1) {
                    XDrawArc(d, pm, gc, b.left, cy - 6, 11, 11, 0, 360 * 64);
                } else {
                    XSetLineAttributes(d, gc, static_cast<unsigned>(lw), LineSolid, CapButt, JoinMiter);
                    XDrawArc(d, pm, gc, b.left + lw / 2, cy - ring / 2 + lw / 2, static_cast<unsigned>(ring - lw),
                             static_cast<unsigned>(ring - lw), 0, 360 * 64);
                    XSetLineAttributes(d, gc, 0, LineSolid, CapButt, JoinMiter);
                }
                if (i == n->value)
                    XFillArc(d, pm, gc, b.left + (ring - dot) / 2, cy - dot / 2, static_cast<unsigned>(dot),
                             static_cast<unsigned>(dot), 0, 360 * 64);
                text(n->items[static_cast<std::size_t>(i)], b.left + S(17), cy + (ascent - descent) / 2);
            }
            break;
        }
        case kSlider: {
            SliderGeometry g(n->box, n->max, scale);
            const int e = S(2);  // the channel's half width
            // The channel, sunken.
            fill(Colour::White, g.cx - e, g.top - e, 2 * e, g.bottom - g.top + 2 * e);
            line(Colour::BtnShadow, g.cx - e, g.top - e, g.cx + e - lw, g.top - e);
            line(Colour::BtnShadow, g.cx - e, g.top - e, g.cx - e, g.bottom + e - lw);
            line(Colour::BtnHighlight, g.cx + e, g.top - e, g.cx + e, g.bottom + e);
            line(Colour::BtnHighlight, g.cx - e, g.bottom + e, g.cx + e, g.bottom + e);
            // Ticks on both sides.
            for (int p = 0; p <= n->max; p += n->tickEvery) {
                const int ty = g.centre(p);
                line(Colour::Black, g.cx - g.halfAcross - S(5), ty, g.cx - g.halfAcross - S(3), ty);
                line(Colour::Black, g.cx + g.halfAcross + S(3), ty, g.cx + g.halfAcross + S(5), ty);
            }
            // The thumb, a flat raised block with a bevel one line wide.
            const int c = g.centre(std::clamp(n->value, 0, n->max));
            const int l = g.cx - g.halfAcross, r = g.cx + g.halfAcross;
            const int t = c - g.above, b = c + g.below;
            fill(Colour::BtnFace, l, t, r - l + 1, b - t + 1);
            line(Colour::BtnHighlight, l, t, r - lw, t);
            line(Colour::BtnHighlight, l, t, l, b - lw);
            line(Colour::Black, l, b, r, b);
            line(Colour::Black, r, t, r, b);
            line(Colour::BtnShadow, l + lw, b - lw, r - lw, b - lw);
            line(Colour::BtnShadow, r - lw, t + lw, r - lw, b - lw);
            break;
        }
        case kMemo: {
            outline(Colour::Black, 0, 0, w, h);
            const int lineHeight = ascent + descent;
            for (std::size_t i = 0; i < n->items.size(); ++i)
                text(n->items[i], S(3), S(2) + ascent + static_cast<int>(i) * lineHeight);
            if (n == focused && !n->items.empty()) {
                const std::size_t li = static_cast<std::size_t>(std::clamp(n->caretLine, 0, int(n->items.size()) - 1));
                const std::string& l = n->items[li];
                const int cx = S(3) + textWidth(l.substr(0, std::min(n->caretByte, l.size())));
                const int top = S(2) + static_cast<int>(li) * lineHeight;
                line(Colour::Black, cx, top, cx, top + lineHeight - 1);
            }
            break;
        }
        case kPicture:
            if (n->picture) XCopyArea(d, n->picture, pm, gc, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), 0, 0);
            break;
        case kKnob:
            if (n->sink) {
                XCanvas canvas(*x, pm, scale.line());
                n->sink->paint(canvas);
            }
            break;
        default: break;
    }
    // The focused control shows a dotted rectangle, as on Windows.
    if (n == focused) {
        char dots[] = {static_cast<char>(lw), static_cast<char>(lw)};
        fg(Colour::Black);
        XSetLineAttributes(d, gc, static_cast<unsigned>(lw), LineOnOffDash, CapButt, JoinMiter);
        XSetDashes(d, gc, 0, dots, 2);
        if (n->kind == kSlider) {
            XDrawRectangle(d, pm, gc, 0, 0, static_cast<unsigned>(w - 1), static_cast<unsigned>(h - 1));
        } else if (n->kind == kRadio) {
            const int count = static_cast<int>(n->items.size());
            const int i = std::clamp(n->value, 0, count - 1);
            if (count > 0) {
                Box b = radioItemBox(w, h, count, i, scale);
                const int tw = textWidth(n->items[static_cast<std::size_t>(i)]);
                const int cy = b.top + b.height / 2;
                XDrawRectangle(d, pm, gc, b.left + S(15), cy - S(kTextHeight) / 2 - S(1), static_cast<unsigned>(tw + S(3)),
                               static_cast<unsigned>(S(kTextHeight) + S(1)));
            }
        }
        XSetLineAttributes(d, gc, 0, LineSolid, CapButt, JoinMiter);
    }
    if (draw) XftDrawDestroy(draw);
    XCopyArea(d, pm, n->window, gc, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), 0, 0);
    XFreePixmap(d, pm);
}

}  // namespace orvo
