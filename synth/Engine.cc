#include "Engine.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <emmintrin.h>

#include "FilterPair.h"
#include "StageClockPair.h"
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

constexpr double kCutoffScaleDivisor = 32768.0;
constexpr double kBendStep = 1.0 / 64.0;  // semitones per coarse bend step

// A rate the engine can work with: finite, positive, and large enough that
// the pitch step fits a float. Below that (denormal rates and the smallest
// normal ones) the stage lengths would round to nothing as well, so such a
// rate is refused everywhere alike.
bool usableRate(float rate) {
    return std::isfinite(rate) && rate > 0.0f && kTableStepScale / static_cast<double>(rate) <= FLT_MAX;
}

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

// The engine-wide values both voices use, read once per frame so a change
// from another thread is heard from the next frame and the two voices of
// one frame agree on it; widened once here rather than per voice. The front
// group serves the oscillator, glide and envelope, the back group the
// cut-off and filter. Stage lengths are read where a stage uses them
// (LiveTimes).
struct Engine::FrontParams {
    float sustain;
    float drag;
    double switchPoint;
    int32_t wave2Start;
    double wave1Stretch;
    double wave2Stretch;
    const int32_t* wave1;
    const int32_t* wave2;
};

struct Engine::BackParams {
    double envAmount;
    double cutoffCoef;
    double damping;
    int32_t filterType;
};

Engine::Engine() {
    for (int32_t i = 0; i < kNumParams; ++i) current_[i].store(kParams[i].defaultValue, relaxed);
    reset();
}

