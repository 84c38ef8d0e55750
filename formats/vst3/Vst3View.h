// The editor inside a VST 3 host's window: the form, this build's window
// system layer, and the link that applies the form's edits and tells the
// host through its component handler. On Linux the host's run loop drives
// the X connection by a timer.
//
// Thread: main (the host's UI thread), every call.
#pragma once

#include <atomic>
#include <memory>

#include <travesty/view.h>

#include "Com.h"
#include "Platform.h"
#include "SynthLink.h"
#include "Unit1.h"

namespace orvo::vst3 {

class Vst3Synth;

class Vst3View final : public SynthLink {
public:
    // Null where the build has no window system layer.
    static Vst3View* create(Vst3Synth& synth);

    v3_result query(const v3_tuid iid, void** obj);
    uint32_t ref() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32_t unref();
    v3_plugin_view** view() { return reinterpret_cast<v3_plugin_view**>(&view_); }

    v3_result attached(void* parent, const char* type);
    v3_result removed();
    v3_result size(v3_view_rect* rect) const;
    v3_result onSize(const v3_view_rect* rect);
    v3_result setFrame(v3_plugin_frame** frame);
    // The scale the host states, which also asks it for the new size.
    v3_result setContentScale(double scale);
    void onTimer();

    // SynthLink
    float getParameter(int index) override;
    void setParameterAutomated(int index, float value) override;
    void beginEdit(int index) override;
    void endEdit(int index) override;

private:
    Vst3View(Vst3Synth& synth, std::unique_ptr<Platform> platform);
    ~Vst3View() override;
    void setScale(double scale);
    void buildForm();
    // The host's run-loop timer that reads the X connection (Linux only).
    bool startTimer();
    void stopTimer();

    std::atomic<uint32_t> refs_{1};
    Face<Vst3View> view_, contentScale_, timer_;
    Vst3Synth& synth_;
    std::unique_ptr<Platform> platform_;
    std::unique_ptr<TForm1> form_;
    void* parent_ = nullptr;
    v3_plugin_frame** frame_ = nullptr;
    v3_run_loop** loop_ = nullptr;  // with a timer registered while the form is up
    double scale_ = 1.0;
};

}  // namespace orvo::vst3
