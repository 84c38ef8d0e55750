// The editor inside a CLAP host's window: the form, this build's window
// system layer, and the link that turns the form's edits into CLAP
// parameter events.
//
// Thread: main (the host's GUI thread), every call.
#pragma once

#include <memory>

#include <clap/ext/gui.h>

#include "Platform.h"
#include "SynthLink.h"
#include "Unit1.h"

namespace orvo::clap {

class ClapSynth;

class ClapEditor : public SynthLink {
public:
    // Whether this build has a window system layer at all.
    static bool available();
    // The one window API this build embeds in: X11 on Linux, Win32 on Windows.
    static const char* api();

    // Null when the editor cannot run in this host (on Linux: no timer
    // support to service the X connection with).
    static std::unique_ptr<ClapEditor> create(ClapSynth& synth);
    ~ClapEditor() override;

    bool setParent(const clap_window_t* window);
    bool show();
    // The form's scale: asked for by the host (set_scale) or implied by the
    // size it gives the window (set_size). An open form is rebuilt at it.
    void setScale(double scale);
    double scale() const { return scale_; }
    uint32_t width() const { return static_cast<uint32_t>(TForm1::widthAt(scale_)); }
    uint32_t height() const { return static_cast<uint32_t>(TForm1::heightAt(scale_)); }
    void onTimer(clap_id id);

    // SynthLink
    float getParameter(int index) override;
    void setParameterAutomated(int index, float value) override;
    void beginEdit(int index) override;
    void endEdit(int index) override;

private:
    ClapEditor(ClapSynth& synth, std::unique_ptr<Platform> platform);
    void buildForm();

    ClapSynth& synth_;
    std::unique_ptr<Platform> platform_;
    std::unique_ptr<TForm1> form_;
    clap_id timer_;
    void* parent_ = nullptr;
    double scale_ = 1.0;  // a CLAP host states the scale; none stated is 1
    bool shown_ = false;
};

}  // namespace orvo::clap
