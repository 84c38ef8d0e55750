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
    int32_t attackFrames() const { return attack; }
    int32_t decayFrames() const { return decay; }
    int32_t releaseFrames() const { return release; }
};

// Advances one frame and returns this frame's level. The divisors are taken
// in double so that a saturated length of INT32_MAX cannot overflow.
// `Times` answers attackFrames(), decayFrames() and releaseFrames(); each is
// asked only in its own stage, so the renderer can pass live values and a
// sustaining voice reads none of them.
template <typename Times>
[[gnu::always_inline]] inline float envelopeStep(EnvelopeState& e, const Times& times, float sustain) {
    // Read every frame, so moving S is heard at once. Tested first: a held
    // note spends nearly all its frames here.
    if (e.stage == kStageSustain) [[likely]] {
        e.level = sustain;
        return sustain;
    }
    switch (e.stage) {
        case kStageAttack: {
            const int32_t attack = times.attackFrames();
            if (e.attackCount < attack) {
                e.level = static_cast<float>(static_cast<double>(e.attackCount) /
                                             (static_cast<double>(attack) + 1.0));
                ++e.attackCount;
                return e.level;
            }
            e.stage = kStageDecay;
            e.decayCount = 0;
            return e.level;  // the switching frame repeats the last attack level
        }
        case kStageDecay: {
            const int32_t decay = times.decayFrames();
            if (e.decayCount < decay) {
                const double s = sustain;
                e.level = static_cast<float>(
                    (1.0 - s) * (1.0 - static_cast<double>(e.decayCount) / (static_cast<double>(decay) + 1.0)) + s);
                ++e.decayCount;
                return e.level;
            }
            e.stage = kStageSustain;
            return e.level;
        }
        case kStageRelease: {
            const int32_t release = times.releaseFrames();
            if (e.releaseCount < release) {
                // The whole release scales the level held when it began.
                const float l = static_cast<float>(
                    (1.0 - static_cast<double>(e.releaseCount) / (static_cast<double>(release) + 1.0)) *
                    static_cast<double>(e.level));
                ++e.releaseCount;
                return l;
            }
            e.stage = kStageOff;
            return 0.0f;
        }
        default:
            return 0.0f;
    }
}

// A countdown of d set before frame 0 fires at the end of frame d, so the
// release levels start with frame d + 1.
[[gnu::always_inline]] inline void releaseCountdownStep(EnvelopeState& e) {
    if (e.releaseCountdown < 0) return;
    if (e.releaseCountdown == 0) {
        e.stage = kStageRelease;
        e.releaseCount = 0;
    }
    --e.releaseCountdown;
}

}  // namespace orvo
