#include "editor_window.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace orvo::play {

namespace {

// The editor's design size and its scale range: what the window may become.
constexpr int kDesignWidth = 465, kDesignHeight = 281;
constexpr double kMinScale = 1.0, kMaxScale = 3.0;

// A content scale for the plug-in, as effVendorSpecific carries it.
bool askScale(render::PluginHost& host, double scale) {
    constexpr VstInt32 kScaleTag = ('P' << 24) | ('r' << 16) | ('e' << 8) | 'S';
    constexpr VstIntPtr kScaleValue = ('A' << 24) | ('e' << 16) | ('C' << 8) | 's';
    return host.dispatch(effVendorSpecific, kScaleTag, kScaleValue, nullptr, static_cast<float>(scale)) == 1;
}

}  // namespace

EditorWindow::EditorWindow(render::PluginHost& host, double scale) : host_(host) {
    if (!(host_.effect()->flags & effFlagsHasEditor)) throw std::runtime_error("the plug-in has no editor");
    dpy_ = XOpenDisplay(nullptr);
    if (!dpy_) throw std::runtime_error("no X display for the editor (set DISPLAY, or use --no-editor)");
    // The size comes from the editor once it is open; this is its usual one.
    window_ = XCreateSimpleWindow(dpy_, DefaultRootWindow(dpy_), 0, 0, 465, 281, 0, 0, 0);
    deleteAtom_ = XInternAtom(dpy_, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(dpy_, window_, &deleteAtom_, 1);
    XSelectInput(dpy_, window_, StructureNotifyMask);
    setTitle();
    XMapWindow(dpy_, window_);
    XSync(dpy_, False);
    if (scale > 0.0) askScale(host_, scale);
    host_.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(window_)));
    open_ = true;
    if (editorSize(width_, height_)) {
        XResizeWindow(dpy_, window_, width_, height_);
        // Any size of the editor's shape between its smallest and largest.
        XSizeHints hints{};
        hints.flags = PMinSize | PMaxSize | PAspect;
        hints.min_width = kDesignWidth;
        hints.min_height = kDesignHeight;
        hints.max_width = static_cast<int>(kDesignWidth * kMaxScale);
        hints.max_height = static_cast<int>(kDesignHeight * kMaxScale);
        hints.min_aspect.x = hints.max_aspect.x = kDesignWidth;
        hints.min_aspect.y = hints.max_aspect.y = kDesignHeight;
        XSetWMNormalHints(dpy_, window_, &hints);
    }
    XFlush(dpy_);
}

bool EditorWindow::editorSize(unsigned& width, unsigned& height) {
    ERect* rect = nullptr;
    if (!host_.dispatch(effEditGetRect, 0, 0, &rect) || !rect || rect->right <= rect->left || rect->bottom <= rect->top)
        return false;
    width = static_cast<unsigned>(rect->right - rect->left);
    height = static_cast<unsigned>(rect->bottom - rect->top);
    return true;
}

void EditorWindow::resized(unsigned width, unsigned height) {
    if (width == width_ && height == height_) return;
    const double scale = std::clamp(std::min(static_cast<double>(width) / kDesignWidth,
                                             static_cast<double>(height) / kDesignHeight),
                                    kMinScale, kMaxScale);
    // A plug-in that does not scale keeps its size, and the window follows it.
    askScale(host_, scale);
    unsigned w = width_, h = height_;
    if (!editorSize(w, h)) return;
    width_ = w;
    height_ = h;
    if (w != width || h != height) XResizeWindow(dpy_, window_, w, h);
}

EditorWindow::~EditorWindow() {
    if (open_) host_.dispatch(effEditClose);
    if (window_) XDestroyWindow(dpy_, window_);
    if (dpy_) XCloseDisplay(dpy_);
}

void EditorWindow::setTitle() {
    const int program = static_cast<int>(host_.dispatch(effGetProgram));
    std::string title = host_.productString() + " - " + host_.programName(program);
    if (title == title_) return;
    title_ = title;
    XStoreName(dpy_, window_, title_.c_str());
}

bool EditorWindow::service() {
    host_.dispatch(effEditIdle);
    while (XPending(dpy_)) {
        XEvent ev;
        XNextEvent(dpy_, &ev);
        if (ev.type == ClientMessage && static_cast<Atom>(ev.xclient.data.l[0]) == deleteAtom_) return false;
        if (ev.type == ConfigureNotify && ev.xconfigure.window == window_) {
            // Only the last of a burst of sizes matters: a drag sends many.
            while (XCheckTypedWindowEvent(dpy_, window_, ConfigureNotify, &ev)) {
            }
            resized(static_cast<unsigned>(ev.xconfigure.width), static_cast<unsigned>(ev.xconfigure.height));
        }
    }
    setTitle();
    return true;
}

}  // namespace orvo::play
