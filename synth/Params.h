// The twelve parameters: numbering, names, defaults, and the conversion of a
// value into the engine quantities the renderer reads.
#pragma once

#include <atomic>
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
    std::atomic<float> cutoffCoef{0.0f};     // cut-off factor per unit of cutoffScale
    std::atomic<float> damping{0.0f};        // 1.2 (Q 0) down to 0.03 (Q 1)
    std::atomic<int32_t> filterType{0};      // FilterType, always 0..3
    std::atomic<const int32_t*> wave1Table{nullptr};  // start of a mix table (Wave1 reads entries 0..4095)
    std::atomic<const int32_t*> wave2Table{nullptr};  // start of a mix table (Wave2 reads entries 4096..8191)
    std::atomic<float> dragCoef{0.0f};       // glide fraction per frame
    std::atomic<float> switchPoint{0.0f};    // phase units (of 8192) where Wave2 takes over
    std::atomic<float> wave1Stretch{0.0f};   // phase units per Wave1 table entry
    std::atomic<float> wave2Stretch{0.0f};   // phase units per Wave2 table entry
    // S as the envelope uses it: held to 0..1, NaN as 0. The value itself
    // stays stored as the host sent it; only the level it drives is held,
    // so the envelope never scales a voice past full level.
    std::atomic<float> sustainLevel{0.0f};
};

// A relaxed load of a float quantity, as the renderer takes it every frame.
// On x86 that is a plain load; GCC would otherwise route atomic<float> loads
// through an integer register. `volatile` keeps it from being hoisted out of
// the frame loop. Sanitizer builds that track threads use the atomic load.
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

inline float loadRelaxed(const std::atomic<float>& a) {
#if ORVO_PLAIN_LOADS
    static_assert(sizeof(std::atomic<float>) == sizeof(float));
    float v;
    asm volatile("movss %1, %0" : "=x"(v) : "m"(a));
    return v;
#else
    return a.load(std::memory_order_relaxed);
#endif
}

// The same, widened to double by the load itself.
inline double loadRelaxedWide(const std::atomic<float>& a) {
#if ORVO_PLAIN_LOADS
    double v;
    asm volatile("cvtss2sd %1, %0" : "=x"(v) : "m"(a));
    return v;
#else
    return a.load(std::memory_order_relaxed);
#endif
}

// Recomputes what parameter `index` drives from `value`, at `sampleRate` Hz
// (finite and positive). S drives only its held level; Env drives nothing:
// the renderer reads its current value directly. Out-of-range indexes do
// nothing.
void applyParameter(EngineQuantities& q, int32_t index, float value, float sampleRate);

}  // namespace orvo
