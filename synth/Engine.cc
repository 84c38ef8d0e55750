#include "Engine.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "Round.h"
#include "Tables.h"

namespace orvo {

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

constexpr uint8_t kStatusNoteOff = 0x80;
constexpr uint8_t kStatusNoteOn = 0x90;
constexpr uint8_t kStatusController = 0xB0;
constexpr uint8_t kStatusPitchBend = 0xE0;
constexpr uint8_t kControllerAllVoicesOff = 126;
constexpr uint8_t kDataMask = 0x7F;

constexpr int32_t kPhaseWrapBit = kSwitchCycle;  // set in the rounded phase once a cycle is done
constexpr int32_t kPhasePositionMask = kSwitchCycle - 1;

// Velocity 127 gives a gain of 2e-6, which brings the +-100000 table scale
// down to about +-0.2. Applied as separate factors, in this order.
constexpr double kGainPerVelocity = 1.0 / 127.0;
constexpr double kGainLevel = 0.2;
constexpr double kGainTableScale = 0.00001;
constexpr double kCutoffScaleDivisor = 32768.0;
constexpr double kBendStep = 1.0 / 64.0;  // semitones per coarse bend step

bool usableRate(float rate) { return std::isfinite(rate) && rate > 0.0f; }

// Stores the glide as a float without ever reaching infinity or NaN: a wild
// Drag value makes the glide overshoot and grow, and once it were infinite
// it could never come back.
float saturateGlide(double g, float fallback) {
    if (g != g) return fallback;
    if (g > FLT_MAX) return FLT_MAX;
    if (g < -FLT_MAX) return -FLT_MAX;
    return static_cast<float>(g);
}

bool isHeld(const EnvelopeState& e) {
    return e.stage == kStageAttack || e.stage == kStageDecay || e.stage == kStageSustain;
}

}  // namespace

// The engine-wide values both voices use, read at the start of each frame so
// a change from another thread is heard from the next frame, and the two
// voices of one frame agree on it; widened once here rather than per voice.
// Stage lengths are read where a stage uses them (LiveTimes).
struct Engine::FrameParams {
    float sustain;
    double envAmount;
    double cutoffCoef;
    double damping;
    int32_t filterType;
    const int32_t* wave1;
    const int32_t* wave2;
    float switchPoint;
    double switchPointWide;
    double wave1Stretch;
    double wave2Stretch;
};

Engine::Engine() {
    for (int32_t i = 0; i < kNumParams; ++i) {
        current_[i].store(kParams[i].defaultValue, relaxed);
        applyParameter(q_, i, kParams[i].defaultValue, kDefaultSampleRate);
    }
    reset();
}

void Engine::reset() {
    for (Voice& v : bank_.voice) {
        v.phase = 0.0f;
        v.env.stage = kStageOff;
        v.env.attackCount = 0;
        v.env.decayCount = 0;
        v.env.releaseCount = 0;
        v.env.level = 0.0f;
        v.delay = 0;
    }
    bank_.bendFactor = 1.0f;
    bank_.maxVoiceIndex = kMaxVoiceIndex;
    bank_.nextVoice = 0;
    tableStep_.store(static_cast<float>(kTableStepScale / static_cast<double>(kDefaultSampleRate)), relaxed);
    waveTables();  // built here at the latest, never on the audio thread
}

void Engine::setParameter(int32_t index, float value, float sampleRate) {
    if (!isParamIndex(index)) return;
    current_[index].store(value, relaxed);
    if (usableRate(sampleRate)) conversionRate_.store(sampleRate, relaxed);
    applyParameter(q_, index, value, conversionRate_.load(relaxed));
}

float Engine::parameter(int32_t index) const { return isParamIndex(index) ? current_[index].load(relaxed) : 0.0f; }

void Engine::setSampleRate(float rate) {
    if (!usableRate(rate)) return;
    const double step = kTableStepScale / static_cast<double>(rate);
    if (step > FLT_MAX) return;  // a denormal rate: the step would not fit a float
    tableStep_.store(static_cast<float>(step), relaxed);
    // A later request that carries an unusable rate falls back to this one.
    conversionRate_.store(rate, relaxed);
}

// ---------------------------------------------------------------------------
// MIDI intake

