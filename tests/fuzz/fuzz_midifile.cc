// Fuzz target: the MIDI file reader of orvo-render. Files come from anywhere:
// any byte string must either parse into a time-ordered event list whose
// frames never run backwards, or be refused with a MidiError. Never a crash,
// never an endless loop, never a different exception.
#include <cstdio>
#include <cstdlib>

#include "midi_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvo::render;
    MidiFile midi;
    try {
        midi = parseMidiFile(std::span<const uint8_t>(data, size));
    } catch (const MidiError&) {
        return 0;
    }
    TickClock clock(midi, 44100);
    uint64_t lastTick = 0;
    int64_t lastFrame = 0;
    for (const MidiFileEvent& ev : midi.events) {
        if (ev.tick < lastTick || (ev.size != 2 && ev.size != 3) || (ev.bytes[0] & 0x80) == 0 ||
            ev.bytes[0] >= 0xF0) {
            std::fprintf(stderr, "malformed event at tick %llu\n", static_cast<unsigned long long>(ev.tick));
            std::abort();
        }
        const int64_t frame = clock.frameAt(ev.tick);
        if (frame < lastFrame) std::abort();
        lastTick = ev.tick;
        lastFrame = frame;
    }
    if (!midi.events.empty() && midi.endTick < lastTick) std::abort();
    return 0;
}
