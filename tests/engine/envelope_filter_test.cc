// Envelope level sequences, release scheduling, cut-off and the integer filter.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>
#include <vector>

#include "Envelope.h"
#include "Filter.h"
#include "StageClockPair.h"

using namespace orvo;

namespace {

EnvelopeState started() {
    EnvelopeState e;
    e.stage = kStageAttack;
    return e;
}

std::vector<float> levels(EnvelopeState& e, const EnvelopeTimes& t, float sustain, int frames) {
    std::vector<float> out;
    for (int i = 0; i < frames; ++i) out.push_back(envelopeStep(e, t, sustain));
    return out;
}

TEST(Envelope, AttackDecaySustainShape) {
    EnvelopeState e = started();
    const EnvelopeTimes t{4, 3, 10};
    const float s = 0.25f;
    // Attack 0..0.6, the switching frame repeats 0.6, decay starts at exactly
    // 1, its switching frame repeats the last decay level, then sustain.
    const float last = static_cast<float>(0.75 * (1.0 - 2.0 / 4.0) + 0.25);
    EXPECT_EQ(levels(e, t, s, 11), (std::vector<float>{0.0f, 0.2f, 0.4f, 0.6f, 0.6f, 1.0f,
                                                        static_cast<float>(0.75 * 0.75 + 0.25), last, last,
                                                        0.25f, 0.25f}));
    EXPECT_EQ(e.stage, kStageSustain);
    EXPECT_EQ(envelopeStep(e, t, 0.75f), 0.75f);  // sustain follows S at once
}

TEST(Envelope, ZeroLengthAttackAndDecay) {
    EnvelopeState e = started();
    EXPECT_EQ(levels(e, {0, 2, 10}, 0.5f, 3), (std::vector<float>{0.0f, 1.0f, static_cast<float>(0.5 * (1.0 - 1.0 / 3.0) + 0.5)}));
    EnvelopeState d = started();
    EXPECT_EQ(levels(d, {2, 0, 10}, 0.5f, 5), (std::vector<float>{0.0f, 1.0f / 3.0f, 1.0f / 3.0f, 1.0f / 3.0f, 0.5f}));
}

TEST(Envelope, ReleaseScalesTheLevelReachedAndEndsSilent) {
    EnvelopeState e = started();
    const EnvelopeTimes t{4, 3, 10};
    levels(e, t, 0.5f, 3);  // attack reached 0.4
    e.releaseCountdown = 0;
    releaseCountdownStep(e);
    EXPECT_EQ(e.stage, kStageRelease);
    EXPECT_EQ(e.releaseCountdown, kNoReleasePending);
    std::vector<float> r = levels(e, t, 0.5f, 11);
    EXPECT_EQ(r.front(), 0.4f);
    EXPECT_EQ(r[9], static_cast<float>((1.0 - 9.0 / 11.0) * static_cast<double>(0.4f)));
    EXPECT_EQ(r[10], 0.0f);
    EXPECT_EQ(e.stage, kStageOff);
    EXPECT_EQ(e.level, 0.4f);  // kept: only the release output falls
}

TEST(Envelope, CountdownFiresAfterItsFrames) {
    EnvelopeState e = started();
    e.releaseCountdown = 2;
    for (int frame = 0; frame < 2; ++frame) {
        releaseCountdownStep(e);
        EXPECT_EQ(e.stage, kStageAttack);
    }
    releaseCountdownStep(e);
    EXPECT_EQ(e.stage, kStageRelease);
    releaseCountdownStep(e);  // nothing pending any more
    EXPECT_EQ(e.releaseCountdown, kNoReleasePending);
}

// The renderer settles countdowns once per run of frames, each run cut at
// the frame where a countdown fires: the same frame as stepping every frame.
TEST(Envelope, CountdownSettledPerRunFiresOnTheSameFrame) {
    for (int32_t countdown = -1; countdown < 9; ++countdown) {
        for (int32_t longest : {1, 2, 3, 7, 64}) {
            EnvelopeState stepped = started(), run = started();
            stepped.releaseCountdown = run.releaseCountdown = countdown;
            int32_t frame = 0;
            while (frame < 12) {
                const int32_t frames = framesBeforeRelease(run, longest);
                ASSERT_GE(frames, 1);
                for (int32_t k = 0; k < frames; ++k) releaseCountdownStep(stepped);
                releaseCountdownRun(run, frames);
                frame += frames;
                ASSERT_EQ(run.stage, stepped.stage) << countdown << " " << longest << " " << frame;
                ASSERT_EQ(run.releaseCountdown, stepped.releaseCountdown);
                ASSERT_EQ(run.releaseCount, stepped.releaseCount);
            }
        }
    }
}

// A run is planned for the stage lengths read when it starts and keeps its
// divisor; it must give the single steps' levels and states whether the
// lengths stay, change from frame to frame, or changed since the plan. The
// frame that finds another length ends the run; a stage with no frame left
// at the plan gets a single step, as the renderer gives it.
TEST(Envelope, RunsMatchSingleStepsWhetherLengthsStayOrChange) {
    struct Live {
        int32_t length;
        int32_t attackFrames() const { return length; }
        int32_t decayFrames() const { return length; }
        int32_t releaseFrames() const { return length; }
    };
    const auto check = [](auto stage, EnvelopeState e, bool changing, int32_t planLag) {
        constexpr int32_t kStage = decltype(stage)::value;
        const auto lengthAt = [changing](int32_t frame) {
            return !changing ? 9 : (frame * 7) % 5 == 0 ? 3 : 9 + frame % 4;
        };
        EnvelopeState plain = e;
        int32_t frame = 0;
        while (plain.stage == kStage && frame < 40) {
            const int32_t planAt = frame - planLag;
            const EnvelopeTimes planned{lengthAt(planAt), lengthAt(planAt), lengthAt(planAt)};
            const int32_t left = stageFramesLeft<kStage>(e, planned);
            StageClock clock = planStage<kStage>(e, planned);
            bool ended = false;
            for (int32_t k = 0; k < std::max(left, 1) && !ended; ++k, ++frame) {
                const Live live{lengthAt(frame)};
                bool endedPlain = false;
                const float p = stageStep<kStage>(plain, live, 0.25f, endedPlain);
                const float r = left > 0 ? runStageStep<kStage>(e, clock, live, 0.25f, ended)
                                         : stageStep<kStage>(e, live, 0.25f, ended);
                ASSERT_EQ(p, r) << kStage << " frame " << frame << " changing " << changing;
                if (endedPlain) {
                    ASSERT_TRUE(ended) << kStage << " frame " << frame;
                }
            }
            if (left > 0) finishStage<kStage>(e, clock);
            ASSERT_EQ(std::memcmp(&plain, &e, sizeof e), 0) << kStage << " frame " << frame;
        }
        ASSERT_NE(plain.stage, kStage) << "the stage should have ended";
    };
    for (bool changing : {false, true}) {
        for (int32_t planLag : {0, 1}) {
            EnvelopeState e = started();
            e.level = 0.8f;
            check(std::integral_constant<int32_t, kStageAttack>{}, e, changing, planLag);
            e.stage = kStageDecay;
            e.decayCount = 2;
            check(std::integral_constant<int32_t, kStageDecay>{}, e, changing, planLag);
            e.stage = kStageRelease;
            e.releaseCount = 1;
            check(std::integral_constant<int32_t, kStageRelease>{}, e, changing, planLag);
        }
    }
}

// Two voices in timed stages divide once for both: every pair of stages must
// give each voice's own run step, bit for bit, whether the lengths stay or
// one voice's length changes, which ends the run for both.
TEST(Envelope, PairedRunsMatchEachVoicesOwnRun) {
    struct Live {
        int32_t attack, decay, release;
        int32_t attackFrames() const { return attack; }
        int32_t decayFrames() const { return decay; }
        int32_t releaseFrames() const { return release; }
    };
    const auto check = [](auto stage0, auto stage1, int32_t changeAt, int32_t changedStage) {
        constexpr int32_t kStage0 = decltype(stage0)::value, kStage1 = decltype(stage1)::value;
        const auto inStage = [](int32_t stage, int32_t count, float level) {
            EnvelopeState e = started();
            e.stage = stage;
            e.level = level;
            e.attackCount = e.decayCount = e.releaseCount = count;
            return e;
        };
        const EnvelopeTimes planned{40, 50, 60};
        EnvelopeState a0 = inStage(kStage0, 3, 0.7f), a1 = inStage(kStage1, 7, 0.45f);
        EnvelopeState b0 = a0, b1 = a1;
        StageClock c0 = planStage<kStage0>(a0, planned), c1 = planStage<kStage1>(a1, planned);
        StageClock d0 = c0, d1 = c1;
        StageClockPair pair = pairClocks(b0, b1, d0, d1);
        bool endedEach = false, endedPair = false;
        for (int32_t frame = 0; frame < 30 && !endedEach; ++frame) {
            Live live{40, 50, 60};
            if (frame >= changeAt) {
                if (changedStage == kStageAttack) live.attack = 2;
                if (changedStage == kStageDecay) live.decay = 2;
                if (changedStage == kStageRelease) live.release = 2;
            }
            const float l0 = runStageStep<kStage0>(a0, c0, live, 0.3f, endedEach);
            const float l1 = runStageStep<kStage1>(a1, c1, live, 0.3f, endedEach);
            const __m128 levels = runStagePairStep<kStage0, kStage1>(b0, b1, d0, d1, pair, live, 0.3f, endedPair);
            ASSERT_EQ(std::bit_cast<uint32_t>(l0), std::bit_cast<uint32_t>(_mm_cvtss_f32(levels)))
                << kStage0 << kStage1 << " frame " << frame;
            ASSERT_EQ(std::bit_cast<uint32_t>(l1),
                      std::bit_cast<uint32_t>(_mm_cvtss_f32(_mm_shuffle_ps(levels, levels, 1))))
                << kStage0 << kStage1 << " frame " << frame;
            ASSERT_EQ(endedEach, endedPair) << kStage0 << kStage1 << " frame " << frame;
        }
        ASSERT_EQ(endedEach, changeAt < 30 && (kStage0 == changedStage || kStage1 == changedStage))
            << kStage0 << kStage1;
        unpairClocks(pair, d0, d1);
        finishStage<kStage0>(a0, c0);
        finishStage<kStage1>(a1, c1);
        finishStage<kStage0>(b0, d0);
        finishStage<kStage1>(b1, d1);
        ASSERT_EQ(std::memcmp(&a0, &b0, sizeof a0), 0) << kStage0 << kStage1;
        ASSERT_EQ(std::memcmp(&a1, &b1, sizeof a1), 0) << kStage0 << kStage1;
    };
    using A = std::integral_constant<int32_t, kStageAttack>;
    using D = std::integral_constant<int32_t, kStageDecay>;
    using R = std::integral_constant<int32_t, kStageRelease>;
    const auto forEachPair = [&](int32_t changeAt, int32_t changedStage) {
        check(A{}, A{}, changeAt, changedStage), check(A{}, D{}, changeAt, changedStage);
        check(A{}, R{}, changeAt, changedStage), check(D{}, A{}, changeAt, changedStage);
        check(D{}, D{}, changeAt, changedStage), check(D{}, R{}, changeAt, changedStage);
        check(R{}, A{}, changeAt, changedStage), check(R{}, D{}, changeAt, changedStage);
        check(R{}, R{}, changeAt, changedStage);
    };
    forEachPair(1000, kStageAttack);  // lengths stay as planned
    for (int32_t stage : {kStageAttack, kStageDecay, kStageRelease}) forEachPair(11, stage);
}

TEST(Filter, OneStepFromRestForEachType) {
    const int32_t expected[] = {125, 500, 1000};
    const int32_t third[] = {125, 250, 500};
    for (int32_t type = kLowPass; type <= kHighPass; ++type) {
        FilterState s;
        EXPECT_EQ(filterSample(s, 1000, 0.5f, 1.2f, type), expected[type]) << type;
        EXPECT_EQ(s.band, 500);
        EXPECT_EQ(s.low, 250);
        EXPECT_EQ(s.third, third[type]);
    }
}

TEST(Filter, ClosedFilterAndBypass) {
    for (int32_t type = kLowPass; type <= kBypass; ++type) {
        FilterState s;
        const int32_t y = filterSample(s, 1000, 0.0f, 1.2f, type);
        EXPECT_EQ(y, type >= kHighPass ? 1000 : 0) << type;
    }
    FilterState s;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(filterSample(s, -777, 0.3f, 0.5f, kBypass), -777);
    EXPECT_NE(s.band, 0);  // the states still run
}

// Rounding of state x coefficient products is half-to-even: 3 x 0.5 -> 2,
// 5 x 0.5 -> 2.
TEST(Filter, ProductsRoundHalfToEven) {
    FilterState s;
    EXPECT_EQ(filterSample(s, 3, 0.5f, 1.2f, kBandPass), 2);
    FilterState t;
    EXPECT_EQ(filterSample(t, 5, 0.5f, 1.2f, kBandPass), 2);
}

// Unstable settings (far outside the parameter range) clip at the int32
// range instead of overflowing.
TEST(Filter, UnstableSettingsSaturate) {
    FilterState s;
    int32_t y = 0;
    for (int i = 0; i < 200; ++i) y = filterSample(s, 100000, 0.785f, -40.0f, i % 3);
    (void)y;
    EXPECT_TRUE(s.band == INT32_MAX || s.band == INT32_MIN || s.low == INT32_MAX || s.low == INT32_MIN);
}

TEST(Cutoff, EnvelopeShareAndCeiling) {
    EXPECT_EQ(cutoffFor(0.3f, 0.0f, 0.5f, 0.5f), static_cast<float>(1.1 * 0.5 * 0.5));
    EXPECT_EQ(cutoffFor(0.0f, 1.0f, 0.5f, 0.5f), static_cast<float>((1.1 - 1.0) * 0.5 * 0.5));
    EXPECT_EQ(cutoffFor(1.0f, 1.0f, 100.0f, 0.9f), 0.785f);
    EXPECT_EQ(cutoffFor(0.0f, 0.5f, 0.47619048f, 0.53695679f), 0.15341623f);
}

}  // namespace