void Engine::midi(uint8_t status, uint8_t data1, uint8_t data2, int32_t deltaFrames) {
    const int32_t delta = deltaFrames < 0 ? 0 : deltaFrames;
    switch (status & 0xF0) {  // every channel alike
        case kStatusNoteOn:
            if ((data2 & kDataMask) != 0)
                noteOn(data1 & kDataMask, data2 & kDataMask, delta);
            else
                noteOff(data1 & kDataMask, delta);
            break;
        case kStatusNoteOff: noteOff(data1 & kDataMask, delta); break;
        case kStatusController:
            if (data1 == kControllerAllVoicesOff) allVoicesOff();
            break;
        case kStatusPitchBend: pitchBend(data2); break;
        default: break;
    }
}

void Engine::noteOff(int32_t note, int32_t delta) {
    for (int32_t v = 0; v <= bank_.maxVoiceIndex; ++v) {
        Voice& voice = bank_.voice[v];
        if (voice.note == note && isHeld(voice.env)) voice.env.releaseCountdown = delta;
    }
}

// No search for a free voice: the voices take turns, and each new note
// releases the other one at the frame where the new one starts.
void Engine::noteOn(int32_t note, int32_t velocity, int32_t delta) {
    if (++bank_.nextVoice > bank_.maxVoiceIndex) bank_.nextVoice = 0;
    const int32_t other = bank_.nextVoice == bank_.maxVoiceIndex ? 0 : bank_.nextVoice + 1;
    EnvelopeState& otherEnv = bank_.voice[other].env;
    if (isHeld(otherEnv)) otherEnv.releaseCountdown = delta;
    startNote(note, velocity, delta, bank_.nextVoice);
}

void Engine::startNote(int32_t note, int32_t velocity, int32_t delta, int32_t v) {
    Voice& voice = bank_.voice[v];
    voice.note = note;
    voice.velocity = velocity;
    voice.gain = static_cast<float>(static_cast<double>(velocity) * kGainPerVelocity * kGainLevel * kGainTableScale);
    voice.delay = delta;
    voice.env.stage = kStageAttack;
    voice.env.attackCount = 0;
    voice.phase = 0.0f;
    voice.env.level = 0.0f;
    voice.filter = FilterState{};
    voice.env.releaseCountdown = kNoReleasePending;
    voice.cutoffScale = static_cast<float>(static_cast<double>((velocity + 128) * note) / kCutoffScaleDivisor);
    updatePitch(v);
}

void Engine::updatePitch(int32_t v) {
    Voice& voice = bank_.voice[v];
    voice.increment = static_cast<float>(static_cast<double>(waveTables().noteFreq[voice.note & kDataMask]) *
                                         static_cast<double>(tableStep_.load(relaxed)) *
                                         static_cast<double>(bank_.bendFactor));
}

// Only the coarse byte counts; the top step is widened to 128 so that full
// deflection is exactly one semitone either way.
void Engine::pitchBend(uint8_t coarse) {
    int32_t m = coarse & kDataMask;
    if (m == 127) m = 128;
    const float bend = static_cast<float>(static_cast<double>(m - 64) * kBendStep);
    bank_.bendFactor = static_cast<float>(std::pow(kSemitoneRatio, static_cast<double>(bend)));
    for (int32_t v = 0; v <= bank_.maxVoiceIndex; ++v) updatePitch(v);
}

void Engine::allVoicesOff() {
    for (int32_t v = 0; v <= bank_.maxVoiceIndex; ++v) bank_.voice[v].env.stage = kStageOff;
}

// ---------------------------------------------------------------------------
// Rendering
//
// The speed limit of a voice is its filter: each frame waits for the last
// frame's states. The two voices are independent, so one frame loop renders
// both and their chains overlap; everything else a frame does sits beside
// those chains. Voice state lives in locals (registers) for the block and is
// written back at its end; nothing in the loop allocates, locks or calls out.

