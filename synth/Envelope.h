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

// A stage's frame count as a double beside the int, and the divisor (stage
// length + 1) for the length last read: a run of frames in one stage keeps
// them from frame to frame instead of converting both every frame.
struct StageClock {
    int32_t length = -1;  // stage length the divisor is for; -1 for none yet
    double divisor = 0.0;
    double count = 0.0;   // the stage's frame count
};

template <int32_t kStage>
inline StageClock startClock(const EnvelopeState& e) {
    StageClock c;
    if constexpr (kStage == kStageAttack) c.count = e.attackCount;
    if constexpr (kStage == kStageDecay) c.count = e.decayCount;
    if constexpr (kStage == kStageRelease) c.count = e.releaseCount;
    return c;
}

// One frame of a voice known to be in stage kStage (attack, decay, sustain
// or release), with its clock: returns this frame's level and sets `ended`
// on the frame that moves the voice to its next stage. The divisors are
// taken in double so that a saturated length of INT32_MAX cannot overflow.
// `Times` answers attackFrames(), decayFrames() and releaseFrames(); each is
// asked only in its own stage, so the renderer can pass live values and a
// sustaining voice reads none of them.
template <int32_t kStage, typename Times>
[[gnu::always_inline]] inline float clockedStageStep(EnvelopeState& e, StageClock& c, const Times& times,
                                                     float sustain, bool& ended) {
    const auto divisorFor = [&c](int32_t length) __attribute__((always_inline)) {
        if (length != c.length) [[unlikely]] {
            c.length = length;
            c.divisor = static_cast<double>(length) + 1.0;
        }
        return c.divisor;
    };
    if constexpr (kStage == kStageSustain) {
        // Read every frame, so moving S is heard at once.
        e.level = sustain;
        return sustain;
    } else if constexpr (kStage == kStageAttack) {
        const int32_t attack = times.attackFrames();
        if (e.attackCount < attack) [[likely]] {
            e.level = static_cast<float>(c.count / divisorFor(attack));
            ++e.attackCount;
            c.count += 1.0;
            return e.level;
        }
        e.stage = kStageDecay;
        e.decayCount = 0;
        ended = true;
        return e.level;  // the switching frame repeats the last attack level
    } else if constexpr (kStage == kStageDecay) {
        const int32_t decay = times.decayFrames();
        if (e.decayCount < decay) [[likely]] {
            const double s = sustain;
            e.level = static_cast<float>((1.0 - s) * (1.0 - c.count / divisorFor(decay)) + s);
            ++e.decayCount;
            c.count += 1.0;
            return e.level;
        }
        e.stage = kStageSustain;
        ended = true;
        return e.level;
    } else {
        static_assert(kStage == kStageRelease);
        const int32_t release = times.releaseFrames();
        if (e.releaseCount < release) [[likely]] {
            // The whole release scales the level held when it began.
            const float l = static_cast<float>((1.0 - c.count / divisorFor(release)) * static_cast<double>(e.level));
            ++e.releaseCount;
            c.count += 1.0;
            return l;
        }
        e.stage = kStageOff;
        ended = true;
        return 0.0f;
    }
}

// The same for a single frame.
template <int32_t kStage, typename Times>
[[gnu::always_inline]] inline float stageStep(EnvelopeState& e, const Times& times, float sustain, bool& ended) {
    StageClock c = startClock<kStage>(e);
    return clockedStageStep<kStage>(e, c, times, sustain, ended);
}

// Advances one frame, whatever the stage, and returns this frame's level.
template <typename Times>
[[gnu::always_inline]] inline float envelopeStep(EnvelopeState& e, const Times& times, float sustain) {
    bool ended = false;
    // Tested first: a held note spends nearly all its frames here.
    if (e.stage == kStageSustain) [[likely]]
        return stageStep<kStageSustain>(e, times, sustain, ended);
    switch (e.stage) {
        case kStageAttack: return stageStep<kStageAttack>(e, times, sustain, ended);
        case kStageDecay: return stageStep<kStageDecay>(e, times, sustain, ended);
        case kStageRelease: return stageStep<kStageRelease>(e, times, sustain, ended);
        default: return 0.0f;
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

// `frames` releaseCountdownSteps at once, for a run of frames that ends no
// later than the frame where the countdown fires.
[[gnu::always_inline]] inline void releaseCountdownRun(EnvelopeState& e, int32_t frames) {
    if (e.releaseCountdown < 0) return;
    e.releaseCountdown -= frames;
    if (e.releaseCountdown == -1) {
        e.stage = kStageRelease;
        e.releaseCount = 0;
    }
}

// The most frames a run may take before a pending countdown fires: the run
// then ends with the firing frame.
[[gnu::always_inline]] inline int32_t framesBeforeRelease(const EnvelopeState& e, int32_t frames) {
    return e.releaseCountdown >= 0 && e.releaseCountdown < frames ? e.releaseCountdown + 1 : frames;
}

}  // namespace orvo
