// The twelve parameters: numbering, names, defaults, and the conversion of a
// value into the engine quantities the renderer reads.
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "SynthInfo.h"

namespace orvo {

enum ParamIndex : int32_t {
    kParamAttack = 0,
    kParamDecay,
    kParamSustain,
    kParamRelease,
    kParamCutOff,
    kParamQ,
    kParamType,
    kParamEnv,
    kParamWave1,
    kParamWave2,
    kParamDrag,
    kParamMix,
};

struct ParamInfo {
    const char* name;    // at most 7 characters: the host's short text field
    float defaultValue;  // nearest float to the decimal default
};

inline constexpr ParamInfo kParams[kNumParams] = {
    {"A", 0.1f},      {"D", 0.1f},  {"S", 0.5f},     {"R", 0.1f},     {"CutOff", 0.5f}, {"Q", 0.0f},
    {"Type", 0.0f},   {"Env", 0.5f}, {"Wave1", 0.0f}, {"Wave2", 0.0f}, {"Drag", 0.5f},   {"Mix", 0.5f},
};

// A program change re-applies its values in this order.
inline constexpr int32_t kProgramApplyOrder[kNumParams] = {4, 5, 6, 7, 0, 1, 2, 3, 8, 9, 10, 11};

inline constexpr bool isParamIndex(int32_t index) { return static_cast<uint32_t>(index) < kNumParams; }

// Written by applyParameter on whatever thread sets a parameter, read by the
// audio thread on every frame. Each field is stored whole, so the renderer
// sees the old or the new value of each, never a torn one.
struct EngineQuantities {
    std::atomic<int32_t> attackSamples{0};   // frames, >= 0
    std::atomic<int32_t> decaySamples{0};    // frames, >= 0
    std::atomic<int32_t> releaseSamples{0};  // frames, >= 10
    // The quantities the renderer only uses widened are kept widened: each
    // is a float value (rounded to float when it is worked out) stored as
    // the double it widens to, so a frame reads it without a conversion.
    std::atomic<double> cutoffCoef{0.0};     // float value: cut-off factor per unit of cutoffScale
    std::atomic<double> damping{0.0};        // float value: 1.2 (Q 0) down to 0.03 (Q 1), held there
    std::atomic<int32_t> filterType{0};      // FilterType, always 0..3
    std::atomic<const int32_t*> wave1Table{nullptr};  // start of a mix table (Wave1 reads entries 0..4095)
    std::atomic<const int32_t*> wave2Table{nullptr};  // start of a mix table (Wave2 reads entries 4096..8191)
    std::atomic<float> dragCoef{0.0f};       // glide fraction per frame
    std::atomic<double> switchPoint{0.0};    // float value: phase units (of 8192) where Wave2 takes over
    // The first whole phase position at or past switchPoint, 0..8192: a
    // position t (0..8191) is in the Wave1 part exactly when t < this, so the
    // oscillator compares integers instead of converting t.
    std::atomic<int32_t> wave2Start{0};
    std::atomic<double> wave1Stretch{0.0};   // float value: phase units per Wave1 table entry
    std::atomic<double> wave2Stretch{0.0};   // float value: phase units per Wave2 table entry
    // S as the envelope uses it: held to 0..1, NaN as 0. The value itself
    // stays stored as the host sent it; only the level it drives is held,
    // so the envelope never scales a voice past full level.
    std::atomic<float> sustainLevel{0.0f};
    std::atomic<double> envAmount{0.0};      // Env (a float value), held to 0..1 like S
};

// The float quantities the renderer reads every frame, in two groups: those
// the oscillator, glide and envelope use, and those the cut-off and filter
// use. On x86 a relaxed load of an aligned float or double is a plain load;
// here each is one instruction addressed from the structure, where GCC would
// otherwise route every atomic load through an integer register and keep
// the addresses in spilled registers. `volatile` keeps the loads in the
// frame they belong to. Builds that check threads use the ordinary atomic
// loads, which they can see.
struct FrontFloats {
    float sustain;
    float drag;
    double switchPoint;
    double wave1Stretch;
    double wave2Stretch;
};

struct BackFloats {
    double envAmount;
    double cutoffCoef;
    double damping;
};

#if defined(__SANITIZE_THREAD__)
#define ORVO_PLAIN_LOADS 0
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORVO_PLAIN_LOADS 0
#endif
#endif
#if !defined(ORVO_PLAIN_LOADS) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define ORVO_PLAIN_LOADS 1
#endif

#if ORVO_PLAIN_LOADS
static_assert(sizeof(std::atomic<float>) == sizeof(float) && sizeof(std::atomic<double>) == sizeof(double));
static_assert(alignof(std::atomic<double>) == 8, "an aligned 8-byte load is single-copy atomic on x86");
#endif

// kSustain false leaves the sustain level out (as 0), for frames that have
// no use for it.
template <bool kSustain = true>
inline FrontFloats loadFrontFloats(const EngineQuantities& q) {
#if ORVO_PLAIN_LOADS
    float sustain = 0.0f, drag;
    double switchPoint, wave1Stretch, wave2Stretch;
    if constexpr (kSustain) asm volatile("movss %1, %0" : "=x"(sustain) : "m"(q.sustainLevel));
    asm volatile(
        "movss %c[odr](%[q]), %[dr]\n\t"
        "movsd %c[osp](%[q]), %[sp]\n\t"
        "movsd %c[os1](%[q]), %[s1]\n\t"
        "movsd %c[os2](%[q]), %[s2]"
        : [dr] "=x"(drag), [sp] "=x"(switchPoint), [s1] "=x"(wave1Stretch), [s2] "=x"(wave2Stretch)
        : [q] "r"(&q), "m"(q), [osp] "i"(offsetof(EngineQuantities, switchPoint)),
          [odr] "i"(offsetof(EngineQuantities, dragCoef)), [os1] "i"(offsetof(EngineQuantities, wave1Stretch)),
          [os2] "i"(offsetof(EngineQuantities, wave2Stretch)));
    return {sustain, drag, switchPoint, wave1Stretch, wave2Stretch};
#else
    constexpr auto r = std::memory_order_relaxed;
    return {kSustain ? q.sustainLevel.load(r) : 0.0f, q.dragCoef.load(r), q.switchPoint.load(r),
            q.wave1Stretch.load(r), q.wave2Stretch.load(r)};
#endif
}

inline BackFloats loadBackFloats(const EngineQuantities& q) {
#if ORVO_PLAIN_LOADS
    double envAmount, cutoffCoef, damping;
    asm volatile(
        "movsd %c[oen](%[q]), %[en]\n\t"
        "movsd %c[oco](%[q]), %[co]\n\t"
        "movsd %c[oda](%[q]), %[da]"
        : [en] "=x"(envAmount), [co] "=x"(cutoffCoef), [da] "=x"(damping)
        : [q] "r"(&q), "m"(q), [oen] "i"(offsetof(EngineQuantities, envAmount)),
          [oco] "i"(offsetof(EngineQuantities, cutoffCoef)), [oda] "i"(offsetof(EngineQuantities, damping)));
    return {envAmount, cutoffCoef, damping};
#else
    constexpr auto r = std::memory_order_relaxed;
    return {q.envAmount.load(r), q.cutoffCoef.load(r), q.damping.load(r)};
#endif
}

// A relaxed load of the int or pointer field at kOffset, the same way:
// addressed from the structure, rather than from an address GCC would work
// out once and keep spilled.
template <std::size_t kOffset, typename T>
inline T loadField(const EngineQuantities& q, const std::atomic<T>& field) {
#if ORVO_PLAIN_LOADS
    static_assert(sizeof(std::atomic<T>) == sizeof(T));
    (void)field;
    T v;
    asm volatile("mov %c[o](%[q]), %[v]" : [v] "=r"(v) : [q] "r"(&q), "m"(q), [o] "i"(kOffset));
    return v;
#else
    (void)q;
    return field.load(std::memory_order_relaxed);
#endif
}
#define ORVO_LOAD_FIELD(q, name) ::orvo::loadField<offsetof(::orvo::EngineQuantities, name)>((q), (q).name)

// The drag coefficient's bits alone, for frames where nothing sounds.
inline uint32_t loadDragBits(const EngineQuantities& q) {
#if ORVO_PLAIN_LOADS
    uint32_t v;
    asm volatile("movl %1, %0" : "=r"(v) : "m"(q.dragCoef));
    return v;
#else
    return std::bit_cast<uint32_t>(q.dragCoef.load(std::memory_order_relaxed));
#endif
}

// Recomputes what parameter `index` drives from `value`, at `sampleRate` Hz
// (finite and positive). S and Env drive their values held to 0..1.
// Out-of-range indexes do nothing.
void applyParameter(EngineQuantities& q, int32_t index, float value, float sampleRate);

}  // namespace orvo