namespace {

// A voice while a block renders.
struct Lane {
    float phase;
    float increment;
    float gain;
    float cutoffScale;
    int32_t delay;
    EnvelopeState env;
    FilterState filter;
};

Lane laneOf(const Voice& v) {
    return {v.phase, v.increment, v.gain, v.cutoffScale, v.delay, v.env, v.filter};
}

void storeLane(const Lane& l, Voice& v) {
    v.phase = l.phase;
    v.delay = l.delay;
    v.env = l.env;
    v.filter = l.filter;
}

// Stage lengths, read live when a stage asks for them.
struct LiveTimes {
    const EngineQuantities& q;
    int32_t attackFrames() const { return q.attackSamples.load(relaxed); }
    int32_t decayFrames() const { return q.decaySamples.load(relaxed); }
    int32_t releaseFrames() const { return q.releaseSamples.load(relaxed); }
};

[[gnu::cold, gnu::noinline]] float glideOutOfRange(double next, float target) {
    return saturateGlide(next, target);
}

// One step of the shared glide towards `target`.
[[gnu::always_inline]] inline float glideStep(float glide, float target, float drag) {
    const double g = glide;
    const double next = g + (static_cast<double>(target) - g) * static_cast<double>(drag);
    if (!(std::fabs(next) <= static_cast<double>(FLT_MAX))) [[unlikely]]
        return glideOutOfRange(next, target);
    return static_cast<float>(next);
}

}  // namespace

struct Engine::Frame {
    static FrameParams read(const Engine& e) {
        const EngineQuantities& q = e.q_;
        const float switchPoint = loadRelaxed(q.switchPoint);
        return {loadRelaxed(q.sustainLevel),
                loadRelaxedWide(e.current_[kParamEnv]),
                loadRelaxedWide(q.cutoffCoef),
                loadRelaxedWide(q.damping),
                q.filterType.load(relaxed),
                q.wave1Table.load(relaxed),
                q.wave2Table.load(relaxed),
                switchPoint,
                static_cast<double>(switchPoint),
                loadRelaxedWide(q.wave1Stretch),
                loadRelaxedWide(q.wave2Stretch)};
    }

    // One sample of a sounding voice (stage above off, no delay left).
    [[gnu::always_inline]] static float voiceSample(Lane& v, const FrameParams& p, const EngineQuantities& q,
                                                    float glide) {
        const float phaseNarrow = v.phase;
        const double phase = phaseNarrow;
        const int32_t ip = roundToInt(phase);
        // t < 8192, so the comparison is exact in float.
        const int32_t t = ip & kPhasePositionMask;
        int32_t raw;
        if (static_cast<float>(t) < p.switchPoint) {
            const int32_t k = roundToInt(phase / p.wave1Stretch) & kCycleMask;
            raw = p.wave1[k];
        } else {
            const int32_t k = roundToInt((phase - p.switchPointWide) / p.wave2Stretch) & kCycleMask;
            raw = p.wave2[kCycleLength + k];
        }

        // A released note keeps its own pitch; the held one plays the glide.
        const float increment = v.env.stage == kStageRelease ? v.increment : glide;
        if ((ip & kPhaseWrapBit) == 0) [[likely]] {
            // phase + increment in double, rounded to float, is the float sum.
            v.phase = phaseNarrow + increment;
        } else {
            v.phase = static_cast<float>(phase + static_cast<double>(increment) - static_cast<double>(kPhaseWrapBit));
        }

        const float level = envelopeStep(v.env, LiveTimes{q}, p.sustain);
        releaseCountdownStep(v.env);
        const float f = cutoffFor(level, p.envAmount, p.cutoffCoef, v.cutoffScale);
        const int32_t y = filterSample(v.filter, raw, f, p.damping, p.filterType);
        return static_cast<float>(static_cast<double>(y) * static_cast<double>(level) * static_cast<double>(v.gain));
    }
};

