// What the editor costs the host's UI thread at 2x: building the form, and
// painting every control of it, which the 100 ms poll must leave far behind.
// Needs an X display (run under xvfb-run); without one each benchmark says
// so and measures nothing.
//
//   xvfb-run -a orvo-editor-bench
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "Unit1.h"
#include "x11/X11Platform.h"

namespace {

using orvo::TForm1;
using orvo::X11Platform;

// A window of the benchmark's own for the form to live in, as a host's.
struct HostWindow {
    Display* dpy = XOpenDisplay(nullptr);
    Window window = 0;
    HostWindow() {
        if (!dpy) return;
        window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1000, 600, 0, 0, 0);
        XMapWindow(dpy, window);
        XSync(dpy, False);
    }
    ~HostWindow() {
        if (!dpy) return;
        XDestroyWindow(dpy, window);
        XCloseDisplay(dpy);
    }
    void* parent() const { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window)); }
};

// One for the whole run: a virtual server resets when its last client
// leaves, and refuses new ones while it does.
HostWindow& hostWindow() {
    static HostWindow host;
    return host;
}

void BM_OpenFormAt(benchmark::State& state) {
    HostWindow& host = hostWindow();
    if (!host.dpy) return state.SkipWithError("no X display");
    const double scale = static_cast<double>(state.range(0)) / 100.0;
    for (auto _ : state) {
        X11Platform platform;
        auto form = std::make_unique<TForm1>(platform, host.parent(), scale);
        form->show();
        platform.idle();  // the first paint of every control
        benchmark::DoNotOptimize(form.get());
    }
}

void BM_PaintFormAt(benchmark::State& state) {
    HostWindow& host = hostWindow();
    if (!host.dpy) return state.SkipWithError("no X display");
    const double scale = static_cast<double>(state.range(0)) / 100.0;
    X11Platform platform;
    TForm1 form(platform, host.parent(), scale);
    form.show();
    platform.idle();
    const orvo::Widget all[] = {form.GroupBox1,  form.GroupBox3,  form.GroupBox4,  form.GroupBox7,
                                form.Memo1,      form.Image1,     form.RadioGroup1->widget(),
                                form.RadioGroup2->widget(),       form.RadioGroup3->widget(),
                                form.TrackBar3->widget(),         form.TrackBar4->widget(),
                                form.TrackBar5->widget(),         form.TrackBar6->widget(),
                                form.Tsumami1->widget(),          form.Tsumami2->widget(),
                                form.Tsumami3->widget(),          form.Tsumami4->widget(),
                                form.Tsumami5->widget()};
    int position = 0;
    for (auto _ : state) {
        // Every control changed, as after a program change: the worst poll.
        form.Tsumami1->setPosition(position++ % 101);
        for (orvo::Widget w : all) platform.repaintNow(w);
        platform.idle();  // flushes; the server's drawing is not ours to time
    }
}

}  // namespace

BENCHMARK(BM_OpenFormAt)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintFormAt)->Arg(100)->Arg(150)->Arg(200)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
