// The one float-to-int conversion of the engine: round half to even, the way
// the SSE2 unit does it in its default mode, so every build agrees bit for
// bit; where there is no SSE2, the C library's rounding in the same default
// mode (the engine never changes the mode). Saturating instead of the hardware's "integer indefinite" keeps huge
// values ordered, and NaN becomes 0 so that a bad parameter value can only
// select the first entry of a table, never an address outside it.
//
// These sit on the filter's loop-carried chain, so the common case is the bare
// conversion: the range handling hangs off a branch that a well-behaved voice
// never takes, which costs a compare instead of latency on the chain.
#pragma once

#include <cmath>
#include <cstdint>

#include "Lanes.h"

namespace orvo {

// Reached only when the hardware answered INT32_MIN: NaN, a value out of
// range either way, or one that really rounds to INT32_MIN.
[[gnu::cold, gnu::noinline]] inline int32_t roundToIntOutOfRange(double x) {
    if (x != x) return 0;
    return x > 0.0 ? INT32_MAX : INT32_MIN;
}

inline int32_t roundToInt(double x) {
#if ORVO_SSE2_LANES
    const int32_t r = _mm_cvtsd_si32(_mm_set_sd(x));
    if (r == INT32_MIN) [[unlikely]]
        return roundToIntOutOfRange(x);
    return r;
#else
    // The same answers: values rounding to INT32_MIN come here too.
    if (!(x > -2147483647.5 && x < 2147483647.5)) [[unlikely]]
        return roundToIntOutOfRange(x);
    return static_cast<int32_t>(std::nearbyint(x));
#endif
}

[[gnu::cold, gnu::noinline]] inline int32_t saturateOverflow(int64_t x) { return x > 0 ? INT32_MAX : INT32_MIN; }

inline int32_t saturateToInt(int64_t x) {
    const int32_t r = static_cast<int32_t>(x);
    if (r != x) [[unlikely]]
        return saturateOverflow(x);
    return r;
}

// saturateToInt(int64_t(a) + b), without widening.
inline int32_t addSaturated(int32_t a, int32_t b) {
    int32_t r;
    if (__builtin_add_overflow(a, b, &r)) [[unlikely]]
        return a > 0 ? INT32_MAX : INT32_MIN;
    return r;
}

}  // namespace orvo
