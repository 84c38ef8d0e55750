#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "Layout.h"
#include "x11/ScreenScale.h"
#include "x11/X11Detail.h"

namespace orvo {

using namespace x11;

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

}  // namespace orvo
