// Stand-in instrument until the synthesizer lands: silent, no parameters.
#include "DAudioEffectX.h"
#include "PluginFactory.h"

namespace {
class SilentEffect : public AudioEffectX {
public:
    explicit SilentEffect(audioMasterCallback m) : AudioEffectX(m, 1, 0) {
        setNumInputs(0);
        setNumOutputs(2);
        canProcessReplacing(true);
        isSynth(true);
    }
    void process(float**, float**, VstInt32) override {}
};
}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new SilentEffect(audioMaster); }
