// Opens the VST 3 plug-in's editor the way a Linux VST 3 host does (an
// embedded X11 window, the host's run loop calling the view's timer) and
// checks what a user and the host see: a knob drag through XTest arriving
// at the component handler as an edit, the content scale and a host's size
// taking effect, and attach/remove cycles that leave nothing behind.
//
//   orvo-vst3-x11test OrvoSwitch.vst3
// Exit 0 when every check passes.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <travesty/edit_controller.h>
#include <travesty/view.h>

#include "Vst3Host.h"
#include "XUser.h"

using namespace orvo::test;

namespace {

int passed = 0, failed = 0;
void check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    ++(ok ? passed : failed);
}

XUser user;

void runFor(Frame& frame, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        frame.tick();
        user.drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    } while (std::chrono::steady_clock::now() < end);
    frame.tick();
}

v3_plugin_view* vt(v3_plugin_view** v) { return v3_cpp_obj(v); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: orvo-vst3-x11test OrvoSwitch.vst3\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    v3_plugin_factory_2** factory = loadVst3(argv[1], "x86_64-linux");
    user.dpy = XOpenDisplay(nullptr);
    if (!factory || !user.dpy) {
        std::fprintf(stderr, "no plug-in or no X display\n");
        return 1;
    }
    user.openParent(960, 600);
    void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(user.parent));
    const int fds = openFds();

    auto* plugin = new Plugin(factory);
    Handler handler;
    v3_edit_controller** ctl = plugin->controller;
    v3_cpp_obj(ctl)->set_component_handler(ctl, handler.handler());
    check(!v3_cpp_obj(ctl)->create_view(ctl, "other"), "only the \"editor\" view is offered");
    v3_plugin_view** view = v3_cpp_obj(ctl)->create_view(ctl, "editor");
    check(view && vt(view)->is_platform_type_supported(view, "X11EmbedWindowID") == V3_TRUE &&
              vt(view)->is_platform_type_supported(view, "HWND") != V3_TRUE,
          "the editor view embeds in X11 only");
    if (!view) return 1;

    Frame bare(false);
    vt(view)->set_frame(view, bare.frame());
    check(vt(view)->attached(view, parent, "X11EmbedWindowID") != V3_OK, "without the host's run loop it is refused");
    Frame frame;
    vt(view)->set_frame(view, frame.frame());
    check(vt(view)->attached(view, parent, "X11EmbedWindowID") == V3_OK && frame.loop.timers.size() == 1,
          "attached with the run loop: one timer");
    v3_view_rect r{};
    check(vt(view)->get_size(view, &r) == V3_OK && r.right == 465 && r.bottom == 281, "465 x 281 at scale 1");
    runFor(frame, 400);
    check(user.childCount(user.parent) == 1, "the form is the one child of the host's window");

    handler.trace.clear();
    user.dragKnobDragUp20([&](int ms) { runFor(frame, ms); });
    std::printf("     drag: \"%s\"\n", handler.trace.c_str());
    const std::string& t = handler.trace;
    check(t.starts_with("begin value") && t.ends_with("value 0.600 end ") && t.find("begin", 1) == std::string::npos &&
              plugin->value(10) == static_cast<double>(0.6f),
          "a knob drag reaches the handler as one edit, step by step, and the plug-in holds Drag = 0.6");

    v3_plugin_view_content_scale** scale = nullptr;
    v3_cpp_obj_query_interface(view, v3_plugin_view_content_scale_iid, &scale);
    check(scale && v3_cpp_obj(scale)->set_content_scale_factor(scale, 2.0f) == V3_OK && frame.asked.right == 930 &&
              frame.asked.bottom == 562 && vt(view)->get_size(view, &r) == V3_OK && r.right == 930,
          "content scale 2 asks the host for 930 x 562");
    if (scale) v3_cpp_obj_unref(scale);
    v3_view_rect want{0, 0, 700, 500};
    check(vt(view)->check_size_constraint(view, &want) == V3_OK && want.right == 700 && want.bottom == 423,
          "a host's 700 x 500 is held to 700 x 423");
    want = {0, 0, 700, 423};
    vt(view)->on_size(view, &want);
    runFor(frame, 150);
    XSync(user.dpy, False);
    Window root, par, *kids = nullptr;
    unsigned nKids = 0;
    XWindowAttributes form{};
    if (XQueryTree(user.dpy, user.parent, &root, &par, &kids, &nKids) && nKids == 1)
        XGetWindowAttributes(user.dpy, kids[0], &form);
    if (kids) XFree(kids);
    check(form.width == 700 && form.height == 423, "on_size rescales the one form window to 700 x 423");

    Frame other;
    vt(view)->set_frame(view, other.frame());
    check(frame.loop.timers.empty() && other.loop.timers.size() == 1, "a new frame while attached takes the timer along");
    vt(view)->set_frame(view, frame.frame());

    vt(view)->removed(view);
    XSync(user.dpy, False);
    bool clean = user.childCount(user.parent) == 0 && frame.loop.timers.empty();
    for (int i = 0; i < 200 && clean; ++i) {
        clean = vt(view)->attached(view, parent, "X11EmbedWindowID") == V3_OK;
        frame.tick();
        vt(view)->removed(view);
        XSync(user.dpy, False);
        clean = clean && user.childCount(user.parent) == 0 && frame.loop.timers.empty();
    }
    check(clean, "removed, and 200 attach/remove cycles, leave no window and no timer");

    // The host may let the plug-in go before the view: the view keeps it.
    vt(view)->attached(view, parent, "X11EmbedWindowID");
    delete plugin;
    runFor(frame, 100);
    vt(view)->removed(view);
    v3_cpp_obj_unref(view);
    XSync(user.dpy, False);
    check(user.childCount(user.parent) == 0 && openFds() == fds, "view and plug-in released leave no descriptor");

    XDestroyWindow(user.dpy, user.parent);
    XCloseDisplay(user.dpy);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
