// Opens the plug-in's editor the way a Linux host does (effEditOpen with an
// X window of its own, effEditIdle every 40 ms) and checks what a user and
// the host see: a screenshot, the same form at 1.5x and 2x (asked for as a
// content scale) matching it, drags and clicks through XTest at 2x and 1x
// turning into audioMasterAutomate, host automation moving a slider, and
// open/close cycles that leave no window or descriptor behind.
//
//   orvo-editor-x11test OrvoSwitch.so screenshot.png
// Exit 0 when every check passes, 77 when the plug-in has no editor.
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "DAEffectX.h"
#include "Downscale.h"
#include "PngWriter.h"
#include "XUser.h"

namespace {

using orvo::test::openFds;

struct Automation {
    int index;
    float value;
};
std::vector<Automation> automations;

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (opcode == audioMasterAutomate) automations.push_back({index, opt});
    return opcode == audioMasterVersion ? 2400 : 0;
}

int passed = 0, failed = 0;
void check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    ++(ok ? passed : failed);
}

AEffect* fx = nullptr;
orvo::test::XUser user;
Display*& dpy = user.dpy;
Window& parent = user.parent;

VstIntPtr dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr) {
    return fx->dispatcher(fx, op, index, value, ptr, 0.0f);
}

// Idles the editor like a host does, every 40 ms, for `ms`.
void idleFor(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        dispatch(effEditIdle);
        user.drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    dispatch(effEditIdle);
}

int childCount(Window w) { return user.childCount(w); }
std::vector<std::uint32_t> grab(int x, int y, int w, int h) { return user.grab(x, y, w, h); }
void pointerTo(int x, int y) { user.pointerTo(x, y); }
void button(bool down) { user.button(down); }
void key(KeySym sym) { user.key(sym); }

// The content scale a front end asks for, as effVendorSpecific carries it.
bool askScale(float scale) {
    constexpr VstInt32 kScaleTag = ('P' << 24) | ('r' << 16) | ('e' << 8) | 'S';
    constexpr VstIntPtr kScaleValue = ('A' << 24) | ('e' << 16) | ('C' << 8) | 's';
    return fx->dispatcher(fx, effVendorSpecific, kScaleTag, kScaleValue, nullptr, scale) == 1;
}

// "shots/editor-linux.png" with "-2x" gives "shots/editor-linux-2x.png".
std::string suffixed(std::string path, const char* suffix) {
    const std::size_t dot = path.rfind(".png");
    return dot == std::string::npos ? path + suffix : path.insert(dot, suffix);
}

