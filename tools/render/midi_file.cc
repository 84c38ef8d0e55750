#include "midi_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "utf8_text.h"

namespace orvo::render {
namespace {

// Anything bigger is not a song: refuse before reading it all into memory.
constexpr std::uintmax_t kMaxFileBytes = 64u << 20;

std::string hexOffset(size_t offset) {
    char text[32];
    std::snprintf(text, sizeof text, "offset 0x%zx", offset);
    return text;
}

class Reader {
public:
    Reader(std::span<const uint8_t> bytes, size_t base, int track)
        : bytes_(bytes), base_(base), track_(track) {}

    bool atEnd() const { return pos_ >= bytes_.size(); }
    size_t offset() const { return base_ + pos_; }

    [[noreturn]] void fail(const std::string& what) const {
        std::string where = track_ >= 0 ? "track " + std::to_string(track_ + 1) + ", " : std::string();
        throw MidiError(where + hexOffset(offset()) + ": " + what);
    }
    uint8_t byte() {
        if (atEnd()) fail("event cut short by the end of the track");
        return bytes_[pos_++];
    }
    uint8_t peek() const { return bytes_[pos_]; }
    // Variable-length quantity: at most four bytes, seven bits each.
    uint32_t varLen() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b = byte();
            value = (value << 7) | (b & 0x7F);
            if (!(b & 0x80)) return value;
        }
        fail("variable-length number longer than four bytes");
    }
    std::span<const uint8_t> take(uint32_t count) {
        if (count > bytes_.size() - pos_) fail("length " + std::to_string(count) + " runs past the end of the track");
        auto part = bytes_.subspan(pos_, count);
        pos_ += count;
        return part;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t base_;
    int track_;
    size_t pos_ = 0;
};

uint32_t bigEndian(std::span<const uint8_t> b) {
    uint32_t v = 0;
    for (uint8_t x : b) v = (v << 8) | x;
    return v;
}

// One MTrk chunk. Returns the tick of its end (end-of-track or last event).
uint64_t parseTrack(Reader& in, uint16_t trackIndex, std::vector<MidiFileEvent>& events,
                    std::vector<TempoChange>& tempos, std::string& name) {
    uint64_t tick = 0;
    uint8_t running = 0;
    const char* cancelledBy = nullptr;  // the kind of event that ended running status
    while (!in.atEnd()) {
        tick += in.varLen();
        if (in.atEnd()) in.fail("delta time without an event");
        uint8_t status = in.peek();
        if (status & 0x80) {
            in.byte();
        } else if (running) {
            status = running;  // running status: this byte is already data
        } else if (cancelledBy) {
            // Guessing the old status back would turn a damaged byte into a note.
            in.fail(std::string("data byte after a ") + cancelledBy + " event, which ends running status");
        } else {
            in.fail("data byte without a status byte");
        }

        if (status == 0xFF) {
            uint8_t type = in.byte();
            if (type & 0x80) in.fail("meta event type with its top bit set");
            auto data = in.take(in.varLen());
            if (type == 0x2F) return tick;  // end of track: ignore anything after it
            if (type == 0x03 && name.empty()) name.assign(data.begin(), data.end());
            if (type == 0x51) {
                if (data.size() != 3) in.fail("tempo event with " + std::to_string(data.size()) + " bytes, expected 3");
                uint32_t micros = bigEndian(data);
                if (micros == 0) in.fail("tempo of zero microseconds per quarter note");
                tempos.push_back({tick, micros});
            }
            // Other meta events (names, markers, time signature, ...) do not
            // change what is heard; but in a file they end running status.
            running = 0;
            cancelledBy = "meta";
            continue;
        }
        if (status == 0xF0 || status == 0xF7) {
            in.take(in.varLen());  // system exclusive: the instrument has no use for it
            running = 0;
            cancelledBy = "system exclusive";
            continue;
        }
        if (status >= 0xF0) {
            char text[64];
            std::snprintf(text, sizeof text, "system message 0x%02X is not allowed in a MIDI file", status);
            in.fail(text);
        }

        running = status;
        MidiFileEvent event;
        event.tick = tick;
        event.track = trackIndex;
        event.bytes[0] = status;
        event.size = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
        for (int i = 1; i < event.size; ++i) {
            uint8_t data = in.byte();
            if (data & 0x80) in.fail("status byte where a data byte belongs");
            event.bytes[i] = data;
        }
        events.push_back(event);
    }
    return tick;  // no end-of-track event: accept what is there
}

// Names come in whatever encoding the writer used, padded or with line
// breaks: shown in a table, as UTF-8 (utf8_text.h), with every control
// character (C0, DEL, the C1 range Latin-1 leaves unused) a '?'.
std::string cleanName(const std::string& raw) {
    std::string name;
    const std::string text = toUtf8(raw);
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (c1) ++i;
        name += c == '\0' ? ' ' : c < 0x20 || c == 0x7F || c1 ? '?' : char(c);
    }
    auto first = name.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return name.substr(first, name.find_last_not_of(' ') - first + 1);
}

bool completeTrackAt(std::span<const uint8_t> bytes, size_t offset) {
    if (bytes.size() - offset < 8 || bigEndian(bytes.subspan(offset, 4)) != 0x4D54726B /* MTrk */) return false;
    return bigEndian(bytes.subspan(offset + 4, 4)) <= bytes.size() - offset - 8;
}

}  // namespace

