// A Standard MIDI File made into the timeline orvo-render plays, by the same
// rules (tools/render: the file, the part, the pedal as the host holds it,
// the tempo map), for the Node renderer and the page. One timeline at a
// time: the last file read stays until the next.
#include <algorithm>
#include <cstdint>
#include <exception>
#include <span>
#include <string>

#include "midi_file.h"
#include "part.h"
#include "schedule.h"

#define ORVO_EXPORT extern "C" __attribute__((used, visibility("default")))

namespace {

orvo::render::Timeline gTimeline;
int64_t gEnd = 0;
bool gDrumsLeftOut = false;
std::string gError;

}  // namespace

// Reads `size` bytes of a file at `rate`; `sustain` 0 passes the pedal on
// instead of holding note-offs (orvo-render's --no-sustain). Returns the
// number of events, or -1 with the reason in orvo_midi_error.
ORVO_EXPORT int orvo_midi_read(const uint8_t* bytes, uint32_t size, int rate, int sustain) {
    using namespace orvo::render;
    gTimeline = {};
    gEnd = 0;
    gDrumsLeftOut = false;
    gError.clear();
    try {
        const Part part = selectPart(parseMidiFile(std::span<const uint8_t>(bytes, size)), PartChoice{});
        Timeline timeline = timelineFromMidi(part.midi, rate);
        if (sustain) timeline = applySustain(std::move(timeline));
        // As the block scheduler hands them over: simultaneous events in
        // the order given.
        std::stable_sort(timeline.events.begin(), timeline.events.end(),
                         [](const HostEvent& a, const HostEvent& b) { return a.frame < b.frame; });
        gEnd = timelineEnd(timeline);
        gDrumsLeftOut = part.drumsLeftOut;
        gTimeline = std::move(timeline);
        return static_cast<int>(gTimeline.events.size());
    } catch (const std::exception& e) {
        gError = e.what();
        return -1;
    }
}

ORVO_EXPORT const char* orvo_midi_error() { return gError.c_str(); }
ORVO_EXPORT double orvo_midi_end() { return static_cast<double>(gEnd); }
ORVO_EXPORT int orvo_midi_drums_left_out() { return gDrumsLeftOut; }

// Event i: its frame (exact in a double for any song that fits in memory)
// and its three bytes packed low byte first.
ORVO_EXPORT double orvo_midi_frame(uint32_t i) {
    return i < gTimeline.events.size() ? static_cast<double>(gTimeline.events[i].frame) : -1.0;
}
ORVO_EXPORT uint32_t orvo_midi_bytes(uint32_t i) {
    if (i >= gTimeline.events.size()) return 0;
    const uint8_t* m = gTimeline.events[i].midi;
    return m[0] | (uint32_t(m[1]) << 8) | (uint32_t(m[2]) << 16);
}
