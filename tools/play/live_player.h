// The instrument played live: MIDI in, two channels out, and what the
// player's other threads want to know (notes sounding, peak, the recording).
// The JACK client feeds it; it knows nothing of JACK beyond its ring buffer,
// so the tests can drive it without a server.
//
// Threads: process on the audio thread only; the counters on any thread;
// takeRecorded on the recording thread only.
#pragma once

#include <jack/ringbuffer.h>

#include <atomic>
#include <cstdint>

#include "plugin_host.h"

namespace orvo::play {

// One MIDI message at a frame of the current period.
struct LiveMidi {
    uint32_t frame;
    uint8_t size;  // 1..3 bytes used
    uint8_t data[3];
};

class LivePlayer {
public:
    // `recordSeconds` of audio fit in the recording ring at `rate`; 0 for no
    // recording. Allocates; call before the audio thread starts.
    LivePlayer(render::PluginHost& host, int rate, double recordSeconds);
    ~LivePlayer();
    LivePlayer(const LivePlayer&) = delete;
    LivePlayer& operator=(const LivePlayer&) = delete;

    // Audio thread. Renders `frames` into left/right with every event
    // applied at its frame: the period is cut at each event frame, and the
    // events of one frame reach the plug-in in one list, as orvo-render
    // sends them. Events must be in frame order (JACK gives them so); one
    // before the position reached or past the period applies there or at
    // its end. Only channel messages reach the plug-in.
    void process(uint32_t frames, float* left, float* right, const LiveMidi* events, uint32_t count);

    // Any thread.
    int notesSounding() const { return notes_.load(std::memory_order_relaxed); }
    // The highest peak since the last call.
    float takePeak() { return peak_.exchange(0.0f, std::memory_order_relaxed); }
    uint64_t droppedFrames() const { return dropped_.load(std::memory_order_relaxed); }
    // Ends recording: later periods are not kept (a failed file, say).
    void stopRecording() { recording_.store(false, std::memory_order_relaxed); }

    // Recording thread: up to `maxFrames` interleaved frames into `out`;
    // answers how many.
    uint32_t takeRecorded(float* out, uint32_t maxFrames);

    static constexpr uint32_t kMaxEventsPerFrame = 64;

private:
    void renderSpan(float* left, float* right, uint32_t from, uint32_t to);
    void track(const LiveMidi& m);
    void record(const float* left, const float* right, uint32_t frames);

    render::PluginHost& host_;
    jack_ringbuffer_t* ring_ = nullptr;
    std::atomic<bool> recording_{false};
    std::atomic<int> notes_{0};
    std::atomic<float> peak_{0.0f};
    std::atomic<uint64_t> dropped_{0};
    // Frames put into and taken from the ring. JACK's ring orders its data
    // with barriers inside libjack; these say the same in C++ terms, the one
    // place in the player that needs release and acquire: a frame is read
    // only after the store that follows its writing, and its room is reused
    // only after the store that follows its reading.
    std::atomic<uint64_t> ringIn_{0};
    std::atomic<uint64_t> ringOut_{0};
    uint64_t takenLocal_ = 0;  // recording thread only
    // Audio thread only.
    uint16_t held_[128] = {};  // per key, one bit per channel
    int heldCount_ = 0;
    VstMidiEvent midi_[kMaxEventsPerFrame];
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[kMaxEventsPerFrame];
    } list_{};
    float interleaved_[512];
};

}  // namespace orvo::play
