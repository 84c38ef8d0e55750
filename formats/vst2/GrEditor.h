// The synthesizer's editor object: answers the host's editor requests and
// owns the form while the editor is open.
//
// Thread: UI. The host sends effEditGetRect/Open/Close/Idle from the thread
// that owns its windows; the form's window, timer and handlers live there.
#pragma once

#include <memory>

#include "DAudioEffectX.h"
#include "Platform.h"
#include "Unit1.h"

namespace orvo {

// The form's link to a VST 2 effect: edits go out as setParameterAutomated,
// which sets the value and informs the host. No gestures are reported.
class EffectLink : public SynthLink {
public:
    explicit EffectLink(AudioEffect* effect) : effect(effect) {}
    float getParameter(int index) override { return effect->getParameter(index); }
    void setParameterAutomated(int index, float value) override { effect->setParameterAutomated(index, value); }

private:
    AudioEffect* effect;
};

class GrEditor : public AEffEditorX {
public:
    GrEditor(AudioEffect* effect, std::unique_ptr<Platform> platform);
    ~GrEditor() override;

    // Thread: UI (effEditGetRect). Always 1; the rectangle is the form's
    // scaled size, empty while no form exists, and stays valid as long as
    // the editor.
    VstInt32 getRect(ERect** rect) override;
    // Thread: UI (effEditOpen). `ptr` is the host's window: an HWND on
    // Windows, an X Window id on Linux.
    VstInt32 open(void* ptr) override;
    // Thread: UI (effEditClose, and the destructor when the effect goes).
    void close() override;
    // Thread: UI (effEditIdle). Also where the X11 layer reads its events
    // and runs the poll.
    void idle() override;
    // Thread: UI (from idle after postUpdate).
    void update() override;
    // Thread: UI. The scale a front end asks for (effVendorSpecific here, a
    // content scale factor elsewhere); an open form is rebuilt at it. Until
    // one is asked for, each form takes the window system's scale around
    // the host's window.
    bool setContentScale(float scale) override;

    int getOpenCount() const { return openCount; }
    TForm1* getForm() const { return form.get(); }
    void* getParentWindow() const { return parentWindow; }
    Platform& getPlatform() { return *platform; }

private:
    std::unique_ptr<Platform> platform;
    EffectLink link;
    VstInt32 openCount = 0;
    void buildForm();
    // Rebuilds the form at the screen's scale and asks the host for the new
    // window size, when the screen's scale is the one in force.
    void followScreen();

    ERect rect{};
    void* parentWindow = nullptr;
    double askedScale = 0.0;  // 0: none asked for
    bool screenMoved = false;  // the form's screen changed scale since the last idle
    std::unique_ptr<TForm1> form;
};

}  // namespace orvo
