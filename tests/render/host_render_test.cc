// Hosting and rendering, in-process: the recorder plug-in shows what the
// host did; the real instrument shows that timing survives into the sound.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <cstring>
#include <sstream>

#include "cli.h"
#include "demo.h"
#include "job.h"
#include "midi_file.h"
#include "plugin_host.h"
#include "renderer.h"
#include "schedule.h"
#include "test_support.h"
#include "timed.h"

// Every allocation in this test program is counted, so a test can tell
// whether rendering more blocks costs more allocations.
namespace {
std::atomic<long> allocations{0};
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void* operator new(size_t size) {
    if (void* p = operator new(size, std::nothrow)) return p;
    throw std::bad_alloc();
}
// The array forms and the sanitizers' own fall back on these.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // these do pair with the new above
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace orvo::render {
namespace {

using test::concat;
using test::smfHeader;
using test::smfTrack;

RenderSettings settingsFor(int rate, int block, std::optional<double> tail) {
    RenderSettings s;
    s.sampleRate = rate;
    s.blockSize = block;
    s.tailSeconds = tail;
    return s;
}

test::MemorySink renderWith(const char* plugin, Timeline timeline, const RenderSettings& settings,
                            RenderStats* stats = nullptr) {
    PluginHost host(plugin, HostSettings{settings.sampleRate, settings.blockSize});
    BlockScheduler schedule(std::move(timeline), settings.blockSize);
    test::MemorySink sink;
    RenderStats result = render(host, schedule, settings, sink);
    if (stats) *stats = result;
    return sink;
}

std::vector<std::string> lines(const std::string& text, const std::string& prefix = {}) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
}

// Sets ORVO_RECORDER_LOG for the recorders loaded while it lives.
class RecorderLog {
public:
    RecorderLog() : path_(dir_.file("recorder.log")) { ::setenv("ORVO_RECORDER_LOG", path_.c_str(), 1); }
    ~RecorderLog() { ::unsetenv("ORVO_RECORDER_LOG"); }
    std::string text() const { return test::readText(path_); }

private:
    test::ScratchDir dir_;
    std::string path_;
};

TEST(Host, DrivesThePluginThroughAFullLifeAndAnswersItsQuestions) {
    RecorderLog log;
    Timeline timeline;
    timeline.events.push_back(HostEvent::parameter(0, 1, 0.5f));
    timeline.events.push_back(HostEvent::midiMessage(10, 0x90, 60, 100));
    renderWith(RECORDER_PLUGIN, timeline, settingsFor(48000, 256, 0.01));

    std::vector<std::string> expected = {
        "hostVersion 2400", "open", "sampleRate 48000", "blockSize 256", "mains 1",
        "host sampleRate 48000", "host blockSize 256", "host processLevel 4", "host time 0", "host wantMidi 1",
        "host canDoSendVstEvents 1", "host canDoNonsense 0", "host vendor 1", "vendorText Orvo", "startProcess",
        "param 0 1 0.5", "midi 10 90 3c 64", "stopProcess", "mains 0", "close"};
    EXPECT_EQ(lines(log.text()), expected);
}

TEST(Host, FindsTheOlderEntryPointName) {
    PluginHost host(RECORDER_MAIN_PLUGIN, HostSettings{});
    EXPECT_EQ(host.effectName(), "Recorder");
    EXPECT_EQ(host.findParam("cut off"), 2);  // exact match first, then any case
    EXPECT_EQ(host.findParam("Gain"), -1);
    EXPECT_EQ(host.programName(1), "Second");
    EXPECT_EQ(host.paramDisplay(0), "10.0 dB");
}

TEST(Render, MidiFileEventsReachThePluginAtTheirExactFrames) {
    RecorderLog log;
    // 96 ticks a beat at 120 BPM, then 100 BPM from tick 50: frames that fall
    // mid-block at 44100 Hz with 64-frame blocks.
    auto file = concat({smfHeader(0, 1, 96),
                        smfTrack({0x0A, 0x90, 0x3C, 0x64,                           // tick 10
                                  0x28, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0,        // tick 50: 100 BPM
                                  0x00, 0x90, 0x3C, 0x00,                          // tick 50
                                  0x0A, 0x90, 0x3E, 0x50,                          // tick 60
                                  0x00, 0xFF, 0x2F, 0x00})});
    Timeline timeline = timelineFromMidi(parseMidiFile(file), 44100);
    RenderStats stats;
    test::MemorySink sink = renderWith(RECORDER_PLUGIN, timeline, settingsFor(44100, 64, 0.1), &stats);

    EXPECT_EQ(lines(log.text(), "midi"),
              (std::vector<std::string>{"midi 2297 90 3c 64", "midi 11484 90 3c 00", "midi 14241 90 3e 50"}));
    EXPECT_TRUE(lines(log.text(), "deltaOutOfBlock").empty());
    // The recorder sounds exactly while a note is held.
    ASSERT_GT(sink.frames(), 14241u);
    EXPECT_EQ(sink.samples[2 * 2296], 0.0f);
    EXPECT_EQ(sink.samples[2 * 2297], 100.0f / 254.0f);
    EXPECT_EQ(sink.samples[2 * 11483], 100.0f / 254.0f);
    EXPECT_EQ(sink.samples[2 * 11484], 0.0f);
    EXPECT_EQ(sink.samples[2 * 14241], 80.0f / 254.0f);
    EXPECT_EQ(sink.samples[2 * 14241 + 1], 40.0f / 254.0f);
    EXPECT_EQ(stats.frames, 14241 + 4410);  // up to the last event, then the tail
}

TEST(Render, AutomaticTailEndsOnSilenceAndIsBounded) {
    Timeline released;
    released.events = {HostEvent::midiMessage(100, 0x90, 60, 100), HostEvent::midiMessage(4410, 0x80, 60, 0)};
    released.endFrame = 4410;
    RenderSettings automatic = settingsFor(44100, 512, std::nullopt);
    RenderStats stats;
    test::MemorySink sink = renderWith(RECORDER_PLUGIN, released, automatic, &stats);
    // Everything up to the end, then a quarter second of the silence that followed.
    EXPECT_EQ(stats.frames, 4410 + 11025);
    EXPECT_EQ(sink.frames(), size_t(stats.frames));

    renderWith(RECORDER_PLUGIN, released, settingsFor(44100, 512, 0.5), &stats);
    EXPECT_EQ(stats.frames, 4410 + 22050);

    Timeline held;
    held.events = {HostEvent::midiMessage(0, 0x90, 60, 100)};
    automatic.maxTailSeconds = 0.5;
    renderWith(RECORDER_PLUGIN, held, automatic, &stats);
    EXPECT_EQ(stats.frames, 22050);  // never silent: stopped by the bound
    EXPECT_FLOAT_EQ(stats.peak, 100.0f / 254.0f);
}

// A format-1 file with a conductor track, running status, a tempo change
// and a velocity-0 note-on, against the same events written out by hand.
TEST(Render, MidiFileSoundsExactlyLikeItsScriptedEvents) {
    auto file = concat({smfHeader(1, 3, 96),
                        smfTrack({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,               // 120 BPM
                                  0x81, 0x40, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,         // tick 192: 60 BPM
                                  0x81, 0x40, 0xFF, 0x2F, 0x00}),                         // end at tick 384
                        smfTrack({0x00, 0x90, 0x2D, 0x64, 0x60, 0x34, 0x5A, 0x60, 0x2D, 0x00, 0x00, 0x34, 0x00,
                                  0x30, 0xE0, 0x00, 0x60, 0x00, 0x90, 0x39, 0x70, 0x60, 0x80, 0x39, 0x40,
                                  0x00, 0xFF, 0x2F, 0x00}),
                        smfTrack({0x48, 0x93, 0x40, 0x50, 0x81, 0x08, 0x83, 0x40, 0x00, 0x00, 0xFF, 0x2F, 0x00})});
    // At 48000 Hz a tick is 250 frames before the tempo change, 500 after.
    Timeline scripted;
    scripted.events = {HostEvent::midiMessage(0, 0x90, 0x2D, 0x64),      HostEvent::midiMessage(18000, 0x93, 0x40, 0x50),
                       HostEvent::midiMessage(24000, 0x90, 0x34, 0x5A),  HostEvent::midiMessage(48000, 0x90, 0x2D, 0x00),
                       HostEvent::midiMessage(48000, 0x90, 0x34, 0x00),  HostEvent::midiMessage(56000, 0x83, 0x40, 0x00),
                       HostEvent::midiMessage(72000, 0xE0, 0x00, 0x60),  HostEvent::midiMessage(72000, 0x90, 0x39, 0x70),
                       HostEvent::midiMessage(120000, 0x80, 0x39, 0x40)};
    scripted.endFrame = 144000;

    RenderSettings settings = settingsFor(48000, 256, 0.25);
    test::MemorySink fromFile = renderWith(ORVO_PLUGIN, timelineFromMidi(parseMidiFile(file), 48000), settings);
    test::MemorySink fromScript = renderWith(ORVO_PLUGIN, scripted, settings);
    ASSERT_EQ(fromFile.frames(), size_t(144000 + 12000));
    EXPECT_TRUE(fromFile.samples == fromScript.samples);

    // Every event starts a block, so other block sizes change nothing.
    test::MemorySink otherBlocks = renderWith(ORVO_PLUGIN, scripted, settingsFor(48000, 100, 0.25));
    EXPECT_TRUE(otherBlocks.samples == fromScript.samples);

    float peak = 0.0f;
    for (float s : fromFile.samples) peak = std::max(peak, std::fabs(s));
    EXPECT_GT(peak, 0.001f) << "the instrument should be heard";
}

// The timed session, its parameter changes too, set up as orvo-render sets
// up a plug-in: the program is selected once the rate is in force, so at any
// rate every value sounds as the VST 2 reference converts it.
TEST(Render, TimedSessionGivesTheVst2ReferenceBitsAtEveryRate) {
    void* library = ::dlopen(ORVO_PLUGIN, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(library, nullptr) << ::dlerror();
    auto entry = reinterpret_cast<orvo::timed::EntryPoint>(::dlsym(library, "VSTPluginMain"));
    Timeline timeline;
    for (const orvo::timed::Event& e : orvo::timed::session())
        timeline.events.push_back(e.kind == orvo::timed::Event::kParam
                                      ? HostEvent::parameter(e.frame, e.index, e.value)
                                      : HostEvent::midiMessage(e.frame, e.midi[0], e.midi[1], e.midi[2]));
    timeline.endFrame = orvo::timed::kFrames;
    for (int rate : {44100, 48000, 96000}) {
        const uint64_t reference = orvo::timed::vst2Hash(entry, 4096, rate);
        for (int block : {1, 64, 512, 4096}) {
            PluginHost host(ORVO_PLUGIN, HostSettings{rate, block});
            configurePlugin(host, Options{});
            BlockScheduler schedule(timeline, block);
            test::MemorySink sink;
            render(host, schedule, settingsFor(rate, block, 0.0), sink);
            ASSERT_EQ(sink.frames(), size_t(orvo::timed::kFrames));
            orvo::timed::Hash hash;
            for (float s : sink.samples) hash.add(s);
            EXPECT_EQ(hash.h, reference) << rate << " Hz, blocks of " << block;
        }
    }
}

struct CountingSink : FrameSink {
    int64_t frames = 0;
    void write(const float*, int count) override { frames += count; }
};

TEST(Render, BlockLoopAllocatesNothing) {
    auto allocationsFor = [](std::optional<double> tail, double maxTail) {
        Timeline timeline;
        timeline.events = {HostEvent::midiMessage(10, 0x90, 60, 100), HostEvent::parameter(600, 0, 0.5f),
                           HostEvent::midiMessage(2000, 0x80, 60, 0)};
        if (!tail) timeline.events.push_back(HostEvent::midiMessage(2100, 0x90, 62, 100));  // never released
        PluginHost host(RECORDER_PLUGIN, HostSettings{44100, 64});
        BlockScheduler schedule(timeline, 64);
        CountingSink sink;
        RenderSettings settings = settingsFor(44100, 64, tail);
        settings.maxTailSeconds = maxTail;
        long before = allocations.load();
        render(host, schedule, settings, sink, [](int64_t, int64_t) {});
        return allocations.load() - before;
    };
    // A hundred times the blocks, the same allocations: all made up front.
    EXPECT_EQ(allocationsFor(0.1, 30), allocationsFor(10.0, 30));
    EXPECT_EQ(allocationsFor(std::nullopt, 0.1), allocationsFor(std::nullopt, 10.0));
}

TEST(Render, DemoIsTheSameToTheBitEveryTime) {
    auto renderDemo = [](int block = 512) {
        PluginHost host(ORVO_PLUGIN, HostSettings{44100, block});
        BlockScheduler schedule(demoTimeline(44100, [&](const std::string& n) { return host.findParam(n); }), block);
        test::MemorySink sink;
        RenderStats stats = render(host, schedule, settingsFor(44100, block, std::nullopt), sink);
        EXPECT_GT(stats.frames, 44100 * 14);
        EXPECT_LT(stats.frames, 44100 * 20);
        return test::fnv1a(sink.samples);
    };
    uint64_t first = renderDemo();
    EXPECT_EQ(first, renderDemo());
    EXPECT_EQ(first, test::kDemoHash) << std::hex << "the demo now hashes to 0x" << first;
    // Automation lands at its frame rather than at its block's start.
    EXPECT_EQ(first, renderDemo(16384));
}

}  // namespace
}  // namespace orvo::render