void Engine::reset() {
    bank_ = VoiceBank{};
    quiet_ = QuietState{};
    conversionRate_.store(kDefaultSampleRate, relaxed);
    tableStep_.store(static_cast<float>(kTableStepScale / static_cast<double>(kDefaultSampleRate)), relaxed);
    for (int32_t i = 0; i < kNumParams; ++i) applyParameter(q_, i, current_[i].load(relaxed), kDefaultSampleRate);
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
    tableStep_.store(static_cast<float>(kTableStepScale / static_cast<double>(rate)), relaxed);
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
//
// When both voices sound, their filter steps run side by side in the two
// lanes of SSE2 registers (FilterPair.h); a voice sounding alone uses one
// lane. A frame outside the range where that is exact, and a frame in which
// a voice is still waiting to start, takes the scalar step with its
// saturating arithmetic.

namespace {

// A voice's scalar state while a block renders.
struct Lane {
    float phase;
    float increment;
    int32_t delay;
    EnvelopeState env;
};

constexpr PairConstant kMaxCutoffPair{{kMaxCutoff, kMaxCutoff}};
constexpr PairConstant kEnvBasePair{{1.1, 1.1}};

inline Pair withLane(Pair v, int i, double x) {
    return i == 0 ? _mm_move_sd(v, _mm_set_sd(x)) : _mm_unpacklo_pd(v, _mm_set_sd(x));
}

// The states are exact integers in int32 range, so truncation is exact.
FilterState filterOf(const FilterPair& fp, int i) {
    const auto get = [i](Pair v) { return _mm_cvttsd_si32(i == 0 ? v : _mm_unpackhi_pd(v, v)); };
    return {get(fp.band), get(fp.low), get(fp.third)};
}

void setFilter(FilterPair& fp, int i, const FilterState& s) {
    fp.band = withLane(fp.band, i, s.band);
    fp.low = withLane(fp.low, i, s.low);
    fp.third = withLane(fp.third, i, s.third);
}

FilterPair filterPairOf(const FilterState& s0, const FilterState& s1) {
    return {_mm_set_pd(s1.band, s0.band), _mm_set_pd(s1.low, s0.low), _mm_set_pd(s1.third, s0.third)};
}

// The glide heads for the voice that got the latest note once it sounds;
// while that note still waits out its delay, for the one before it. V is a
// Voice or a Lane.
template <typename V>
float glideTargetOf(const V& newest, const V& other) {
    return newest.delay == 0 ? newest.increment : other.increment;
}

// Only two voices play, so the newest is 0 or 1 and the one before it is
// the other.
float glideTargetOf(const VoiceBank& bank) {
    const int newest = bank.nextVoice == 0 ? 0 : 1;
    return glideTargetOf(bank.voice[newest], bank.voice[1 - newest]);
}

// Stage lengths, read live when a stage asks for them.
struct LiveTimes {
    const EngineQuantities& q;
    int32_t attackFrames() const { return ORVO_LOAD_FIELD(q, attackSamples); }
    int32_t decayFrames() const { return ORVO_LOAD_FIELD(q, decaySamples); }
    int32_t releaseFrames() const { return ORVO_LOAD_FIELD(q, releaseSamples); }
    // All three, read once, for planning a run.
    EnvelopeTimes planned() const { return {attackFrames(), decayFrames(), releaseFrames()}; }
};

[[gnu::cold, gnu::noinline]] float glideOutOfRange(double next, float target) {
    return saturateGlide(next, target);
}

// |x| in an SSE register: GCC's 32-bit code takes std::fabs through the x87
// stack and memory, which would sit on the glide's chain every frame.
[[gnu::always_inline]] inline double magnitude(double x) {
    return _mm_cvtsd_f64(_mm_and_pd(_mm_set_sd(x), kAbsMaskPair));
}

// The shared glide's next value, in double, before it is stored as a float.
[[gnu::always_inline]] inline double glideNext(float glide, float target, float drag) {
    const double g = glide;
    return g + (static_cast<double>(target) - g) * static_cast<double>(drag);
}

// One step of the shared glide towards `target`.
[[gnu::always_inline]] inline float glideStep(float glide, float target, float drag) {
    const double next = glideNext(glide, target, drag);
    if (!(magnitude(next) <= static_cast<double>(FLT_MAX))) [[unlikely]]
        return glideOutOfRange(next, target);
    return static_cast<float>(next);
}

// The unchecked glide step below is safe for runs of frames that start with
// glide and target within an eighth of FLT_MAX and last at most
// kLongestCalmRun frames.
inline constexpr float kCalmGlide = FLT_MAX / 8;
inline constexpr int32_t kLongestCalmRun = 65536;
inline constexpr uint32_t kDragBitsTwo = 0x40000000;  // 2.0f

bool calmGlide(float x) { return magnitude(x) <= static_cast<double>(kCalmGlide); }

// Whether a voice (Voice or Lane) can render in a stage run at the stage
// lengths `times` gives: it sounds without waiting, in a stage a run is
// made for, with no release pending and at least one frame before the stage
// ends.
template <typename V, typename Times>
[[gnu::always_inline]] inline bool stageRunnable(const V& v, const Times& times) {
    return v.delay == 0 && v.env.stage >= kStageAttack && v.env.stage <= kStageRelease &&
           (v.env.stage != kStageRelease || v.env.releaseCountdown < 0) && stageFramesLeft(v.env, times) > 0;
}

// The stage run the voices can go on in: 2 for both, 1 for one sounding
// alone (`solo` says which), 0 for none. Glide and target must be small
// enough for calmGlideStep.
template <typename V, typename Times>
[[gnu::always_inline]] inline int runnableVoices(const V& v0, const V& v1, float glide, float target,
                                                 const Times& times, int32_t& solo) {
    if (!calmGlide(glide) || !calmGlide(target)) return 0;
    const bool off0 = v0.env.stage <= kStageOff, off1 = v1.env.stage <= kStageOff;
    if (!off0 && !off1) return stageRunnable(v0, times) && stageRunnable(v1, times) ? 2 : 0;
    if (off0 == off1) return 0;
    solo = off1 ? 0 : 1;
    return stageRunnable(off1 ? v0 : v1, times) ? 1 : 0;
}

// Whether runnableVoices' answer has a stage run in output mode kMode: a
// host that passes one buffer for both channels gets the runs of a lone
// voice only, rare enough not to be worth sixteen more loops.
template <Engine::Output kMode>
constexpr bool hasStageRun(int voices) {
    return voices == 1 || (voices == 2 && kMode != Engine::Output::kAddOneBuffer);
}

// glideStep in such a run. A drag coefficient from +0 to 2 leaves the glide
// no further from the target than it was, give or take one float rounding
// (2^-24 of FLT_MAX at most) a frame, so the glide stays below half of
// FLT_MAX and the step needs no range check. Another coefficient (or NaN)
// takes the checked step and sets `leave`: the run must end with this frame.
// The coefficient's bits and value come from one load.
[[gnu::always_inline]] inline float calmGlideStep(float glide, float target, float drag, bool& leave) {
    if (std::bit_cast<uint32_t>(drag) > kDragBitsTwo) [[unlikely]] {
        leave = true;
        return glideStep(glide, target, drag);
    }
    return static_cast<float>(glideNext(glide, target, drag));
}

}  // namespace

struct Engine::Frame {
    template <bool kSustain = true>
    static FrontParams front(const EngineQuantities& q) {
        const FrontFloats f = loadFrontFloats<kSustain>(q);
        return {f.sustain, f.drag, f.switchPoint, ORVO_LOAD_FIELD(q, wave2Start), f.wave1Stretch, f.wave2Stretch,
                ORVO_LOAD_FIELD(q, wave1Table),
                ORVO_LOAD_FIELD(q, wave2Table)};
    }

    static BackParams back(const EngineQuantities& q) {
        const BackFloats f = loadBackFloats(q);
        return {f.envAmount, f.cutoffCoef, f.damping, ORVO_LOAD_FIELD(q, filterType)};
    }

    // A sounding voice's oscillator: the raw table value at the phase, then
    // the phase advanced by `increment`.
    [[gnu::always_inline]] static int32_t oscillate(float& phaseRef, const FrontParams& p, float increment) {
        const float phaseNarrow = phaseRef;
        const double phase = phaseNarrow;
        const int32_t ip = roundToInt(phase);
        const int32_t t = ip & kPhasePositionMask;
        int32_t raw;
        if (t < p.wave2Start) {  // t < switchPoint
            const int32_t k = roundToInt(phase / p.wave1Stretch) & kCycleMask;
            raw = p.wave1[k];
        } else {
            const int32_t k = roundToInt((phase - p.switchPoint) / p.wave2Stretch) & kCycleMask;
            raw = p.wave2[kCycleLength + k];
        }
        if ((ip & kPhaseWrapBit) == 0) [[likely]] {
            // phase + increment in double, rounded to float, is the float sum.
            phaseRef = phaseNarrow + increment;
        } else {
            phaseRef = static_cast<float>(phase + static_cast<double>(increment) - static_cast<double>(kPhaseWrapBit));
        }
        return raw;
    }

    // The first half of a sounding voice's frame: oscillator read, phase
    // advance, envelope and release countdown. Gives the raw table value and
    // sets `level`. A released note keeps its own pitch; the held one plays
    // the glide.
    [[gnu::always_inline]] static int32_t voiceFront(Lane& v, const FrontParams& p, const EngineQuantities& q,
                                                     float glide, float& level) {
        const int32_t raw = oscillate(v.phase, p, v.env.stage == kStageRelease ? v.increment : glide);
        level = envelopeStep(v.env, LiveTimes{q}, p.sustain);
        releaseCountdownStep(v.env);
        return raw;
    }

    // The second half for one voice, with the saturating scalar filter.
    [[gnu::always_inline]] static float voiceBack(FilterPair& fp, int i, int32_t raw, float level, float f,
                                                  float gain, const BackParams& p) {
        FilterState s = filterOf(fp, i);
        const int32_t y = filterSample(s, raw, f, p.damping, p.filterType);
        setFilter(fp, i, s);
        return static_cast<float>(static_cast<double>(y) * static_cast<double>(level) * static_cast<double>(gain));
    }
};

// Both channels, eight frames a pass. Kept from turning into memset (the
// empty asm), whose string instruction for large blocks instruction
// counters count once per element, which would hide the real cost of a
// quiet block.
static void clearFrames(float* left, float* right, int32_t frames) {
    const __m128 zero = _mm_setzero_ps();
    int32_t i = 0;
    for (; i + 8 <= frames; i += 8) {
        _mm_storeu_ps(left + i, zero);
        _mm_storeu_ps(left + i + 4, zero);
        _mm_storeu_ps(right + i, zero);
        _mm_storeu_ps(right + i + 4, zero);
        asm("" ::: "memory");
    }
    for (; i < frames; ++i) {
        left[i] = 0.0f;
        right[i] = 0.0f;
        asm("" ::: "memory");
    }
}

// Both voices off: only the glide moves. Once a step leaves it unchanged, it
// stays put for as long as the drag coefficient keeps its bits, so such a
// frame costs one read of the coefficient and a compare. What settled the
// glide is kept across blocks while glide and target stay the same.
template <bool kReplace>
[[gnu::noinline]] void Engine::renderQuiet(float* left, float* right, int32_t frames) {
    if (kReplace) clearFrames(left, right, frames);
    const float target = glideTargetOf(bank_);
    float g = bank_.glideIncrement;
    bool settled = quiet_.settled && std::bit_cast<uint32_t>(g) == quiet_.glideBits &&
                   std::bit_cast<uint32_t>(target) == quiet_.targetBits;
    uint32_t settledBits = quiet_.dragBits;
    int32_t n = 0;
    while (n < frames) {
        if (settled) {
            for (; n + 4 <= frames; n += 4) {
                if (loadDragBits(q_) != settledBits || loadDragBits(q_) != settledBits ||
                    loadDragBits(q_) != settledBits || loadDragBits(q_) != settledBits)
                    break;
            }
            while (n < frames && loadDragBits(q_) == settledBits) ++n;
            if (n == frames) break;
        }
        // One step: this frame's read of the coefficient decides it.
        const uint32_t bits = loadDragBits(q_);
        const float next = glideStep(g, target, std::bit_cast<float>(bits));
        settled = std::bit_cast<uint32_t>(next) == std::bit_cast<uint32_t>(g);
        settledBits = bits;
        g = next;
        ++n;
    }
    bank_.glideIncrement = g;
    quiet_ = {settled, settledBits, std::bit_cast<uint32_t>(g), std::bit_cast<uint32_t>(target)};
}

// The voices while mixedFrames renders them, and what stays fixed meanwhile.
struct Engine::Block {
    Lane v0, v1;
    FilterPair fp;
    float glide;
    bool newestIsFirst;
    float gain0, gain1, scale0, scale1;

    float glideTarget() const { return newestIsFirst ? glideTargetOf(v0, v1) : glideTargetOf(v1, v0); }
};

// Each voice adds to the left cell, then the right one; with one buffer for
// both, that is twice to the same cell. Sums of two floats taken in double
// and rounded to float equal the float sum (double has more than twice
// float's precision), so the outputs add in float.
template <Engine::Output kMode>
[[gnu::always_inline]] inline void emit(float* left, float* right, int32_t n, bool sounds0, float s0, bool sounds1,
                                        float s1) {
    constexpr bool kReplace = kMode == Engine::Output::kReplace;
    constexpr bool kOneBuffer = kMode == Engine::Output::kAddOneBuffer;
    float out0 = kReplace ? 0.0f : left[n];
    float out1 = kReplace || kOneBuffer ? 0.0f : right[n];
    if (sounds0) {
        out0 += s0;
        if (kOneBuffer) out0 += s0;
        if (kMode == Engine::Output::kAdd) out1 += s0;
    }
    if (sounds1) {
        out0 += s1;
        if (kOneBuffer) out0 += s1;
        if (kMode == Engine::Output::kAdd) out1 += s1;
    }
    left[n] = out0;
    if (!kOneBuffer) right[n] = kReplace ? out0 : out1;
}

// Every sounding voice in a stage that is known for the run, so a frame has
// no stage to dispatch on: one loop per pair of stages for both voices, and
// one per stage (kStage1 kStageOff) for voice `solo` sounding alone while
// the other is silent, which no event can change inside the block. A lone
// voice runs in lane 0 of the paired filter step, with lane 1 at rest and
// fed zeros, so lane 1 stays zero and always in range.
//
// The run is planned for the stage lengths read before it (`planned`) and
// ends before the frame in which a voice would leave its stage at those
// lengths (mixedFrames takes that frame), after a frame that found another
// length or needed the checked glide step, and no later than the frame in
// which a pending release fires, so the countdowns are settled once at its
// end. Each frame reads the engine-wide values it uses, so a change is
// still heard from the next frame. Answers the next frame.
template <Engine::Output kMode, int32_t kStage0, int32_t kStage1>
[[gnu::noinline]] int32_t Engine::stageRun(float* left, float* right, int32_t n, int32_t frames,
                                           const EnvelopeTimes& planned, int32_t solo) {
    constexpr bool kSolo = kStage1 == kStageOff;
    // Straight from the voices, which stageRunFor found runnable: a block of
    // short runs pays for no more than it uses. In a solo run voice1 is the
    // silent one and is left alone.
    Voice& voice0 = bank_.voice[kSolo ? solo : 0];
    Voice& voice1 = bank_.voice[kSolo ? 1 - solo : 1];
    // No stage ends inside the run while its length stays as planned.
    int32_t stagesLeft =
        std::min(stageFramesLeft<kStage0>(voice0.env, planned), std::min(frames - n, kLongestCalmRun));
    if constexpr (!kSolo) stagesLeft = std::min(stagesLeft, stageFramesLeft<kStage1>(voice1.env, planned));
    int32_t limit = framesBeforeRelease(voice0.env, stagesLeft);
    if constexpr (!kSolo) limit = framesBeforeRelease(voice1.env, limit);
    Lane v0{voice0.phase, voice0.increment, 0, voice0.env}, v1{};
    if constexpr (!kSolo) v1 = {voice1.phase, voice1.increment, 0, voice1.env};
    float glide = bank_.glideIncrement;
    const float target = glideTargetOf(bank_);
    FilterPair fp = filterPairOf(voice0.filter, kSolo ? FilterState{} : voice1.filter);
    const float gain1 = kSolo ? 0.0f : voice1.gain, scale1 = kSolo ? 0.0f : voice1.cutoffScale;
    const Pair gains = _mm_set_pd(gain1, voice0.gain);
    const Pair scales = _mm_set_pd(scale1, voice0.cutoffScale);

    StageClock clock0 = planStage<kStage0>(v0.env, planned), clock1{};
    if constexpr (!kSolo) clock1 = planStage<kStage1>(v1.env, planned);
    // Two voices in timed stages divide once for both.
    constexpr bool kPairedClocks = !kSolo && kStage0 != kStageSustain && kStage1 != kStageSustain;
    StageClockPair clocks{};
    if constexpr (kPairedClocks) clocks = pairClocks(v0.env, v1.env, clock0, clock1);
    // Only decay and sustain read the sustain level.
    constexpr bool kUsesSustain = kStage0 == kStageDecay || kStage0 == kStageSustain || kStage1 == kStageDecay ||
                                  kStage1 == kStageSustain;

    // The first half of a frame: glide, oscillators and envelopes. Sets
    // `ended` when a voice found a stage length other than planned (and took
    // the single step with it) or the glide needed the checked step.
    // Paired clocks give the levels in lanes 0 and 1 of `levels`; the other
    // runs keep them as two floats until the cut-off, which measured faster.
    struct Front {
        int32_t raw0, raw1;
        float level0Float, level1Float;
        __m128 levels;
        float level0() const { return kPairedClocks ? _mm_cvtss_f32(levels) : level0Float; }
        float level1() const {
            return kPairedClocks ? _mm_cvtss_f32(_mm_shuffle_ps(levels, levels, 1)) : level1Float;
        }
        Pair widenedLevels() const {
            return _mm_cvtps_pd(kPairedClocks ? levels
                                              : _mm_unpacklo_ps(_mm_set_ss(level0Float), _mm_set_ss(level1Float)));
        }
    };
    const auto front = [&](bool& ended) __attribute__((always_inline)) {
        const FrontParams p = Frame::front<kUsesSustain>(q_);
        Front o;
        glide = calmGlideStep(glide, target, p.drag, ended);
        o.raw0 = Frame::oscillate(v0.phase, p, kStage0 == kStageRelease ? v0.increment : glide);
        if constexpr (kSolo) {
            o.level0Float = runStageStep<kStage0>(v0.env, clock0, LiveTimes{q_}, p.sustain, ended);
            o.level1Float = 0.0f;
            o.raw1 = 0;
        } else {
            o.raw1 = Frame::oscillate(v1.phase, p, kStage1 == kStageRelease ? v1.increment : glide);
            if constexpr (kPairedClocks) {
                o.levels = runStagePairStep<kStage0, kStage1>(v0.env, v1.env, clock0, clock1, clocks, LiveTimes{q_},
                                                              p.sustain, ended);
            } else {
                o.level0Float = runStageStep<kStage0>(v0.env, clock0, LiveTimes{q_}, p.sustain, ended);
                o.level1Float = runStageStep<kStage1>(v1.env, clock1, LiveTimes{q_}, p.sustain, ended);
            }
        }
        return o;
    };
    // The second half: cut-off, filter and output of frame `i`. `small`
    // carries over to the next frame that the states were below the
    // two-step bound before an exact step (FilterPair.h), so that frame need
    // check only its coefficients; kChecksStates makes every frame check.
    const auto back = [&]<bool kChecksStates>(const Front& o, int32_t i, bool& small)
                          __attribute__((always_inline)) {
        const BackParams p = Frame::back(q_);
        const Pair level = o.widenedLevels();
        __m128 f;
        if constexpr (kSolo) {
            // Lane 1 at rest: a cut-off of 0, whatever the parameters.
            f = _mm_set_ss(cutoffFor(o.level0(), p.envAmount, p.cutoffCoef, voice0.cutoffScale));
        } else {
            // cutoffFor for both voices: see Filter.h. minpd answers its
            // second operand for NaN, as the comparison there does.
            const Pair env = _mm_set1_pd(p.envAmount);
            const Pair opened = _mm_sub_pd(_mm_add_pd(_mm_mul_pd(level, env), kEnvBasePair), env);
            const Pair product = _mm_mul_pd(_mm_mul_pd(opened, _mm_set1_pd(p.cutoffCoef)), scales);
            f = _mm_cvtpd_ps(_mm_min_pd(kMaxCutoffPair, product));
        }
        const Pair damping = _mm_set1_pd(p.damping);
        const Pair fd = _mm_cvtps_pd(f);
        float s0, s1;
        const Pair coefficients = coefficientsInRange(fd, damping);
        bool exact;
        if (!kChecksStates && small) {
            exact = bothLanes(coefficients);
            small = false;
        } else {
            const Pair largest = largestState(fp);
            small = bothLanes(_mm_and_pd(_mm_cmplt_pd(largest, kTwoStepStateBoundPair), coefficients));
            exact = small || bothLanes(_mm_and_pd(_mm_cmplt_pd(largest, kStateBoundPair), coefficients));
        }
        if (exact) [[likely]] {
            const Pair x = _mm_cvtepi32_pd(_mm_unpacklo_epi32(_mm_cvtsi32_si128(o.raw0), _mm_cvtsi32_si128(o.raw1)));
            const Pair y = filterPairStep(fp, x, fd, damping, p.filterType);
            const __m128 samples = _mm_cvtpd_ps(_mm_mul_pd(_mm_mul_pd(y, level), gains));
            s0 = _mm_cvtss_f32(samples);
            s1 = _mm_cvtss_f32(_mm_shuffle_ps(samples, samples, 1));
        } else {
            s0 = Frame::voiceBack(fp, 0, o.raw0, o.level0(), _mm_cvtss_f32(f), voice0.gain, p);
            if constexpr (!kSolo)
                s1 = Frame::voiceBack(fp, 1, o.raw1, o.level1(), _mm_cvtss_f32(_mm_shuffle_ps(f, f, 1)), voice1.gain, p);
        }
        emit<kMode>(left, right, n + i, true, s0, !kSolo, s1);
    };

    // The next frame's first half is taken before this frame's second half,
    // so that the envelope and oscillator work of one frame overlaps the
    // filter chain of the one before. Frames still run in order: each half
    // of a frame reads its engine-wide values when it runs.
    // Two frames a pass, so that no first half is copied from one pass to
    // the next.
    // Frames from `a` check the filter states, those from `b` only when the
    // frame before left them unproven.
    int32_t i = 0;
    bool ended = false;  // set by the latest first half
    bool small = false;
    Front a = front(ended);
    for (;;) {
        if (ended || i + 1 >= limit) {
            back.template operator()<true>(a, i++, small);
            break;
        }
        const Front b = front(ended);
        back.template operator()<true>(a, i++, small);
        if (ended || i + 1 >= limit) {
            back.template operator()<false>(b, i++, small);
            break;
        }
        a = front(ended);
        back.template operator()<false>(b, i++, small);
    }
    if constexpr (kPairedClocks) unpairClocks(clocks, clock0, clock1);
    finishStage<kStage0>(v0.env, clock0);
    releaseCountdownRun(v0.env, i);
    voice0.phase = v0.phase;
    voice0.env = v0.env;
    voice0.filter = filterOf(fp, 0);
    if constexpr (!kSolo) {
        finishStage<kStage1>(v1.env, clock1);
        releaseCountdownRun(v1.env, i);
        voice1.phase = v1.phase;
        voice1.env = v1.env;
        voice1.filter = filterOf(fp, 1);
    }
    bank_.glideIncrement = glide;
    return n + i;
}

// The stage run for the voices' stages, or null when there is none
// (hasStageRun); sets `solo` for a run of one voice.
template <Engine::Output kMode>
Engine::StageRunFn Engine::stageRunFor(const EnvelopeTimes& planned, int32_t& solo) const {
    constexpr int32_t A = kStageAttack, D = kStageDecay, S = kStageSustain, R = kStageRelease;
    static constexpr StageRunFn solos[kStageRelease] = {
        &Engine::stageRun<kMode, A, kStageOff>, &Engine::stageRun<kMode, D, kStageOff>,
        &Engine::stageRun<kMode, S, kStageOff>, &Engine::stageRun<kMode, R, kStageOff>};
    const Voice& voice0 = bank_.voice[0];
    const Voice& voice1 = bank_.voice[1];
    const int voices = runnableVoices(voice0, voice1, bank_.glideIncrement, glideTargetOf(bank_), planned, solo);
    if (!hasStageRun<kMode>(voices)) return nullptr;
    if (voices == 1) return solos[bank_.voice[solo].env.stage - 1];
    if constexpr (kMode == Output::kAddOneBuffer) {
        return nullptr;  // not reached (hasStageRun); keeps the pair loops out of this mode
    } else {
        using PairTable = StageRunFn[kStageRelease][kStageRelease];
        static constexpr PairTable pairs = {
            {&Engine::stageRun<kMode, A, A>, &Engine::stageRun<kMode, A, D>, &Engine::stageRun<kMode, A, S>,
             &Engine::stageRun<kMode, A, R>},
            {&Engine::stageRun<kMode, D, A>, &Engine::stageRun<kMode, D, D>, &Engine::stageRun<kMode, D, S>,
             &Engine::stageRun<kMode, D, R>},
            {&Engine::stageRun<kMode, S, A>, &Engine::stageRun<kMode, S, D>, &Engine::stageRun<kMode, S, S>,
             &Engine::stageRun<kMode, S, R>},
            {&Engine::stageRun<kMode, R, A>, &Engine::stageRun<kMode, R, D>, &Engine::stageRun<kMode, R, S>,
             &Engine::stageRun<kMode, R, R>},
        };
        return pairs[voice0.env.stage - 1][voice1.env.stage - 1];
    }
}

// One frame, any mix of sounding, waiting and silent voices.
template <Engine::Output kMode>
[[gnu::noinline]] void Engine::oneFrame(Block& b, float* left, float* right, int32_t n) {
    const FrontParams front = Frame::front(q_);
    b.glide = glideStep(b.glide, b.glideTarget(), front.drag);
    bool sounds0 = false, sounds1 = false;
    if (b.v0.env.stage > kStageOff) {
        if (b.v0.delay > 0)
            --b.v0.delay;
        else
            sounds0 = true;
    }
    if (b.v1.env.stage > kStageOff) {
        if (b.v1.delay > 0)
            --b.v1.delay;
        else
            sounds1 = true;
    }
    float level0 = 0.0f, level1 = 0.0f, s0 = 0.0f, s1 = 0.0f;
    int32_t raw0 = 0, raw1 = 0;
    if (sounds0) raw0 = Frame::voiceFront(b.v0, front, q_, b.glide, level0);
    if (sounds1) raw1 = Frame::voiceFront(b.v1, front, q_, b.glide, level1);
    if (sounds0 || sounds1) {
        const BackParams back = Frame::back(q_);
        if (sounds0)
            s0 = Frame::voiceBack(b.fp, 0, raw0, level0, cutoffFor(level0, back.envAmount, back.cutoffCoef, b.scale0),
                                  b.gain0, back);
        if (sounds1)
            s1 = Frame::voiceBack(b.fp, 1, raw1, level1, cutoffFor(level1, back.envAmount, back.cutoffCoef, b.scale1),
                                  b.gain1, back);
    }
    emit<kMode>(left, right, n, sounds0, s0, sounds1, s1);
}

// Frames the stage runs are not made for: a voice waiting out its delay, a
// frame in which a stage ends, voices in states the runs leave out, and
// both voices sounding for a host that passes one buffer for both channels.
// Ends with the block or with the first frame from which a stage run can go
// on.
template <Engine::Output kMode>
int32_t Engine::mixedFrames(float* left, float* right, int32_t n, int32_t frames) {
    Voice& voice0 = bank_.voice[0];
    Voice& voice1 = bank_.voice[1];
    Block b{{voice0.phase, voice0.increment, voice0.delay, voice0.env},
            {voice1.phase, voice1.increment, voice1.delay, voice1.env},
            filterPairOf(voice0.filter, voice1.filter),
            bank_.glideIncrement,
            bank_.nextVoice == 0,
            voice0.gain,
            voice1.gain,
            voice0.cutoffScale,
            voice1.cutoffScale};
    const auto runCanGoOn = [&] {
        int32_t solo;
        return hasStageRun<kMode>(runnableVoices(b.v0, b.v1, b.glide, b.glideTarget(), LiveTimes{q_}, solo));
    };
    do {
        oneFrame<kMode>(b, left, right, n++);
    } while (n < frames && !runCanGoOn());
    voice0.phase = b.v0.phase;
    voice0.delay = b.v0.delay;
    voice0.env = b.v0.env;
    voice0.filter = filterOf(b.fp, 0);
    voice1.phase = b.v1.phase;
    voice1.delay = b.v1.delay;
    voice1.env = b.v1.env;
    voice1.filter = filterOf(b.fp, 1);
    bank_.glideIncrement = b.glide;
    return n;
}

template <Engine::Output kMode>
void Engine::renderFrames(float* left, float* right, int32_t frames) {
    int32_t n = 0;
    while (n < frames) {
        const EnvelopeTimes planned = LiveTimes{q_}.planned();
        int32_t solo = 0;
        const StageRunFn run = stageRunFor<kMode>(planned, solo);
        n = run ? (this->*run)(left, right, n, frames, planned, solo) : mixedFrames<kMode>(left, right, n, frames);
    }
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
        clearFrames(left, left, frames);
        renderFrames<Output::kAddOneBuffer>(left, right, frames);
    } else {
        renderFrames<Output::kReplace>(left, right, frames);
    }
}

}  // namespace orvo
