// A session of timed events: notes, bends, the all-off controller and
// parameter changes, each at its own frame from the start. Front ends that
// apply events at their frame (CLAP, LV2, the player) render it and must
// give the same bits as the VST 2 plug-in driven with a block starting at
// every event. Plain C++ and the ABI header only, so it compiles into any
// test host, Windows ones included.
#pragma once

#include <cstdint>
#include <vector>

#include "DAEffectX.h"

// What the session gives on every build, recorded from the Linux x86-64
// VST 2 plug-in.
constexpr uint64_t kOrvoGoldenTimedHash = 0x063984a18257717dull;

namespace orvo::timed {

constexpr double kRate = 44100.0;
constexpr uint32_t kFrames = 8 * 44100;

struct Event {
    uint32_t frame;  // from the session start, ascending
    enum Kind : uint8_t { kMidi, kParam } kind;
    uint8_t midi[3];  // kMidi: status and data bytes
    // kMidi note on/off that a host may as well send in its own note form
    // (a CLAP note event, say); the rest only exist as MIDI.
    bool noteForm;
    int32_t index;  // kParam: 0..11
    float value;    // kParam: sometimes outside 0..1
};

// The same list on every call and every build.
const std::vector<Event>& session();

// 64-bit FNV-1a over float bits, in the order they are added.
struct Hash {
    uint64_t h = 14695981039346656037ull;
    void add(float f);
    void add(const float* left, const float* right, uint32_t frames);  // interleaved
};

// The reference: the VST 2 plug-in from `entry` at `rate`, its program
// selected after the rate (as hosts restore a session), a block starting at
// every event frame (blocks at most `maxBlock`), each MIDI event sent in a
// list of its own with offset 0, each parameter change as setParameter.
// 0 when the entry point gives no record.
typedef AEffect* (*EntryPoint)(audioMasterCallback);
uint64_t vst2Hash(EntryPoint entry, uint32_t maxBlock = 4096, double rate = kRate);

// Hash as 16 lowercase hex digits.
void printHash(uint64_t hash);

}  // namespace orvo::timed
