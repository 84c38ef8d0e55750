// The one float-to-int conversion of the engine: round half to even, the way
// the SSE2 unit does it in its default mode, so every x86 build agrees bit for
// bit. Saturating instead of the hardware's "integer indefinite" keeps huge
// values ordered, and NaN becomes 0 so that a bad parameter value can only
// select the first entry of a table, never an address outside it.
#pragma once

#include <cstdint>
#include <emmintrin.h>

namespace orvo {

inline int32_t roundToInt(double x) {
    // Everything in [2^31 - 1, 2^31 - 0.5) rounds to INT32_MAX anyway, and
    // everything in (-2^31 - 0.5, -2^31] to INT32_MIN, so the clamps only
    // touch values the hardware could not represent.
    if (x >= 2147483647.0) return INT32_MAX;
    if (x <= -2147483648.0) return INT32_MIN;
    if (x != x) return 0;
    return _mm_cvtsd_si32(_mm_set_sd(x));
}

inline int32_t saturateToInt(int64_t x) {
    if (x > INT32_MAX) return INT32_MAX;
    if (x < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(x);
}

}  // namespace orvo
