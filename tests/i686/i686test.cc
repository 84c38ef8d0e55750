// The 32-bit x86 session host: the VST 2 synthesizer linked in, its editor
// left out (the session opens none), playing the scripted session; prints
// the hash for orvo-session-compare in the x86-64 build to hold against its
// own. Runs under qemu-i386.
#include <cstdio>
#include <cstring>

#include "EditorFactory.h"
#include "PluginFactory.h"
#include "session.h"

AEffEditor* createEditor(AudioEffect*) { return nullptr; }

namespace {

// What the module's entry point does, without the module.
AEffect* entry(audioMasterCallback host) {
    if (!host || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    AudioEffect* effect = createEffectInstance(host);
    return effect ? effect->getEffectRecord() : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "session") != 0) {
        std::fprintf(stderr, "usage: %s session\n", argv[0]);
        return 2;
    }
    orvoPrintSessionHash(orvoScriptedSessionHash(entry));
    return 0;
}
