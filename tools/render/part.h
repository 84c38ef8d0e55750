// Choosing the part of a song the two-voice instrument plays: channels and
// tracks of a MIDI file, what each track holds, and the sustain pedal.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "midi_file.h"
#include "schedule.h"

namespace orvo::render {

// A --track that names no track of the file: that file's fault, not the
// command line's, when a batch holds files with other tracks.
class PartError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr int kDrumChannel = 10;  // General MIDI's percussion, counted from 1

// What a track holds, for choosing one.
struct TrackInfo {
    int index = 0;  // from 1, as the listing shows it and --track takes it
    std::string name;
    uint16_t channels = 0;  // bit c for channel c + 1, of its notes
    int notes = 0;
    int lowest = -1, highest = -1;  // keys; -1 without notes
};
std::vector<TrackInfo> describeTracks(const MidiFile& midi);

// "C4" for key 60, sharps for the black keys; "" for none.
std::string noteName(int key);
// "1,2,10" for the channels of a mask, "-" for none.
std::string channelList(uint16_t channels);

// The table --list-tracks prints for one file.
std::string trackTable(const MidiFile& midi);

struct PartChoice {
    std::vector<int> channels;        // 1-16; empty: every channel
    std::vector<std::string> tracks;  // indices from 1 or names; empty: every track
};

struct Part {
    MidiFile midi;         // the chosen events; tempo map and end as in the file
    bool drumsLeftOut = false;
};

// Keeps the events of the chosen tracks and channels. Without a channel
// choice, channel 10 is left out when the chosen tracks play notes on other
// channels as well: in a General MIDI song it is the drum kit, which a
// melodic instrument would play as a stream of random pitches. Throws
// PartError for a track the file does not have.
Part selectPart(const MidiFile& midi, const PartChoice& choice);

// Holds every note-off that arrives while controller 64 is down on its
// channel until the pedal lifts (or the material ends), since the
// instrument knows no pedal. A key struck again while the pedal holds it is
// released first, so note-ons and note-offs stay in pairs. The pedal's own
// messages are consumed here.
Timeline applySustain(Timeline timeline);

}  // namespace orvo::render
