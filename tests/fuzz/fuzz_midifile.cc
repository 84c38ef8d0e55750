// Fuzz target: the MIDI file reader of orvo-render. Files come from anywhere:
// any byte string must either parse into a time-ordered event list whose
// frames never run backwards, or be refused with a MidiError. Never a crash,
// never an endless loop, never a different exception. What parses then goes
// through the track listing and the sustain pedal, which must keep every
// other event, add no note-off (a repeated one under the pedal is dropped),
// keep time running forwards, and change nothing where no pedal is pressed.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "midi_file.h"
#include "part.h"
#include "schedule.h"

namespace {

bool isNoteOff(const uint8_t* m) { return (m[0] & 0xF0) == 0x80 || ((m[0] & 0xF0) == 0x90 && m[2] == 0); }
bool isPedal(const uint8_t* m) { return (m[0] & 0xF0) == 0xB0 && m[1] == 64; }

}  // namespace

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
        if (ev.track >= midi.trackCount) std::abort();
        lastTick = ev.tick;
        lastFrame = frame;
    }
    if (!midi.events.empty() && midi.endTick < lastTick) std::abort();
    if (midi.trackNames.size() != size_t(midi.trackCount)) std::abort();

    (void)trackTable(midi);
    Timeline played = timelineFromMidi(selectPart(midi, {}).midi, 44100);
    Timeline held = applySustain(played);
    long offsBefore = 0, offsAfter = 0, others = 0, pedals = 0;
    for (const HostEvent& e : played.events) {
        offsBefore += isNoteOff(e.midi);
        pedals += isPedal(e.midi);
        others += !isNoteOff(e.midi) && !isPedal(e.midi);
    }
    int64_t previous = 0;
    for (const HostEvent& e : held.events) {
        if (e.frame < previous || isPedal(e.midi)) std::abort();
        previous = e.frame;
        offsAfter += isNoteOff(e.midi);
        others -= !isNoteOff(e.midi);
    }
    if (offsAfter > offsBefore || others != 0) std::abort();
    if (pedals == 0 && held.events.size() != played.events.size()) std::abort();
    for (size_t i = 0; pedals == 0 && i < held.events.size(); ++i)
        if (held.events[i].frame != played.events[i].frame ||
            std::memcmp(held.events[i].midi, played.events[i].midi, 3) != 0)
            std::abort();
    return 0;
}
