#include "Conversion.h"

#include <cfloat>
#include <cmath>

#include "Engine.h"
#include "Filter.h"
#include "ParamTable.h"
#include "Round.h"
#include "Tables.h"

namespace orvo {

namespace {

constexpr int32_t kMinReleaseFrames = 10;  // every release is audible for a few frames

// A = R = 1 means half a second of attack but a whole second of release.
int32_t stageFrames(double value, double sampleRate, double scale) {
    return roundToInt(value * value * sampleRate * scale);
}

int32_t waveSelection(float value) { return roundToInt(static_cast<double>(value) * 3.0); }

// Type rounds to 0..2 for values within 0..1; 3 (bypass) for 1.25..1.75.
// Wilder values are clamped so they can only pick an existing output.
int32_t filterTypeFor(float value) {
    int32_t type = roundToInt(static_cast<double>(value) * 2.0);
    if (type < kLowPass) type = kLowPass;
    if (type > kBypass) type = kBypass;
    return type;
}

// A quantity's float value, as the double it widens to.
double widened(double x) { return static_cast<double>(static_cast<float>(x)); }

// x held to lo..hi, NaN as `nan`. In-range values pass with their bits.
double held(double x, double lo, double hi, double nan) { return x != x ? nan : x < lo ? lo : x > hi ? hi : x; }

// The filter is stable only for damping 0.03..1.2, the span Q 0..1 gives;
// a Q past 1 (either sign) would make it negative and the filter ring up to
// full scale. NaN counts as Q 0.
double dampingFor(double q) {
    const double lo = widened(kMinDamping), hi = widened(kMaxDamping);  // what Q 1 and Q 0 give
    return held(widened(1.2 - 1.17 * q * q), lo, hi, hi);
}

// The smallest whole position >= switchPoint, held to 0..8192: for whole t,
// t < switchPoint exactly when t < this. NaN, which no position is below,
// gives 0.
int32_t wave2StartFor(double switchPoint) {
    if (!(switchPoint > 0.0)) return 0;
    if (switchPoint >= kSwitchCycle) return kSwitchCycle;
    return static_cast<int32_t>(std::ceil(switchPoint));
}

}  // namespace

// A NaN value converts to 0 in every rounding (see roundToInt); infinities
// and huge values saturate. The quantities that could take the filter out
// of its stable range (damping, Env amount) or a voice past full level (S)
// are held to what values 0..1 give; the others take whatever the formula
// gives, and the renderer keeps those from harming its integer state.
void applyParameter(SharedQuantities& q, int32_t index, float value, float sampleRate) {
    const double v = value;
    const double rate = sampleRate;
    constexpr auto relaxed = std::memory_order_relaxed;
    switch (index) {
        case kParamAttack: q.attackSamples.store(stageFrames(v, rate, 0.5), relaxed); break;
        case kParamDecay: q.decaySamples.store(stageFrames(v, rate, 0.5), relaxed); break;
        case kParamRelease: {
            const int32_t frames = stageFrames(v, rate, 1.0);
            q.releaseSamples.store(frames > INT32_MAX - kMinReleaseFrames ? INT32_MAX : frames + kMinReleaseFrames,
                                   relaxed);
            break;
        }
        case kParamCutOff:
            q.cutoffCoef.store(widened((v * v + 0.05) * 70000.0 / rate), relaxed);
            break;
        case kParamQ: q.damping.store(dampingFor(v), relaxed); break;
        case kParamSustain: q.sustainLevel.store(static_cast<float>(held(v, 0.0, 1.0, 0.0)), relaxed); break;
        // An amount past 1 pushes the cut-off below 0 at low levels, where
        // the filter runs away; held to 0..1 like S, NaN as 0.
        case kParamEnv: q.envAmount.store(held(v, 0.0, 1.0, 0.0), relaxed); break;
        case kParamType: q.filterType.store(filterTypeFor(value), relaxed); break;
        case kParamWave1: q.wave1Table.store(mixTableFor(waveSelection(value)), relaxed); break;
        case kParamWave2: q.wave2Table.store(mixTableFor(waveSelection(value)), relaxed); break;
        case kParamDrag:
            q.dragCoef.store(static_cast<float>(((1.0 - v) * (1.0 - v) + 0.01) * 1000.0 / rate), relaxed);
            break;
        case kParamMix: {
            // Written in this order; a reader may see the four mixed for one frame.
            const double switchPoint = widened((1.0 - v) * static_cast<double>(kSwitchCycle));
            q.switchPoint.store(switchPoint, relaxed);
            q.wave2Start.store(wave2StartFor(switchPoint), relaxed);
            q.wave1Stretch.store(widened((1.0 - v) * 2.0), relaxed);
            q.wave2Stretch.store(widened(v * 2.0), relaxed);
            break;
        }
        default: break;  // other indexes drive nothing
    }
}

void applyRate(SharedQuantities& q, float sampleRate) {
    q.tableStep.store(static_cast<float>(kTableStepScale / static_cast<double>(sampleRate)), std::memory_order_relaxed);
}

bool usableRate(double rate) { return std::isfinite(rate) && rate > 0.0 && kTableStepScale / rate <= FLT_MAX; }

Quantities SharedQuantities::snapshot() const {
    constexpr auto r = std::memory_order_relaxed;
    Quantities q;
    q.attackSamples = attackSamples.load(r);
    q.decaySamples = decaySamples.load(r);
    q.releaseSamples = releaseSamples.load(r);
    q.cutoffCoef = cutoffCoef.load(r);
    q.damping = damping.load(r);
    q.filterType = filterType.load(r);
    q.wave1Table = wave1Table.load(r);
    q.wave2Table = wave2Table.load(r);
    q.dragCoef = dragCoef.load(r);
    q.switchPoint = switchPoint.load(r);
    q.wave2Start = wave2Start.load(r);
    q.wave1Stretch = wave1Stretch.load(r);
    q.wave2Stretch = wave2Stretch.load(r);
    q.sustainLevel = sustainLevel.load(r);
    q.envAmount = envAmount.load(r);
    q.tableStep = tableStep.load(r);
    return q;
}

}  // namespace orvo
