#include "editor_window.h"

#include <X11/Xutil.h>

#include <cstdint>
#include <stdexcept>

namespace orvo::play {

EditorWindow::EditorWindow(render::PluginHost& host) : host_(host) {
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
    host_.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(window_)));
    open_ = true;
    ERect* rect = nullptr;
    if (host_.dispatch(effEditGetRect, 0, 0, &rect) && rect && rect->right > rect->left && rect->bottom > rect->top) {
        const unsigned w = static_cast<unsigned>(rect->right - rect->left), h = static_cast<unsigned>(rect->bottom - rect->top);
        XResizeWindow(dpy_, window_, w, h);
        // Fixed: the editor does not resize.
        XSizeHints hints{};
        hints.flags = PMinSize | PMaxSize;
        hints.min_width = hints.max_width = static_cast<int>(w);
        hints.min_height = hints.max_height = static_cast<int>(h);
        XSetWMNormalHints(dpy_, window_, &hints);
    }
    XFlush(dpy_);
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
    }
    setTitle();
    return true;
}

}  // namespace orvo::play