bool lastAutomation(int index, float value) {
    return !automations.empty() && automations.back().index == index && automations.back().value == value;
}

}  // namespace
int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: orvo-editor-x11test OrvoSwitch.so screenshot.png\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::fprintf(stderr, "cannot load the plug-in: %s\n", dlerror());
        return 1;
    }
    using Main = AEffect* (*)(audioMasterCallback);
    auto entry = reinterpret_cast<Main>(dlsym(lib, "VSTPluginMain"));
    fx = entry ? entry(host) : nullptr;
    if (!fx) {
        std::fprintf(stderr, "no effect\n");
        return 1;
    }
    if (!(fx->flags & effFlagsHasEditor)) {
        std::printf("SKIP the plug-in advertises no editor\n");
        return 77;
    }
    dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    dispatch(effOpen);
    user.openParent(520, 330);
    void* parentPtr = reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent));

    ERect* rect = nullptr;
    check(dispatch(effEditGetRect, 0, 0, &rect) == 1 && rect && rect->bottom == 0 && rect->right == 0,
          "effEditGetRect before open answers an empty rectangle");
    // Hosts pass their Display in value; the editor must not need it.
    check(dispatch(effEditOpen, 0, reinterpret_cast<VstIntPtr>(dpy), parentPtr) == 1, "effEditOpen answers 1");
    rect = nullptr;
    dispatch(effEditGetRect, 0, 0, &rect);
    check(rect && rect->top == 0 && rect->left == 0 && rect->bottom == 281 && rect->right == 465,
          "effEditGetRect while open answers 0,0,281,465");
    idleFor(400);
    check(childCount(parent) == 1, "the form is the one child of the host's window");

    XSync(dpy, False);
    std::vector<std::uint32_t> shot = grab(0, 0, 520, 330);
    check(shot.size() == 520u * 330u && orvo::test::writePng(argv[2], 520, 330, shot), "screenshot saved");
    // Knob Mix (264,96 in the form) at 50: the pointer's highlight, black and
    // shadow strokes are the columns 14, 15 and 16 of the knob.
    auto at = [&](int x, int y) { return shot.empty() ? 0u : shot[static_cast<std::size_t>(y * 520 + x)]; };
    check(at(264 + 14, 96 + 5) == 0xFFFFFF && at(264 + 15, 96 + 5) == 0x000000 && at(264 + 16, 96 + 5) == 0x808080,
          "knob Mix draws its upright pointer as highlight, black and shadow columns");

    // The same form at 1.5x and 2x, rebuilt in place; each box-filtered back
    // to 1x matches the 1x form in at least 90% of its pixels.
    std::vector<std::uint32_t> form1x;
    for (int y = 0; y < 281 && !shot.empty(); ++y)
        form1x.insert(form1x.end(), shot.begin() + y * 520, shot.begin() + y * 520 + 465);
    XResizeWindow(dpy, parent, 960, 600);
    for (const auto& [scale, suffix] : {std::pair{1.5f, "-1.5x"}, std::pair{2.0f, "-2x"}}) {
        const int w = static_cast<int>(std::lround(465 * scale)), h = static_cast<int>(std::lround(281 * scale));
        check(askScale(scale), "a content scale is taken");
        rect = nullptr;
        dispatch(effEditGetRect, 0, 0, &rect);
        check(rect && rect->bottom == h && rect->right == w && childCount(parent) == 1,
              "effEditGetRect answers the scaled size of the one form");
        idleFor(300);
        XSync(dpy, False);
        const std::vector<std::uint32_t> big = grab(0, 0, w, h);
        const double match = orvo::test::downscaledMatch(big, w, h, form1x, 465, 281);
        std::printf("     %s: %.1f%% of the pixels match 1x\n", suffix, 100.0 * match);
        check(orvo::test::writePng(suffixed(argv[2], suffix), w, h, big) && match >= 0.9,
              "the scaled screenshot, box-filtered to 1x, matches the 1x one in 90% of its pixels");
    }
    // At 2x a knob turns one position per 4 pixels: Drag, 20 pixels right.
    automations.clear();
    pointerTo(432 + 33, 192 + 33);
    idleFor(80);
    button(true);
    idleFor(80);
    pointerTo(432 + 33 + 20, 192 + 33);
    idleFor(80);
    button(false);
    idleFor(150);
    check(lastAutomation(10, 0.55f), "at 2x dragging knob Drag 20 pixels right automates Drag = 0.55");
    // Slider A (640,64, 66 x 226) from position 45 up 20 positions, and
    // Wave1's third item (the group at 32,64, items 51 high from 30).
    automations.clear();
    const int thumbY = 64 + 16 + (45 * 192 + 25) / 50;
    pointerTo(640 + 33, thumbY);
    idleFor(80);
    button(true);
    idleFor(80);
    pointerTo(640 + 33, thumbY - 20 * 192 / 50);
    idleFor(80);
    button(false);
    idleFor(150);
    check(lastAutomation(0, 0.5f), "at 2x dragging slider A's thumb automates A = 0.5");
    pointerTo(32 + 16 + 20, 64 + 30 + 2 * 51 + 25);
    idleFor(80);
    button(true);
    button(false);
    idleFor(150);
    check(lastAutomation(8, 2.0f / 3.0f), "at 2x clicking Wave1's Sqr automates Wave1 = 2/3");
    fx->setParameter(fx, 10, 0.5f);
    fx->setParameter(fx, 0, 0.1f);
    fx->setParameter(fx, 8, 0.0f);
    check(askScale(1.0f), "back to 1x");
    idleFor(200);

    // Drag knob Drag (Tsumami1 at 216,96 in the form) 20 pixels up.
    automations.clear();
    user.dragKnobDragUp20(idleFor);
    check(lastAutomation(10, 0.6f), "dragging knob Drag 20 pixels up automates Drag = 0.6");
    check(fx->getParameter(fx, 10) == 0.6f, "the synthesizer holds Drag = 0.6");

    // Click "BandPass": second item of RadioGroup1 at 16,184 in the form.
    automations.clear();
    pointerTo(16 + 8 + 6, 184 + 36 + 10);
    idleFor(80);
    button(true);
    button(false);
    idleFor(150);
    check(automations.size() == 1 && lastAutomation(6, 0.5f), "clicking BandPass automates Type = 0.5");

    // Slider A (320,32 in the form): a click on the channel below the thumb
    // steps once and gives it the keyboard; End and Home go to the ends.
    automations.clear();
    pointerTo(320 + 16, 32 + 104);
    idleFor(80);
    button(true);
    button(false);
    idleFor(120);
    check(automations.size() == 1 && lastAutomation(0, 0.08f), "a click below slider A's thumb sends A = 0.08");
    key(XK_End);
    idleFor(120);
    check(lastAutomation(0, 0.0f), "End moves slider A to the bottom, A = 0");
    key(XK_Home);
    idleFor(120);
    check(lastAutomation(0, 1.0f), "Home moves slider A to the top, A = 1");
    fx->setParameter(fx, 0, 0.1f);
    idleFor(200);

    // The about text (248,200 in the form) takes typing to no effect; Tab
    // then goes on to the next control in keyboard order, the Wave1 group,
    // where Down chooses "Saw".
    automations.clear();
    XSync(dpy, False);
    std::vector<std::uint32_t> memoBefore = grab(248, 200, 209, 73);
    pointerTo(248 + 60, 200 + 36);
    idleFor(80);
    button(true);
    button(false);
    key(XK_x);
    idleFor(120);
    XSync(dpy, False);
    check(grab(248, 200, 209, 73) != memoBefore && automations.empty(), "typing into the about text shows and sends nothing");
    key(XK_Tab);
    idleFor(300);  // the focus moves when the editor handles Tab; slow builds need the margin
    key(XK_Down);
    idleFor(120);
    for (int i = 0; i < 20 && automations.empty(); ++i) idleFor(50);
    check(automations.size() == 1 && lastAutomation(8, 1.0f / 3.0f), "Tab from the about text, then Down, sends Wave1 = 1/3");

    // Host automation of A moves slider A (320,32 in the form, 33 x 113)
    // within two ticks and sends nothing back; restoring A restores the
    // picture exactly.
    automations.clear();
    XSync(dpy, False);
    std::vector<std::uint32_t> before = grab(320, 32, 33, 113);
    fx->setParameter(fx, 0, 0.9f);
    idleFor(200);
    XSync(dpy, False);
    std::vector<std::uint32_t> moved = grab(320, 32, 33, 113);
    check(!before.empty() && moved != before, "host A = 0.9 moves slider A within two ticks");
    fx->setParameter(fx, 0, 0.1f);
    idleFor(200);
    XSync(dpy, False);
    check(grab(320, 32, 33, 113) == before, "host A = 0.1 puts slider A back where it was");
    idleFor(400);
    check(automations.empty(), "host automation and an idle editor send nothing");

    // A host that idles rarely still gets its poll.
    fx->setParameter(fx, 0, 0.9f);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    dispatch(effEditIdle);
    XSync(dpy, False);
    check(grab(320, 32, 33, 113) == moved, "one late idle call is enough to follow the host");

    dispatch(effEditClose);
    XSync(dpy, False);
    check(childCount(parent) == 0, "effEditClose leaves no child window behind");

    const int fds = openFds();
    bool clean = true;
    for (int i = 0; i < 200 && clean; ++i) {
        if (getenv("ORVO_TRACE")) std::fprintf(stderr, "cycle %d\n", i);
        dispatch(effEditOpen, 0, 0, parentPtr);
        dispatch(effEditIdle);
        dispatch(effEditClose);
        XSync(dpy, False);
        clean = childCount(parent) == 0 && openFds() == fds;
    }
    check(clean, "200 open/close cycles leave no window and no descriptor behind");

    // An editor given a window that does not exist opens no window and does
    // not bring the host down.
    dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x7ffffff)));
    dispatch(effEditIdle);
    dispatch(effEditClose);
    check(openFds() == fds, "a bogus parent window is survived");

    dispatch(effEditOpen, 0, 0, parentPtr);
    idleFor(100);
    dispatch(effClose);
    fx = nullptr;
    XSync(dpy, False);
    check(childCount(parent) == 0 && openFds() == fds, "effClose with the editor open destroys it cleanly");

    XDestroyWindow(dpy, parent);
    XCloseDisplay(dpy);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
