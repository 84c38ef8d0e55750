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

#include "Engine.h"
#include "Tables.h"

using namespace orvo;

namespace {

// --- the model: every step written out plainly --------------------------------

int32_t modelRound(double x) {
    if (x != x) return 0;
    if (x >= 2147483647.0) return INT32_MAX;
    if (x <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(std::nearbyint(x));  // default mode: ties to even
}

int32_t modelSat(int64_t x) { return x > INT32_MAX ? INT32_MAX : x < INT32_MIN ? INT32_MIN : static_cast<int32_t>(x); }

struct ModelParams {
    int32_t a, d, r;
    float s, env, coef, damp, drag, sw, st1, st2;
    int32_t type;
    const int32_t *w1, *w2;
};

ModelParams readParams(const Engine& e) {
    const EngineQuantities& q = e.quantities();
    // S and Env as sent, held to 0..1 with NaN as 0.
    const auto held = [](float x) { return !(x >= 0.0f) ? 0.0f : x > 1.0f ? 1.0f : x; };
    return {q.attackSamples.load(), q.decaySamples.load(), q.releaseSamples.load(), held(e.parameter(kParamSustain)),
            held(e.parameter(kParamEnv)), float(q.cutoffCoef.load()), float(q.damping.load()), q.dragCoef.load(),
            float(q.switchPoint.load()), float(q.wave1Stretch.load()), float(q.wave2Stretch.load()), q.filterType.load(),
            q.wave1Table.load(), q.wave2Table.load()};
}

float modelEnvelope(EnvelopeState& e, const ModelParams& p) {
    double l;
    switch (e.stage) {
        case kStageAttack:
            if (e.attackCount >= p.a) {
                e.stage = kStageDecay;
                e.decayCount = 0;
                return e.level;
            }
            l = double(e.attackCount++) / (double(p.a) + 1.0);
            return e.level = float(l);
        case kStageDecay:
            if (e.decayCount >= p.d) {
                e.stage = kStageSustain;
                return e.level;
            }
            l = (1.0 - double(p.s)) * (1.0 - double(e.decayCount++) / (double(p.d) + 1.0)) + double(p.s);
            return e.level = float(l);
        case kStageSustain: return e.level = p.s;
        case kStageRelease:
            if (e.releaseCount >= p.r) {
                e.stage = kStageOff;
                return 0.0f;
            }
            return float((1.0 - double(e.releaseCount++) / (double(p.r) + 1.0)) * double(e.level));
        default: return 0.0f;
    }
}

int32_t modelFilter(FilterState& s, int32_t x, float f, const ModelParams& p) {
    const int32_t hp = modelSat(int64_t(x) - modelRound(double(s.band) * double(p.damp)) - s.low);
    const int32_t bp = modelSat(int64_t(modelRound(double(hp) * double(f))) + s.band);
    const int32_t lp = modelSat(int64_t(modelRound(double(bp) * double(f))) + s.low);
    const int32_t y1 = p.type == 0 ? lp : p.type == 1 ? bp : p.type == 2 ? hp : x;
    const int32_t third = s.third;
    s.band = bp;
    s.low = lp;
    s.third = modelSat(int64_t(modelRound(double(int64_t(y1) - third) * double(f))) + third);
    return p.type == 0 ? s.third : p.type == 1 ? bp : p.type == 2 ? modelSat(int64_t(hp) - third) : x;
}

void modelVoice(VoiceBank& b, Voice& v, const ModelParams& p, float& out0, float& out1) {
    const double phase = v.phase;
    const int32_t ip = modelRound(phase);
    const int32_t t = ip & 8191;
    int32_t raw;
    if (double(t) < double(p.sw))
        raw = p.w1[modelRound(phase / double(p.st1)) & 4095];
    else
        raw = p.w2[4096 + (modelRound((phase - double(p.sw)) / double(p.st2)) & 4095)];
    const float inc = v.env.stage == kStageRelease ? v.increment : b.glideIncrement;
    v.phase = float(phase + double(inc) - double(ip & 8192));
    const float level = modelEnvelope(v.env, p);
    if (v.env.releaseCountdown >= 0) {
        if (v.env.releaseCountdown == 0) {
            v.env.stage = kStageRelease;
            v.env.releaseCount = 0;
        }
        --v.env.releaseCountdown;
    }
    double f = (double(level) * double(p.env) + 1.1 - double(p.env)) * double(p.coef) * double(v.cutoffScale);
    if (f > 0.785) f = 0.785;
    const int32_t y = modelFilter(v.filter, raw, float(f), p);
    const float s = float(double(y) * double(level) * double(v.gain));
    out0 = float(double(out0) + double(s));
    out1 = float(double(out1) + double(s));
}

// `touch` runs before each frame: it stands for another thread's writes.
template <typename Touch>
void modelRender(Engine& e, VoiceBank& b, float* left, float* right, int frames, Touch touch) {
    for (int n = 0; n < frames; ++n) {
        touch(n);
        const ModelParams p = readParams(e);
        const int u = b.nextVoice;
        const float target = b.voice[u].delay == 0 ? b.voice[u].increment : b.voice[u == 0 ? 1 : u - 1].increment;
        const double g = b.glideIncrement;
        const double next = g + (double(target) - g) * double(p.drag);
        b.glideIncrement = next != next ? target : next > FLT_MAX ? FLT_MAX : next < -FLT_MAX ? -FLT_MAX : float(next);
        for (int v = 0; v <= 1; ++v) {
            Voice& voice = b.voice[v];
            if (voice.env.stage <= kStageOff) continue;
            if (voice.delay > 0) {
                --voice.delay;
                continue;
            }
            modelVoice(b, voice, p, left[n], right[n]);
        }
    }
}

// --- comparison ----------------------------------------------------------------------

template <typename T>
uint32_t bits(T v) {
    static_assert(sizeof(T) == 4);
    uint32_t u;
    std::memcpy(&u, &v, 4);
    return u;
}

::testing::AssertionResult sameVoices(const VoiceBank& a, const VoiceBank& b) {
    if (bits(a.glideIncrement) != bits(b.glideIncrement)) return ::testing::AssertionFailure() << "glide";
    for (int v = 0; v <= 1; ++v) {
        const Voice &x = a.voice[v], &y = b.voice[v];
        const uint32_t fx[] = {bits(x.phase), bits(x.env.level), uint32_t(x.env.stage), uint32_t(x.env.attackCount),
                               uint32_t(x.env.decayCount), uint32_t(x.env.releaseCount),
                               uint32_t(x.env.releaseCountdown), uint32_t(x.delay), uint32_t(x.filter.band),
                               uint32_t(x.filter.low), uint32_t(x.filter.third)};
        const uint32_t fy[] = {bits(y.phase), bits(y.env.level), uint32_t(y.env.stage), uint32_t(y.env.attackCount),
                               uint32_t(y.env.decayCount), uint32_t(y.env.releaseCount),
                               uint32_t(y.env.releaseCountdown), uint32_t(y.delay), uint32_t(y.filter.band),
                               uint32_t(y.filter.low), uint32_t(y.filter.third)};
        for (size_t i = 0; i < std::size(fx); ++i)
            if (fx[i] != fy[i]) return ::testing::AssertionFailure() << "voice " << v << " field " << i;
    }
    return ::testing::AssertionSuccess();
}

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
    Engine e, twin;
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
            both([&](Engine& x) {
                if (kind < 5) x.midi(0x90, note, vel, delta);
                else if (kind < 8) x.midi(0x80, note, 0, delta);
                else if (kind == 8) x.midi(0xE0, 0, bend, 0);
                else if (allOff) x.midi(0xB0, 126, 0, 0);
            });
        }
        if (rng() % 4 == 0) {
            const float rate = wild && rng() % 4 == 0 ? 100.0f : 22050.0f + float(rng() % 4) * 22050.0f;
            both([&](Engine& x) { x.setSampleRate(rate); });
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
        auto apply = [&](Engine& x, int n) {
            for (const Change& c : changes)
                if (c.frame == n) x.setParameter(c.index, c.value, 44100.0f);
        };
        if (replacing) {
            std::fill(ml.begin(), ml.begin() + frames, 0.0f);
            std::fill(mr.begin(), mr.begin() + frames, 0.0f);
        }
        modelRender(twin, twin.voicesForTest(), ml.data(), modelRight, frames, [&](int n) { apply(twin, n); });
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
        ASSERT_TRUE(sameVoices(e.voices(), twin.voices())) << "seed " << seed << " block " << block;
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
::testing::AssertionResult rendersLikeTheModel(Engine& e, Engine& twin, int frames, Mode mode, std::mt19937& rng) {
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
    modelRender(twin, twin.voicesForTest(), ml.data(), mode == Mode::kOneBuffer ? ml.data() : mr.data(), frames,
                [](int) {});
    if (!sameVoices(e.voices(), twin.voices())) return ::testing::AssertionFailure() << "voice states";
    for (int i = 0; i < frames; ++i) {
        if (bits(l[i]) != bits(ml[i])) return ::testing::AssertionFailure() << "left, frame " << i;
        if (mode != Mode::kOneBuffer && bits(r[i]) != bits(mr[i]))
            return ::testing::AssertionFailure() << "right, frame " << i;
    }
    return ::testing::AssertionSuccess();
}

void setBoth(Engine& e, Engine& twin, int index, float value) {
    e.setParameter(index, value, 44100.0f);
    twin.setParameter(index, value, 44100.0f);
}

void midiBoth(Engine& e, Engine& twin, uint8_t status, uint8_t note, uint8_t velocity, int32_t delta) {
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
                Engine e, twin;
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
                ASSERT_EQ(e.voices().voice[heldVoice].env.stage, held);
                ASSERT_EQ(e.voices().voice[1 - heldVoice].env.stage, kStageRelease);
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
        Engine e, twin;
        setBoth(e, twin, kParamAttack, 0.05f);
        setBoth(e, twin, kParamDecay, 0.05f);
        midiBoth(e, twin, 0x90, 50, 127, 0);
        midiBoth(e, twin, 0x90, 62, 64, 37);
        ASSERT_TRUE(rendersLikeTheModel(e, twin, 512, mode, rng));
        midiBoth(e, twin, 0x90, 55, 80, 200);
        midiBoth(e, twin, 0x90, 67, 81, 201);
        midiBoth(e, twin, 0x80, 67, 0, 400);
        ASSERT_TRUE(rendersLikeTheModel(e, twin, 512, mode, rng));
        for (Engine* x : {&e, &twin}) {
            for (int v = 0; v <= 1; ++v) {
                EnvelopeState& env = x->voicesForTest().voice[v].env;
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
        ASSERT_EQ(e.voices().voice[0].env.stage + e.voices().voice[1].env.stage, kStageOff);
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
            Engine e, twin;
            setBoth(e, twin, kParamDrag, 1.0f);
            midiBoth(e, twin, 0x90, 60, 100, 0);  // voice 1, which then ends
            midiBoth(e, twin, 0x80, 60, 0, 100);
            ASSERT_TRUE(rendersLikeTheModel(e, twin, 3000, Mode::kReplace, rng));
            ASSERT_EQ(e.voices().voice[1].env.stage, kStageOff);
            for (Engine* x : {&e, &twin}) {
                x->voicesForTest().voice[1].filter = {stale, -stale / 3, 99};
                x->voicesForTest().glideIncrement = glide;
            }
            midiBoth(e, twin, 0x90, 72, 100, 0);  // voice 0
            ASSERT_TRUE(rendersLikeTheModel(e, twin, 2048, Mode::kReplace, rng));
            ASSERT_EQ(e.voices().voice[1].filter.band, stale);
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
        Engine e, twin;
        for (Engine* x : {&e, &twin}) {
            x->setParameter(kParamCutOff, 1.0f, 44100.0f);
            x->setParameter(kParamQ, q, 44100.0f);
            x->setParameter(kParamType, type, 44100.0f);
            x->setParameter(kParamAttack, 0.0f, 44100.0f);
            x->midi(0x90, 60, 127, 0);
            x->midi(0x90, 96, 127, 3);
        }
        std::vector<float> l(64), r(64), ml(64, 0.0f), mr(64, 0.0f);
        e.renderReplacing(l.data(), r.data(), 8);
        modelRender(twin, twin.voicesForTest(), ml.data(), mr.data(), 8, [](int) {});
        for (Engine* x : {&e, &twin}) {
            x->voicesForTest().voice[0].filter = s0;
            x->voicesForTest().voice[1].filter = s1;
        }
        std::fill(ml.begin(), ml.end(), 0.0f);
        std::fill(mr.begin(), mr.end(), 0.0f);
        e.renderReplacing(l.data(), r.data(), 64);
        modelRender(twin, twin.voicesForTest(), ml.data(), mr.data(), 64, [](int) {});
        ASSERT_TRUE(sameVoices(e.voices(), twin.voices()));
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
