// A stand-in instrument linked with the real entry point into a loadable
// module, so tests can watch what the entry point creates and destroys.
#include "DAudioEffectX.h"
#include "DVstUtils.h"
#include "PluginFactory.h"

#include <stdexcept>

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int gEffects = 0;
int gEditors = 0;
int gMode = 0;  // 0 create, 1 yield nothing, 2 throw

class ProbeEditor : public AEffEditorX {
public:
    explicit ProbeEditor(AudioEffect* fx) : AEffEditorX(fx) { ++gEditors; }
    ~ProbeEditor() override { --gEditors; }
};

class ProbeEffect : public AudioEffectX {
public:
    explicit ProbeEffect(audioMasterCallback host) : AudioEffectX(host, 32, 12) {
        ++gEffects;
        setEditor(new ProbeEditor(this));
    }
    ~ProbeEffect() override { --gEffects; }
    void process(float**, float**, VstInt32) override {}
};
}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback host) {
    if (gMode == 1) return nullptr;
    if (gMode == 2) throw std::runtime_error("construction failed");
    return new ProbeEffect(host);
}

PROBE_EXPORT int orvoProbeEffects() { return gEffects; }
PROBE_EXPORT int orvoProbeEditors() { return gEditors; }
PROBE_EXPORT void orvoProbeSetMode(int mode) { gMode = mode; }
PROBE_EXPORT void orvoProbeFloatText(char* text, float value) { floatToText(text, value); }
