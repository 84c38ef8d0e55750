#include "schedule.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "midi_file.h"

namespace orvo::render {

Timeline timelineFromMidi(const MidiFile& midi, int sampleRate) {
    Timeline timeline;
    timeline.events.reserve(midi.events.size());
    TickClock clock(midi, sampleRate);  // the events are in time order
    for (const MidiFileEvent& e : midi.events)
        timeline.events.push_back(
            HostEvent::midiMessage(clock.frameAt(e.tick), e.bytes[0], e.bytes[1], e.size > 2 ? e.bytes[2] : 0));
    timeline.endFrame = midi.tickToFrame(midi.endTick, sampleRate);
    return timeline;
}

int64_t timelineEnd(const Timeline& timeline) {
    int64_t end = timeline.endFrame;
    for (const HostEvent& e : timeline.events) end = std::max(end, e.frame);
    return end;
}

namespace {
// Words of the VstEvents header that precede its pointer array (the header
// is an int and a pointer-sized integer, so two words on every target).
constexpr size_t kHeaderWords = offsetof(VstEvents, events) / sizeof(VstIntPtr);
static_assert(offsetof(VstEvents, events) % sizeof(VstIntPtr) == 0);
}  // namespace

BlockScheduler::BlockScheduler(Timeline timeline, int blockSize)
    : events_(std::move(timeline.events)), endFrame_(timeline.endFrame) {
    if (blockSize <= 0) throw std::invalid_argument("block size must be positive");
    // Simultaneous events keep the order they were given in.
    std::stable_sort(events_.begin(), events_.end(),
                     [](const HostEvent& a, const HostEvent& b) { return a.frame < b.frame; });
    if (!events_.empty()) {
        if (events_.front().frame < 0) throw std::invalid_argument("event before the start of the render");
        endFrame_ = std::max(endFrame_, events_.back().frame);
    }

    // The busiest block decides how much room every block gets.
    int busiestMidi = 0, busiestParams = 0;
    for (size_t i = 0; i < events_.size();) {
        int64_t block = events_[i].frame / blockSize;
        int midi = 0, params = 0;
        for (; i < events_.size() && events_[i].frame / blockSize == block; ++i)
            (events_[i].kind == HostEvent::Kind::Midi ? midi : params)++;
        busiestMidi = std::max(busiestMidi, midi);
        busiestParams = std::max(busiestParams, params);
    }
    capacity_ = busiestMidi;
    midiEvents_.resize(size_t(busiestMidi));
    parameters_.reserve(size_t(busiestParams));
    listStorage_ = std::make_unique<VstIntPtr[]>(kHeaderWords + std::max<size_t>(busiestMidi, 2));
}

int BlockScheduler::framesToNextEvent(int64_t start, int maxFrames) const {
    size_t i = cursor_;
    while (i < events_.size() && events_[i].frame <= start) ++i;
    if (i == events_.size()) return maxFrames;
    return static_cast<int>(std::min<int64_t>(maxFrames, events_[i].frame - start));
}

BlockScheduler::Block BlockScheduler::next(int64_t start, int frames) {
    Block block;
    parameters_.clear();  // keeps its capacity
    auto* list = reinterpret_cast<VstEvents*>(listStorage_.get());
    list->numEvents = 0;
    list->reserved = 0;
    // The pointers go through the storage reserved for them, not through the
    // two-entry array the header declares: past its second entry that is
    // out of bounds, whatever lies behind it.
    auto* slots = reinterpret_cast<VstEvent**>(listStorage_.get() + kHeaderWords);
    int64_t end = start + frames;
    for (; cursor_ < events_.size() && events_[cursor_].frame < end; ++cursor_) {
        const HostEvent& e = events_[cursor_];
        if (e.kind == HostEvent::Kind::Parameter) {
            parameters_.push_back(e);
            continue;
        }
        // Only a caller that skips or misaligns blocks can overfill one; the
        // rest then waits for the next block rather than overrun the list.
        if (list->numEvents == capacity_) break;
        // An event behind the block still plays, at its first frame.
        VstMidiEvent& m = midiEvents_[size_t(list->numEvents)];
        std::memset(&m, 0, sizeof m);
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        m.deltaFrames = static_cast<VstInt32>(std::max<int64_t>(e.frame - start, 0));
        std::memcpy(m.midiData, e.midi, 3);
        slots[list->numEvents++] = reinterpret_cast<VstEvent*>(&m);
    }
    block.parameters = parameters_;
    if (list->numEvents > 0) block.midi = list;
    return block;
}

}  // namespace orvo::render
