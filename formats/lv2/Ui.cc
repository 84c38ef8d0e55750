// The editor as an LV2 X11 UI: the same form as the VST 2 editor, embedded
// in the host's window. The form edits through Lv2Link, which writes the
// control ports; the host's changes come back through port_event and reach
// the form by its poll. Nothing here runs anywhere but the host's UI thread.
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>

#include <cstring>
#include <memory>
#include <new>

#include "Features.h"
#include "NativePlatform.h"
#include "ParamTable.h"
#include "Ports.h"
#include "SynthLink.h"
#include "Unit1.h"

namespace {

using namespace orvo;
using namespace orvo::lv2;

// The form's view of the instrument: the last value known per port, and
// edits written straight to the ports, as one touch gesture each where the
// host offers touch.
class Lv2Link : public SynthLink {
public:
    Lv2Link(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch)
        : write(write), controller(controller), touch(touch) {
        for (int i = 0; i < kNumParams; ++i) values[i] = kParams[i].defaultValue;
    }

    float getParameter(int index) override { return isParamIndex(index) ? values[index] : 0.0f; }
    void setParameterAutomated(int index, float value) override {
        if (!isParamIndex(index)) return;
        values[index] = value;
        if (write) write(controller, port(index), sizeof value, 0, &value);
    }
    void beginEdit(int index) override { gesture(index, true); }
    void endEdit(int index) override { gesture(index, false); }

    // From port_event: the host's value, which the form's poll picks up.
    void hostValue(int index, float value) { values[index] = value; }

private:
    static uint32_t port(int index) { return kPortFirstControl + static_cast<uint32_t>(index); }
    void gesture(int index, bool grabbed) {
        if (touch && touch->touch && isParamIndex(index)) touch->touch(touch->handle, port(index), grabbed);
    }

    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    const LV2UI_Touch* touch;
    float values[kNumParams];
};

// The host's ui:scaleFactor among its options; 0 when it gives none.
double hostScale(const Features& f) {
    const auto* options = static_cast<const LV2_Options_Option*>(f.find(LV2_OPTIONS__options));
    if (!options || !f.map) return 0.0;
    const LV2_URID key = f.map->map(f.map->handle, LV2_UI__scaleFactor);
    const LV2_URID floatType = f.map->map(f.map->handle, LV2_ATOM__Float);
    const LV2_URID doubleType = f.map->map(f.map->handle, LV2_ATOM__Double);
    for (const LV2_Options_Option* o = options; o->key || o->value; ++o) {
        if (o->key != key || !o->value) continue;
        if (o->type == floatType && o->size == sizeof(float)) return *static_cast<const float*>(o->value);
        if (o->type == doubleType && o->size == sizeof(double)) return *static_cast<const double*>(o->value);
    }
    return 0.0;
}

struct Ui {
    Ui(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch, void* parent, double scale)
        : link(write, controller, touch), parent(parent), scale(scale) {}

    // The form in the host's window; false when it got no window (no X
    // display, or the host's window does not exist).
    bool open() {
        // Without the host's word, the desktop's: Xft.dpi, as the host's
        // own toolkit reads it.
        form = std::make_unique<TForm1>(*platform, parent, scale > 0.0 ? scale : platform->screenScale(parent));
        // Only now: the form must not reach the ports while it is built.
        form->Synth = &link;
        form->show();
        return window() != 0;
    }
    void close() { form.reset(); }
    std::uintptr_t window() const { return form ? platform->nativeWindow(form->widget()) : 0; }

    std::unique_ptr<Platform> platform = createNativePlatform();
    Lv2Link link;
    void* parent;
    double scale;  // the host's ui:scaleFactor, 0 when it gave none
    std::unique_ptr<TForm1> form;
};

// Thread: UI.
LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
    const Features f(features);
    void* parent = f.find(LV2_UI__parent);
    if (!parent) {
        f.error("Orvo Switch: the host offers no ui:parent window to embed the editor in\n");
        return nullptr;
    }
    auto ui = std::unique_ptr<Ui>(new (std::nothrow) Ui(write, controller,
                                                        static_cast<const LV2UI_Touch*>(f.find(LV2_UI__touch)), parent,
                                                        hostScale(f)));
    if (!ui || !ui->platform) {
        if (ui) f.error("Orvo Switch: this build has no window system for the editor\n");
        return nullptr;
    }
    if (!ui->open()) {
        f.error("Orvo Switch: the editor got no window (no X display, or no such parent window)\n");
        return nullptr;
    }
    if (widget) *widget = reinterpret_cast<LV2UI_Widget>(ui->window());
    if (auto* resize = static_cast<const LV2UI_Resize*>(f.find(LV2_UI__resize)); resize && resize->ui_resize)
        resize->ui_resize(resize->handle, ui->form->ClientWidth(), ui->form->ClientHeight());
    return ui.release();
}

// Thread: UI.
void cleanup(LV2UI_Handle handle) { delete static_cast<Ui*>(handle); }

// Thread: UI. Control ports only, as plain floats; anything else is not ours.
void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    if (format != 0 || size != sizeof(float) || !buffer || !isControlPort(port)) return;
    float value;
    std::memcpy(&value, buffer, sizeof value);
    static_cast<Ui*>(handle)->link.hostValue(static_cast<int>(port - kPortFirstControl), value);
}

// Thread: UI. Reads the X connection and runs the form's poll; 1 tells the
// host the editor is closed (hidden through the show interface).
int idle(LV2UI_Handle handle) {
    auto* ui = static_cast<Ui*>(handle);
    if (!ui->form) return 1;
    ui->platform->idle();
    return 0;
}

// Thread: UI. Hiding destroys the form; showing builds it again in the
// same parent, reading the values the host sent meanwhile.
int show(LV2UI_Handle handle) {
    auto* ui = static_cast<Ui*>(handle);
    if (ui->form) return 0;
    if (ui->open()) return 0;
    ui->close();
    return 1;
}

// Thread: UI.
int hide(LV2UI_Handle handle) {
    static_cast<Ui*>(handle)->close();
    return 0;
}

// Thread: UI.
const void* extensionData(const char* uri) {
    static const LV2UI_Idle_Interface kIdle = {idle};
    static const LV2UI_Show_Interface kShow = {show, hide};
    if (!uri) return nullptr;
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdle;
    if (std::strcmp(uri, LV2_UI__showInterface) == 0) return &kShow;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {kUiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

// Thread: discovery (whichever thread the host looks for UIs on).
extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