// Both voices off: only the glide moves. Once a step leaves it unchanged, it
// stays put for as long as the drag coefficient does, so a frame then costs
// one read of that coefficient and a compare.
template <bool kReplace>
void Engine::renderQuiet(float* left, float* right, int32_t frames) {
    if (kReplace) {
        std::memset(left, 0, sizeof(float) * static_cast<size_t>(frames));
        std::memset(right, 0, sizeof(float) * static_cast<size_t>(frames));
    }
    const int32_t u = bank_.nextVoice;
    const Voice& newest = bank_.voice[u];
    const float target = newest.delay == 0 ? newest.increment : bank_.voice[u == 0 ? 1 : u - 1].increment;
    constexpr uint64_t kNotSettled = uint64_t{1} << 32;  // no coefficient has these bits
    uint64_t settledFor = kNotSettled;
    float g = bank_.glideIncrement;
    for (int32_t n = 0; n < frames; ++n) {
        const float drag = loadRelaxed(q_.dragCoef);
        const uint32_t dragBits = std::bit_cast<uint32_t>(drag);
        if (dragBits == settledFor) continue;
        const float next = glideStep(g, target, drag);
        settledFor = std::bit_cast<uint32_t>(next) == std::bit_cast<uint32_t>(g) ? dragBits : kNotSettled;
        g = next;
    }
    bank_.glideIncrement = g;
}

template <Engine::Output kMode>
void Engine::renderFrames(float* left, float* right, int32_t frames) {
    constexpr bool kReplace = kMode == Output::kReplace;
    constexpr bool kOneBuffer = kMode == Output::kAddOneBuffer;
    Voice& voice0 = bank_.voice[0];
    Voice& voice1 = bank_.voice[1];
    // The glide heads for the newest note once it sounds; while that note
    // still waits out its delay, for the one before it. Only two voices
    // play, so the newest is 0 or 1 and the one before it is the other.
    const bool newestIsFirst = bank_.nextVoice == 0;
    const float newestIncrement = bank_.voice[newestIsFirst ? 0 : 1].increment;
    const float otherIncrement = bank_.voice[newestIsFirst ? 1 : 0].increment;

    Lane v0 = laneOf(voice0), v1 = laneOf(voice1);
    float glide = bank_.glideIncrement;
    for (int32_t n = 0; n < frames; ++n) {
        const FrameParams p = Frame::read(*this);
        const float drag = loadRelaxed(q_.dragCoef);
        const int32_t newestDelay = newestIsFirst ? v0.delay : v1.delay;
        glide = glideStep(glide, newestDelay == 0 ? newestIncrement : otherIncrement, drag);

        // Sums of two floats taken in double and rounded to float equal the
        // float sum (double has more than twice float's precision), so the
        // outputs add in float. Each voice adds to the left cell, then the
        // right one; with one buffer for both, that is twice to the same cell.
        float out0 = kReplace ? 0.0f : left[n];
        float out1 = kReplace || kOneBuffer ? 0.0f : right[n];
        if (v0.env.stage > kStageOff) {
            if (v0.delay > 0) {
                --v0.delay;
            } else {
                const float s = Frame::voiceSample(v0, p, q_, glide);
                out0 += s;
                if (kOneBuffer) out0 += s;
                if (kMode == Output::kAdd) out1 += s;
            }
        }
        if (v1.env.stage > kStageOff) {
            if (v1.delay > 0) {
                --v1.delay;
            } else {
                const float s = Frame::voiceSample(v1, p, q_, glide);
                out0 += s;
                if (kOneBuffer) out0 += s;
                if (kMode == Output::kAdd) out1 += s;
            }
        }
        left[n] = out0;
        if (!kOneBuffer) right[n] = kReplace ? out0 : out1;
    }
    storeLane(v0, voice0);
    storeLane(v1, voice1);
    bank_.glideIncrement = glide;
}

bool Engine::quiet() const { return bank_.voice[0].env.stage <= kStageOff && bank_.voice[1].env.stage <= kStageOff; }

void Engine::render(float* left, float* right, int32_t frames) {
    if (frames <= 0) return;
    if (quiet())
        renderQuiet<false>(left, right, frames);
    else if (left == right)
        renderFrames<Output::kAddOneBuffer>(left, right, frames);
    else
        renderFrames<Output::kAdd>(left, right, frames);
}

void Engine::renderReplacing(float* left, float* right, int32_t frames) {
    if (frames <= 0) return;
    if (quiet()) {
        renderQuiet<true>(left, right, frames);
    } else if (left == right) {
        std::memset(left, 0, sizeof(float) * static_cast<size_t>(frames));
        renderFrames<Output::kAddOneBuffer>(left, right, frames);
    } else {
        renderFrames<Output::kReplace>(left, right, frames);
    }
}

}  // namespace orvo
