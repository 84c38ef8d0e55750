// Opens the VST 3 plug-in's editor the way a Windows VST 3 host does
// (embedded in a Win32 window of the host, the host's message loop running,
// no run loop offered) and checks a knob drag reaching the component
// handler as one edit, the content scale, and attach/remove cycles that
// leave no window behind.
//
//   orvo-vst3-wintest OrvoSwitch.vst3 <arch>
// Exit 0 when every check passes.
#include <cstdio>
#include <string>

#include "Vst3Host.h"
#include "WinUser.h"

using namespace orvo::test;

namespace {

int passed = 0, failed = 0;
void check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    ++(ok ? passed : failed);
}

void pumpFor(int ms) { orvo::test::pump(ms, [] {}); }

HWND formOf(HWND host) { return FindWindowExW(host, nullptr, L"OrvoSwitchForm", nullptr); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: orvo-vst3-wintest OrvoSwitch.vst3 <arch>\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    v3_plugin_factory_2** factory = loadVst3(argv[1], argv[2]);
    if (!factory) {
        std::fprintf(stderr, "cannot load the plug-in\n");
        return 1;
    }
    HWND host = openHostWindow(L"VST 3 editor test host", 960, 600);
    pumpFor(100);

    Plugin plugin(factory);
    Handler handler;
    v3_edit_controller** ctl = plugin.controller;
    v3_cpp_obj(ctl)->set_component_handler(ctl, handler.handler());
    v3_plugin_view** view = v3_cpp_obj(ctl)->create_view(ctl, "editor");
    auto* vt = view ? v3_cpp_obj(view) : nullptr;
    check(vt && vt->is_platform_type_supported(view, "HWND") == V3_TRUE &&
              vt->is_platform_type_supported(view, "X11EmbedWindowID") != V3_TRUE,
          "the editor view embeds in Win32 only");
    if (!vt) return 1;
    Frame frame(false);  // Win32 windows get their messages from the host's loop
    vt->set_frame(view, frame.frame());
    check(vt->attached(view, host, "HWND") == V3_OK, "attached without a run loop");
    pumpFor(400);
    HWND form = formOf(host);
    check(form && IsWindowVisible(form), "the form is a visible child of the host's window");

    HWND knob = form ? findAt(form, L"OrvoSwitchKnob", 216, 96) : nullptr;
    check(knob != nullptr, "knob Drag found at 216,96");
    if (knob) {
        handler.trace.clear();
        dragKnobUp20(knob, pumpFor);
        std::printf("     drag: \"%s\"\n", handler.trace.c_str());
        check(handler.trace.starts_with("begin value") && handler.trace.ends_with("value 0.600 end ") &&
                  plugin.value(10) == static_cast<double>(0.6f),
              "a knob drag reaches the handler as one edit and the plug-in holds Drag = 0.6");
    }

    v3_plugin_view_content_scale** scale = nullptr;
    v3_cpp_obj_query_interface(view, v3_plugin_view_content_scale_iid, &scale);
    check(scale && v3_cpp_obj(scale)->set_content_scale_factor(scale, 2.0f) == V3_OK && frame.asked.right == 930 &&
              frame.asked.bottom == 562,
          "content scale 2 asks the host for 930 x 562");
    if (scale) v3_cpp_obj_unref(scale);
    pumpFor(200);
    RECT fr{};
    if ((form = formOf(host))) GetClientRect(form, &fr);
    check(fr.right == 930 && fr.bottom == 562, "the form is 930 x 562");

    vt->removed(view);
    bool clean = formOf(host) == nullptr;
    for (int i = 0; i < 200 && clean; ++i) {
        clean = vt->attached(view, host, "HWND") == V3_OK && formOf(host);
        vt->removed(view);
        clean = clean && !formOf(host);
    }
    check(clean, "removed, and 200 attach/remove cycles, leave no form window");
    v3_cpp_obj_unref(view);

    DestroyWindow(host);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
