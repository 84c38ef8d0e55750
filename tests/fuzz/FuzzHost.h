// A minimal host for the fuzz targets: answers the version request, nothing else.
#pragma once

#include "DAEffectX.h"
#include "PluginFactory.h"

inline VstIntPtr VSTCALLBACK fuzzHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

inline AEffect* newFuzzEffect() {
    AudioEffect* fx = createEffectInstance(fuzzHost);
    return fx ? fx->getEffectRecord() : nullptr;
}

inline void closeFuzzEffect(AEffect* e) { e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f); }
