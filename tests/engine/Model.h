// The frame-by-frame model the renderer is held to (reference_test.cc):
// every step of the arithmetic written out plainly, and the comparison of
// two voice banks field by field.
#pragma once

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>

#include "Instrument.h"
#include "Tables.h"

namespace orvo::model {

// --- the model: every step written out plainly --------------------------------

inline int32_t modelRound(double x) {
    if (x != x) return 0;
    if (x >= 2147483647.0) return INT32_MAX;
    if (x <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(std::nearbyint(x));  // default mode: ties to even
}

inline int32_t modelSat(int64_t x) { return x > INT32_MAX ? INT32_MAX : x < INT32_MIN ? INT32_MIN : static_cast<int32_t>(x); }

struct ModelParams {
    int32_t a, d, r;
    float s, env, coef, damp, drag, sw, st1, st2;
    int32_t type;
    const int32_t *w1, *w2;
};

inline ModelParams readParams(const Instrument& e) {
    const orvo::Quantities& q = e.quantities();
    // S and Env as sent, held to 0..1 with NaN as 0.
    const auto held = [](float x) { return !(x >= 0.0f) ? 0.0f : x > 1.0f ? 1.0f : x; };
    return {q.attackSamples, q.decaySamples, q.releaseSamples, held(e.value(kParamSustain)),
            held(e.value(kParamEnv)), float(q.cutoffCoef), float(q.damping), q.dragCoef,
            float(q.switchPoint), float(q.wave1Stretch), float(q.wave2Stretch), q.filterType,
            q.wave1Table, q.wave2Table};
}

inline float modelEnvelope(EnvelopeState& e, const ModelParams& p) {
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

inline int32_t modelFilter(FilterState& s, int32_t x, float f, const ModelParams& p) {
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

inline void modelVoice(VoiceBank& b, Voice& v, const ModelParams& p, float& out0, float& out1) {
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
inline void modelRender(Instrument& e, VoiceBank& b, float* left, float* right, int frames, Touch touch) {
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
inline uint32_t bits(T v) {
    static_assert(sizeof(T) == 4);
    uint32_t u;
    std::memcpy(&u, &v, 4);
    return u;
}

inline ::testing::AssertionResult sameVoices(const VoiceBank& a, const VoiceBank& b) {
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

}  // namespace orvo::model
