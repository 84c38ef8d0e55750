// How the renderer reads the engine quantities each frame. This is the one
// place that knows why they are not read with plain atomic loads (below).
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "Params.h"

namespace orvo {

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

}  // namespace orvo
