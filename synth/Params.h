// The engine quantities a parameter value converts into, which the renderer
// reads every frame (through QuantityLoads.h), and the conversion itself.
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "ParamTable.h"
#include "SynthInfo.h"

namespace orvo {

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

// Recomputes what parameter `index` drives from `value`, at `sampleRate` Hz
// (finite and positive). S and Env drive their values held to 0..1.
// Out-of-range indexes do nothing.
void applyParameter(EngineQuantities& q, int32_t index, float value, float sampleRate);

}  // namespace orvo