MidiFile parseMidiFile(std::span<const uint8_t> bytes) {
    Reader file(bytes, 0, -1);
    const bool named = bytes.size() >= 4 && bigEndian(bytes.subspan(0, 4)) == 0x4D546864 /* MThd */;
    if (!named) throw MidiError("not a Standard MIDI File (no MThd header)");
    if (bytes.size() < 14)
        throw MidiError("truncated inside the MThd header (" + std::to_string(bytes.size()) + " of its 14 bytes)");
    file.take(4);
    uint32_t headerLength = bigEndian(file.take(4));
    if (headerLength < 6) file.fail("header chunk of " + std::to_string(headerLength) + " bytes is too short");
    auto header = file.take(headerLength);

    MidiFile midi;
    midi.format = static_cast<int>(bigEndian(header.subspan(0, 2)));
    int declaredTracks = static_cast<int>(bigEndian(header.subspan(2, 2)));
    uint16_t division = static_cast<uint16_t>(bigEndian(header.subspan(4, 2)));
    if (midi.format == 2) throw MidiError("format 2 (independent patterns) is not supported; use format 0 or 1");
    if (midi.format > 2) throw MidiError("unknown MIDI file format " + std::to_string(midi.format));
    if (division & 0x8000) {
        int fps = 256 - (division >> 8);
        uint32_t ticksPerFrame = division & 0xFF;
        if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || ticksPerFrame == 0)
            throw MidiError("invalid SMPTE time division");
        midi.smpteTicksPerSecondTimes100 = uint64_t(ticksPerFrame) * (fps == 29 ? 2997 : fps * 100);
    } else {
        if (division == 0) throw MidiError("time division of zero ticks per quarter note");
        midi.ticksPerQuarter = division;
    }

    std::vector<MidiFileEvent> events;
    while (!file.atEnd()) {
        // Once the declared tracks are in, writers pad files with anything
        // from a few zeros to whole sectors: only a complete extra track is
        // still read, and the rest is ignored whatever its length.
        if (midi.trackCount >= declaredTracks && !completeTrackAt(bytes, file.offset())) break;
        if (bytes.size() - file.offset() < 8) file.fail("chunk header cut short by the end of the file");
        uint32_t id = bigEndian(file.take(4));
        uint32_t length = bigEndian(file.take(4));
        if (length > bytes.size() - file.offset())
            file.fail("chunk of " + std::to_string(length) + " bytes runs past the end of the file");
        size_t start = file.offset();
        auto body = file.take(length);
        if (id != 0x4D54726B /* MTrk */) continue;  // unknown chunks are to be skipped
        if (midi.trackCount > UINT16_MAX) file.fail("more than 65536 tracks");
        Reader track(body, start, midi.trackCount);
        std::string name;
        midi.endTick = std::max(midi.endTick,
                                parseTrack(track, uint16_t(midi.trackCount), events, midi.tempos, name));
        midi.trackNames.push_back(cleanName(name));
        ++midi.trackCount;
    }
    if (midi.trackCount < declaredTracks)
        throw MidiError("file declares " + std::to_string(declaredTracks) + " tracks but holds " +
                        std::to_string(midi.trackCount));

    // Tracks were appended one after another, so a stable sort by tick keeps
    // simultaneous events in track order and, within a track, in file order.
    std::stable_sort(events.begin(), events.end(),
                     [](const MidiFileEvent& a, const MidiFileEvent& b) { return a.tick < b.tick; });
    std::stable_sort(midi.tempos.begin(), midi.tempos.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    midi.events = std::move(events);
    return midi;
}

MidiFile readMidiFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw MidiError("cannot open MIDI file '" + path + "': " + std::strerror(errno));
    in.seekg(0, std::ios::end);
    auto size = static_cast<std::uintmax_t>(in.tellg());
    if (!in || size > kMaxFileBytes) throw MidiError("'" + path + "' is not a readable MIDI file of sensible size");
    in.seekg(0);
    std::vector<uint8_t> bytes(size);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (!in) throw MidiError("cannot read MIDI file '" + path + "'");
    try {
        return parseMidiFile(bytes);
    } catch (const MidiError& e) {
        throw MidiError("'" + path + "' is corrupt: " + e.what());
    }
}

MidiFile readMidiStream(int fd, const std::string& name) {
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw MidiError("cannot read MIDI from " + name + ": " + std::strerror(errno));
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (bytes.size() > kMaxFileBytes) throw MidiError(name + " is not a MIDI file of sensible size");
    }
    try {
        return parseMidiFile(bytes);
    } catch (const MidiError& e) {
        throw MidiError("the MIDI on " + name + " is corrupt: " + e.what());
    }
}

int64_t MidiFile::tickToFrame(uint64_t tick, int sampleRate) const { return TickClock(*this, sampleRate).frameAt(tick); }

int64_t TickClock::frameAt(uint64_t tick) {
    using Wide = unsigned __int128;
    if (midi_.smpteTicksPerSecondTimes100) {
        Wide scaled = Wide(tick) * unsigned(rate_) * 100;
        return static_cast<int64_t>((scaled + midi_.smpteTicksPerSecondTimes100 / 2) /
                                    midi_.smpteTicksPerSecondTimes100);
    }
    // Time in microseconds times ticksPerQuarter: a sum of whole numbers.
    const auto& tempos = midi_.tempos;
    for (; nextTempo_ < tempos.size() && tempos[nextTempo_].tick < tick; ++nextTempo_) {
        scaledMicros_ += Wide(tempos[nextTempo_].tick - segmentStart_) * tempo_;
        segmentStart_ = tempos[nextTempo_].tick;
        tempo_ = tempos[nextTempo_].microsPerQuarter;
    }
    Wide scaledMicros = scaledMicros_ + Wide(tick - segmentStart_) * tempo_;
    Wide divisor = Wide(midi_.ticksPerQuarter) * 1000000u;
    return static_cast<int64_t>((scaledMicros * unsigned(rate_) + divisor / 2) / divisor);
}

}  // namespace orvo::render
