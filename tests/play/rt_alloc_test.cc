// The player's audio path, driven without a server: it must not allocate,
// whatever arrives, and it must cut the period at every event exactly as
// orvo-render does. malloc and its kin are wrapped here to count the calls
// made while the audio path runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "live_player.h"

// A sanitizer brings its own allocator, which these would bypass.
namespace {
thread_local bool watching = false;
int allocations = 0;
}  // namespace

#if ORVO_COUNT_ALLOCATIONS
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* __libc_memalign(size_t, size_t);

extern "C" void* malloc(size_t n) {
    if (watching) ++allocations;
    return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t m) {
    if (watching) ++allocations;
    return __libc_calloc(n, m);
}
extern "C" void* realloc(void* p, size_t n) {
    if (watching) ++allocations;
    return __libc_realloc(p, n);
}
extern "C" void* memalign(size_t a, size_t n) {
    if (watching) ++allocations;
    return __libc_memalign(a, n);
}
#endif

namespace orvo::play {
namespace {

using render::HostSettings;
using render::PluginHost;

LiveMidi midi(uint32_t frame, uint8_t a, uint8_t b, uint8_t c, uint8_t size = 3) { return {frame, size, {a, b, c}}; }

TEST(LivePlayer, TheAudioPathAllocatesNothing) {
    if (!ORVO_COUNT_ALLOCATIONS) GTEST_SKIP() << "allocations are not counted in a sanitizer build";
    PluginHost host(ORVO_PLUGIN_PATH, HostSettings{48000, 256, "orvo-play", true});
    LivePlayer player(host, 48000, 0.5);  // a small ring, so it fills
    host.resume();
    std::vector<float> left(256), right(256);
    std::vector<LiveMidi> events;
    std::vector<float> drained(2 * 4096);
    allocations = 0;
    for (int period = 0; period < 2000; ++period) {
        events.clear();
        if (period % 7 == 0) events.push_back(midi(3, 0x90, static_cast<uint8_t>(40 + period % 40), 100));
        if (period % 7 == 0) events.push_back(midi(3, 0x91, 70, 90));
        if (period % 11 == 0) events.push_back(midi(100, 0xE0, 0, static_cast<uint8_t>(period % 128)));
        if (period % 13 == 0) events.push_back(midi(255, 0x80, static_cast<uint8_t>(40 + period % 40), 0));
        if (period % 17 == 0) events.push_back(midi(50, 0xF8, 0, 0, 1));  // clock: never reaches the plug-in
        if (period % 19 == 0) events.push_back(midi(400, 0xB0, 126, 0));  // past the period
        watching = true;
        player.process(256, left.data(), right.data(), events.data(), static_cast<uint32_t>(events.size()));
        watching = false;
        // The recorder keeps up for a while, then stalls.
        if (period % 3 == 0 && period < 1000) player.takeRecorded(drained.data(), 4096);
    }
    host.suspend();
    EXPECT_EQ(allocations, 0);
    EXPECT_GT(player.droppedFrames(), 0u) << "the ring should have filled and dropped, not grown";
}

// One period with events inside it sounds as the same events each at the
// start of a period of its own, which is how orvo-render feeds the plug-in.
TEST(LivePlayer, EventsInsideAPeriodSoundAsBlocksCutAtThem) {
    PluginHost a(ORVO_PLUGIN_PATH, HostSettings{48000, 512}), b(ORVO_PLUGIN_PATH, HostSettings{48000, 512});
    LivePlayer live(a, 48000, 0), cut(b, 48000, 0);
    a.resume();
    b.resume();
    std::vector<float> l1(512), r1(512), l2(512), r2(512);
    const std::vector<LiveMidi> events = {midi(0, 0x90, 60, 100), midi(130, 0x90, 64, 90), midi(130, 0x90, 67, 80),
                                          midi(300, 0xE0, 0, 90), midi(301, 0x80, 60, 0)};
    live.process(512, l1.data(), r1.data(), events.data(), 5);
    const uint32_t cuts[] = {0, 130, 300, 301, 512};
    size_t next = 0;
    for (int k = 0; k < 4; ++k) {
        std::vector<LiveMidi> here;
        for (; next < events.size() && events[next].frame == cuts[k]; ++next) here.push_back(events[next]);
        for (auto& e : here) e.frame = 0;
        cut.process(cuts[k + 1] - cuts[k], l2.data() + cuts[k], r2.data() + cuts[k], here.data(),
                    static_cast<uint32_t>(here.size()));
    }
    EXPECT_EQ(std::memcmp(l1.data(), l2.data(), 512 * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(r1.data(), r2.data(), 512 * sizeof(float)), 0);
    EXPECT_EQ(live.notesSounding(), 2);
}

}  // namespace
}  // namespace orvo::play
