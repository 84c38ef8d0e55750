#include "Tables.h"

#include <cmath>

#include "Round.h"

namespace orvo {

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
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

int32_t mixEntry(const float* w, int i, int tap1, int tap2) {
    double sum = kTapWeight0 * static_cast<double>(w[i]) +
                 kTapWeight1 * static_cast<double>(w[(i + tap1) & kCycleMask]) +
                 kTapWeight2 * static_cast<double>(w[(i + tap2) & kCycleMask]);
    return roundToInt(sum);
}

void buildSawAndSquare(WaveTables& t) {
    for (int i = 0; i < kCycleLength; ++i) {
        t.saw[i] = static_cast<float>(static_cast<double>(i) * (1.0 / 4096.0) * 2.0 - 1.0);
        t.square[i] = i < kHalf ? -1.0f : 1.0f;
    }
}

// A quarter is computed and mirrored, which makes the stored cycle exactly
// odd-symmetric.
void buildSine(WaveTables& t) {
    for (int j = 0; j < kQuarter; ++j) {
        t.sine[j] = static_cast<float>(std::sin(static_cast<long double>(j) * kPi / 2048.0L));
        t.sine[3 * kQuarter + j] =
            static_cast<float>(std::sin(-static_cast<long double>(kQuarter - j) * kPi / 2048.0L));
        t.sine[kQuarter + j] = -t.sine[3 * kQuarter + j];
        t.sine[kHalf + j] = -t.sine[j];
    }
}

void buildTriangle(WaveTables& t) {
    for (int k = 0; k < kQuarter; ++k) {
        const float a = static_cast<float>(static_cast<double>(k) * (1.0 / 1024.0));
        t.triangle[k] = a;
        t.triangle[kQuarter + k] = 1.0f - a;
        t.triangle[kHalf + k] = -a;
        t.triangle[3 * kQuarter + k] = -1.0f + a;
    }
}

void buildMix(const float* source, int32_t* mix) {
    // The stored cycle is shifted by half a cycle against the source.
    for (int i = 0; i < kCycleLength; ++i) {
        const int d = (i + kHalf) & kCycleMask;
        mix[d] = mixEntry(source, i, kWave1Tap1, kWave1Tap2);
        mix[kCycleLength + d] = mixEntry(source, i, kWave2Tap1, kWave2Tap2);
    }
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

void buildWaveTables(WaveTables& t) {
    buildSawAndSquare(t);
    buildSine(t);
    buildTriangle(t);
    buildMix(t.sine, t.sineMix);
    buildMix(t.saw, t.sawMix);
    buildMix(t.square, t.squareMix);
    buildMix(t.triangle, t.triangleMix);
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
