// Standard MIDI File reading: formats 0 and 1, every channel, tempo map.
//
// Our own parser rather than libsmf: on a truncated or otherwise corrupt file
// libsmf prints g_critical warnings, cuts the track short and still reports
// success, so a damaged file would render half a song with exit status 0.
// Here any structural fault is an error that names the byte offset.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvo::render {

class MidiError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One channel message (note, controller, bend, ...). System exclusive and
// meta events never appear here: the parser steps over them.
struct MidiFileEvent {
    uint64_t tick = 0;
    uint8_t bytes[3] = {0, 0, 0};
    uint8_t size = 0;  // 2 or 3
    uint16_t track = 0;  // from 0, in file order
};

struct TempoChange {
    uint64_t tick = 0;
    uint32_t microsPerQuarter = 500000;
};

struct MidiFile {
    int format = 0;
    int trackCount = 0;
    // Ticks per quarter note, or, for SMPTE time, ticks per second scaled by
    // `smpteScale` (29.97 fps is stored as 2997 ticks per 100 s).
    uint32_t ticksPerQuarter = 0;
    uint64_t smpteTicksPerSecondTimes100 = 0;  // non-zero only for SMPTE timing
    std::vector<MidiFileEvent> events;  // all tracks merged, in time order
    std::vector<TempoChange> tempos;    // sorted; empty means 120 BPM throughout
    uint64_t endTick = 0;               // latest end-of-track
    // Each track's first name event (meta 0x03), empty where it has none:
    // what a user reads to find the melody among the tracks.
    std::vector<std::string> trackNames;

    // Frame of a tick at an integer sample rate, rounded to nearest. Exact:
    // computed in integers, so the same file always lands on the same frames.
    int64_t tickToFrame(uint64_t tick, int sampleRate) const;
};

// Converts ticks that never go backwards, walking the tempo map once rather
// than from its start for every event.
class TickClock {
public:
    TickClock(const MidiFile& midi, int sampleRate) : midi_(midi), rate_(sampleRate) {}
    int64_t frameAt(uint64_t tick);  // tick must not be below the previous one

private:
    const MidiFile& midi_;
    int rate_;
    size_t nextTempo_ = 0;
    uint64_t segmentStart_ = 0;
    uint32_t tempo_ = 500000;
    unsigned __int128 scaledMicros_ = 0;  // microseconds times ticksPerQuarter up to segmentStart_
};

MidiFile parseMidiFile(std::span<const uint8_t> bytes);
MidiFile readMidiFile(const std::string& path);  // also throws MidiError for I/O faults
// The whole of a stream that cannot seek (a pipe on standard input); `name`
// is what messages call it.
MidiFile readMidiStream(int fd, const std::string& name);

}  // namespace orvo::render
