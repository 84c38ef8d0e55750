// The editor's UI library loaded as an LV2 host loads it, under a virtual X
// server: embedded in the host's window at the host's scale factor or the
// desktop's Xft.dpi, following the host's port values, sending the user's
// drags and clicks through the write function inside touch gestures, and
// leaving no window behind.
//
//   xvfb-run -a orvo-lv2-uitest
// gtest goes first: Xlib's macros (None, Bool) would rewrite its names.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <X11/Xatom.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "Lv2Host.h"
#include "XUser.h"

#ifndef ORVO_LV2_UI_LIBRARY
#error "ORVO_LV2_UI_LIBRARY must name the built UI library"
#endif

namespace orvo::lv2::test {
namespace {

// What the UI told its host, in order: writes and gestures.
struct Message {
    enum Kind { kWrite, kGrab, kRelease } kind;
    uint32_t port;
    float value;
    bool operator==(const Message&) const = default;
};

class Ui : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Never closed: the library carries its own C++ runtime.
        library = dlopen(ORVO_LV2_UI_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        auto entry = library ? reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(library, "lv2ui_descriptor"))
                             : nullptr;
        descriptor = entry ? entry(0) : nullptr;
        more = entry ? entry(1) : nullptr;
        // One connection for every test: the server resets when its last
        // client leaves, and refuses connections while it does.
        dpy = XOpenDisplay(nullptr);
    }
    static void TearDownTestSuite() {
        if (dpy) XCloseDisplay(dpy);
        dpy = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(descriptor, nullptr) << dlerror();
        ASSERT_NE(dpy, nullptr) << "no X display: run under xvfb-run";
        orvo::test::XUser u{dpy, 0};
        u.openParent(520, 330);
        parent = u.parent;
    }
    void TearDown() override {
        if (handle) descriptor->cleanup(handle);
        if (dpy && parent) XDestroyWindow(dpy, parent);
        if (dpy) XSync(dpy, False);
    }

    // The features a host offers, with `parentWindow` as ui:parent and, when
    // positive, `scaleFactor` as the ui:scaleFactor option.
    LV2UI_Handle instantiate(std::uintptr_t parentWindow, bool withParent = true, float scaleFactor = 0.0f) {
        const LV2_Options_Option options[] = {
            {LV2_OPTIONS_INSTANCE, 0, map.map(LV2_UI__scaleFactor), sizeof(float), map.map(LV2_ATOM__Float), &scaleFactor},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
        const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parentWindow)};
        const LV2_Feature mapFeature{LV2_URID__map, &map.feature};
        const LV2_Feature logFeature{LV2_LOG__log, &log.feature};
        const LV2_Feature resizeFeature{LV2_UI__resize, &resize};
        const LV2_Feature touchFeature{LV2_UI__touch, &touch};
        const LV2_Feature* all[] = {&mapFeature, &logFeature, &resizeFeature, &touchFeature, &parentFeature,
                                    scaleFactor > 0.0f ? &optionsFeature : nullptr, nullptr};
        if (!withParent) all[4] = all[5], all[5] = nullptr;
        widget = nullptr;
        return descriptor->instantiate(descriptor, kPluginUri, ORVO_LV2_BUNDLE, &Ui::write, this, &widget, all);
    }
    int idle() {
        auto* iface = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
        return iface->idle(handle);
    }
    // Idles like a host, every 40 ms, for `ms`.
    void idleFor(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
        idle();
    }
    void portEvent(int param, float value) {
        descriptor->port_event(handle, kPortFirstControl + static_cast<uint32_t>(param), sizeof value, 0, &value);
    }
    // What the user sees of the host's window, and their pointer.
    std::vector<Window> children() {
        XSync(dpy, False);
        Window root, par, *kids = nullptr;
        unsigned n = 0;
        std::vector<Window> list;
        if (XQueryTree(dpy, parent, &root, &par, &kids, &n)) list.assign(kids, kids + n);
        if (kids) XFree(kids);
        return list;
    }
    std::vector<std::uint32_t> grab(int x, int y, int w, int h) {
        XSync(dpy, False);
        return user().grab(x, y, w, h);
    }
    void pointerTo(int x, int y) { user().pointerTo(x, y); }
    void button(bool down) { user().button(down); }
    orvo::test::XUser user() const { return {dpy, parent}; }

    static void write(LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
        auto* self = static_cast<Ui*>(c);
        ASSERT_EQ(size, sizeof(float));
        ASSERT_EQ(format, 0u);
        float v;
        std::memcpy(&v, buffer, sizeof v);
        self->messages.push_back({Message::kWrite, port, v});
    }

    static inline void* library = nullptr;
    static inline const LV2UI_Descriptor* descriptor = nullptr;
    static inline const LV2UI_Descriptor* more = nullptr;
    static inline Display* dpy = nullptr;
    Window parent = 0;
    UridMap map;
    Log log;
    int width = 0, height = 0;
    LV2UI_Resize resize{this, [](LV2UI_Feature_Handle h, int w, int hh) {
                            static_cast<Ui*>(h)->width = w, static_cast<Ui*>(h)->height = hh;
                            return 0;
                        }};
    LV2UI_Touch touch{this, [](LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
                          static_cast<Ui*>(h)->messages.push_back(
                              {grabbed ? Message::kGrab : Message::kRelease, port, 0.0f});
                      }};
    std::vector<Message> messages;
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle handle = nullptr;
};

