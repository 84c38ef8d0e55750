// Two lanes of doubles, one per voice, and the few operations the renderer
// does on them. Where SSE2 is there (every x86 build) a lane pair is an SSE2
// register and each operation one instruction; elsewhere it is a plain pair
// of doubles and each operation the same IEEE arithmetic lane by lane, so
// both give the same bits. The choice is made at compile time.
//
// Each operation is defined by its SSE2 instruction, NaN included: minimum
// and maximum answer their second operand when either is NaN, comparisons
// are false for NaN, narrowing rounds to nearest, ties to even.
#pragma once

#include <bit>
#include <cstdint>

#if defined(__SSE2__) && !defined(ORVO_PLAIN_LANES)
#define ORVO_SSE2_LANES 1
#include <emmintrin.h>
#else
#define ORVO_SSE2_LANES 0
#endif

namespace orvo {

#if ORVO_SSE2_LANES

using Pair = __m128d;       // lane 0: voice 0, lane 1: voice 1
using PairMask = __m128d;   // all ones or all zeros per lane
using FloatPair = __m128;   // two floats in lanes 0 and 1

#define ORVO_LANE inline __attribute__((always_inline))

ORVO_LANE Pair pairOf(double lane0, double lane1) { return _mm_set_pd(lane1, lane0); }
ORVO_LANE Pair splat(double x) { return _mm_set1_pd(x); }
ORVO_LANE Pair add(Pair a, Pair b) { return _mm_add_pd(a, b); }
ORVO_LANE Pair sub(Pair a, Pair b) { return _mm_sub_pd(a, b); }
ORVO_LANE Pair mul(Pair a, Pair b) { return _mm_mul_pd(a, b); }
ORVO_LANE Pair div(Pair a, Pair b) { return _mm_div_pd(a, b); }
ORVO_LANE Pair minOf(Pair a, Pair b) { return _mm_min_pd(a, b); }
ORVO_LANE Pair maxOf(Pair a, Pair b) { return _mm_max_pd(a, b); }
ORVO_LANE Pair magnitude(Pair a) {
    return _mm_and_pd(a, _mm_castsi128_pd(_mm_set1_epi64x(INT64_MAX)));
}
ORVO_LANE PairMask lessThan(Pair a, Pair b) { return _mm_cmplt_pd(a, b); }
ORVO_LANE PairMask lessEqual(Pair a, Pair b) { return _mm_cmple_pd(a, b); }
ORVO_LANE PairMask greaterEqual(Pair a, Pair b) { return _mm_cmpge_pd(a, b); }
ORVO_LANE PairMask both(PairMask a, PairMask b) { return _mm_and_pd(a, b); }
ORVO_LANE bool bothLanes(PairMask m) { return _mm_movemask_pd(m) == 3; }
// Lane 0 from `low`, lane 1 from `high`.
ORVO_LANE Pair merge(Pair low, Pair high) { return _mm_move_sd(high, low); }
ORVO_LANE double lane0(Pair a) { return _mm_cvtsd_f64(a); }
ORVO_LANE double lane1(Pair a) { return _mm_cvtsd_f64(_mm_unpackhi_pd(a, a)); }
// A lane holding an exact integer in int32 range, as that integer.
ORVO_LANE int32_t wholeLane0(Pair a) { return _mm_cvttsd_si32(a); }
ORVO_LANE int32_t wholeLane1(Pair a) { return _mm_cvttsd_si32(_mm_unpackhi_pd(a, a)); }
ORVO_LANE Pair fromInts(int32_t lane0, int32_t lane1) {
    return _mm_cvtepi32_pd(_mm_unpacklo_epi32(_mm_cvtsi32_si128(lane0), _mm_cvtsi32_si128(lane1)));
}

ORVO_LANE FloatPair floatPairOf(float lane0, float lane1) {
    return _mm_unpacklo_ps(_mm_set_ss(lane0), _mm_set_ss(lane1));
}
ORVO_LANE FloatPair zeroFloats() { return _mm_setzero_ps(); }
ORVO_LANE FloatPair narrow(Pair a) { return _mm_cvtpd_ps(a); }
ORVO_LANE Pair widen(FloatPair f) { return _mm_cvtps_pd(f); }
ORVO_LANE float lane0(FloatPair f) { return _mm_cvtss_f32(f); }
ORVO_LANE float lane1(FloatPair f) { return _mm_cvtss_f32(_mm_shuffle_ps(f, f, 1)); }
// The lanes named in `lanes` (bit 0: lane 0, bit 1: lane 1) kept, the
// others +0.
ORVO_LANE FloatPair keepLanes(FloatPair f, int lanes) {
    alignas(16) static constexpr uint32_t kMasks[4][4] = {
        {0, 0, 0, 0}, {~0u, 0, 0, 0}, {0, ~0u, 0, 0}, {~0u, ~0u, 0, 0}};
    return _mm_and_ps(f, _mm_load_ps(reinterpret_cast<const float*>(kMasks[lanes & 3])));
}

// Both lanes of a constant, kept in memory and loaded where it is used.
struct alignas(16) PairConstant {
    double v[2];
    ORVO_LANE operator Pair() const { return _mm_load_pd(v); }
};

#else

struct Pair {
    double v0, v1;
};
struct PairMask {
    bool v0, v1;
};
struct FloatPair {
    float v0, v1;
};

#define ORVO_LANE inline __attribute__((always_inline))

ORVO_LANE Pair pairOf(double lane0, double lane1) { return {lane0, lane1}; }
ORVO_LANE Pair splat(double x) { return {x, x}; }
ORVO_LANE Pair add(Pair a, Pair b) { return {a.v0 + b.v0, a.v1 + b.v1}; }
ORVO_LANE Pair sub(Pair a, Pair b) { return {a.v0 - b.v0, a.v1 - b.v1}; }
ORVO_LANE Pair mul(Pair a, Pair b) { return {a.v0 * b.v0, a.v1 * b.v1}; }
ORVO_LANE Pair div(Pair a, Pair b) { return {a.v0 / b.v0, a.v1 / b.v1}; }
ORVO_LANE Pair minOf(Pair a, Pair b) { return {a.v0 < b.v0 ? a.v0 : b.v0, a.v1 < b.v1 ? a.v1 : b.v1}; }
ORVO_LANE Pair maxOf(Pair a, Pair b) { return {a.v0 > b.v0 ? a.v0 : b.v0, a.v1 > b.v1 ? a.v1 : b.v1}; }
ORVO_LANE double magnitudeOf(double x) {
    return std::bit_cast<double>(std::bit_cast<uint64_t>(x) & static_cast<uint64_t>(INT64_MAX));
}
ORVO_LANE Pair magnitude(Pair a) { return {magnitudeOf(a.v0), magnitudeOf(a.v1)}; }
ORVO_LANE PairMask lessThan(Pair a, Pair b) { return {a.v0 < b.v0, a.v1 < b.v1}; }
ORVO_LANE PairMask lessEqual(Pair a, Pair b) { return {a.v0 <= b.v0, a.v1 <= b.v1}; }
ORVO_LANE PairMask greaterEqual(Pair a, Pair b) { return {a.v0 >= b.v0, a.v1 >= b.v1}; }
ORVO_LANE PairMask both(PairMask a, PairMask b) { return {a.v0 && b.v0, a.v1 && b.v1}; }
ORVO_LANE bool bothLanes(PairMask m) { return m.v0 && m.v1; }
ORVO_LANE Pair merge(Pair low, Pair high) { return {low.v0, high.v1}; }
ORVO_LANE double lane0(Pair a) { return a.v0; }
ORVO_LANE double lane1(Pair a) { return a.v1; }
ORVO_LANE int32_t wholeLane0(Pair a) { return static_cast<int32_t>(a.v0); }
ORVO_LANE int32_t wholeLane1(Pair a) { return static_cast<int32_t>(a.v1); }
ORVO_LANE Pair fromInts(int32_t lane0, int32_t lane1) { return {static_cast<double>(lane0), static_cast<double>(lane1)}; }

ORVO_LANE FloatPair floatPairOf(float lane0, float lane1) { return {lane0, lane1}; }
ORVO_LANE FloatPair zeroFloats() { return {0.0f, 0.0f}; }
ORVO_LANE FloatPair narrow(Pair a) { return {static_cast<float>(a.v0), static_cast<float>(a.v1)}; }
ORVO_LANE Pair widen(FloatPair f) { return {static_cast<double>(f.v0), static_cast<double>(f.v1)}; }
ORVO_LANE float lane0(FloatPair f) { return f.v0; }
ORVO_LANE float lane1(FloatPair f) { return f.v1; }
ORVO_LANE FloatPair keepLanes(FloatPair f, int lanes) {
    return {(lanes & 1) ? f.v0 : 0.0f, (lanes & 2) ? f.v1 : 0.0f};
}

struct PairConstant {
    double v[2];
    ORVO_LANE operator Pair() const { return {v[0], v[1]}; }
};

#endif

#undef ORVO_LANE

}  // namespace orvo
