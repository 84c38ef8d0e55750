#include "live_player.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvo::play {

LivePlayer::LivePlayer(render::PluginHost& host, int rate, double recordSeconds) : host_(host) {
    if (recordSeconds > 0) {
        const size_t bytes = static_cast<size_t>(recordSeconds * rate) * 2 * sizeof(float);
        ring_ = jack_ringbuffer_create(bytes);
        if (ring_) jack_ringbuffer_mlock(ring_);  // no page fault on the audio thread
        recording_.store(ring_ != nullptr, std::memory_order_relaxed);
    }
    for (uint32_t i = 0; i < kMaxEventsPerFrame; ++i) {
        midi_[i] = VstMidiEvent{};
        midi_[i].type = kVstMidiType;
        midi_[i].byteSize = sizeof(VstMidiEvent);
        list_.events[i] = reinterpret_cast<VstEvent*>(&midi_[i]);
    }
}

LivePlayer::~LivePlayer() {
    if (ring_) jack_ringbuffer_free(ring_);
}

void LivePlayer::renderSpan(float* left, float* right, uint32_t from, uint32_t to) {
    if (to <= from) return;
    float* outputs[2] = {left + from, right + from};
    host_.process(outputs, static_cast<int>(to - from));
    // A mono instrument sounds on both sides.
    if (host_.numOutputs() == 1) std::copy(left + from, left + to, right + from);
}

// Notes held per key and channel, so the status line counts what sounds to
// the player, whatever the instrument makes of it.
void LivePlayer::track(const LiveMidi& m) {
    const uint8_t kind = m.data[0] & 0xF0;
    const uint16_t bit = static_cast<uint16_t>(1u << (m.data[0] & 0x0F));
    const uint8_t key = m.data[1] & 0x7F;
    if (kind == 0x90 && m.size == 3 && m.data[2] != 0) {
        if (!(held_[key] & bit)) ++heldCount_;
        held_[key] |= bit;
    } else if ((kind == 0x80 || kind == 0x90) && m.size == 3) {
        if (held_[key] & bit) --heldCount_;
        held_[key] &= static_cast<uint16_t>(~bit);
    } else if (kind == 0xB0 && m.size == 3 && (m.data[1] == 123 || m.data[1] == 126)) {
        std::fill(std::begin(held_), std::end(held_), uint16_t{0});
        heldCount_ = 0;
    }
}

static bool channelMessage(const LiveMidi& m) {
    const uint8_t status = m.data[0];
    if (status < 0x80 || status >= 0xF0) return false;  // running status, system and real-time bytes
    const uint8_t kind = status & 0xF0;
    return m.size == ((kind == 0xC0 || kind == 0xD0) ? 2 : 3);
}

void LivePlayer::process(uint32_t frames, float* left, float* right, const LiveMidi* events, uint32_t count) {
    uint32_t pos = 0;
    for (uint32_t i = 0; i < count;) {
        const uint32_t at = std::clamp(events[i].frame, pos, frames);
        renderSpan(left, right, pos, at);
        pos = at;
        list_.numEvents = 0;
        for (; i < count && std::clamp(events[i].frame, pos, frames) == at; ++i) {
            if (!channelMessage(events[i]) || list_.numEvents == static_cast<VstInt32>(kMaxEventsPerFrame)) continue;
            VstMidiEvent& e = midi_[list_.numEvents++];
            std::memset(e.midiData, 0, sizeof e.midiData);
            std::memcpy(e.midiData, events[i].data, events[i].size);
            track(events[i]);
        }
        host_.processEvents(reinterpret_cast<VstEvents*>(&list_));
    }
    renderSpan(left, right, pos, frames);
    notes_.store(heldCount_, std::memory_order_relaxed);

    float peak = 0.0f;
    for (uint32_t k = 0; k < frames; ++k) peak = std::max({peak, std::fabs(left[k]), std::fabs(right[k])});
    if (peak > peak_.load(std::memory_order_relaxed)) peak_.store(peak, std::memory_order_relaxed);
    if (recording_.load(std::memory_order_relaxed)) record(left, right, frames);
}

// A period is kept whole or not at all: a recording with a hole would
// sound as a click, so a full ring counts the frames it drops instead.
void LivePlayer::record(const float* left, const float* right, uint32_t frames) {
    const size_t bytes = size_t(frames) * 2 * sizeof(float);
    (void)ringOut_.load(std::memory_order_acquire);  // the room the reader gave back
    if (jack_ringbuffer_write_space(ring_) < bytes) {
        dropped_.fetch_add(frames, std::memory_order_relaxed);
        return;
    }
    constexpr uint32_t kChunk = sizeof interleaved_ / sizeof interleaved_[0] / 2;
    for (uint32_t done = 0; done < frames;) {
        const uint32_t n = std::min(kChunk, frames - done);
        for (uint32_t k = 0; k < n; ++k) {
            interleaved_[2 * k] = left[done + k];
            interleaved_[2 * k + 1] = right[done + k];
        }
        jack_ringbuffer_write(ring_, reinterpret_cast<const char*>(interleaved_), size_t(n) * 2 * sizeof(float));
        done += n;
    }
    ringIn_.fetch_add(frames, std::memory_order_release);
}

uint32_t LivePlayer::takeRecorded(float* out, uint32_t maxFrames) {
    if (!ring_) return 0;
    const size_t frameBytes = 2 * sizeof(float);
    const uint64_t ready = ringIn_.load(std::memory_order_acquire) - takenLocal_;
    const size_t frames = std::min<size_t>({size_t(ready), jack_ringbuffer_read_space(ring_) / frameBytes, maxFrames});
    if (frames == 0) return 0;
    jack_ringbuffer_read(ring_, reinterpret_cast<char*>(out), frames * frameBytes);
    takenLocal_ += frames;
    ringOut_.store(takenLocal_, std::memory_order_release);
    return static_cast<uint32_t>(frames);
}

}  // namespace orvo::play
