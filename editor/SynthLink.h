// What the editor form needs of the instrument it edits, whatever the plug-in
// format: read a value, set one as the user's edit, and mark where an edit
// starts and ends so a host can record it as one gesture. Each format's
// editor hands the form one of these.
//
// Thread: UI. The form calls it from its handlers and timer.
#pragma once

namespace orvo {

class SynthLink {
public:
    virtual ~SynthLink() = default;
    virtual float getParameter(int index) = 0;
    // The user set `index` to `value`: apply it and tell the host.
    virtual void setParameterAutomated(int index, float value) = 0;
    // Around every user edit: a knob's whole drag, a single slider step or
    // radio click. Formats without gestures ignore them.
    virtual void beginEdit(int index) { (void)index; }
    virtual void endEdit(int index) { (void)index; }
};

}  // namespace orvo
