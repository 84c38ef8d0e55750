// ADSR envelope and release scheduling of one voice. Both run once per
// rendered frame, envelope first.
#pragma once

#include <cstdint>

namespace orvo {

enum EnvelopeStage : int32_t { kStageOff = 0, kStageAttack, kStageDecay, kStageSustain, kStageRelease };

inline constexpr int32_t kNoReleasePending = -1;

struct EnvelopeState {
    int32_t stage = kStageOff;
    float level = 0.0f;         // 0..1: last attack/decay/sustain level; the release scales it
    int32_t attackCount = 0;    // frames spent in attack
    int32_t decayCount = 0;     // frames spent in decay
    int32_t releaseCount = 0;   // frames spent in release
    int32_t releaseCountdown = kNoReleasePending;  // rendered frames until release starts
};

// Stage lengths in frames, each >= 0.
struct EnvelopeTimes {
    int32_t attack;
    int32_t decay;
    int32_t release;
};

// Advances one frame and returns this frame's level. The divisors are taken
// in double so that a saturated length of INT32_MAX cannot overflow.
inline float envelopeStep(EnvelopeState& e, const EnvelopeTimes& times, float sustain) {
    switch (e.stage) {
        case kStageAttack:
            if (e.attackCount < times.attack) {
                e.level = static_cast<float>(static_cast<double>(e.attackCount) /
                                             (static_cast<double>(times.attack) + 1.0));
                ++e.attackCount;
                return e.level;
            }
            e.stage = kStageDecay;
            e.decayCount = 0;
            return e.level;  // the switching frame repeats the last attack level
        case kStageDecay:
            if (e.decayCount < times.decay) {
                const double s = sustain;
                e.level = static_cast<float>(
                    (1.0 - s) * (1.0 - static_cast<double>(e.decayCount) / (static_cast<double>(times.decay) + 1.0)) +
                    s);
                ++e.decayCount;
                return e.level;
            }
            e.stage = kStageSustain;
            return e.level;
        case kStageSustain:
            // Read every frame, so moving S is heard at once.
            e.level = sustain;
            return e.level;
        case kStageRelease:
            if (e.releaseCount < times.release) {
                // The whole release scales the level held when it began.
                const float l = static_cast<float>(
                    (1.0 - static_cast<double>(e.releaseCount) / (static_cast<double>(times.release) + 1.0)) *
                    static_cast<double>(e.level));
                ++e.releaseCount;
                return l;
            }
            e.stage = kStageOff;
            return 0.0f;
        default:
            return 0.0f;
    }
}

// A countdown of d set before frame 0 fires at the end of frame d, so the
// release levels start with frame d + 1.
inline void releaseCountdownStep(EnvelopeState& e) {
    if (e.releaseCountdown < 0) return;
    if (e.releaseCountdown == 0) {
        e.stage = kStageRelease;
        e.releaseCount = 0;
    }
    --e.releaseCountdown;
}

}  // namespace orvo
