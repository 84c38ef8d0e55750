// The render's timeline: what happens at which frame, and how it is cut into
// the per-block lists a VST 2 host hands over before each processing call.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "DAEffectX.h"

namespace orvo::render {

struct MidiFile;

// Something the host does at an exact frame of the render.
struct HostEvent {
    enum class Kind : uint8_t { Midi, Parameter };

    int64_t frame = 0;
    Kind kind = Kind::Midi;
    uint8_t midi[3] = {0, 0, 0};
    int32_t param = 0;
    float value = 0.0f;

    static HostEvent midiMessage(int64_t frame, uint8_t status, uint8_t data1, uint8_t data2 = 0) {
        HostEvent e;
        e.frame = frame;
        e.midi[0] = status;
        e.midi[1] = data1;
        e.midi[2] = data2;
        return e;
    }
    static HostEvent parameter(int64_t frame, int32_t index, float value) {
        HostEvent e;
        e.frame = frame;
        e.kind = Kind::Parameter;
        e.param = index;
        e.value = value;
        return e;
    }
};

struct Timeline {
    std::vector<HostEvent> events;
    int64_t endFrame = 0;  // where the material ends; tails are rendered past it
};

// Where the material ends: its stated end, or its last event if later.
int64_t timelineEnd(const Timeline& timeline);

// Every channel message of the file at its frame; the end is the file's last
// end-of-track, so a file that closes on a rest keeps its rest.
Timeline timelineFromMidi(const MidiFile& midi, int sampleRate);

// Hands out, block by block, the events that fall into each block. All memory
// is reserved up front: next() allocates nothing, as befits an audio thread.
class BlockScheduler {
public:
    BlockScheduler(Timeline timeline, int blockSize);

    struct Block {
        // Parameter changes to make before the block (setParameter runs
        // between blocks in a VST 2 host, so they take effect at its start).
        std::span<const HostEvent> parameters;
        // MIDI for effProcessEvents, deltaFrames relative to the block's start;
        // null when the block has none.
        VstEvents* midi = nullptr;
    };
    // The block [start, start + frames). Blocks must be asked for in order.
    Block next(int64_t start, int frames);

    // The length of the block from `start` (at most `maxFrames`) that ends
    // where the next event after `start` falls, so that every event reaches
    // the plug-in at the first frame of a block of its own (events sharing a
    // frame share that block).
    int framesToNextEvent(int64_t start, int maxFrames) const;

    int64_t endFrame() const { return endFrame_; }
    int maxMidiPerBlock() const { return capacity_; }

private:
    std::vector<HostEvent> events_;
    std::vector<HostEvent> parameters_;
    std::vector<VstMidiEvent> midiEvents_;
    // VstEvents is variable-length: its header, then one pointer per event.
    std::unique_ptr<VstIntPtr[]> listStorage_;
    size_t cursor_ = 0;
    int capacity_ = 0;
    int64_t endFrame_;
};

}  // namespace orvo::render
