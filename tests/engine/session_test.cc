// The built plug-in library, loaded the way a host loads it, must give the
// pinned session hash: any change to the sound shows up here.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "session.h"
#include "timed.h"

#ifndef ORVO_PLUGIN_PATH
#error "ORVO_PLUGIN_PATH must name the built plug-in library"
#endif

namespace {

class PluginLibrary {
public:
    // Never closed: the library carries its own static C++ runtime, whose
    // start-up allocations would be stranded (and reported as leaks) if it
    // were unmapped before the process ends.
    PluginLibrary() : handle_(dlopen(ORVO_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL)) {}
    OrvoEntryPoint entry() const {
        return handle_ ? reinterpret_cast<OrvoEntryPoint>(dlsym(handle_, "VSTPluginMain")) : nullptr;
    }
    const char* error() const { return handle_ ? "" : dlerror(); }

private:
    void* handle_;
};

TEST(EngineSession, LibraryMatchesTheGoldenHashEveryTime) {
    PluginLibrary lib;
    ASSERT_NE(lib.entry(), nullptr) << lib.error();
    const uint64_t first = orvoScriptedSessionHash(lib.entry());
    const uint64_t second = orvoScriptedSessionHash(lib.entry());
    char text[17];
    orvoFormatSessionHash(first, text);
    EXPECT_EQ(first, second) << "instances must not share state";
    EXPECT_EQ(first, kOrvoGoldenSessionHash) << "session hash " << text;
}

// The timed session through the VST 2 plug-in with a block at every event:
// the reference the event-splitting formats are held to. Its bits must not
// depend on how long the blocks between events are.
TEST(EngineSession, TimedSessionIsPinnedWhateverTheBlockLength) {
    PluginLibrary lib;
    ASSERT_NE(lib.entry(), nullptr) << lib.error();
    auto entry = reinterpret_cast<orvo::timed::EntryPoint>(lib.entry());
    const uint64_t reference = orvo::timed::vst2Hash(entry, 4096);
    for (uint32_t block : {1u, 64u, 333u, 512u})
        EXPECT_EQ(orvo::timed::vst2Hash(entry, block), reference) << "blocks of " << block;
    EXPECT_EQ(reference, kOrvoGoldenTimedHash) << std::hex << "timed hash " << reference;
}

}  // namespace
