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

// A run keeps its frame count and divisor as doubles; up to the frame before
// its stage ends it must give the single steps' levels and states, and the
// single step then ends the stage.
TEST(Envelope, RunsMatchSingleSteps) {
    const auto check = [](auto stage, EnvelopeState e) {
        constexpr int32_t kStage = decltype(stage)::value;
        const EnvelopeTimes times{9, 9, 9};
        EnvelopeState plain = e;
        const int32_t left = stageFramesLeft<kStage>(e, times);
        StageClock clock = planStage<kStage>(e, times);
        for (int32_t k = 0; k < left; ++k) {
            bool ended = false;
            const float p = stageStep<kStage>(plain, times, 0.25f, ended);
            ASSERT_FALSE(ended) << kStage << " frame " << k;
            ASSERT_EQ(p, runStageStep<kStage>(e, clock, 0.25f)) << kStage << " frame " << k;
        }
        finishStage<kStage>(e, clock);
        ASSERT_EQ(std::memcmp(&plain, &e, sizeof e), 0) << kStage;
        bool ended = false;
        stageStep<kStage>(plain, times, 0.25f, ended);
        ASSERT_TRUE(ended) << kStage;
    };
    EnvelopeState e = started();
    e.level = 0.8f;
    check(std::integral_constant<int32_t, kStageAttack>{}, e);
    e.stage = kStageDecay;
    e.decayCount = 2;
    check(std::integral_constant<int32_t, kStageDecay>{}, e);
    e.stage = kStageRelease;
    e.releaseCount = 1;
    check(std::integral_constant<int32_t, kStageRelease>{}, e);
}

// Two voices in timed stages divide once for both: every pair of stages must
// give each voice's own run step, bit for bit.
TEST(Envelope, PairedRunsMatchEachVoicesOwnRun) {
    const auto check = [](auto stage0, auto stage1) {
        constexpr int32_t kStage0 = decltype(stage0)::value, kStage1 = decltype(stage1)::value;
        const auto inStage = [](int32_t stage, int32_t count, float level) {
            EnvelopeState e = started();
            e.stage = stage;
            e.level = level;
            e.attackCount = e.decayCount = e.releaseCount = count;
            return e;
        };
        const EnvelopeTimes times{40, 50, 60};
        EnvelopeState a0 = inStage(kStage0, 3, 0.7f), a1 = inStage(kStage1, 7, 0.45f);
        EnvelopeState b0 = a0, b1 = a1;
        StageClock c0 = planStage<kStage0>(a0, times), c1 = planStage<kStage1>(a1, times);
        StageClock d0 = c0, d1 = c1;
        StageClockPair pair = pairClocks(b0, b1, d0, d1);
        for (int32_t frame = 0; frame < 30; ++frame) {
            const float l0 = runStageStep<kStage0>(a0, c0, 0.3f);
            const float l1 = runStageStep<kStage1>(a1, c1, 0.3f);
            float levels[2];
            storeLevels(runStagePairStep<kStage0, kStage1>(b0, b1, pair, 0.3f), levels);
            ASSERT_EQ(std::bit_cast<uint32_t>(l0), std::bit_cast<uint32_t>(levels[0])) << kStage0 << kStage1 << " frame " << frame;
            ASSERT_EQ(std::bit_cast<uint32_t>(l1), std::bit_cast<uint32_t>(levels[1])) << kStage0 << kStage1 << " frame " << frame;
        }
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
    check(A{}, A{}), check(A{}, D{}), check(A{}, R{}), check(D{}, A{}), check(D{}, D{});
    check(D{}, R{}), check(R{}, A{}), check(R{}, D{}), check(R{}, R{});
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
