// Hosts that give each plug-in window a UI thread of its own open and close
// editors of several instances at once. Under ThreadSanitizer this shows the
// editor's process-wide X state is shared without races; in every build it
// shows errors on our connections stay ours while the host's reach the host.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "DAEffectX.h"
#include "PluginFactory.h"

#include <X11/Xlib.h>  // last: its macros clash with the headers above

namespace {

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

std::atomic<int> gHostErrors{0};
int hostHandler(Display*, XErrorEvent*) {
    gHostErrors.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

// One UI thread: its own connection and parent window, an instance, and
// rounds of open, idle and close. Every third round the parent goes before
// effEditClose, as some hosts do it, which makes the editor's requests fail.
void uiThread(int rounds, std::atomic<bool>& ok) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        ok = false;
        return;
    }
    AEffect* e = createEffectInstance(host)->getEffectRecord();
    for (int i = 0; i < rounds; ++i) {
        Window parent = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 480, 300, 0, 0, 0);
        XMapWindow(dpy, parent);
        XSync(dpy, False);
        void* ptr = reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent));
        if (e->dispatcher(e, effEditOpen, 0, 0, ptr, 0.0f) != 1) ok = false;
        for (int k = 0; k < 3; ++k) e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
        if (i % 3 == 2) {
            XDestroyWindow(dpy, parent);
            XSync(dpy, False);
            e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
            e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
        } else {
            e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
            XDestroyWindow(dpy, parent);
        }
    }
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    XCloseDisplay(dpy);
}

TEST(threads, EditorsOfTwoInstancesOnTwoUiThreads) {
    XInitThreads();
    Display* hostDisplay = XOpenDisplay(nullptr);
    if (!hostDisplay) GTEST_SKIP() << "no X display";
    XSetErrorHandler(&hostHandler);

    std::atomic<bool> ok{true};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) threads.emplace_back(uiThread, 12, std::ref(ok));
    for (std::thread& t : threads) t.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(0, gHostErrors.load()) << "the editors' own errors reached the host";

    // The host's own failing request still reaches the host's handler.
    XMapWindow(hostDisplay, 0x7ffffff);
    XSync(hostDisplay, False);
    EXPECT_EQ(1, gHostErrors.load());
    XCloseDisplay(hostDisplay);
}

}  // namespace
