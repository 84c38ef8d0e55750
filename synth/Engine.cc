#include "Engine.h"

#include <cfloat>
#include <cmath>

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

// The sustain level as the envelope uses it. A value outside 0..1 stays
// stored as the host sent it, but the level it drives is held to 0..1 (NaN
// counts as 0), so the envelope never scales a voice past full level and the
// output stays bounded whatever the host sends.
float sustainLevel(float s) {
    if (!(s >= 0.0f)) return 0.0f;
    return s <= 1.0f ? s : 1.0f;
}

bool isHeld(const EnvelopeState& e) {
    return e.stage == kStageAttack || e.stage == kStageDecay || e.stage == kStageSustain;
}

}  // namespace

// Read once at the start of each frame; the voices of one frame share them.
struct Engine::FrameParams {
    EnvelopeTimes times;
    float sustain;
    float envAmount;
    float cutoffCoef;
    float damping;
    int32_t filterType;
    const int32_t* wave1;
    const int32_t* wave2;
    float switchPoint;
    float wave1Stretch;
    float wave2Stretch;
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

void Engine::render(float* left, float* right, int32_t frames) {
    for (int32_t n = 0; n < frames; ++n) {
        FrameParams p;
        p.times = {q_.attackSamples.load(relaxed), q_.decaySamples.load(relaxed), q_.releaseSamples.load(relaxed)};
        p.sustain = sustainLevel(current_[kParamSustain].load(relaxed));
        p.envAmount = current_[kParamEnv].load(relaxed);
        p.cutoffCoef = q_.cutoffCoef.load(relaxed);
        p.damping = q_.damping.load(relaxed);
        p.filterType = q_.filterType.load(relaxed);
        p.wave1 = q_.wave1Table.load(relaxed);
        p.wave2 = q_.wave2Table.load(relaxed);
        p.switchPoint = q_.switchPoint.load(relaxed);
        p.wave1Stretch = q_.wave1Stretch.load(relaxed);
        p.wave2Stretch = q_.wave2Stretch.load(relaxed);
        const float drag = q_.dragCoef.load(relaxed);

        // The glide heads for the newest note once it sounds; while that
        // note still waits out its delay, for the one before it.
        const int32_t u = bank_.nextVoice;
        const Voice& newest = bank_.voice[u];
        const float target = newest.delay == 0 ? newest.increment : bank_.voice[u == 0 ? 1 : u - 1].increment;
        const double g = bank_.glideIncrement;
        bank_.glideIncrement = saturateGlide(g + (static_cast<double>(target) - g) * static_cast<double>(drag), target);

        for (int32_t v = 0; v <= bank_.maxVoiceIndex; ++v) {
            Voice& voice = bank_.voice[v];
            if (voice.env.stage <= kStageOff) continue;
            if (voice.delay > 0) {
                --voice.delay;
                continue;
            }
            renderVoice(voice, p, left[n], right[n]);
        }
    }
}

void Engine::renderVoice(Voice& voice, const FrameParams& p, float& out0, float& out1) {
    const double phase = voice.phase;
    const int32_t ip = roundToInt(phase);
    const int32_t t = ip & kPhasePositionMask;
    int32_t raw;
    if (static_cast<double>(t) < static_cast<double>(p.switchPoint)) {
        const int32_t k = roundToInt(phase / static_cast<double>(p.wave1Stretch)) & kCycleMask;
        raw = p.wave1[k];
    } else {
        const int32_t k =
            roundToInt((phase - static_cast<double>(p.switchPoint)) / static_cast<double>(p.wave2Stretch)) &
            kCycleMask;
        raw = p.wave2[kCycleLength + k];
    }

    // A released note keeps its own pitch; the held one plays the glide.
    const float increment = voice.env.stage == kStageRelease ? voice.increment : bank_.glideIncrement;
    voice.phase = static_cast<float>(phase + static_cast<double>(increment) - static_cast<double>(ip & kPhaseWrapBit));

    const float level = envelopeStep(voice.env, p.times, p.sustain);
    releaseCountdownStep(voice.env);
    const float f = cutoffFor(level, p.envAmount, p.cutoffCoef, voice.cutoffScale);
    const int32_t y = filterSample(voice.filter, raw, f, p.damping, p.filterType);

    const float s = static_cast<float>(static_cast<double>(y) * static_cast<double>(level) *
                                       static_cast<double>(voice.gain));
    out0 = static_cast<float>(static_cast<double>(out0) + s);
    out1 = static_cast<float>(static_cast<double>(out1) + s);
}

}  // namespace orvo
