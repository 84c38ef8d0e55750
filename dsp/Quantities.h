// The engine quantities: what the parameter values and the rate convert
// into, in the units the renderer works in. The render core takes them as a
// plain value for each stretch it renders; who converts them, when and at
// which rate is the instrument's business, not the renderer's.
#pragma once

#include <cstdint>

namespace orvo {

struct Quantities {
    int32_t attackSamples = 0;   // frames, >= 0
    int32_t decaySamples = 0;    // frames, >= 0
    int32_t releaseSamples = 0;  // frames, >= 10
    // The quantities the renderer only uses widened are kept widened: each
    // is a float value (rounded to float when it is worked out) stored as
    // the double it widens to, so a frame uses it without a conversion.
    double cutoffCoef = 0.0;     // float value: cut-off factor per unit of cutoffScale
    double damping = 0.0;        // float value: 1.2 (Q 0) down to 0.03 (Q 1), held there
    int32_t filterType = 0;      // FilterType, always 0..3
    const int32_t* wave1Table = nullptr;  // start of a mix table (Wave1 reads entries 0..4095)
    const int32_t* wave2Table = nullptr;  // start of a mix table (Wave2 reads entries 4096..8191)
    float dragCoef = 0.0f;       // glide fraction per frame
    double switchPoint = 0.0;    // float value: phase units (of 8192) where Wave2 takes over
    // The first whole phase position at or past switchPoint, 0..8192: a
    // position t (0..8191) is in the Wave1 part exactly when t < this, so the
    // oscillator compares integers instead of converting t.
    int32_t wave2Start = 0;
    double wave1Stretch = 0.0;   // float value: phase units per Wave1 table entry
    double wave2Stretch = 0.0;   // float value: phase units per Wave2 table entry
    // S as the envelope uses it: held to 0..1, NaN as 0, so the envelope
    // never scales a voice past full level.
    float sustainLevel = 0.0f;
    double envAmount = 0.0;      // Env (a float value), held to 0..1 like S
    float tableStep = 0.0f;      // phase units per frame per Hz: 4096 / sample rate
};

}  // namespace orvo
