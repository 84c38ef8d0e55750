// The library's entry point. Thread: whichever host thread loads the plug-in.
#include "DAudioEffect.h"
#include "PluginFactory.h"

extern "C" {

#if defined(_WIN32)
// Exported as "main" at ordinal 1 by the module definition file.
AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback audioMaster);
#else
__attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback audioMaster);
// C++ reserves the name main, so the older export is an assembler alias.
__attribute__((visibility("default"))) AEffect* vstMainAlias(audioMasterCallback audioMaster) asm("main");
AEffect* vstMainAlias(audioMasterCallback audioMaster) { return VSTPluginMain(audioMaster); }
#endif

AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback audioMaster) {
    // Without a host callback there is no one to ask for a version: refuse
    // rather than call through a null pointer.
    if (!audioMaster) return nullptr;
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    AudioEffect* effect = nullptr;
    try {
        effect = createEffectInstance(audioMaster);
    } catch (...) {
        return nullptr;  // a host must never see an exception cross the C boundary
    }
    return effect ? effect->getEffectRecord() : nullptr;
}

}  // extern "C"
