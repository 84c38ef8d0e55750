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
};

// Recomputes what parameter `index` drives from `value`, at `sampleRate` Hz
// (finite and positive). Parameters S and Env drive nothing: the renderer
// reads their current values directly. Out-of-range indexes do nothing.
void applyParameter(EngineQuantities& q, int32_t index, float value, float sampleRate);

}  // namespace orvo
