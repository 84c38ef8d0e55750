// The render core: two voices used in turn, a shared gliding pitch,
// switch-table oscillators, envelope and filter. Knows nothing of threads or
// plug-in formats: MIDI comes in as raw bytes plus a frame offset, audio
// goes out as two float blocks, and every call is handed the engine
// quantities (Quantities.h) it works with, fixed for the frames it renders.
//
// Single-threaded: one thread at a time calls it (the audio thread, or the
// thread that owns an idle instrument).
#pragma once

#include <cstdint>

#include "Envelope.h"
#include "Filter.h"
#include "Quantities.h"
#include "Tables.h"

namespace orvo {

// Slots 0 and 1 play; the other sixteen are never touched, room the bank has
// always been laid out with.
inline constexpr int kVoiceSlots = 18;
inline constexpr int kMaxVoiceIndex = 1;  // two voices
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

// One voice.
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

// The voices and what they share.
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

    // A fresh start: every voice silent with cleared filter and pitch, no
    // bend, no glide, the rotation at its start. Builds the shared tables if
    // no one has yet, so call it (or construct) off the audio thread first.
    void reset();

    // One MIDI message: status byte, two data bytes, frame offset into the
    // next rendered stretch (negative counts as 0). Notes take their pitch
    // from q.tableStep.
    void midi(const Quantities& q, uint8_t status, uint8_t data1, uint8_t data2, int32_t deltaFrames);
    // Adds `frames` samples of both channels into left/right.
    void render(const Quantities& q, float* left, float* right, int32_t frames);
    // Writes `frames` samples of both channels to left/right: the same bits
    // as clearing them and calling render.
    void renderReplacing(const Quantities& q, float* left, float* right, int32_t frames);

    // True when rendering with `q` would write only silence and leave every
    // state as it is: both voices off and the glide settled at this drag
    // value. A host may then skip blocks until the next event without
    // changing the sound.
    bool asleep(const Quantities& q) const;

    // How a block meets the output buffers: written, added to, or added to
    // when the host passed one buffer for both channels.
    enum class Output { kReplace, kAdd, kAddOneBuffer };

    // For tests and benchmarks.
    const VoiceBank& voices() const { return bank_; }
    VoiceBank& voicesForTest() { return bank_; }

private:
    // MidiIntake.cc
    void noteOn(int32_t note, int32_t velocity, int32_t delta, float tableStep);
    void noteOff(int32_t note, int32_t delta);
    void pitchBend(uint8_t coarse, float tableStep);
    void allVoicesOff();
    void startNote(int32_t note, int32_t velocity, int32_t delta, int32_t v, float tableStep);
    void updatePitch(int32_t v, float tableStep);

    // FramePath.cc
    bool quiet() const;
    template <Output kMode>
    void renderFrames(const Quantities& q, float* left, float* right, int32_t frames);
    template <Output kMode>
    int32_t mixedFrames(const Quantities& q, float* left, float* right, int32_t n, int32_t frames);
    template <bool kReplace>
    void renderQuiet(const Quantities& q, float* left, float* right, int32_t frames);

    // StageRuns.cc
    using StageRunFn = int32_t (Engine::*)(const Quantities&, Output, float*, float*, int32_t, int32_t, int32_t);
    template <int32_t kStage0, int32_t kStage1>
    int32_t stageRun(const Quantities& q, Output mode, float* left, float* right, int32_t n, int32_t frames,
                     int32_t solo);
    StageRunFn stageRunFor(const EnvelopeTimes& times, int32_t& solo) const;

    VoiceBank bank_;
    // What let the last quiet block skip the glide: the drag coefficient's
    // bits at which the glide stood still, and the glide and target then.
    struct QuietState {
        bool settled = false;
        uint32_t dragBits = 0, glideBits = 0, targetBits = 0;
    } quiet_;
};

}  // namespace orvo