using orvo::test::openFds;

TEST_F(Ui, OneDescriptorWithTheUiUriAndBothInterfaces) {
    EXPECT_STREQ(descriptor->URI, kUiUri);
    EXPECT_EQ(more, nullptr);
    EXPECT_NE(descriptor->extension_data(LV2_UI__idleInterface), nullptr);
    EXPECT_NE(descriptor->extension_data(LV2_UI__showInterface), nullptr);
    EXPECT_EQ(descriptor->extension_data(LV2_UI__resize), nullptr) << "the host does not size the form";
}

TEST_F(Ui, WithoutAParentOrWithAParentThatDoesNotExistThereIsNoUi) {
    EXPECT_EQ(instantiate(parent, /*withParent=*/false), nullptr);
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_NE(log.messages[0].find("ui:parent"), std::string::npos) << log.messages[0];
    EXPECT_EQ(instantiate(0x7ffffff), nullptr);
    EXPECT_EQ(log.messages.size(), 2u);
    EXPECT_TRUE(children().empty());
}

TEST_F(Ui, EmbedsTheFormAtItsSizeAndLeavesNothingBehind) {
    handle = instantiate(parent);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(width, 465);
    EXPECT_EQ(height, 281);
    idleFor(200);
    const std::vector<Window> kids = children();
    ASSERT_EQ(kids.size(), 1u);
    EXPECT_EQ(kids[0], reinterpret_cast<std::uintptr_t>(widget)) << "the widget is the form's window";
    XWindowAttributes attrs;
    ASSERT_TRUE(XGetWindowAttributes(dpy, kids[0], &attrs));
    EXPECT_EQ(attrs.width, 465);
    EXPECT_EQ(attrs.height, 281);
    EXPECT_EQ(attrs.map_state, IsViewable);
    descriptor->cleanup(handle);
    handle = nullptr;
    EXPECT_TRUE(children().empty());

    const int fds = openFds();
    bool clean = true;
    for (int i = 0; i < 50 && clean; ++i) {
        handle = instantiate(parent);
        clean = handle && idle() == 0;
        portEvent(i % kNumParams, 0.25f);
        if (handle) idle(), descriptor->cleanup(handle);
        handle = nullptr;
        clean = clean && children().empty() && openFds() == fds;
    }
    EXPECT_TRUE(clean) << "50 cycles leave no window and no descriptor behind";
    EXPECT_TRUE(messages.empty()) << "building and closing the form sends nothing";
}

// The host's ui:scaleFactor wins; without it the desktop's Xft.dpi, as the
// server's resources hold it when the UI opens, sets the scale.
TEST_F(Ui, TakesTheHostsScaleFactorOrElseTheDesktopsDpi) {
    auto formSize = [&] {
        idleFor(100);
        const std::vector<Window> kids = children();
        XWindowAttributes attrs{};
        if (kids.size() == 1) XGetWindowAttributes(dpy, kids[0], &attrs);
        return std::pair{attrs.width, attrs.height};
    };
    handle = instantiate(parent, true, 2.0f);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(std::pair(width, height), std::pair(930, 562)) << "ui:resize reports the scaled size";
    EXPECT_EQ(formSize(), std::pair(930, 562));
    descriptor->cleanup(handle);

    const Window root = DefaultRootWindow(dpy);
    const char resources[] = "Xft.dpi:\t144\n";
    XChangeProperty(dpy, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources), sizeof resources - 1);
    XSync(dpy, False);
    handle = instantiate(parent);
    const bool made = handle != nullptr;
    const std::pair<int, int> fromDpi = formSize();
    if (handle) descriptor->cleanup(handle);
    handle = instantiate(parent, true, 1.25f);
    const std::pair<int, int> fromHost = formSize();
    XDeleteProperty(dpy, root, XA_RESOURCE_MANAGER);
    XSync(dpy, False);
    ASSERT_TRUE(made);
    EXPECT_EQ(fromDpi, std::pair(698, 422)) << "Xft.dpi 144 is 1.5x";
    EXPECT_EQ(fromHost, std::pair(581, 351)) << "the host's factor wins over Xft.dpi";
}

