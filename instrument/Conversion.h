// The conversion of parameter values into engine quantities, and where the
// instrument keeps the converted quantities between threads: any thread
// that sets a value converts it and stores what it drives here; the audio
// thread takes a copy of the whole set for each stretch it renders.
#pragma once

#include <atomic>
#include <cstdint>

#include "Quantities.h"

namespace orvo {

// The fields of Quantities, each stored whole, so a reader sees the old or
// the new value of each, never a torn one.
struct SharedQuantities {
    std::atomic<int32_t> attackSamples{0};
    std::atomic<int32_t> decaySamples{0};
    std::atomic<int32_t> releaseSamples{0};
    std::atomic<double> cutoffCoef{0.0};
    std::atomic<double> damping{0.0};
    std::atomic<int32_t> filterType{0};
    std::atomic<const int32_t*> wave1Table{nullptr};
    std::atomic<const int32_t*> wave2Table{nullptr};
    std::atomic<float> dragCoef{0.0f};
    std::atomic<double> switchPoint{0.0};
    std::atomic<int32_t> wave2Start{0};
    std::atomic<double> wave1Stretch{0.0};
    std::atomic<double> wave2Stretch{0.0};
    std::atomic<float> sustainLevel{0.0f};
    std::atomic<double> envAmount{0.0};
    std::atomic<float> tableStep{0.0f};

    // Audio thread: the set as it stands, for one rendered stretch.
    Quantities snapshot() const;
};

// Recomputes what parameter `index` drives from `value`, at `sampleRate` Hz
// (finite and positive). S and Env drive their values held to 0..1.
// Out-of-range indexes do nothing.
void applyParameter(SharedQuantities& q, int32_t index, float value, float sampleRate);

// 4096 / rate, the phase step per Hz.
void applyRate(SharedQuantities& q, float sampleRate);

// Whether the instrument can run at `rate`: finite, positive, and large
// enough that the pitch step fits a float. Below that (denormal rates and
// the smallest normal ones) the stage lengths would round to nothing as
// well, so such a rate is refused everywhere alike.
bool usableRate(double rate);

}  // namespace orvo
