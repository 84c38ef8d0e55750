// The host-free instrument: two voices used in turn, a shared gliding pitch,
// switch-table oscillators, envelope and filter. Knows nothing of the plug-in
// format: parameters come in as (index, value), MIDI as raw bytes plus a
// frame offset, audio goes out as two float blocks.
//
// Threads: setParameter, setSampleRate and parameter() may run on any thread
// while the audio thread calls midi() and render(); the two audio-thread
// calls never overlap each other.
#pragma once

#include <atomic>
#include <cstdint>

#include "Envelope.h"
#include "Filter.h"
#include "Params.h"
#include "SynthInfo.h"
#include "Tables.h"

namespace orvo {

// Slots 0 and 1 play; the other sixteen are never touched, room the bank has
// always been laid out with.
inline constexpr int kVoiceSlots = 18;
inline constexpr int kMaxVoiceIndex = 1;  // two voices
inline constexpr float kDefaultSampleRate = 44100.0f;
inline constexpr double kTableStepScale = kCycleLength;  // table entries per cycle: step = this / rate

// Output gain of a voice, applied as separate factors in this order:
// velocity 127 gives 2e-6, which brings the +-100000 table scale to about +-0.2.
inline constexpr double kGainPerVelocity = 1.0 / 127.0;
inline constexpr double kGainLevel = 0.2;
inline constexpr double kGainTableScale = 0.00001;
// Largest |sample| the engine can put out, whatever the host sends: every
// voice at its saturated filter output (int32) times full level (the sustain
// level is held to 0..1) times the gain of velocity 127.
inline constexpr float kOutputBound =
    static_cast<float>((kMaxVoiceIndex + 1) * 2147483648.0 * 1.0 * 127 * kGainPerVelocity * kGainLevel * kGainTableScale);

// One voice. Audio thread only.
struct Voice {
    float phase = 0.0f;        // phase units; one switch cycle is 8192
    int32_t note = 0;          // MIDI note 0..127
    int32_t delay = 0;         // frames to wait before sounding, >= 0
    float increment = 0.0f;    // phase units per frame at this voice's own pitch
    float gain = 0.0f;         // velocity / 127 * 2e-6: table scale (100000) to output scale (0.2)
    float cutoffScale = 0.0f;  // 0..0.988: how far note and velocity open the filter
    EnvelopeState env;
    FilterState filter;
};

// Everything the audio thread owns.
struct VoiceBank {
    Voice voice[kVoiceSlots];
    int32_t nextVoice = 0;         // voice that got the latest note
    int32_t maxVoiceIndex = kMaxVoiceIndex;  // fixed; the renderer is written for two voices
    float bendFactor = 1.0f;       // pitch factor from the last bend, 1 = none
    float glideIncrement = 0.0f;   // shared phase increment the held voice plays at
};

class Engine {
public:
    Engine();

    // A fresh start, as after construction: every voice silent with cleared
    // filter and pitch, no bend, no glide, the rotation at its start, and the
    // pitch step and parameter conversions at 44100 Hz. The current values
    // are kept and re-applied at that rate. Not real-time: call while the
    // audio thread is idle.
    void reset();
    // The same fresh start as a new engine at `rate` that got the same
    // setParameter calls: voices as after reset, the pitch step at `rate`,
    // the values set since construction converted at `rate` again, the rest
    // at 44100 as a new engine has them. For hosts that restart a running
    // instance (CLAP reset, LV2 activate). Not real-time in general, like
    // reset; it allocates nothing.
    void restart(float rate);

    // --- any thread ---
    // Stores a current value (index 0..11) and recomputes what it drives, at
    // `sampleRate`; a rate that is unusable (not finite, not positive, or so
    // small that the pitch step would not fit a float) is replaced by the
    // last usable one. Other indexes are ignored.
    void setParameter(int32_t index, float value, float sampleRate);
    float parameter(int32_t index) const;  // 0 for other indexes
    // Pitch step for later note starts and bends. An unusable rate (as for
    // setParameter) is ignored.
    void setSampleRate(float rate);
    float tableStep() const { return tableStep_.load(std::memory_order_relaxed); }
    const EngineQuantities& quantities() const { return q_; }

    // --- audio thread ---
    // One MIDI message: status byte, two data bytes, frame offset into the
    // next rendered block (negative counts as 0).
    void midi(uint8_t status, uint8_t data1, uint8_t data2, int32_t deltaFrames);
    // Adds `frames` samples of both channels into left/right.
    void render(float* left, float* right, int32_t frames);
    // Writes `frames` samples of both channels to left/right: the same bits
    // as clearing them and calling render.
    void renderReplacing(float* left, float* right, int32_t frames);

    // True when rendering would write only silence and leave every state as
    // it is: both voices off and the glide settled at this drag value. A
    // host may then skip blocks until the next event without changing the
    // sound.
    bool asleep() const;

    // How a block meets the output buffers: written, added to, or added to
    // when the host passed one buffer for both channels.
    enum class Output { kReplace, kAdd, kAddOneBuffer };

    // For tests and benchmarks; reading it while render runs is a race.
    const VoiceBank& voices() const { return bank_; }
    VoiceBank& voicesForTest() { return bank_; }

private:
    // MidiIntake.cc
    void noteOn(int32_t note, int32_t velocity, int32_t delta);
    void noteOff(int32_t note, int32_t delta);
    void pitchBend(uint8_t coarse);
    void allVoicesOff();
    void startNote(int32_t note, int32_t velocity, int32_t delta, int32_t v);
    void updatePitch(int32_t v);

    // FramePath.cc
    bool quiet() const;
    template <Output kMode>
    void renderFrames(float* left, float* right, int32_t frames);
    template <Output kMode>
    int32_t mixedFrames(float* left, float* right, int32_t n, int32_t frames);
    template <bool kReplace>
    void renderQuiet(float* left, float* right, int32_t frames);

    // StageRuns.cc
    using StageRunFn = int32_t (Engine::*)(Output, float*, float*, int32_t, int32_t, const EnvelopeTimes&, int32_t);
    template <int32_t kStage0, int32_t kStage1>
    int32_t stageRun(Output mode, float* left, float* right, int32_t n, int32_t frames, const EnvelopeTimes& planned,
                     int32_t solo);
    StageRunFn stageRunFor(const EnvelopeTimes& planned, int32_t& solo) const;

    EngineQuantities q_;
    std::atomic<float> current_[kNumParams];      // the twelve current values, stored unchanged
    std::atomic<bool> set_[kNumParams] = {};      // set through setParameter since construction
    std::atomic<float> tableStep_{0.0f};           // 4096 / sample rate
    std::atomic<float> conversionRate_{kDefaultSampleRate};  // last finite positive rate seen
    VoiceBank bank_;
    // What let the last quiet block skip the glide: the drag coefficient's
    // bits at which the glide stood still, and the glide and target then.
    struct QuietState {
        bool settled = false;
        uint32_t dragBits = 0, glideBits = 0, targetBits = 0;
    } quiet_;
};

}  // namespace orvo
