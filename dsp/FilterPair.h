// The filter step of Filter.h for two voices at once, in two lanes
// (Lanes.h), with the states held as doubles (exact integers). Rounding
// to an integer is the classic add-and-subtract of 1.5 * 2^52, which rounds
// half to even like the conversion instruction, and every sum of integers is
// exact in double; so the lanes give the scalar step's bits as long as
// nothing saturates. The renderer checks for that with largestState and
// coefficientsInRange: states below 2^28,
// |damping| <= 2 and f >= -0.785 (f <= 0.785 holds by construction). Then hp
// stays below 8.1e8, bp below 9.1e8, lp below 9.8e8 and the output stage
// below 1.25e9, all inside the int32 range, and each product below 2^51.
//
// Two steps in a row are exact when the states start below 2^26 and both
// steps' coefficients pass: the first leaves every state below 3.2e8 (4.64
// times 2^26, table values of up to 1e5 included), from which the second
// keeps hp below 9.4e8, bp below 1.05e9, lp below 1.14e9 and the output stage
// below 1.45e9. So the states need checking only every other frame, with
// coefficientsInRange checked every frame.
#pragma once

#include <cstdint>

#include "Filter.h"
#include "Lanes.h"

namespace orvo {

// Both voices' filter states.
struct FilterPair {
    Pair band, low, third;
};

inline constexpr double kRoundingBias = 6755399441055744.0;  // 1.5 * 2^52
inline constexpr PairConstant kBiasPair{{kRoundingBias, kRoundingBias}};
inline constexpr PairConstant kStateBoundPair{{268435456.0, 268435456.0}};  // 2^28
inline constexpr PairConstant kTwoStepStateBoundPair{{67108864.0, 67108864.0}};  // 2^26
inline constexpr PairConstant kLowestCutoffPair{{-0.785, -0.785}};
inline constexpr PairConstant kDampingBoundPair{{2.0, 2.0}};

// round(p) + add for |p| < 2^51 and an integer `add` given as add - bias.
[[gnu::always_inline]] inline Pair roundAdd(Pair p, Pair addMinusBias) {
    return add(add(p, Pair(kBiasPair)), addMinusBias);
}

[[gnu::always_inline]] inline Pair biased(Pair v) { return sub(v, Pair(kBiasPair)); }

// Lanes whose cut-off and damping keep a step exact.
[[gnu::always_inline]] inline PairMask coefficientsInRange(Pair f, Pair damping) {
    return both(greaterEqual(f, kLowestCutoffPair), lessEqual(magnitude(damping), kDampingBoundPair));
}

// Each lane's largest state magnitude.
[[gnu::always_inline]] inline Pair largestState(const FilterPair& fp) {
    return maxOf(maxOf(magnitude(fp.band), magnitude(fp.low)), magnitude(fp.third));
}

// filterSample for both lanes: x the inputs, f the cut-offs (widened from
// float), damping in both lanes. Answers the outputs, as doubles.
[[gnu::always_inline]] inline Pair filterPairStep(FilterPair& fp, Pair x, Pair f, Pair damping, int32_t type) {
    const Pair band = fp.band, low = fp.low, third = fp.third;
    const Pair damped = biased(add(mul(band, damping), kBiasPair));
    const Pair hp = sub(sub(x, damped), low);
    const Pair bp = roundAdd(mul(hp, f), biased(band));
    const Pair lp = roundAdd(mul(bp, f), biased(low));
    fp.band = bp;
    fp.low = lp;
    // Low pass, the usual type, without a detour through the others.
    if (type == kLowPass) [[likely]] {
        fp.third = roundAdd(mul(sub(lp, third), f), biased(third));
        return fp.third;
    }
    Pair y1, y;
    switch (type) {
        case kBandPass: y1 = y = bp; break;
        case kHighPass: y1 = hp; y = sub(hp, third); break;
        default: y1 = y = x; break;
    }
    fp.third = roundAdd(mul(sub(y1, third), f), biased(third));
    return y;
}

}  // namespace orvo
