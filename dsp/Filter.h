// Integer state-variable filter with a one-pole output stage, and the cut-off
// that the envelope, note and velocity open.
#pragma once

#include <cstdint>

#include "Round.h"

namespace orvo {

enum FilterType : int32_t { kLowPass = 0, kBandPass = 1, kHighPass = 2, kBypass = 3 };

// The integer filter is stable for cut-offs 0..0.785 with damping 0.03..1.2.
inline constexpr double kMaxCutoff = 0.785;
inline constexpr double kMinDamping = 0.03;
inline constexpr double kMaxDamping = 1.2;

// States are integers on the mix tables' scale (100000 = full scale).
struct FilterState {
    int32_t band = 0;   // band-pass state
    int32_t low = 0;    // low-pass state
    int32_t third = 0;  // one-pole output stage
};

// level, envAmount 0..1; cutoffCoef from the CutOff parameter and the rate;
// cutoffScale from note and velocity. Result 0..0.785. The engine-wide two
// come widened (floats widen exactly), so a frame widens them once.
[[gnu::always_inline]] inline float cutoffFor(float level, double envAmount, double cutoffCoef, float cutoffScale) {
    double f = (static_cast<double>(level) * envAmount + 1.1 - envAmount) * cutoffCoef *
               static_cast<double>(cutoffScale);
    if (f > kMaxCutoff) f = kMaxCutoff;
    return static_cast<float>(f);
}

// One step. Products of a state with a coefficient are exact in double while
// states stay below 2^29 in magnitude, which a stable filter fed +-100000
// never leaves; sums saturate, so unstable settings clip instead of
// overflowing. The chain that bounds the speed of a voice runs low -> hp ->
// bp -> lp; the damping product and the output stage hang off it.
// `damping` comes as a double so the renderer widens it once per frame, not
// once per voice; a float argument widens exactly.
[[gnu::always_inline]] inline int32_t filterSample(FilterState& s, int32_t x, float f, double damping, int32_t type) {
    const double fd = f;
    const int32_t band = s.band, low = s.low, third = s.third;
    const int32_t damped = roundToInt(static_cast<double>(band) * damping);
    const int32_t hp = saturateToInt(static_cast<int64_t>(x) - damped - low);
    const int32_t bp = addSaturated(roundToInt(static_cast<double>(hp) * fd), band);
    const int32_t lp = addSaturated(roundToInt(static_cast<double>(bp) * fd), low);
    s.band = bp;
    s.low = lp;
    // y1 - third is formed in double, where the difference of two ints is
    // exact: no 64-bit conversion, which the 32-bit build lacks.
    switch (type) {
        case kLowPass: {
            const int32_t t3 = addSaturated(
                roundToInt((static_cast<double>(lp) - static_cast<double>(third)) * fd), third);
            s.third = t3;
            return t3;
        }
        case kBandPass:
            s.third = addSaturated(roundToInt((static_cast<double>(bp) - static_cast<double>(third)) * fd), third);
            return bp;
        case kHighPass:
            s.third = addSaturated(roundToInt((static_cast<double>(hp) - static_cast<double>(third)) * fd), third);
            return saturateToInt(static_cast<int64_t>(hp) - third);
        default:
            s.third = addSaturated(roundToInt((static_cast<double>(x) - static_cast<double>(third)) * fd), third);
            return x;
    }
}

}  // namespace orvo
