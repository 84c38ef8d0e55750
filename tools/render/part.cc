#include "part.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

#include "utf8_text.h"

namespace orvo::render {
namespace {

bool isNoteOn(const uint8_t* bytes) { return (bytes[0] & 0xF0) == 0x90 && bytes[2] > 0; }
bool isNoteOff(const uint8_t* bytes) {
    return (bytes[0] & 0xF0) == 0x80 || ((bytes[0] & 0xF0) == 0x90 && bytes[2] == 0);
}
bool isPedal(const uint8_t* bytes) { return (bytes[0] & 0xF0) == 0xB0 && bytes[1] == 64; }

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string trackLabel(const MidiFile& midi, int index) {
    const std::string& name = midi.trackNames[size_t(index)];
    return std::to_string(index + 1) + (name.empty() ? "" : " " + name);
}

std::string trackSummary(const MidiFile& midi) {
    std::string all;
    for (int i = 0; i < midi.trackCount; ++i) all += (i ? ", " : "") + trackLabel(midi, i);
    return "it has " + std::to_string(midi.trackCount) + (midi.trackCount == 1 ? " track: " : " tracks: ") + all;
}

// Indices from 0 of the tracks a --track names: by number if it is one,
// else every track of that name, in any case.
std::vector<int> resolveTrack(const MidiFile& midi, const std::string& wanted) {
    bool number = !wanted.empty() && wanted.size() < 7 &&
                  std::all_of(wanted.begin(), wanted.end(), [](unsigned char c) { return std::isdigit(c); });
    if (number) {
        int index = std::stoi(wanted);
        if (index < 1 || index > midi.trackCount)
            throw PartError("there is no track " + wanted + " (" + trackSummary(midi) + ")");
        return {index - 1};
    }
    std::vector<int> found;
    for (int i = 0; i < midi.trackCount; ++i)
        if (lower(midi.trackNames[size_t(i)]) == lower(wanted)) found.push_back(i);
    if (found.empty()) throw PartError("there is no track named '" + wanted + "' (" + trackSummary(midi) + ")");
    return found;
}

}  // namespace

std::string noteName(int key) {
    if (key < 0 || key > 127) return {};
    static const char* names[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    return names[key % 12] + std::to_string(key / 12 - 1);
}

std::string channelList(uint16_t channels) {
    std::string list;
    for (int c = 0; c < 16; ++c)
        if (channels & (1u << c)) list += (list.empty() ? "" : ",") + std::to_string(c + 1);
    return list.empty() ? "-" : list;
}

std::vector<TrackInfo> describeTracks(const MidiFile& midi) {
    std::vector<TrackInfo> tracks(size_t(midi.trackCount));
    for (int i = 0; i < midi.trackCount; ++i) {
        tracks[size_t(i)].index = i + 1;
        tracks[size_t(i)].name = midi.trackNames[size_t(i)];
    }
    for (const MidiFileEvent& e : midi.events) {
        if (!isNoteOn(e.bytes) || e.track >= tracks.size()) continue;
        TrackInfo& t = tracks[e.track];
        t.channels |= uint16_t(1u << (e.bytes[0] & 0x0F));
        ++t.notes;
        t.lowest = t.lowest < 0 ? e.bytes[1] : std::min<int>(t.lowest, e.bytes[1]);
        t.highest = std::max<int>(t.highest, e.bytes[1]);
    }
    return tracks;
}

constexpr size_t kNameColumns = 32;  // a longer name is cut, so the table stays a table

std::string trackTable(const MidiFile& midi) {
    std::vector<TrackInfo> tracks = describeTracks(midi);
    size_t nameWidth = 4;
    for (const TrackInfo& t : tracks) nameWidth = std::max(nameWidth, std::min<size_t>(utf8Length(t.name), kNameColumns));
    std::string table;
    char line[256];  // room for 32 characters of up to 4 bytes each
    std::snprintf(line, sizeof line, "  %5s  %-*s  %-8s  %5s  %s\n", "track", int(nameWidth), "name", "channels",
                  "notes", "range");
    table += line;
    for (const TrackInfo& t : tracks) {
        std::string range = !t.notes ? ""
                            : t.lowest == t.highest ? noteName(t.lowest)
                                                    : noteName(t.lowest) + "-" + noteName(t.highest);
        // Padded by characters: printf's width counts bytes, which would
        // shift the columns after a name with accents.
        std::string name = utf8Prefix(t.name, kNameColumns);
        name.append(nameWidth - utf8Length(name), ' ');
        std::snprintf(line, sizeof line, "  %5d  %s  %-8s  %5d  %s", t.index, name.c_str(),
                      channelList(t.channels).c_str(), t.notes, range.c_str());
        std::string row = line;
        row.erase(row.find_last_not_of(' ') + 1);
        table += row + "\n";
    }
    return table;
}

Part selectPart(const MidiFile& midi, const PartChoice& choice) {
    std::vector<bool> trackWanted(size_t(midi.trackCount), choice.tracks.empty());
    for (const std::string& wanted : choice.tracks)
        for (int index : resolveTrack(midi, wanted)) trackWanted[size_t(index)] = true;
    const auto onChosenTrack = [&](const MidiFileEvent& e) {
        return e.track < trackWanted.size() && trackWanted[e.track];
    };

    uint16_t channels = 0;
    for (int c : choice.channels) channels |= uint16_t(1u << (c - 1));
    Part part;
    if (!channels) {
        uint16_t played = 0;
        for (const MidiFileEvent& e : midi.events)
            if (onChosenTrack(e) && isNoteOn(e.bytes)) played |= uint16_t(1u << (e.bytes[0] & 0x0F));
        const uint16_t drums = uint16_t(1u << (kDrumChannel - 1));
        channels = 0xFFFF;
        if ((played & drums) && (played & ~drums)) {
            channels &= uint16_t(~drums);
            part.drumsLeftOut = true;
        }
    }

    part.midi.format = midi.format;
    part.midi.trackCount = midi.trackCount;
    part.midi.trackNames = midi.trackNames;
    part.midi.ticksPerQuarter = midi.ticksPerQuarter;
    part.midi.smpteTicksPerSecondTimes100 = midi.smpteTicksPerSecondTimes100;
    part.midi.tempos = midi.tempos;
    part.midi.endTick = midi.endTick;  // a part keeps its place in the song, rests included
    for (const MidiFileEvent& e : midi.events)
        if (onChosenTrack(e) && (channels & (1u << (e.bytes[0] & 0x0F)))) part.midi.events.push_back(e);
    return part;
}

Timeline applySustain(Timeline timeline) {
    struct Channel {
        bool down = false;
        std::array<bool, 128> held{};  // a note-off waits for the pedal
        std::array<HostEvent, 128> off{};
    };
    std::array<Channel, 16> channels{};
    std::stable_sort(timeline.events.begin(), timeline.events.end(),
                     [](const HostEvent& a, const HostEvent& b) { return a.frame < b.frame; });
    std::vector<HostEvent> out;
    out.reserve(timeline.events.size());
    const auto releaseAll = [&](Channel& ch, int64_t frame) {
        for (int key = 0; key < 128; ++key) {
            if (!ch.held[size_t(key)]) continue;
            HostEvent off = ch.off[size_t(key)];
            off.frame = frame;
            out.push_back(off);
            ch.held[size_t(key)] = false;
        }
    };

    for (const HostEvent& e : timeline.events) {
        if (e.kind != HostEvent::Kind::Midi) {
            out.push_back(e);
            continue;
        }
        Channel& ch = channels[e.midi[0] & 0x0F];
        const size_t key = e.midi[1] & 0x7F;
        if (isPedal(e.midi)) {
            bool down = e.midi[2] >= 64;
            if (ch.down && !down) releaseAll(ch, e.frame);
            ch.down = down;
            continue;
        }
        if (isNoteOff(e.midi) && ch.down) {
            ch.held[key] = true;
            ch.off[key] = e;
            continue;
        }
        if (isNoteOn(e.midi) && ch.held[key]) {
            HostEvent off = ch.off[key];
            off.frame = e.frame;
            out.push_back(off);
            ch.held[key] = false;
        }
        out.push_back(e);
    }
    // A pedal still down when the music ends lets go there.
    const int64_t end = timelineEnd(timeline);
    for (Channel& ch : channels) releaseAll(ch, end);
    timeline.events = std::move(out);
    return timeline;
}

}  // namespace orvo::render
