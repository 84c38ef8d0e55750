// The shared tables against the values the instrument's sound is defined by.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>

#include "Tables.h"

using namespace orvo;

namespace {

std::set<int32_t> valuesOf(const int32_t* first, const int32_t* last) { return {first, last}; }

TEST(Tables, SquareMixEntriesAndValueSets) {
    const int32_t* m = waveTables().squareMix;
    EXPECT_EQ(m[0], 100000);
    EXPECT_EQ(m[1024], -26000);
    EXPECT_EQ(m[2048], -100000);
    EXPECT_EQ(m[3072], 26000);
    EXPECT_EQ(m[4096], 100000);
    EXPECT_EQ(m[5120], 34000);
    EXPECT_EQ(valuesOf(m, m + 4096), (std::set<int32_t>{-100000, -40000, -26000, 26000, 40000, 100000}));
    EXPECT_EQ(valuesOf(m + 4096, m + 8192), (std::set<int32_t>{-100000, -34000, -26000, 26000, 34000, 100000}));
}

TEST(Tables, SawAndTriangleMixEntries) {
    const int32_t* saw = waveTables().sawMix;
    EXPECT_EQ(saw[0], 39000);
    EXPECT_EQ(saw[1024], -37000);
    EXPECT_EQ(saw[2048], -61000);
    EXPECT_EQ(saw[3072], -11000);
    EXPECT_EQ(saw[4096], 28125);
    EXPECT_EQ(saw[6144], -71875);
    const int32_t* tri = waveTables().triangleMix;
    EXPECT_EQ(tri[0], -48000);
    EXPECT_EQ(tri[1024], -22000);
    EXPECT_EQ(tri[2048], 48000);
    EXPECT_EQ(tri[3072], 22000);
    EXPECT_EQ(tri[4096], -39750);
}

TEST(Tables, SineMixEntriesAndPeaks) {
    const int32_t* m = waveTables().sineMix;
    EXPECT_EQ(m[0], -54213);
    EXPECT_EQ(m[2048], 54213);
    EXPECT_EQ(m[4096], -51701);
    EXPECT_EQ(*std::max_element(m, m + 4096), 56465);
    EXPECT_EQ(*std::min_element(m, m + 4096), -56465);
    EXPECT_EQ(*std::max_element(m + 4096, m + 8192), 68927);
    EXPECT_EQ(*std::min_element(m + 4096, m + 8192), -68927);
}

TEST(Tables, SourceCyclesAreExactlySymmetric) {
    auto source = std::make_unique<SourceCycles>();
    buildSourceCycles(*source);
    const SourceCycles& t = *source;
    EXPECT_EQ(t.sine[1024], 1.0f);
    EXPECT_EQ(t.sine[3072], -1.0f);
    EXPECT_TRUE(t.sine[2048] == 0.0f && std::signbit(t.sine[2048]));
    EXPECT_TRUE(t.triangle[2048] == 0.0f && std::signbit(t.triangle[2048]));
    EXPECT_EQ(t.triangle[1024], 1.0f);
    EXPECT_EQ(t.triangle[3072], -1.0f);
    EXPECT_EQ(t.saw[4095], 0.99951171875f);
    for (int i = 0; i < 2048; ++i) ASSERT_EQ(t.sine[2048 + i], -t.sine[i]) << i;
}

// The build takes shortcuts for start-up time (the sine's quarter as
// literals and mirrored, the mixes two entries at a time); these hold it to
// the plain per-entry definitions.
TEST(Tables, ShortcutsGiveThePlainDefinitionsBits) {
    constexpr long double kPi = 3.141592653589793238462643383279502884L;
    auto source = std::make_unique<SourceCycles>();
    buildSourceCycles(*source);
    const SourceCycles& src = *source;
    const WaveTables& t = waveTables();
    for (int j = 0; j < 1024; ++j) {
        ASSERT_EQ(src.sine[j], static_cast<float>(std::sin(static_cast<long double>(j) * kPi / 2048.0L))) << j;
        ASSERT_EQ(src.sine[3072 + j], static_cast<float>(std::sin(-static_cast<long double>(1024 - j) * kPi / 2048.0L)))
            << j;
        ASSERT_EQ(src.sine[1024 + j], -src.sine[3072 + j]) << j;
    }
    struct Mix {
        const float* source;
        const int32_t* mix;
    } mixes[] = {{src.sine, t.sineMix}, {src.saw, t.sawMix}, {src.square, t.squareMix}, {src.triangle, t.triangleMix}};
    const int taps[2][2] = {{1024, 1536}, {1280, 512}};
    for (const Mix& m : mixes) {
        for (int half = 0; half < 2; ++half) {
            for (int i = 0; i < 4096; ++i) {
                const double sum = 37000.0 * double(m.source[i]) + 33000.0 * double(m.source[(i + taps[half][0]) & 4095]) +
                                   30000.0 * double(m.source[(i + taps[half][1]) & 4095]);
                ASSERT_EQ(m.mix[4096 * half + ((i + 2048) & 4095)], static_cast<int32_t>(std::nearbyint(sum)))
                    << half << " " << i;
            }
        }
    }
}

TEST(Tables, NoteFrequencies) {
    const float* f = waveTables().noteFreq;
    EXPECT_EQ(f[69], 440.0f);
    EXPECT_EQ(f[57], 220.0f);
    EXPECT_EQ(f[0], 8.175799f);
    EXPECT_EQ(f[60], 261.62558f);
    EXPECT_EQ(f[127], 12543.8535f);
    for (int n = 1; n < 128; ++n) ASSERT_GT(f[n], f[n - 1]);
}

TEST(Tables, RebuildIsBitIdenticalAndSelectionFallsBackToSaw) {
    auto copy = std::make_unique<WaveTables>();
    buildWaveTables(*copy);
    EXPECT_EQ(std::memcmp(copy.get(), &waveTables(), sizeof(WaveTables)), 0);
    EXPECT_EQ(mixTableFor(0), waveTables().sineMix);
    EXPECT_EQ(mixTableFor(1), waveTables().sawMix);
    EXPECT_EQ(mixTableFor(2), waveTables().squareMix);
    EXPECT_EQ(mixTableFor(3), waveTables().triangleMix);
    EXPECT_EQ(mixTableFor(4), waveTables().sawMix);
    EXPECT_EQ(mixTableFor(-1), waveTables().sawMix);
}

}  // namespace
