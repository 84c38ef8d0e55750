// The stage runs: stretches of frames in which every sounding voice stays in
// a stage known in advance, so a frame has no stage to dispatch on. They
// serve where the music spends its frames: one voice sounding alone in any
// stage (the other silent, which no event can change inside the block), a
// held voice (attack, decay or sustain) beside a releasing one, in either
// voice order, and both voices sustaining (a pad of two held notes sent on
// one frame, and the benchmark's two-voice case). Two voices in other
// stages take the run that dispatches on each voice's stage every frame;
// whatever no run can take goes to the general frame path (FramePath.cc),
// which renders the same bits.
#include <algorithm>

#include "Engine.h"
#include "FrameSteps.h"
#include "StageClockPair.h"

namespace orvo {

using namespace frame;

namespace {

// A stage known only frame by frame: the run of two voices sounding in any
// stages, each frame dispatching on each voice's stage. It ends with the
// frame in which a stage changes, as the other runs end with the frame that
// finds another stage length.
constexpr int32_t kAnyStage = -1;

template <int32_t kStage>
int32_t framesPlanned(const EnvelopeState& e, const EnvelopeTimes& times) {
    if constexpr (kStage == kAnyStage) return INT32_MAX;
    else return stageFramesLeft<kStage>(e, times);
}

template <int32_t kStage>
StageClock clockFor(const EnvelopeState& e, const EnvelopeTimes& times) {
    if constexpr (kStage == kAnyStage) return {};
    else return planStage<kStage>(e, times);
}

template <int32_t kStage>
[[gnu::always_inline]] inline void finish(EnvelopeState& e, const StageClock& c) {
    if constexpr (kStage != kAnyStage) finishStage<kStage>(e, c);
}

template <int32_t kStage>
[[gnu::always_inline]] inline float levelStep(EnvelopeState& e, StageClock& c, const EnvelopeTimes& times,
                                              float sustain, bool& ended) {
    if constexpr (kStage == kAnyStage) return anyStageStep(e, times, sustain, ended);
    else return runStageStep<kStage>(e, c, sustain);
}

// A released note keeps its own pitch; the held one plays the glide.
template <int32_t kStage>
[[gnu::always_inline]] inline float incrementOf(const Lane& v, float glide) {
    if constexpr (kStage == kAnyStage) return v.env.stage == kStageRelease ? v.increment : glide;
    else return kStage == kStageRelease ? v.increment : glide;
}

}  // namespace

// A run ends before the frame in which a voice would leave its stage (the
// general path takes that frame), after a frame that needed the checked
// glide step, and no later than the frame in which a pending release fires,
// so the countdowns are settled once at its end. Answers the next frame.
//
// kStage1 kStageOff is a run of voice `solo` alone: it renders in lane 0 of
// the paired filter step, with lane 1 closed and at rest. In a run of two,
// voice 0 is lane 0, so the outputs add in voice order.
template <int32_t kStage0, int32_t kStage1>
[[gnu::noinline]] int32_t Engine::stageRun(const Quantities& q, Output mode, float* left, float* right, int32_t n,
                                           int32_t frames, int32_t solo) {
    constexpr bool kSolo = kStage1 == kStageOff;
    // Straight from the voices, which stageRunFor found runnable: a block of
    // short runs pays for no more than it uses. In a solo run voice1 is the
    // silent one and is left alone.
    Voice& voice0 = bank_.voice[kSolo ? solo : 0];
    Voice& voice1 = bank_.voice[kSolo ? 1 - solo : 1];
    // No stage ends inside the run while its length stays as planned.
    const EnvelopeTimes times = timesOf(q);
    const FrontParams p = frontOf(q);
    const BackParams backParams = backOf(q);
    int32_t stagesLeft =
        std::min(framesPlanned<kStage0>(voice0.env, times), std::min(frames - n, kLongestCalmRun));
    if constexpr (!kSolo) stagesLeft = std::min(stagesLeft, framesPlanned<kStage1>(voice1.env, times));
    int32_t limit = framesBeforeRelease(voice0.env, stagesLeft);
    if constexpr (!kSolo) limit = framesBeforeRelease(voice1.env, limit);
    Lane v0{voice0.phase, voice0.increment, 0, voice0.env}, v1{};
    if constexpr (!kSolo) v1 = {voice1.phase, voice1.increment, 0, voice1.env};
    float glide = bank_.glideIncrement;
    const float target = glideTargetOf(bank_);
    FilterPair fp = filterPairOf(voice0.filter, kSolo ? FilterState{} : voice1.filter);
    const float gain1 = kSolo ? 0.0f : voice1.gain, scale1 = kSolo ? 0.0f : voice1.cutoffScale;
    const Pair gains = pairOf(voice0.gain, gain1);
    const Pair scales = pairOf(voice0.cutoffScale, scale1);

    StageClock clock0 = clockFor<kStage0>(v0.env, times), clock1{};
    if constexpr (!kSolo) clock1 = clockFor<kStage1>(v1.env, times);
    // Two voices in timed stages divide once for both.
    constexpr bool kPairedClocks = !kSolo && kStage0 != kStageSustain && kStage1 != kStageSustain &&
                                   kStage0 != kAnyStage && kStage1 != kAnyStage;
    StageClockPair clocks{};
    if constexpr (kPairedClocks) clocks = pairClocks(v0.env, v1.env, clock0, clock1);
    // The first half of a frame: glide, oscillators and envelopes. Sets
    // `ended` when the glide needed the checked step, or, in the run of any
    // stages, when a voice's stage changed. Paired
    // clocks give the levels in lanes 0 and 1 of `levels`; the other runs
    // keep them as two floats until the cut-off, which measured faster.
    struct Front {
        int32_t raw0, raw1;
        float level0, level1;
        FloatPair levels;
        Pair widenedLevels() const { return widen(kPairedClocks ? levels : floatPairOf(level0, level1)); }
    };
    const auto front = [&](bool& ended) __attribute__((always_inline)) {
        Front o{};
        glide = calmGlideStep(glide, target, p.drag, ended);
        o.raw0 = oscillate(v0.phase, p, incrementOf<kStage0>(v0, glide));
        if constexpr (kSolo) {
            o.level0 = levelStep<kStage0>(v0.env, clock0, times, p.sustain, ended);
        } else {
            o.raw1 = oscillate(v1.phase, p, incrementOf<kStage1>(v1, glide));
            if constexpr (kPairedClocks) {
                o.levels = runStagePairStep<kStage0, kStage1>(v0.env, v1.env, clocks, p.sustain);
            } else {
                o.level0 = levelStep<kStage0>(v0.env, clock0, times, p.sustain, ended);
                o.level1 = levelStep<kStage1>(v1.env, clock1, times, p.sustain, ended);
            }
        }
        return o;
    };
    // The second half: cut-off, filter and output of frame `i`.
    bool small = false;
    const auto back = [&](const Front& o, int32_t i, bool checkStates) __attribute__((always_inline)) {
        const FloatPair samples =
            pairedBack<kSolo>(fp, o.raw0, o.raw1, o.widenedLevels(), gains, scales, 1, backParams, small, checkStates);
        emit(mode, left, right, n + i, true, lane0(samples), !kSolo, lane1(samples));
    };

    // The next frame's first half is taken before this frame's second half,
    // so that the envelope and oscillator work of one frame overlaps the
    // filter chain of the one before. Two frames a
    // pass, so that no first half is copied from one pass to the next: the
    // first checks the filter states, the second only when the first left
    // them unproven.
    int32_t i = 0;
    bool ended = false;  // set by the latest first half
    Front a = front(ended);
    for (;;) {
        if (ended || i + 1 >= limit) {
            back(a, i++, true);
            break;
        }
        const Front b = front(ended);
        back(a, i++, true);
        if (ended || i + 1 >= limit) {
            back(b, i++, false);
            break;
        }
        a = front(ended);
        back(b, i++, false);
    }

    if constexpr (kPairedClocks) unpairClocks(clocks, clock0, clock1);
    finish<kStage0>(v0.env, clock0);
    releaseCountdownRun(v0.env, i);
    voice0.phase = v0.phase;
    voice0.env = v0.env;
    voice0.filter = filterOf(fp, 0);
    if constexpr (!kSolo) {
        finish<kStage1>(v1.env, clock1);
        releaseCountdownRun(v1.env, i);
        voice1.phase = v1.phase;
        voice1.env = v1.env;
        voice1.filter = filterOf(fp, 1);
    }
    bank_.glideIncrement = glide;
    return n + i;
}

// The stage run for the voices' stages, or null when there is none; sets
// `solo` for a run of one voice.
Engine::StageRunFn Engine::stageRunFor(const EnvelopeTimes& times, int32_t& solo) const {
    constexpr int32_t A = kStageAttack, D = kStageDecay, S = kStageSustain, R = kStageRelease, O = kStageOff;
    static constexpr StageRunFn solos[] = {&Engine::stageRun<A, O>, &Engine::stageRun<D, O>, &Engine::stageRun<S, O>,
                                           &Engine::stageRun<R, O>};
    // runnableVoices answers 2 for one held voice and one releasing.
    static constexpr StageRunFn heldFirst[] = {&Engine::stageRun<A, R>, &Engine::stageRun<D, R>,
                                               &Engine::stageRun<S, R>};
    static constexpr StageRunFn releasingFirst[] = {&Engine::stageRun<R, A>, &Engine::stageRun<R, D>,
                                                    &Engine::stageRun<R, S>};
    const Voice& voice0 = bank_.voice[0];
    const Voice& voice1 = bank_.voice[1];
    switch (runnableVoices(voice0, voice1, bank_.glideIncrement, glideTargetOf(bank_), times, solo)) {
        case 1: return solos[bank_.voice[solo].env.stage - A];
        case 2: return voice0.env.stage == R ? releasingFirst[voice1.env.stage - A] : heldFirst[voice0.env.stage - A];
        case 3:
            return voice0.env.stage == S && voice1.env.stage == S ? &Engine::stageRun<S, S>
                                                                  : &Engine::stageRun<kAnyStage, kAnyStage>;
        default: return nullptr;
    }
}

}  // namespace orvo
