// The renderer is laid out for speed; this holds it to a plain frame-by-frame
// model of the same arithmetic, bit for bit, over long random sessions with
// sane and wild parameter values, odd block sizes, both output modes, and
// parameters that change between any two frames.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "Instrument.h"
#include "Model.h"
#include "Tables.h"

using namespace orvo;
using namespace orvo::model;

namespace {

float wildValue(std::mt19937& rng) {
    static const float wild[] = {std::numeric_limits<float>::quiet_NaN(), INFINITY, -INFINITY, -0.0f, 1e30f,
                                 -1e30f, 2.5f, -3.0f, 1.0f, 0.0f, 1e-40f, 7.0f, -400.0f, 30.0f};
    return wild[rng() % std::size(wild)];
}

// One session: events, parameter changes between blocks and inside blocks,
// block sizes from 0 up, both modes, and host buffers holding junk (-0.0
// included) for the accumulating mode.
void runSession(uint32_t seed, bool wild) {
    std::mt19937 rng(seed);
    // `e` renders; `twin` gets the same calls and holds the model's state.
    Instrument e, twin;
    auto both = [&](auto call) {
        call(e);
        call(twin);
    };
    std::vector<float> l(700), r(700), ml(700), mr(700);
    for (int block = 0; block < 160; ++block) {
        for (int k = rng() % 3; k > 0; --k) {
            const int kind = rng() % 10;
            const uint8_t note = uint8_t(rng() % 128), vel = uint8_t(rng() % 128);
            const int32_t delta = int32_t(rng() % 300) - 20;
            const uint8_t bend = uint8_t(rng() % 128);
            const bool allOff = rng() % 8 == 0;
            both([&](Instrument& x) {
                if (kind < 5) x.midi(0x90, note, vel, delta);
                else if (kind < 8) x.midi(0x80, note, 0, delta);
                else if (kind == 8) x.midi(0xE0, 0, bend, 0);
                else if (allOff) x.midi(0xB0, 126, 0, 0);
            });
        }
        if (rng() % 4 == 0) {
            const float rate = wild && rng() % 4 == 0 ? 100.0f : 22050.0f + float(rng() % 4) * 22050.0f;
            both([&](Instrument& x) { x.setRate(rate); });
        }
        const int frames = rng() % 9 == 0 ? 0 : int(rng() % 700);
        const bool replacing = rng() % 2;
        const bool oneBuffer = rng() % 8 == 0;  // a host passing the same buffer twice
        float* const right = oneBuffer ? l.data() : r.data();
        float* const modelRight = oneBuffer ? ml.data() : mr.data();
        for (int i = 0; i < frames; ++i) {
            const float junk = rng() % 3 == 0 ? -0.0f : float(int(rng() % 2001) - 1000) * 1e-3f;
            l[i] = ml[i] = replacing ? 5.0f : junk;
            r[i] = mr[i] = replacing ? 5.0f : -junk;
        }
        // Parameter writes before chosen frames: the model applies them in
        // its frame loop, the engine between renders cut at those frames
        // (which also puts block boundaries anywhere).
        struct Change {
            int frame, index;
            float value;
        };
        std::vector<Change> changes;
        for (int c = rng() % 4; c > 0; --c) {
            const float value = wild && rng() % 3 == 0 ? wildValue(rng) : float(rng() % 1001) / 1000.0f;
            changes.push_back({frames ? int(rng() % frames) : 0, int(rng() % kNumParams), value});
        }
        auto apply = [&](Instrument& x, int n) {
            for (const Change& c : changes)
                if (c.frame == n) x.setValue(c.index, c.value);
        };
        if (replacing) {
            std::fill(ml.begin(), ml.begin() + frames, 0.0f);
            std::fill(mr.begin(), mr.begin() + frames, 0.0f);
        }
        modelRender(twin, twin.engineForTest().voicesForTest(), ml.data(), modelRight, frames, [&](int n) { apply(twin, n); });
        int start = 0;
        for (int n = 0; n <= frames; ++n) {
            bool cut = n == frames;
            for (const Change& c : changes) cut |= c.frame == n;
            if (!cut) continue;
            if (n > start) {
                if (replacing)
                    e.renderReplacing(l.data() + start, right + start, n - start);
                else
                    e.render(l.data() + start, right + start, n - start);
            }
            start = n;
            if (n < frames) apply(e, n);
        }
        if (frames == 0) apply(e, 0), apply(twin, 0);
        ASSERT_TRUE(sameVoices(e.engine().voices(), twin.engine().voices())) << "seed " << seed << " block " << block;
        for (int i = 0; i < frames; ++i) {
            ASSERT_EQ(bits(l[i]), bits(ml[i])) << "seed " << seed << " block " << block << " frame " << i;
            if (!oneBuffer) {
                ASSERT_EQ(bits(r[i]), bits(mr[i])) << "seed " << seed << " block " << block << " frame " << i;
            }
        }
    }
}

// --- the stretches the renderer treats apart -----------------------------------

enum class Mode { kReplace, kAdd, kOneBuffer };

// Renders `frames` through `e` in one output mode, and through the model of
// `twin`, from the same buffer contents; outputs and voice states must agree
// bit for bit. The accumulating modes start from junk, against which two
// samples added in the other voice order round differently.
::testing::AssertionResult rendersLikeTheModel(Instrument& e, Instrument& twin, int frames, Mode mode, std::mt19937& rng) {
    std::vector<float> l(frames), r(frames), ml(frames), mr(frames);
    for (int i = 0; i < frames; ++i) {
        l[i] = ml[i] = mode == Mode::kReplace ? 0.0f : float(int(rng() % 2001) - 1000) * 1.37e-3f;
        r[i] = mr[i] = mode == Mode::kReplace ? 0.0f : float(int(rng() % 2001) - 1000) * -0.91e-3f;
    }
    if (mode == Mode::kReplace) {
        std::fill(l.begin(), l.end(), 7.0f);
        e.renderReplacing(l.data(), r.data(), frames);
    } else {
        e.render(l.data(), mode == Mode::kOneBuffer ? l.data() : r.data(), frames);
    }
    modelRender(twin, twin.engineForTest().voicesForTest(), ml.data(), mode == Mode::kOneBuffer ? ml.data() : mr.data(), frames,
                [](int) {});
    if (!sameVoices(e.engine().voices(), twin.engine().voices())) return ::testing::AssertionFailure() << "voice states";
    for (int i = 0; i < frames; ++i) {
        if (bits(l[i]) != bits(ml[i])) return ::testing::AssertionFailure() << "left, frame " << i;
        if (mode != Mode::kOneBuffer && bits(r[i]) != bits(mr[i]))
            return ::testing::AssertionFailure() << "right, frame " << i;
    }
    return ::testing::AssertionSuccess();
}

void setBoth(Instrument& e, Instrument& twin, int index, float value) {
    e.setValue(index, value);
    twin.setValue(index, value);
}

void midiBoth(Instrument& e, Instrument& twin, uint8_t status, uint8_t note, uint8_t velocity, int32_t delta) {
    e.midi(status, note, velocity, delta);
    twin.midi(status, note, velocity, delta);
}

// Where two voices spend their frames: one held (attack, decay or sustain)
// while the other releases, with either voice the held one, in every output
// mode, over blocks long and short.
TEST(EngineReference, HeldBesideReleasingInEitherVoiceOrderMatchesTheModel) {
    std::mt19937 rng(7);
    for (int32_t held : {kStageAttack, kStageDecay, kStageSustain}) {
        for (int heldVoice : {0, 1}) {
            for (Mode mode : {Mode::kReplace, Mode::kAdd, Mode::kOneBuffer}) {
                SCOPED_TRACE(testing::Message() << "held stage " << held << " voice " << heldVoice << " mode "
                                                << int(mode));
                Instrument e, twin;
                setBoth(e, twin, kParamAttack, held == kStageAttack ? 1.0f : 0.0f);
                setBoth(e, twin, kParamDecay, held == kStageDecay ? 1.0f : 0.0f);
                setBoth(e, twin, kParamRelease, 1.0f);
                setBoth(e, twin, kParamQ, 0.6f);
                setBoth(e, twin, kParamDrag, 0.7f);
                // The voices take turns from voice 1: the second note is
                // voice 0's, the third voice 1's, each releasing the other.
                midiBoth(e, twin, 0x90, 57, 100, 0);
                ASSERT_TRUE(rendersLikeTheModel(e, twin, 300, mode, rng));
                midiBoth(e, twin, 0x90, 64, 110, 5);
                if (heldVoice == 1) {
                    ASSERT_TRUE(rendersLikeTheModel(e, twin, 300, mode, rng));
                    midiBoth(e, twin, 0x90, 69, 90, 11);
                }
                for (int frames : {1, 2, 3, 517, 64, 2000}) ASSERT_TRUE(rendersLikeTheModel(e, twin, frames, mode, rng));
                ASSERT_EQ(e.engine().voices().voice[heldVoice].env.stage, held);
                ASSERT_EQ(e.engine().voices().voice[1 - heldVoice].env.stage, kStageRelease);
            }
        }
    }
}

// Two held voices: the frames of note changes and of note-ons waiting out
// their delays in one block, and a long stretch of both held, as when a
// voice is held again by hand; then two releasing voices.
TEST(EngineReference, TwoHeldVoicesAndWaitingNotesMatchTheModel) {
    std::mt19937 rng(11);
    for (Mode mode : {Mode::kReplace, Mode::kAdd, Mode::kOneBuffer}) {
        SCOPED_TRACE(testing::Message() << "mode " << int(mode));
        Instrument e, twin;
        setBoth(e, twin, kParamAttack, 0.05f);
        setBoth(e, twin, kParamDecay, 0.05f);
        midiBoth(e, twin, 0x90, 50, 127, 0);
        midiBoth(e, twin, 0x90, 62, 64, 37);
        ASSERT_TRUE(rendersLikeTheModel(e, twin, 512, mode, rng));
        midiBoth(e, twin, 0x90, 55, 80, 200);
        midiBoth(e, twin, 0x90, 67, 81, 201);
        midiBoth(e, twin, 0x80, 67, 0, 400);
        ASSERT_TRUE(rendersLikeTheModel(e, twin, 512, mode, rng));
        for (Instrument* x : {&e, &twin}) {
            for (int v = 0; v <= 1; ++v) {
                EnvelopeState& env = x->engineForTest().voicesForTest().voice[v].env;
                env.stage = kStageSustain;
                env.releaseCountdown = kNoReleasePending;
            }
        }
        for (int frames : {4096, 7, 1}) ASSERT_TRUE(rendersLikeTheModel(e, twin, frames, mode, rng));
        // Then one held beside one releasing, then both releasing, with
        // the release shortened while they fade, until both have ended.
        setBoth(e, twin, kParamRelease, 0.1f);
        midiBoth(e, twin, 0x80, 55, 0, 3);
        ASSERT_TRUE(rendersLikeTheModel(e, twin, 100, mode, rng));
        midiBoth(e, twin, 0x80, 67, 0, 50);
        ASSERT_TRUE(rendersLikeTheModel(e, twin, 200, mode, rng));
        setBoth(e, twin, kParamRelease, 0.05f);
        ASSERT_TRUE(rendersLikeTheModel(e, twin, 600, mode, rng));
        ASSERT_EQ(e.engine().voices().voice[0].env.stage + e.engine().voices().voice[1].env.stage, kStageOff);
    }
}

// A voice that has ended keeps its filter states, whatever they are, while
// the other renders beside it: with the states in the range of the two-lane
// step and far outside it, and with the glide out of the range of the stage
// runs, so that the general frame path renders every frame.
TEST(EngineReference, EndedVoiceKeepsItsFilterWhileTheOtherSounds) {
    std::mt19937 rng(13);
    for (int32_t stale : {12345, 1 << 30}) {
        for (float glide : {0.0f, 1e38f}) {
            SCOPED_TRACE(testing::Message() << "stale " << stale << " glide " << glide);
            Instrument e, twin;
            setBoth(e, twin, kParamDrag, 1.0f);
            midiBoth(e, twin, 0x90, 60, 100, 0);  // voice 1, which then ends
            midiBoth(e, twin, 0x80, 60, 0, 100);
            ASSERT_TRUE(rendersLikeTheModel(e, twin, 3000, Mode::kReplace, rng));
            ASSERT_EQ(e.engine().voices().voice[1].env.stage, kStageOff);
            for (Instrument* x : {&e, &twin}) {
                x->engineForTest().voicesForTest().voice[1].filter = {stale, -stale / 3, 99};
                x->engineForTest().voicesForTest().glideIncrement = glide;
            }
            midiBoth(e, twin, 0x90, 72, 100, 0);  // voice 0
            ASSERT_TRUE(rendersLikeTheModel(e, twin, 2048, Mode::kReplace, rng));
            ASSERT_EQ(e.engine().voices().voice[1].filter.band, stale);
            ASSERT_TRUE(rendersLikeTheModel(e, twin, 1024, Mode::kAdd, rng));
        }
    }
}

// Both voices sounding with filter states set around the limits of the
// range where the two-lane step is exact (2^26, 2^28) and up to 2^30, at
// full cut-off and damping 1.2 and 0.03 (a Q past 1 is held at Q 1's), from
// where the filter grows through the limits into saturation. Each render
// starts a new run, so the first frame is one that checks the states.
TEST(EngineReference, FilterStatesAroundTheExactLimitsMatchTheModel) {
    const auto check = [](float q, float type, FilterState s0, FilterState s1) {
        Instrument e, twin;
        for (Instrument* x : {&e, &twin}) {
            x->setValue(kParamCutOff, 1.0f);
            x->setValue(kParamQ, q);
            x->setValue(kParamType, type);
            x->setValue(kParamAttack, 0.0f);
            x->midi(0x90, 60, 127, 0);
            x->midi(0x90, 96, 127, 3);
        }
        std::vector<float> l(64), r(64), ml(64, 0.0f), mr(64, 0.0f);
        e.renderReplacing(l.data(), r.data(), 8);
        modelRender(twin, twin.engineForTest().voicesForTest(), ml.data(), mr.data(), 8, [](int) {});
        for (Instrument* x : {&e, &twin}) {
            x->engineForTest().voicesForTest().voice[0].filter = s0;
            x->engineForTest().voicesForTest().voice[1].filter = s1;
        }
        std::fill(ml.begin(), ml.end(), 0.0f);
        std::fill(mr.begin(), mr.end(), 0.0f);
        e.renderReplacing(l.data(), r.data(), 64);
        modelRender(twin, twin.engineForTest().voicesForTest(), ml.data(), mr.data(), 64, [](int) {});
        ASSERT_TRUE(sameVoices(e.engine().voices(), twin.engine().voices()));
        for (int i = 0; i < 64; ++i) ASSERT_EQ(bits(l[i]), bits(ml[i])) << "frame " << i;
    };
    const int32_t starts[] = {(1 << 25) + 3, (1 << 26) - 1, 1 << 26,   (1 << 27) + 5, (1 << 28) - 1,
                              1 << 28,       300000000,     500000000, 1 << 30};
    for (float q : {0.0f, 1.0f, 1.3f, 1.6f, 1.65f}) {
        for (float type : {0.0f, 0.5f, 1.0f}) {  // low, band, high pass
            for (int32_t s : starts) {
                SCOPED_TRACE(testing::Message() << "Q " << q << " type " << type << " states " << s);
                check(q, type, {s, -s, s / 2}, {-s, s, -s / 2});
                check(q, type, {s, -s / 3, s / 2}, {-s / 2, s, -s});
            }
        }
    }
}

TEST(EngineReference, RandomSessionsMatchTheFrameByFrameModel) {
    for (uint32_t seed = 1; seed <= 40; ++seed) runSession(seed, false);
}

TEST(EngineReference, WildValuesMatchTheFrameByFrameModel) {
    for (uint32_t seed = 100; seed <= 140; ++seed) runSession(seed, true);
}

}  // namespace
