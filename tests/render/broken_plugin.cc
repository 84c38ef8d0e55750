// Shared libraries that look like plug-ins and are not, or that break once
// loaded: built once per fault, chosen by a compile definition.
#include "DAEffect.h"

#if defined(BROKEN_NO_ENTRY)
extern "C" __attribute__((visibility("default"))) int orvoNotAPlugin() { return 42; }
#else
namespace {
[[maybe_unused]] VstIntPtr VSTCALLBACK dispatcher(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }
[[maybe_unused]] void VSTCALLBACK crash(AEffect*, float**, float**, VstInt32) { __builtin_trap(); }
}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback) {
    static AEffect record{};
#if defined(BROKEN_NULL_RECORD)
    return nullptr;
#elif defined(BROKEN_BAD_MAGIC)
    record.magic = 0x12345678;
#else  // a sound record whose audio callback crashes
    record.magic = kEffectMagic;
    record.dispatcher = dispatcher;
    record.processReplacing = crash;
    record.numOutputs = 2;
    record.flags = effFlagsCanReplacing;
#endif
    return &record;
}
#endif