TEST_F(Ui, HostValuesMoveTheControlsAndAreNotEchoed) {
    handle = instantiate(parent);
    ASSERT_NE(handle, nullptr);
    idleFor(300);
    // Slider A sits at 320,32 in the form, 33 x 113.
    const std::vector<std::uint32_t> before = grab(320, 32, 33, 113);
    portEvent(kParamAttack, 0.9f);
    idleFor(250);
    const std::vector<std::uint32_t> moved = grab(320, 32, 33, 113);
    EXPECT_NE(moved, before) << "A = 0.9 from the host moves slider A";
    portEvent(kParamAttack, 0.1f);
    idleFor(250);
    EXPECT_EQ(grab(320, 32, 33, 113), before) << "A = 0.1 puts it back";
    // Not ours: other ports, other formats, the wrong size.
    const float v = 0.9f;
    descriptor->port_event(handle, kPortLeft, sizeof v, 0, &v);
    descriptor->port_event(handle, kPortCount, sizeof v, 0, &v);
    descriptor->port_event(handle, kPortFirstControl, sizeof v, 1, &v);
    descriptor->port_event(handle, kPortFirstControl, 2, 0, &v);
    idleFor(250);
    EXPECT_EQ(grab(320, 32, 33, 113), before);
    EXPECT_TRUE(messages.empty());
}

TEST_F(Ui, AKnobDragAndARadioClickAreWritesInsideTouchGestures) {
    handle = instantiate(parent);
    ASSERT_NE(handle, nullptr);
    idleFor(300);
    // Knob Drag at 216,96 in the form, 20 pixels up: 0.5 -> 0.6.
    const uint32_t drag = kPortFirstControl + kParamDrag;
    user().dragKnobDragUp20([this](int ms) { idleFor(ms); });
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages.front(), (Message{Message::kGrab, drag, 0.0f}));
    EXPECT_EQ(messages.back(), (Message{Message::kRelease, drag, 0.0f}));
    const Message& last = messages[messages.size() - 2];
    EXPECT_EQ(last, (Message{Message::kWrite, drag, 0.6f}));
    for (size_t i = 1; i + 1 < messages.size(); ++i)
        EXPECT_TRUE(messages[i].kind == Message::kWrite && messages[i].port == drag) << "message " << i;

    // "BandPass", the second item of Type at 16,184 in the form.
    messages.clear();
    const uint32_t type = kPortFirstControl + kParamType;
    pointerTo(16 + 8 + 6, 184 + 36 + 10);
    idleFor(80);
    button(true);
    button(false);
    idleFor(150);
    const std::vector<Message> click = {{Message::kGrab, type, 0.0f},
                                        {Message::kWrite, type, 0.5f},
                                        {Message::kRelease, type, 0.0f}};
    EXPECT_EQ(messages, click);
}

// At ui:scaleFactor 2 the user's knob drag, slider drag and radio click land
// on the controls where they are drawn, each inside a touch gesture.
TEST_F(Ui, AtTwiceTheSizeInputLandsOnTheScaledControls) {
    XResizeWindow(dpy, parent, 960, 600);
    handle = instantiate(parent, true, 2.0f);
    ASSERT_NE(handle, nullptr);
    idleFor(300);
    auto gesture = [&](int param, float value) {
        const uint32_t port = kPortFirstControl + static_cast<uint32_t>(param);
        return std::vector<Message>{{Message::kGrab, port, 0.0f}, {Message::kWrite, port, value},
                                    {Message::kRelease, port, 0.0f}};
    };
    auto drag = [&](int x, int y, int dx, int dy) {
        pointerTo(x, y);
        idleFor(80);
        button(true);
        idleFor(80);
        pointerTo(x + dx, y + dy);
        idleFor(80);
        button(false);
        idleFor(150);
    };
    // Knob Drag (432,192, 66 across), 20 pixels right: 5 positions.
    drag(432 + 33, 192 + 33, 20, 0);
    EXPECT_EQ(messages, gesture(kParamDrag, 0.55f));
    // Slider A (640,64, 66 x 226) from 0.1 (position 45) up 20 positions.
    messages.clear();
    drag(640 + 33, 64 + 16 + (45 * 192 + 25) / 50, 0, -20 * 192 / 50);
    EXPECT_EQ(messages, gesture(kParamAttack, 0.5f));
    // Wave1's third item: the group at 32,64, items 51 high from 30.
    messages.clear();
    pointerTo(32 + 16 + 20, 64 + 30 + 2 * 51 + 25);
    idleFor(80);
    button(true);
    button(false);
    idleFor(150);
    EXPECT_EQ(messages, gesture(kParamWave1, static_cast<float>(2 / 3.0)));
}

TEST_F(Ui, HidingClosesTheFormAndShowingBuildsItAgain) {
    handle = instantiate(parent);
    ASSERT_NE(handle, nullptr);
    auto* show = static_cast<const LV2UI_Show_Interface*>(descriptor->extension_data(LV2_UI__showInterface));
    idleFor(100);
    EXPECT_EQ(show->hide(handle), 0);
    EXPECT_EQ(idle(), 1) << "a hidden editor is closed";
    EXPECT_TRUE(children().empty());
    portEvent(kParamAttack, 0.9f);  // while closed: shown on the next show
    EXPECT_EQ(show->show(handle), 0);
    EXPECT_EQ(idle(), 0);
    EXPECT_EQ(children().size(), 1u);
    idleFor(250);
    EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace orvo::lv2::test
