// The plug-in's editor in a top-level X11 window of the player's own,
// titled with the product and the program name. The player owns the window
// and services it, like a host, from its main thread.
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
    // no editor.
    explicit EditorWindow(render::PluginHost& host);
    ~EditorWindow();
    EditorWindow(const EditorWindow&) = delete;
    EditorWindow& operator=(const EditorWindow&) = delete;

    // The host's idle call and our own window's events; false once the
    // user closed the window.
    bool service();

private:
    void setTitle();

    render::PluginHost& host_;
    Display* dpy_ = nullptr;
    Window window_ = 0;
    Atom deleteAtom_ = 0;
    std::string title_;
    bool open_ = false;
};

}  // namespace orvo::play
