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
    void onTimer(clap_id id);

    // SynthLink
    float getParameter(int index) override;
    void setParameterAutomated(int index, float value) override;
    void beginEdit(int index) override;
    void endEdit(int index) override;

private:
    ClapEditor(ClapSynth& synth, std::unique_ptr<Platform> platform);

    ClapSynth& synth_;
    std::unique_ptr<Platform> platform_;
    std::unique_ptr<TForm1> form_;
    clap_id timer_;
};

}  // namespace orvo::clap
