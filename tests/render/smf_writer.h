// Standard MIDI Files for the tests, written from notes and controllers at
// absolute ticks rather than from hand-counted bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "test_support.h"

namespace orvo::render::test {

class SmfTrackWriter {
public:
    SmfTrackWriter& name(const std::string& text) {
        Bytes meta = {0xFF, 0x03, uint8_t(text.size())};
        meta.insert(meta.end(), text.begin(), text.end());
        return add(0, meta);
    }
    SmfTrackWriter& tempo(uint32_t tick, uint32_t microsPerQuarter) {
        return add(tick, {0xFF, 0x51, 0x03, uint8_t(microsPerQuarter >> 16), uint8_t(microsPerQuarter >> 8),
                          uint8_t(microsPerQuarter)});
    }
    // Channels count from 1, as musicians count them.
    SmfTrackWriter& note(uint32_t tick, uint32_t length, int channel, int key, int velocity = 100) {
        add(tick, {uint8_t(0x90 | (channel - 1)), uint8_t(key), uint8_t(velocity)});
        return add(tick + length, {uint8_t(0x80 | (channel - 1)), uint8_t(key), 0x40});
    }
    SmfTrackWriter& controller(uint32_t tick, int channel, int number, int value) {
        return add(tick, {uint8_t(0xB0 | (channel - 1)), uint8_t(number), uint8_t(value)});
    }
    SmfTrackWriter& end(uint32_t tick) {
        endTick_ = tick;
        return *this;
    }
    SmfTrackWriter& add(uint32_t tick, Bytes message) {
        events_.push_back({tick, order_++, std::move(message)});
        return *this;
    }

    // An MTrk chunk: events in time order (at one tick, as they were added),
    // each with its full status byte, then the end of the track.
    Bytes chunk() const {
        std::vector<Event> sorted = events_;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const Event& a, const Event& b) { return a.tick < b.tick; });
        Bytes body;
        uint32_t now = 0;
        for (const Event& e : sorted) {
            delta(body, e.tick - now);
            now = e.tick;
            body.insert(body.end(), e.bytes.begin(), e.bytes.end());
        }
        delta(body, std::max(endTick_, now) - now);
        body.insert(body.end(), {0xFF, 0x2F, 0x00});
        Bytes chunk = {'M', 'T', 'r', 'k', uint8_t(body.size() >> 24), uint8_t(body.size() >> 16),
                       uint8_t(body.size() >> 8), uint8_t(body.size())};
        chunk.insert(chunk.end(), body.begin(), body.end());
        return chunk;
    }

private:
    struct Event {
        uint32_t tick;
        int order;
        Bytes bytes;
    };
    static void delta(Bytes& out, uint32_t ticks) {
        uint8_t groups[5];
        int n = 0;
        do {
            groups[n++] = uint8_t(ticks & 0x7F);
            ticks >>= 7;
        } while (ticks);
        while (n--) out.push_back(uint8_t(groups[n] | (n ? 0x80 : 0)));
    }
    std::vector<Event> events_;
    int order_ = 0;
    uint32_t endTick_ = 0;
};

class SmfWriter {
public:
    explicit SmfWriter(int division = 480) : division_(division) {}
    SmfTrackWriter& track() { return tracks_.emplace_back(); }
    // Format 1 for several tracks, 0 for one.
    Bytes bytes() const {
        Bytes all = smfHeader(tracks_.size() > 1 ? 1 : 0, int(tracks_.size()), division_);
        for (const SmfTrackWriter& t : tracks_) {
            Bytes c = t.chunk();
            all.insert(all.end(), c.begin(), c.end());
        }
        return all;
    }

private:
    int division_;
    std::deque<SmfTrackWriter> tracks_;  // tracks stay where track() handed them out
};

}  // namespace orvo::render::test
