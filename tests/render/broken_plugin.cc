// Shared libraries that look like plug-ins and are not: built once per
// fault, chosen by a compile definition.
#include "DAEffect.h"

#if defined(BROKEN_NO_ENTRY)
extern "C" __attribute__((visibility("default"))) int orvoNotAPlugin() { return 42; }
#else
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback) {
#if defined(BROKEN_NULL_RECORD)
    return nullptr;
#else
    static AEffect record{};
    record.magic = 0x12345678;
    return &record;
#endif
}
#endif
