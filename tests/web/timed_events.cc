// The timed session (tests/session/timed.h) as text for the web tests, with
// the hash the VST 2 plug-in gives for it at the asked rate:
//   orvo-web-timed PLUGIN RATE
// prints "hash HEX", then one event a line: "FRAME m STATUS DATA1 DATA2" or
// "FRAME p INDEX FLOATBITS" (hex bits, so NaN and infinity survive).
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "timed.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: orvo-web-timed PLUGIN RATE\n");
        return 2;
    }
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    auto entry = lib ? reinterpret_cast<orvo::timed::EntryPoint>(dlsym(lib, "VSTPluginMain")) : nullptr;
    const double rate = std::atof(argv[2]);
    const uint64_t hash = orvo::timed::vst2Hash(entry, 4096, rate);
    if (hash == 0) {
        std::fprintf(stderr, "orvo-web-timed: cannot run %s\n", argv[1]);
        return 1;
    }
    // The pinned value guards the reference itself at the rate it was recorded.
    if (rate == orvo::timed::kRate && hash != kOrvoGoldenTimedHash) {
        std::fprintf(stderr, "orvo-web-timed: the plug-in no longer gives the pinned hash\n");
        return 1;
    }
    std::printf("hash %016llx\n", static_cast<unsigned long long>(hash));
    for (const orvo::timed::Event& e : orvo::timed::session()) {
        if (e.kind == orvo::timed::Event::kMidi) {
            std::printf("%u m %u %u %u\n", e.frame, e.midi[0], e.midi[1], e.midi[2]);
        } else {
            uint32_t bits;
            std::memcpy(&bits, &e.value, sizeof bits);
            std::printf("%u p %d %08x\n", e.frame, e.index, bits);
        }
    }
    return 0;
}
