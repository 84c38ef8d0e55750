// The clocks of two voices' stage runs side by side. The division is the
// slowest step of a timed stage's frame, and the two voices' divisions are
// independent, so they share one instruction; each lane must still give
// the single-voice run step of Envelope.h bit for bit.
#pragma once

#include <cstdint>

#include "Envelope.h"
#include "Lanes.h"

namespace orvo {

// Runs of two voices that are both in timed stages (attack, decay or
// release) keep the two counts and divisors in lanes, so that one division
// gives both quotients, and round both levels at once.
struct StageClockPair {
    Pair count;  // lane 0: the first voice's count, lane 1: the second's
    Pair divisor;
    Pair held;   // the levels when the run began: a release scales its own
};

inline StageClockPair pairClocks(const EnvelopeState& e0, const EnvelopeState& e1, const StageClock& c0,
                                 const StageClock& c1) {
    return {pairOf(c0.count, c1.count), pairOf(c0.divisor, c1.divisor), pairOf(e0.level, e1.level)};
}

// Hands the counts back to the clocks, for finishStage.
inline void unpairClocks(const StageClockPair& pair, StageClock& c0, StageClock& c1) {
    c0.count = lane0(pair.count);
    c1.count = lane1(pair.count);
}

// stageLevel's arithmetic for stage kStage in both lanes, before the
// rounding to float.
template <int32_t kStage>
[[gnu::always_inline]] inline Pair stageLevelsWide(Pair quotient, Pair held, float sustain) {
    const Pair one = splat(1.0);
    if constexpr (kStage == kStageAttack) return quotient;
    if constexpr (kStage == kStageDecay) {
        const Pair s = splat(sustain);
        return add(mul(sub(one, s), sub(one, quotient)), s);
    }
    if constexpr (kStage == kStageRelease) return mul(sub(one, quotient), held);
}

// The two levels of such a step, lane by lane.
inline void storeLevels(FloatPair levels, float (&out)[2]) {
    out[0] = lane0(levels);
    out[1] = lane1(levels);
}

// runStageStep for both voices of such a run: the levels in lanes 0 and 1.
template <int32_t kStage0, int32_t kStage1>
[[gnu::always_inline]] inline FloatPair runStagePairStep(EnvelopeState& e0, EnvelopeState& e1, StageClockPair& pair,
                                                         float sustain) {
    static_assert(kStage0 != kStageSustain && kStage1 != kStageSustain);
    const Pair quotient = div(pair.count, pair.divisor);
    pair.count = add(pair.count, splat(1.0));
    const Pair wide0 = stageLevelsWide<kStage0>(quotient, pair.held, sustain);
    Pair wide = wide0;
    if constexpr (kStage1 != kStage0) wide = merge(wide0, stageLevelsWide<kStage1>(quotient, pair.held, sustain));
    const FloatPair levels = narrow(wide);
    if constexpr (kStage0 != kStageRelease) e0.level = lane0(levels);
    if constexpr (kStage1 != kStageRelease) e1.level = lane1(levels);
    return levels;
}

}  // namespace orvo
