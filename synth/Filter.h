// Integer state-variable filter with a one-pole output stage, and the cut-off
// that the envelope, note and velocity open.
#pragma once

#include <cstdint>

#include "Round.h"

namespace orvo {

enum FilterType : int32_t { kLowPass = 0, kBandPass = 1, kHighPass = 2, kBypass = 3 };

inline constexpr double kMaxCutoff = 0.785;  // keeps the integer filter stable

// States are integers on the mix tables' scale (100000 = full scale).
struct FilterState {
    int32_t band = 0;   // band-pass state
    int32_t low = 0;    // low-pass state
    int32_t third = 0;  // one-pole output stage
};

// level, envAmount 0..1; cutoffCoef from the CutOff parameter and the rate;
// cutoffScale from note and velocity. Result 0..0.785.
inline float cutoffFor(float level, float envAmount, float cutoffCoef, float cutoffScale) {
    const double env = envAmount;
    double f = (static_cast<double>(level) * env + 1.1 - env) * static_cast<double>(cutoffCoef) *
               static_cast<double>(cutoffScale);
    if (f > kMaxCutoff) f = kMaxCutoff;
    return static_cast<float>(f);
}

// One step. Products of a state with a coefficient are exact in double while
// states stay below 2^29 in magnitude, which a stable filter fed +-100000
// never leaves; sums are formed in 64 bits and saturated, so unstable
// settings clip instead of overflowing.
inline int32_t filterSample(FilterState& s, int32_t x, float f, float damping, int32_t type) {
    const double fd = f;
    const int32_t band = s.band, low = s.low, third = s.third;
    const int32_t hp = saturateToInt(static_cast<int64_t>(x) -
                                     roundToInt(static_cast<double>(band) * static_cast<double>(damping)) - low);
    const int32_t bp = saturateToInt(static_cast<int64_t>(roundToInt(static_cast<double>(hp) * fd)) + band);
    const int32_t lp = saturateToInt(static_cast<int64_t>(roundToInt(static_cast<double>(bp) * fd)) + low);
    int32_t y1;
    switch (type) {
        case kLowPass: y1 = lp; break;
        case kBandPass: y1 = bp; break;
        case kHighPass: y1 = hp; break;
        default: y1 = x; break;
    }
    s.band = bp;
    s.low = lp;
    const int32_t t3 = saturateToInt(
        static_cast<int64_t>(roundToInt(static_cast<double>(static_cast<int64_t>(y1) - third) * fd)) + third);
    s.third = t3;
    switch (type) {
        case kLowPass: return t3;
        case kBandPass: return bp;
        case kHighPass: return saturateToInt(static_cast<int64_t>(hp) - third);
        default: return x;
    }
}

}  // namespace orvo
