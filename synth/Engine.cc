// Construction, reset and the current values: everything of the engine that
// is not the audio thread's.
#include "Engine.h"

#include <cfloat>
#include <cmath>

#include "Tables.h"

namespace orvo {

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

// A rate the engine can work with: finite, positive, and large enough that
// the pitch step fits a float. Below that (denormal rates and the smallest
// normal ones) the stage lengths would round to nothing as well, so such a
// rate is refused everywhere alike.
bool usableRate(float rate) {
    return std::isfinite(rate) && rate > 0.0f && kTableStepScale / static_cast<double>(rate) <= FLT_MAX;
}

}  // namespace

Engine::Engine() {
    for (int32_t i = 0; i < kNumParams; ++i) current_[i].store(kParams[i].defaultValue, relaxed);
    reset();
}

void Engine::reset() {
    bank_ = VoiceBank{};
    quiet_ = QuietState{};
    conversionRate_.store(kDefaultSampleRate, relaxed);
    tableStep_.store(static_cast<float>(kTableStepScale / static_cast<double>(kDefaultSampleRate)), relaxed);
    for (int32_t i = 0; i < kNumParams; ++i) applyParameter(q_, i, current_[i].load(relaxed), kDefaultSampleRate);
    waveTables();  // built here at the latest, never on the audio thread
}

void Engine::restart(float rate) {
    reset();
    setSampleRate(rate);
    for (int32_t i : kProgramApplyOrder)
        if (set_[i].load(relaxed)) setParameter(i, current_[i].load(relaxed), rate);
}

void Engine::setParameter(int32_t index, float value, float sampleRate) {
    if (!isParamIndex(index)) return;
    current_[index].store(value, relaxed);
    set_[index].store(true, relaxed);
    if (usableRate(sampleRate)) conversionRate_.store(sampleRate, relaxed);
    applyParameter(q_, index, value, conversionRate_.load(relaxed));
}

float Engine::parameter(int32_t index) const { return isParamIndex(index) ? current_[index].load(relaxed) : 0.0f; }

void Engine::setSampleRate(float rate) {
    if (!usableRate(rate)) return;
    tableStep_.store(static_cast<float>(kTableStepScale / static_cast<double>(rate)), relaxed);
    // A later request that carries an unusable rate falls back to this one.
    conversionRate_.store(rate, relaxed);
}

}  // namespace orvo
