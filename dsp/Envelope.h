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

// A note still held: what a note-off or a new note releases.
inline bool isHeld(const EnvelopeState& e) {
    return e.stage == kStageAttack || e.stage == kStageDecay || e.stage == kStageSustain;
}

// Stage lengths in frames, each >= 0.
struct EnvelopeTimes {
    int32_t attack;
    int32_t decay;
    int32_t release;
    int32_t attackFrames() const { return attack; }
    int32_t decayFrames() const { return decay; }
    int32_t releaseFrames() const { return release; }
};

// The levels, written once for the single step and the run steps, from the
// quotient count / divisor. `divisor` is the stage length + 1, taken in
// double so that a saturated length of INT32_MAX cannot overflow.
[[gnu::always_inline]] inline float attackLevel(double quotient) { return static_cast<float>(quotient); }
[[gnu::always_inline]] inline float decayLevel(double quotient, float sustain) {
    const double s = sustain;
    return static_cast<float>((1.0 - s) * (1.0 - quotient) + s);
}
// The whole release scales the level held when it began.
[[gnu::always_inline]] inline float releaseLevel(double quotient, float held) {
    return static_cast<float>((1.0 - quotient) * static_cast<double>(held));
}

// This frame's level in stage kStage (attack, decay or release) from its
// quotient; attack and decay keep it as the voice's level.
template <int32_t kStage>
[[gnu::always_inline]] inline float stageLevel(EnvelopeState& e, double quotient, float sustain) {
    if constexpr (kStage == kStageAttack) return e.level = attackLevel(quotient);
    if constexpr (kStage == kStageDecay) return e.level = decayLevel(quotient, sustain);
    if constexpr (kStage == kStageRelease) return releaseLevel(quotient, e.level);
}

[[gnu::always_inline]] inline double divisorFor(int32_t length) { return static_cast<double>(length) + 1.0; }

// The length and frame count of stage kStage (attack, decay or release).
template <int32_t kStage, typename Times>
[[gnu::always_inline]] inline int32_t stageLength(const Times& times) {
    if constexpr (kStage == kStageAttack) return times.attackFrames();
    if constexpr (kStage == kStageDecay) return times.decayFrames();
    if constexpr (kStage == kStageRelease) return times.releaseFrames();
}
template <int32_t kStage, typename State>  // EnvelopeState, const or not
[[gnu::always_inline]] inline auto& stageCount(State& e) {
    if constexpr (kStage == kStageAttack) return e.attackCount;
    if constexpr (kStage == kStageDecay) return e.decayCount;
    if constexpr (kStage == kStageRelease) return e.releaseCount;
}

// One frame of a voice known to be in stage kStage (attack, decay or
// release) whose length is `length`: returns this frame's level and sets
// `ended` on the frame that moves the voice to its next stage.
template <int32_t kStage>
[[gnu::always_inline]] inline float timedStageStep(EnvelopeState& e, int32_t length, float sustain, bool& ended) {
    if constexpr (kStage == kStageAttack) {
        if (e.attackCount < length) [[likely]] {
            e.level = attackLevel(e.attackCount / divisorFor(length));
            ++e.attackCount;
            return e.level;
        }
        e.stage = kStageDecay;
        e.decayCount = 0;
        ended = true;
        return e.level;  // the switching frame repeats the last attack level
    } else if constexpr (kStage == kStageDecay) {
        if (e.decayCount < length) [[likely]] {
            e.level = decayLevel(e.decayCount / divisorFor(length), sustain);
            ++e.decayCount;
            return e.level;
        }
        e.stage = kStageSustain;
        ended = true;
        return e.level;
    } else {
        static_assert(kStage == kStageRelease);
        if (e.releaseCount < length) [[likely]] {
            const float l = releaseLevel(e.releaseCount / divisorFor(length), e.level);
            ++e.releaseCount;
            return l;
        }
        e.stage = kStageOff;
        ended = true;
        return 0.0f;
    }
}

// One frame of a voice known to be in stage kStage (attack, decay, sustain
// or release). `Times` answers attackFrames(), decayFrames() and
// releaseFrames(); each is asked only in its own stage.
template <int32_t kStage, typename Times>
[[gnu::always_inline]] inline float stageStep(EnvelopeState& e, const Times& times, float sustain, bool& ended) {
    if constexpr (kStage == kStageSustain) {
        e.level = sustain;
        return sustain;
    } else {
        return timedStageStep<kStage>(e, stageLength<kStage>(times), sustain, ended);
    }
}

// A run of frames in one stage, planned at its start: the run lasts no more
// than stageFramesLeft frames, so no frame of it reaches the stage's end,
// and the frame count is kept as a double, with the divisor, instead of
// converting both every frame. The int count is brought up to date when the
// run ends.
struct StageClock {
    double divisor = 0.0;
    double count = 0.0;  // the stage's frame count
};

template <int32_t kStage>
inline StageClock planStage(const EnvelopeState& e, const EnvelopeTimes& times) {
    StageClock c;
    if constexpr (kStage != kStageSustain) {
        c.divisor = divisorFor(stageLength<kStage>(times));
        c.count = stageCount<kStage>(e);
    }
    return c;
}

// Frames before stage kStage would end at the lengths `times` gives: 0 when
// the next frame leaves it. A sustain never ends by itself.
template <int32_t kStage, typename Times>
inline int32_t stageFramesLeft(const EnvelopeState& e, const Times& times) {
    if constexpr (kStage == kStageSustain) {
        return INT32_MAX;
    } else {
        const int32_t left = stageLength<kStage>(times) - stageCount<kStage>(e);
        return left > 0 ? left : 0;
    }
}

template <typename Times>
inline int32_t stageFramesLeft(const EnvelopeState& e, const Times& times) {
    switch (e.stage) {
        case kStageAttack: return stageFramesLeft<kStageAttack>(e, times);
        case kStageDecay: return stageFramesLeft<kStageDecay>(e, times);
        case kStageSustain: return stageFramesLeft<kStageSustain>(e, times);
        case kStageRelease: return stageFramesLeft<kStageRelease>(e, times);
        default: return 0;
    }
}

// One frame of such a run in stage kStage.
template <int32_t kStage>
[[gnu::always_inline]] inline float runStageStep(EnvelopeState& e, StageClock& c, float sustain) {
    if constexpr (kStage == kStageSustain) {
        e.level = sustain;
        return sustain;
    } else {
        const float l = stageLevel<kStage>(e, c.count / c.divisor, sustain);
        c.count += 1.0;
        return l;
    }
}

// Brings the int count up to date at the end of a run.
template <int32_t kStage>
[[gnu::always_inline]] inline void finishStage(EnvelopeState& e, const StageClock& c) {
    if constexpr (kStage != kStageSustain) {
        if (e.stage == kStage) stageCount<kStage>(e) = static_cast<int32_t>(c.count);
    }
}

// Advances one frame, whatever the stage, and returns this frame's level;
// sets `ended` on the frame that moves the voice to its next stage, for a
// run of frames that must end there.
template <typename Times>
[[gnu::always_inline]] inline float anyStageStep(EnvelopeState& e, const Times& times, float sustain, bool& ended) {
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

template <typename Times>
[[gnu::always_inline]] inline float envelopeStep(EnvelopeState& e, const Times& times, float sustain) {
    bool ended = false;
    return anyStageStep(e, times, sustain, ended);
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
