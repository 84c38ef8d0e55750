// The ARM test host: loads the aarch64 build's OrvoSwitch.so the way a Linux
// host does (dlopen, the VSTPluginMain export) and prints the scripted
// session's hash, for orvo-session-compare in the x86-64 build to hold
// against its own. Runs under qemu-aarch64 (tests/arm/run-qemu.sh).
//
//   orvo-armtest session [library]   (default: the OrvoSwitch.so it was built with)
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "session.h"

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "session") != 0) {
        std::fprintf(stderr, "usage: %s session [library]\n", argv[0]);
        return 2;
    }
    const char* path = argc >= 3 ? argv[2] : ORVO_PLUGIN_PATH;
    void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return 1;
    }
    auto entry = reinterpret_cast<OrvoEntryPoint>(dlsym(lib, "VSTPluginMain"));
    if (!entry) {
        std::fprintf(stderr, "%s has no VSTPluginMain\n", path);
        return 1;
    }
    orvoPrintSessionHash(orvoScriptedSessionHash(entry));  // 16 lowercase hex digits
    // Not unloaded: the library brings its own static C++ runtime.
    return 0;
}
