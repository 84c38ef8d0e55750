// The twelve parameters as every front end sees them: number, name, label,
// default and how a value reads as text. Host-free: the engine, the VST 2
// instrument, the editor and every other format take their identity from
// here.
#pragma once

#include <cstdint>

#include "Identity.h"

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
    const char* label;   // the unit shown beside the value
    float defaultValue;  // nearest float to the decimal default
};

inline constexpr ParamInfo kParams[kNumParams] = {
    {"A", kParameterLabel, 0.1f},
    {"D", kParameterLabel, 0.1f},
    {"S", kParameterLabel, 0.5f},
    {"R", kParameterLabel, 0.1f},
    {"CutOff", kParameterLabel, 0.5f},
    {"Q", kParameterLabel, 0.0f},
    {"Type", kParameterLabel, 0.0f},
    {"Env", kParameterLabel, 0.5f},
    {"Wave1", kParameterLabel, 0.0f},
    {"Wave2", kParameterLabel, 0.0f},
    {"Drag", kParameterLabel, 0.5f},
    {"Mix", kParameterLabel, 0.5f},
};

// A program change re-applies its values in this order.
inline constexpr int32_t kProgramApplyOrder[kNumParams] = {4, 5, 6, 7, 0, 1, 2, 3, 8, 9, 10, 11};

inline constexpr bool isParamIndex(int32_t index) { return static_cast<uint32_t>(index) < kNumParams; }

// A value as text: fixed point with two decimals and the decimal separator of
// the locale read when the library loaded (floatToText in Text.h), whatever
// the parameter; values outside 0..1 read as they are.

}  // namespace orvo
