// Opens the CLAP plug-in's editor the way a Linux CLAP host does (an
// embedded X11 window, the plug-in's timer run every 40 ms) and checks what
// a user and the host see: a knob drag through XTest arriving as a gesture
// with its value, host automation moving a slider, the form at twice the
// size (set_scale) and at a host's size (set_size) taking input where it is
// drawn, and create/destroy cycles that leave no window, timer or
// descriptor behind.
//
//   orvo-clap-x11test OrvoSwitch.clap
// Exit 0 when every check passes.
#include <chrono>
#include <cstdio>
#include <thread>

#include "ClapHost.h"
#include "XUser.h"

using namespace orvo::test;

namespace {

int passed = 0, failed = 0;
void check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    ++(ok ? passed : failed);
}

XUser user;

void runFor(Host& host, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        host.tickTimers();
        user.drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    } while (std::chrono::steady_clock::now() < end);
    host.tickTimers();
}

clap_window_t parentWindow() {
    clap_window_t w{};
    w.api = CLAP_WINDOW_API_X11;
    w.x11 = user.parent;
    return w;
}

bool openEditor(Host& host) { return orvo::test::openEditor(host, parentWindow()); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: orvo-clap-x11test OrvoSwitch.clap\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const clap_plugin_entry_t* entry = loadClap(argv[1]);
    user.dpy = XOpenDisplay(nullptr);
    if (!entry || !user.dpy) {
        std::fprintf(stderr, "no plug-in or no X display\n");
        return 1;
    }
    user.openParent(520, 330);

    {
        Host noTimer(entry, false);
        check(noTimer.gui && !noTimer.gui->create(noTimer.plugin, CLAP_WINDOW_API_X11, false),
              "without the host's timer support the editor is refused");
    }
    Host host(entry);
    host.activate(44100);
    check(host.gui && host.timer, "the plug-in offers its editor and a timer callback");
    if (!host.gui) return 1;
    check(host.gui->is_api_supported(host.plugin, CLAP_WINDOW_API_X11, false) &&
              !host.gui->is_api_supported(host.plugin, CLAP_WINDOW_API_X11, true) &&
              !host.gui->is_api_supported(host.plugin, CLAP_WINDOW_API_WIN32, false),
          "embedded X11 is the one window API");
    const int fds = openFds();
    check(openEditor(host), "create, set_parent and show succeed");
    uint32_t w = 0, h = 0;
    check(host.gui->get_size(host.plugin, &w, &h) && w == 465 && h == 281, "465 x 281 until a scale is set");
    check(host.timers.size() == 1, "the editor registers one timer");
    runFor(host, 400);
    check(user.childCount(user.parent) == 1, "the form is the one child of the host's window");
    gestureTrace(host, 0);  // what the opening may have sent

    // Knob Drag (Tsumami1 at 216,96 in the form), dragged 20 pixels up.
    const int flushes = host.flushRequests;
    user.pointerTo(216 + 16, 96 + 16);
    runFor(host, 80);
    user.button(true);
    runFor(host, 80);
    const std::string opened = gestureTrace(host, 10);
    user.pointerTo(216 + 16, 96 + 16 - 10);
    runFor(host, 80);
    user.pointerTo(216 + 16, 96 + 16 - 20);
    runFor(host, 80);
    user.button(false);
    runFor(host, 150);
    const std::string rest = gestureTrace(host, 10);
    std::printf("     press: \"%s\", drag and release: \"%s\"\n", opened.c_str(), rest.c_str());
    check(opened == "begin " && rest == "value 0.600 end ", "a knob drag arrives as a gesture with its last value");
    double v = 0;
    check(host.params->get_value(host.plugin, 10, &v) && v == 0.6f, "the plug-in holds Drag = 0.6");
    check(host.flushRequests > flushes && host.dirty > 0, "the edit asks the host to flush and marks the state dirty");

    // Host automation of A moves slider A (320,32 in the form) and sends
    // nothing back.
    XSync(user.dpy, False);
    const auto before = user.grab(320, 32, 33, 113);
    InEvents in;
    in.list = {paramEvent(0, 0, 0.9)};
    host.process(64, in);
    runFor(host, 250);
    XSync(user.dpy, False);
    check(!before.empty() && user.grab(320, 32, 33, 113) != before, "host A = 0.9 moves slider A");
    in.list = {paramEvent(0, 0, 0.1)};
    host.process(64, in);
    runFor(host, 250);
    XSync(user.dpy, False);
    check(user.grab(320, 32, 33, 113) == before, "host A = 0.1 puts it back");
    check(gestureTrace(host, 0).empty(), "host automation is not echoed");

    host.gui->destroy(host.plugin);
    XSync(user.dpy, False);
    check(user.childCount(user.parent) == 0 && host.timers.empty(), "destroy leaves no window and no timer");

    XResizeWindow(user.dpy, user.parent, 960, 600);
    check(openEditor(host) && host.gui->set_scale(host.plugin, 2.0), "set_scale(2) on an open editor");
    check(host.gui->get_size(host.plugin, &w, &h) && w == 930 && h == 562, "at 2x get_size answers 930 x 562");
    runFor(host, 250);
    gestureTrace(host, 10);
    // Knob Drag at 2x (432,192, 66 across), 20 pixels right: 5 positions.
    user.pointerTo(432 + 33, 192 + 33);
    runFor(host, 80);
    user.button(true);
    runFor(host, 80);
    user.pointerTo(432 + 33 + 20, 192 + 33);
    runFor(host, 80);
    user.button(false);
    runFor(host, 150);
    const std::string knob2x = gestureTrace(host, 10);
    std::printf("     2x knob: \"%s\"\n", knob2x.c_str());
    check(knob2x == "begin value 0.650 end ", "at 2x a 20-pixel drag right turns the knob 5 positions (0.6 to 0.65)");
    // Slider A at 2x (640,64, 66 x 226): its thumb for A = 0.1 (position
    // 45) sits at y 64 + 16 + 45 * 192 / 50; dragged up 20 positions.
    const int thumbY = 64 + 16 + (45 * 192 + 25) / 50;
    user.pointerTo(640 + 33, thumbY);
    runFor(host, 80);
    user.button(true);
    runFor(host, 80);
    user.pointerTo(640 + 33, thumbY - 20 * 192 / 50);
    runFor(host, 80);
    user.button(false);
    runFor(host, 150);
    const std::string slider2x = gestureTrace(host, 0);
    std::printf("     2x slider: \"%s\"\n", slider2x.c_str());
    check(slider2x.starts_with("begin value") && slider2x.ends_with("value 0.500 end "),
          "at 2x a slider drag on the scaled thumb arrives as gestures, A = 0.5");
    // Wave1's third item at 2x: the group at 32,64, items 51 high from 30.
    user.pointerTo(32 + 16 + 20, 64 + 30 + 2 * 51 + 25);
    runFor(host, 80);
    user.button(true);
    user.button(false);
    runFor(host, 150);
    const std::string radio2x = gestureTrace(host, 8);
    check(radio2x == "begin value 0.667 end ", "at 2x a click on the scaled radio item selects it as a gesture");

    clap_gui_resize_hints_t hints{};
    check(host.gui->can_resize(host.plugin) && host.gui->get_resize_hints(host.plugin, &hints) &&
              hints.preserve_aspect_ratio && hints.aspect_ratio_width == 465 && hints.aspect_ratio_height == 281,
          "resizable, keeping 465:281");
    w = 700, h = 500;
    check(host.gui->adjust_size(host.plugin, &w, &h) && w == 700 && h == 423, "adjust_size(700, 500) snaps to 700 x 423");
    check(host.gui->set_size(host.plugin, 700, 500) && host.gui->get_size(host.plugin, &w, &h) && w == 700 && h == 423,
          "set_size(700, 500) rescales the form to 700 x 423");
    runFor(host, 150);
    XSync(user.dpy, False);
    Window root, par, *kids = nullptr;
    unsigned nKids = 0;
    XWindowAttributes form{};
    if (XQueryTree(user.dpy, user.parent, &root, &par, &kids, &nKids) && nKids == 1)
        XGetWindowAttributes(user.dpy, kids[0], &form);
    if (kids) XFree(kids);
    check(form.width == 700 && form.height == 423, "the one form window is 700 x 423");
    host.gui->destroy(host.plugin);

    bool clean = true;
    for (int i = 0; i < 200 && clean; ++i) {
        clean = openEditor(host) && host.gui->set_scale(host.plugin, 2.0);
        host.tickTimers();
        host.gui->destroy(host.plugin);
        XSync(user.dpy, False);
        clean = clean && user.childCount(user.parent) == 0 && host.timers.empty() && openFds() == fds;
    }
    check(clean, "200 create/destroy cycles at 2x leave no window, timer or descriptor behind");

    // A plug-in destroyed with its editor open takes the editor with it.
    {
        Host other(entry);
        check(openEditor(other), "a second instance opens its editor");
        runFor(other, 100);
    }
    XSync(user.dpy, False);
    check(user.childCount(user.parent) == 0 && openFds() == fds, "destroying the plug-in closes its open editor");

    XDestroyWindow(user.dpy, user.parent);
    XCloseDisplay(user.dpy);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
