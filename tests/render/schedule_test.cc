#include "schedule.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvo::render {
namespace {

struct Seen {
    int delta;
    int note;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> midiOf(const BlockScheduler::Block& block) {
    std::vector<Seen> seen;
    if (!block.midi) return seen;
    VstEvent* const* list = block.midi->events;  // as a plug-in walks it
    for (int i = 0; i < block.midi->numEvents; ++i) {
        auto* m = reinterpret_cast<const VstMidiEvent*>(list[i]);
        EXPECT_EQ(m->type, kVstMidiType);
        EXPECT_EQ(m->byteSize, int(sizeof(VstMidiEvent)));
        seen.push_back({m->deltaFrames, m->midiData[1]});
    }
    return seen;
}

TEST(Schedule, EventsLandInTheirBlockAtTheirFrame) {
    Timeline timeline;
    for (auto [frame, note] : {std::pair{1000, 4}, {0, 1}, {511, 2}, {512, 3}, {1535, 5}, {1535, 6}})
        timeline.events.push_back(HostEvent::midiMessage(frame, 0x90, uint8_t(note), 100));
    timeline.events.push_back(HostEvent::parameter(700, 3, 0.25f));
    timeline.endFrame = 1200;
    BlockScheduler schedule(timeline, 512);
    EXPECT_EQ(schedule.endFrame(), 1535);  // the last event lies past the stated end

    auto first = schedule.next(0, 512);
    EXPECT_EQ(midiOf(first), (std::vector<Seen>{{0, 1}, {511, 2}}));
    EXPECT_TRUE(first.parameters.empty());

    auto second = schedule.next(512, 512);
    EXPECT_EQ(midiOf(second), (std::vector<Seen>{{0, 3}, {488, 4}}));
    ASSERT_EQ(second.parameters.size(), 1u);  // a change inside the block is made before it
    EXPECT_EQ(second.parameters[0].param, 3);

    // Same frame: given order. More than the two pointers VstEvents declares.
    auto third = schedule.next(1024, 512);
    EXPECT_EQ(midiOf(third), (std::vector<Seen>{{511, 5}, {511, 6}}));
    EXPECT_EQ(schedule.next(1536, 512).midi, nullptr);
}

TEST(Schedule, BlocksCutAtEventsStartWithTheirEventsAndKeepTheirOrder) {
    Timeline timeline;
    for (auto [frame, note] : {std::pair{0, 1}, {0, 2}, {10, 3}, {600, 4}, {600, 5}, {601, 6}})
        timeline.events.push_back(HostEvent::midiMessage(frame, 0x90, uint8_t(note), 100));
    timeline.events.push_back(HostEvent::parameter(300, 1, 0.5f));
    BlockScheduler schedule(timeline, 512);
    std::vector<std::vector<Seen>> blocks;
    std::vector<int64_t> starts, parameterStarts;
    for (int64_t start = 0; start < 1200;) {
        int frames = schedule.framesToNextEvent(start, 512);
        auto block = schedule.next(start, frames);
        if (!block.parameters.empty()) parameterStarts.push_back(start);
        if (block.midi) blocks.push_back(midiOf(block)), starts.push_back(start);
        start += frames;
    }
    EXPECT_EQ(starts, (std::vector<int64_t>{0, 10, 600, 601}));
    EXPECT_EQ(blocks, (std::vector<std::vector<Seen>>{{{0, 1}, {0, 2}}, {{0, 3}}, {{0, 4}, {0, 5}}, {{0, 6}}}));
    EXPECT_EQ(parameterStarts, std::vector<int64_t>{300});  // a change starts a block as well
    // Past the last event the largest block is the limit again.
    EXPECT_EQ(schedule.framesToNextEvent(1200, 512), 512);
}

TEST(Schedule, BusyBlockHoldsAllItsEvents) {
    Timeline timeline;
    for (int i = 0; i < 40; ++i) timeline.events.push_back(HostEvent::midiMessage(64 + i, 0xB0, uint8_t(i), 0));
    BlockScheduler schedule(timeline, 128);
    EXPECT_EQ(schedule.maxMidiPerBlock(), 40);
    auto block = schedule.next(0, 128);
    ASSERT_NE(block.midi, nullptr);
    ASSERT_EQ(block.midi->numEvents, 40);
    VstEvent* const* list = block.midi->events;
    for (int i = 0; i < 40; ++i) EXPECT_EQ(reinterpret_cast<VstMidiEvent*>(list[i])->deltaFrames, 64 + i);
}

}  // namespace
}  // namespace orvo::render
