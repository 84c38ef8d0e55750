// Opens the CLAP plug-in's editor the way a Windows CLAP host does (embedded
// in a Win32 window of the host, the host's message loop running) and
// checks a knob drag arriving as a gesture with its value, host automation
// moving a slider, the form at 2x (set_scale) taking a drag per 4 pixels,
// and create/destroy cycles that leave no window behind.
//
//   orvo-clap-wintest OrvoSwitch.clap
// Exit 0 when every check passes.
#include <cstdio>
#include <string>

#include "ClapHost.h"
#include "WinUser.h"

#include <commctrl.h>

using namespace orvo::test;

namespace {

int passed = 0, failed = 0;
void check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    ++(ok ? passed : failed);
}

HWND hostWindow = nullptr;

void pumpFor(int ms) {
    orvo::test::pump(ms, [] {});
}

bool openEditor(Host& host) {
    clap_window_t w{};
    w.api = CLAP_WINDOW_API_WIN32;
    w.win32 = hostWindow;
    return orvo::test::openEditor(host, w);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: orvo-clap-wintest OrvoSwitch.clap\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const clap_plugin_entry_t* entry = loadClap(argv[1]);
    if (!entry) {
        std::fprintf(stderr, "cannot load the plug-in\n");
        return 1;
    }
    hostWindow = openHostWindow(L"CLAP editor test host", 520, 330);
    pumpFor(100);

    // Win32 windows get their messages from the host's loop: no timer needed.
    Host host(entry, false);
    host.activate(44100);
    check(host.gui && host.gui->is_api_supported(host.plugin, CLAP_WINDOW_API_WIN32, false) &&
              !host.gui->is_api_supported(host.plugin, CLAP_WINDOW_API_X11, false),
          "embedded Win32 is the one window API");
    if (!host.gui) return 1;
    check(openEditor(host), "create, set_parent and show succeed");
    pumpFor(400);
    HWND form = FindWindowExW(hostWindow, nullptr, L"OrvoSwitchForm", nullptr);
    check(form && IsWindowVisible(form), "the form is a visible child of the host's window");
    if (!form) return 1;
    gestureTrace(host, 0);

    HWND knob = findAt(form, L"OrvoSwitchKnob", 216, 96);
    check(knob != nullptr, "knob Drag found at 216,96");
    if (knob) {
        dragKnobUp20(knob, pumpFor);
        const std::string trace = gestureTrace(host, 10);
        std::printf("     drag: \"%s\"\n", trace.c_str());
        check(trace == "begin value 0.600 end ", "a knob drag arrives as a gesture with its last value");
        double v = 0;
        check(host.params->get_value(host.plugin, 10, &v) && v == 0.6f, "the plug-in holds Drag = 0.6");
    }

    HWND slider = findAt(form, TRACKBAR_CLASSW, 320, 32);  // A
    InEvents in;
    in.list = {paramEvent(0, 0, 0.123)};
    host.process(64, in);
    pumpFor(250);
    check(slider && SendMessageW(slider, TBM_GETPOS, 0, 0) == 44, "host A = 0.123 moves slider A to 44");
    check(gestureTrace(host, 0).empty(), "host automation is not echoed");

    // At 2x: the form rebuilt at 930 x 562, a knob turning a position per 4
    // pixels (Drag, 20 pixels right, as a gesture).
    uint32_t w = 0, h = 0;
    check(host.gui->set_scale(host.plugin, 2.0) && host.gui->get_size(host.plugin, &w, &h) && w == 930 && h == 562,
          "set_scale(2): get_size answers 930 x 562");
    pumpFor(200);
    form = FindWindowExW(hostWindow, nullptr, L"OrvoSwitchForm", nullptr);
    RECT fr{};
    if (form) GetClientRect(form, &fr);
    check(fr.right == 930 && fr.bottom == 562, "the form is 930 x 562");
    if (HWND knob2x = form ? findAt(form, L"OrvoSwitchKnob", 432, 192) : nullptr) {
        RECT kr;
        GetWindowRect(knob2x, &kr);
        SetCursorPos(kr.left + 33, kr.top + 33);
        pumpFor(50);
        PostMessageW(knob2x, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(33, 33));
        pumpFor(50);
        SetCursorPos(kr.left + 53, kr.top + 33);
        PostMessageW(knob2x, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(53, 33));
        pumpFor(50);
        PostMessageW(knob2x, WM_LBUTTONUP, 0, MAKELPARAM(53, 33));
        pumpFor(150);
        const std::string trace = gestureTrace(host, 10);
        std::printf("     2x drag: \"%s\"\n", trace.c_str());
        check(trace == "begin value 0.650 end ", "at 2x a 20-pixel drag right turns the knob 5 positions");
    } else {
        check(false, "knob Drag found at 432,192 at 2x");
    }

    host.gui->destroy(host.plugin);
    pumpFor(50);
    check(!IsWindow(form) && children(hostWindow).empty(), "destroy leaves no child window behind");

    bool clean = true;
    for (int i = 0; i < 200 && clean; ++i) {
        clean = openEditor(host) && host.gui->set_scale(host.plugin, 2.0);
        pumpFor(1);
        host.gui->destroy(host.plugin);
        clean = clean && children(hostWindow).empty();
    }
    check(clean, "200 create/destroy cycles at 2x leave no window behind");
    {
        Host other(entry, false);
        check(openEditor(other), "a second instance opens its editor");
        pumpFor(100);
    }
    check(children(hostWindow).empty(), "destroying the plug-in closes its open editor");

    DestroyWindow(hostWindow);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
