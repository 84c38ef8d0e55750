// The plug-in's editor in a top-level X11 window of the player's own,
// titled with the product and the program name. The window keeps the
// editor's shape when the user resizes it, and the editor is rescaled to
// fill it. The player owns the window and services it, like a host, from
// its main thread.
//
// Thread: main, every call.
#pragma once

#include <X11/Xlib.h>

#include <string>

#include "plugin_host.h"

namespace orvo::play {

class EditorWindow {
public:
    // Throws std::runtime_error without a display or when the plug-in has
    // no editor. `scale` (1..3) is asked of the plug-in before it opens;
    // 0 leaves it to the plug-in, which takes the screen's.
    EditorWindow(render::PluginHost& host, double scale = 0.0);
    ~EditorWindow();
    EditorWindow(const EditorWindow&) = delete;
    EditorWindow& operator=(const EditorWindow&) = delete;

    // The host's idle call and our own window's events; false once the
    // user closed the window.
    bool service();

private:
    void setTitle();
    // The editor's size as the plug-in reports it; false without one.
    bool editorSize(unsigned& width, unsigned& height);
    // The window became `width` x `height`: the editor is rescaled to the
    // largest size of its shape inside it, and the window snapped to that.
    void resized(unsigned width, unsigned height);

    render::PluginHost& host_;
    Display* dpy_ = nullptr;
    Window window_ = 0;
    Atom deleteAtom_ = 0;
    std::string title_;
    bool open_ = false;
    unsigned width_ = 0, height_ = 0;  // the editor's size last reported
};

}  // namespace orvo::play
