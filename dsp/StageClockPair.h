// The clocks of two voices' stage runs side by side. The division is the
// slowest step of a timed stage's frame, and the two voices' divisions are
// independent, so they share one instruction; each lane must still give
// the single-voice run step of Envelope.h bit for bit.
#pragma once

#include <cstdint>
#include <emmintrin.h>

#include "Envelope.h"

namespace orvo {

// Runs of two voices that are both in timed stages (attack, decay or
// release) keep the two counts and divisors in the lanes of SSE2 registers,
// so that one division gives both quotients, and round both levels at once.
struct StageClockPair {
    __m128d count;    // lane 0: the first voice's count, lane 1: the second's
    __m128d divisor;
    __m128d held;     // the levels when the run began: a release scales its own
};

inline StageClockPair pairClocks(const EnvelopeState& e0, const EnvelopeState& e1, const StageClock& c0,
                                 const StageClock& c1) {
    return {_mm_set_pd(c1.count, c0.count), _mm_set_pd(c1.divisor, c0.divisor), _mm_set_pd(e1.level, e0.level)};
}

// Hands the counts back to the clocks, for finishStage.
inline void unpairClocks(const StageClockPair& pair, StageClock& c0, StageClock& c1) {
    c0.count = _mm_cvtsd_f64(pair.count);
    c1.count = _mm_cvtsd_f64(_mm_unpackhi_pd(pair.count, pair.count));
}

// stageLevel's arithmetic for stage kStage in both lanes, before the
// rounding to float.
template <int32_t kStage>
[[gnu::always_inline]] inline __m128d stageLevelsWide(__m128d quotient, __m128d held, float sustain) {
    const __m128d one = _mm_set1_pd(1.0);
    if constexpr (kStage == kStageAttack) return quotient;
    if constexpr (kStage == kStageDecay) {
        const __m128d s = _mm_set1_pd(sustain);
        return _mm_add_pd(_mm_mul_pd(_mm_sub_pd(one, s), _mm_sub_pd(one, quotient)), s);
    }
    if constexpr (kStage == kStageRelease) return _mm_mul_pd(_mm_sub_pd(one, quotient), held);
}

// The two levels of such a step, lane by lane.
inline void storeLevels(__m128 levels, float (&out)[2]) {
    out[0] = _mm_cvtss_f32(levels);
    out[1] = _mm_cvtss_f32(_mm_shuffle_ps(levels, levels, 1));
}

// runStageStep for both voices of such a run: the levels in lanes 0 and 1.
template <int32_t kStage0, int32_t kStage1>
[[gnu::always_inline]] inline __m128 runStagePairStep(EnvelopeState& e0, EnvelopeState& e1, StageClockPair& pair,
                                                      float sustain) {
    static_assert(kStage0 != kStageSustain && kStage1 != kStageSustain);
    const __m128d quotient = _mm_div_pd(pair.count, pair.divisor);
    pair.count = _mm_add_pd(pair.count, _mm_set1_pd(1.0));
    const __m128d wide0 = stageLevelsWide<kStage0>(quotient, pair.held, sustain);
    __m128d wide = wide0;
    if constexpr (kStage1 != kStage0) wide = _mm_move_sd(stageLevelsWide<kStage1>(quotient, pair.held, sustain), wide0);
    const __m128 levels = _mm_cvtpd_ps(wide);
    if constexpr (kStage0 != kStageRelease) e0.level = _mm_cvtss_f32(levels);
    if constexpr (kStage1 != kStageRelease) e1.level = _mm_cvtss_f32(_mm_shuffle_ps(levels, levels, 1));
    return levels;
}

}  // namespace orvo
