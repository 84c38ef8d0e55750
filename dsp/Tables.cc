#include "Tables.h"

#include <cstring>

#include "Lanes.h"
#include "Round.h"

namespace orvo {

namespace {

constexpr int kHalf = kCycleLength / 2;
constexpr int kQuarter = kCycleLength / 4;

// Weights of the three taps; they add up to the table's full scale.
constexpr double kTapWeight0 = 37000.0;
constexpr double kTapWeight1 = 33000.0;
constexpr double kTapWeight2 = 30000.0;
// Tap offsets in source entries. The Wave1 half uses a quarter and three
// eighths of a cycle, the Wave2 half five sixteenths and one eighth, so the
// two oscillators differ in timbre even on the same wave.
constexpr int kWave1Tap1 = 1024, kWave1Tap2 = 1536;
constexpr int kWave2Tap1 = 1280, kWave2Tap2 = 512;

// Note 0 sits three semitone steps above this.
constexpr double kNoteBase = 6.875;

void buildSaw(float* cycle) {
    for (int i = 0; i < kCycleLength; ++i)
        cycle[i] = static_cast<float>(static_cast<double>(i) * (1.0 / 4096.0) * 2.0 - 1.0);
}

void buildSquare(float* cycle) {
    for (int i = 0; i < kCycleLength; ++i) cycle[i] = i < kHalf ? -1.0f : 1.0f;
}

// The long-double sine of k * pi / 2048 rounded to float, k = 0..1024. Kept
// as literals: computing them took most of the start-up time, and literals
// also keep every build on the same values whatever its C library.
constexpr float kSineQuarter[kQuarter + 1] = {
#include "SineQuarter.inc"
};

// A quarter is mirrored, which makes the stored cycle exactly odd-symmetric.
// The last quarter is the sine of -(1024 - j) steps, the negated sine of
// 1024 - j steps: the argument negates exactly and sine is odd.
void buildSine(float* cycle) {
    for (int j = 0; j < kQuarter; ++j) {
        cycle[j] = kSineQuarter[j];
        cycle[3 * kQuarter + j] = -kSineQuarter[kQuarter - j];
        cycle[kQuarter + j] = kSineQuarter[kQuarter - j];
        cycle[kHalf + j] = -kSineQuarter[j];
    }
}

void buildTriangle(float* cycle) {
    for (int k = 0; k < kQuarter; ++k) {
        const float a = static_cast<float>(static_cast<double>(k) * (1.0 / 1024.0));
        cycle[k] = a;
        cycle[kQuarter + k] = 1.0f - a;
        cycle[kHalf + k] = -a;
        cycle[3 * kQuarter + k] = -1.0f + a;
    }
}

// One entry: the three weighted taps summed in double and rounded half to
// even (every sum is far inside the int32 range).
#if ORVO_SSE2_LANES
// Two entries at a time in SSE2 lanes: the same products, sums and rounding
// at half the instructions; the mixes are the other large share of start-up
// time.
void buildMixHalf(const float* twice, int tap1, int tap2, int32_t* half) {
    const __m128d w0 = _mm_set1_pd(kTapWeight0), w1 = _mm_set1_pd(kTapWeight1), w2 = _mm_set1_pd(kTapWeight2);
    const auto load2 = [](const float* p) {
        return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    };
    for (int i = 0; i < kCycleLength; i += 2) {
        const __m128d sum = _mm_add_pd(_mm_add_pd(_mm_mul_pd(w0, load2(twice + i)), _mm_mul_pd(w1, load2(twice + i + tap1))),
                                       _mm_mul_pd(w2, load2(twice + i + tap2)));
        // i is even, so the pair's two destinations are neighbours.
        _mm_storel_epi64(reinterpret_cast<__m128i*>(half + ((i + kHalf) & kCycleMask)), _mm_cvtpd_epi32(sum));
    }
}
#else
void buildMixHalf(const float* twice, int tap1, int tap2, int32_t* half) {
    for (int i = 0; i < kCycleLength; ++i) {
        const double sum = (kTapWeight0 * twice[i] + kTapWeight1 * twice[i + tap1]) + kTapWeight2 * twice[i + tap2];
        half[(i + kHalf) & kCycleMask] = roundToInt(sum);
    }
}
#endif

// `build` fills a cycle; it is built once into a buffer that holds it twice
// over, so the taps read on without wrapping, and the one buffer serves all
// four sources. The stored cycle is shifted by half a cycle against the
// source.
void buildMix(void (*build)(float*), float* twice, int32_t* mix) {
    build(twice);
    std::memcpy(twice + kCycleLength, twice, sizeof(float) * kCycleLength);
    buildMixHalf(twice, kWave1Tap1, kWave1Tap2, mix);
    buildMixHalf(twice, kWave2Tap1, kWave2Tap2, mix + kCycleLength);
}

void buildNoteFrequencies(WaveTables& t) {
    double a = kNoteBase;
    for (int i = 0; i < 3; ++i) a = a * kSemitoneRatio;
    for (int n = 0; n < kNoteCount; ++n) {
        t.noteFreq[n] = static_cast<float>(a);
        a = a * kSemitoneRatio;
    }
}

}  // namespace

void buildSourceCycles(SourceCycles& s) {
    buildSine(s.sine);
    buildTriangle(s.triangle);
    buildSaw(s.saw);
    buildSquare(s.square);
}

void buildWaveTables(WaveTables& t) {
    float twice[2 * kCycleLength];
    buildMix(buildSine, twice, t.sineMix);
    buildMix(buildSaw, twice, t.sawMix);
    buildMix(buildSquare, twice, t.squareMix);
    buildMix(buildTriangle, twice, t.triangleMix);
    buildNoteFrequencies(t);
}

const WaveTables& waveTables() {
    // Plain static storage: trivially destructible, so it needs no teardown
    // and lives exactly as long as the library. The first caller fills it,
    // under the thread-safe initialisation of `built`; later instances only
    // read it, so no audio thread ever sees it rewritten.
    static WaveTables storage;
    static const bool built = (buildWaveTables(storage), true);
    (void)built;
    return storage;
}

const int32_t* mixTableFor(int32_t shape) {
    const WaveTables& t = waveTables();
    switch (shape) {
        case kWaveSine: return t.sineMix;
        case kWaveSquare: return t.squareMix;
        case kWaveTriangle: return t.triangleMix;
        default: return t.sawMix;
    }
}

}  // namespace orvo
