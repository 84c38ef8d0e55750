// The steps of a rendered frame that the general frame path (FramePath.cc)
// and the stage runs (StageRuns.cc) share, so that both give the same bits:
// the engine-wide values a frame reads, the shared glide, the oscillator,
// the two-lane second half of a frame and the way samples meet the output.
//
// The speed limit of a voice is its filter: each frame waits for the last
// frame's states. The two voices are independent, so their filter steps run
// side by side in two lanes (FilterPair.h, Lanes.h) and their chains overlap; a voice sounding alone uses one lane. A frame outside the
// range where that is exact takes the scalar step with its saturating
// arithmetic, out of line: a well-behaved voice never gets there.
#pragma once

#include <bit>
#include <cfloat>
#include <cstdint>

#include "Engine.h"
#include "FilterPair.h"
#include "Lanes.h"
#include "Quantities.h"
#include "Round.h"
#include "Tables.h"

namespace orvo::frame {

constexpr int32_t kPhaseWrapBit = kSwitchCycle;  // set in the rounded phase once a cycle is done
constexpr int32_t kPhasePositionMask = kSwitchCycle - 1;

// A voice's scalar state while frames render: kept in locals (registers)
// and written back when the path hands over.
struct Lane {
    float phase;
    float increment;
    int32_t delay;
    EnvelopeState env;
};

// The engine-wide values both voices use, taken once for a stretch of
// frames into locals, so a frame reads registers rather than memory that an
// output store might alias. The front group serves the oscillator, glide
// and envelope, the back group the cut-off and filter.
struct FrontParams {
    float sustain;
    float drag;
    double switchPoint;
    int32_t wave2Start;
    double wave1Stretch;
    double wave2Stretch;
    const int32_t* wave1;
    const int32_t* wave2;
};

struct BackParams {
    double envAmount;
    double cutoffCoef;
    double damping;
    int32_t filterType;
};

inline FrontParams frontOf(const Quantities& q) {
    return {q.sustainLevel, q.dragCoef,     q.switchPoint, q.wave2Start,
            q.wave1Stretch, q.wave2Stretch, q.wave1Table,  q.wave2Table};
}

inline BackParams backOf(const Quantities& q) { return {q.envAmount, q.cutoffCoef, q.damping, q.filterType}; }

inline EnvelopeTimes timesOf(const Quantities& q) { return {q.attackSamples, q.decaySamples, q.releaseSamples}; }

// --- filter states in the lanes ----------------------------------------------

// The states are exact integers in int32 range, so truncation is exact.
inline FilterState filterOf(const FilterPair& fp, int i) {
    const auto get = [i](Pair v) { return i == 0 ? wholeLane0(v) : wholeLane1(v); };
    return {get(fp.band), get(fp.low), get(fp.third)};
}

inline FilterPair filterPairOf(const FilterState& s0, const FilterState& s1) {
    return {pairOf(s0.band, s1.band), pairOf(s0.low, s1.low), pairOf(s0.third, s1.third)};
}

// --- the shared glide ----------------------------------------------------------

// The glide heads for the voice that got the latest note once it sounds;
// while that note still waits out its delay, for the one before it. V is a
// Voice or a Lane.
template <typename V>
float glideTargetOf(const V& newest, const V& other) {
    return newest.delay == 0 ? newest.increment : other.increment;
}

// Only two voices play, so the newest is 0 or 1 and the one before it is
// the other.
inline float glideTargetOf(const VoiceBank& bank) {
    const int newest = bank.nextVoice == 0 ? 0 : 1;
    return glideTargetOf(bank.voice[newest], bank.voice[1 - newest]);
}

// Stores the glide as a float without ever reaching infinity or NaN: a wild
// Drag value makes the glide overshoot and grow, and once it were infinite
// it could never come back.
[[gnu::cold, gnu::noinline]] inline float glideOutOfRange(double g, float target) {
    if (g != g) return target;
    if (g > FLT_MAX) return FLT_MAX;
    if (g < -FLT_MAX) return -FLT_MAX;
    return static_cast<float>(g);
}

// |x| through the lanes: GCC's 32-bit code takes std::fabs through the x87
// stack and memory, which would sit on the glide's chain every frame.
[[gnu::always_inline]] inline double magnitude(double x) { return lane0(orvo::magnitude(splat(x))); }

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

// The unchecked glide step of the stage runs is safe for runs of frames that
// start with glide and target within an eighth of FLT_MAX and last at most
// kLongestCalmRun frames.
inline constexpr float kCalmGlide = FLT_MAX / 8;
inline constexpr int32_t kLongestCalmRun = 65536;
inline constexpr uint32_t kDragBitsTwo = 0x40000000;  // 2.0f

inline bool calmGlide(float x) { return magnitude(x) <= static_cast<double>(kCalmGlide); }

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

// --- which stage run the voices can go on in ----------------------------------

// Whether a voice (Voice or Lane) can render in a stage run at the stage
// lengths `times` gives: it sounds without waiting, in a stage a run is
// made for, with no release pending and at least one frame before the stage
// ends.
template <typename V, typename Times>
[[gnu::always_inline]] inline bool stageRunnable(const V& v, const Times& times) {
    return v.delay == 0 && v.env.stage >= kStageAttack && v.env.stage <= kStageRelease &&
           (v.env.stage != kStageRelease || v.env.releaseCountdown < 0) && stageFramesLeft(v.env, times) > 0;
}

// The stage run the voices can go on in: 2 for a held voice beside a
// releasing one, the frames where two voices spend their time; 3 for two
// voices sounding in any other stages (two held, which only the frame of a
// note change or a window of note delays brings, or two releasing), in the
// two-lane run that dispatches on each voice's stage; 1 for one sounding
// alone (`solo` says which); 0 for none. Glide and target must be small
// enough for calmGlideStep.
template <typename V, typename Times>
[[gnu::always_inline]] inline int runnableVoices(const V& v0, const V& v1, float glide, float target,
                                                 const Times& times, int32_t& solo) {
    if (!calmGlide(glide) || !calmGlide(target)) return 0;
    const bool off0 = v0.env.stage <= kStageOff, off1 = v1.env.stage <= kStageOff;
    if (!off0 && !off1) {
        if (v0.delay > 0 || v1.delay > 0) return 0;
        const bool oneReleases = (v0.env.stage == kStageRelease) != (v1.env.stage == kStageRelease);
        return oneReleases && stageRunnable(v0, times) && stageRunnable(v1, times) ? 2 : 3;
    }
    if (off0 == off1) return 0;
    solo = off1 ? 0 : 1;
    return stageRunnable(off1 ? v0 : v1, times) ? 1 : 0;
}

// --- the first half: oscillator ------------------------------------------------

// A sounding voice's oscillator: the raw table value at the phase, then the
// phase advanced by `increment`.
[[gnu::always_inline]] inline int32_t oscillate(float& phaseRef, const FrontParams& p, float increment) {
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

// --- the second half: cut-off, filter, gain -------------------------------------

// The second half of a frame with the saturating scalar filter. A lane
// closed by pairedBack's mask keeps its states here too: a cut-off of 0
// leaves every state as it is, saturated or not. The
// states go in and come out by value: a reference would keep them in
// memory, not registers, in every loop that can get here; so would a
// reference to the frame's BackParams.
struct ScalarBack {
    FilterPair fp;
    FloatPair samples;
};
[[gnu::cold, gnu::noinline]] ScalarBack scalarBack(FilterPair fp, int32_t raw0, int32_t raw1, Pair level,
                                                   FloatPair f, Pair gains, double damping, int32_t filterType);

inline constexpr PairConstant kMaxCutoffPair{{kMaxCutoff, kMaxCutoff}};
inline constexpr PairConstant kEnvBasePair{{1.1, 1.1}};

// Cut-off, filter and gain of both lanes: the samples in lanes 0 and 1 of
// the answer. `level` holds the envelope levels widened from float.
// kMasked closes the filter of the lanes `lanes` leaves out: a cut-off of 0
// keeps every state as it is, so a silent voice's lane stands still.
// `small` carries over to the next frame that the states were below the
// two-step bound before an exact step (FilterPair.h), so that frame need
// check only its coefficients; `checkStates` makes a frame check them
// anyway, which a caller that knows the frame before did passes as a
// constant.
template <bool kMasked>
[[gnu::always_inline]] inline FloatPair pairedBack(FilterPair& fp, int32_t raw0, int32_t raw1, Pair level,
                                                   Pair gains, Pair scales, int lanes, const BackParams& p,
                                                   bool& small, bool checkStates = false) {
    // cutoffFor for both voices: see Filter.h. minOf answers its second
    // operand for NaN, as the comparison there does.
    const Pair env = splat(p.envAmount);
    const Pair opened = sub(add(mul(level, env), kEnvBasePair), env);
    const Pair product = mul(mul(opened, splat(p.cutoffCoef)), scales);
    FloatPair f = narrow(minOf(kMaxCutoffPair, product));
    if constexpr (kMasked) f = keepLanes(f, lanes);
    const Pair damping = splat(p.damping);
    const Pair fd = widen(f);
    const PairMask coefficients = coefficientsInRange(fd, damping);
    bool exact;
    if (!checkStates && small) {
        exact = bothLanes(coefficients);
        small = false;
    } else {
        const Pair largest = largestState(fp);
        small = bothLanes(both(lessThan(largest, kTwoStepStateBoundPair), coefficients));
        exact = small || bothLanes(both(lessThan(largest, kStateBoundPair), coefficients));
    }
    if (exact) [[likely]] {
        const Pair x = fromInts(raw0, raw1);
        const Pair y = filterPairStep(fp, x, fd, damping, p.filterType);
        return narrow(mul(mul(y, level), gains));
    }
    const ScalarBack r = scalarBack(fp, raw0, raw1, level, f, gains, p.damping, p.filterType);
    fp = r.fp;
    return r.samples;
}

// Each voice adds to the left cell, then the right one; with one buffer for
// both, that is twice to the same cell. Sums of two floats taken in double
// and rounded to float equal the float sum (double has more than twice
// float's precision), so the outputs add in float. Voice 0 always adds
// first: float sums depend on their order.
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

// The same with the mode known only at run time, for loops that serve every
// mode: one copy of a loop rather than three, for a compare a frame.
[[gnu::always_inline]] inline void emit(Engine::Output mode, float* left, float* right, int32_t n, bool sounds0,
                                        float s0, bool sounds1, float s1) {
    if (mode == Engine::Output::kReplace) [[likely]]
        emit<Engine::Output::kReplace>(left, right, n, sounds0, s0, sounds1, s1);
    else if (mode == Engine::Output::kAdd)
        emit<Engine::Output::kAdd>(left, right, n, sounds0, s0, sounds1, s1);
    else
        emit<Engine::Output::kAddOneBuffer>(left, right, n, sounds0, s0, sounds1, s1);
}

}  // namespace orvo::frame
