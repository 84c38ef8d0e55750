// Parameter values into engine quantities: rounding points, selections and
// the sample rate the conversions use.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Instrument.h"
#include "Tables.h"

using namespace orvo;

namespace {

// The instrument's quantities as they stand at each read.
struct Quantities {
    explicit Quantities(const Instrument& e) : e(e) {}
    int32_t attack() const { return e.quantities().attackSamples; }
    int32_t decay() const { return e.quantities().decaySamples; }
    int32_t release() const { return e.quantities().releaseSamples; }
    float cutoff() const { return e.quantities().cutoffCoef; }
    float damping() const { return e.quantities().damping; }
    int32_t type() const { return e.quantities().filterType; }
    const int32_t* wave1() const { return e.quantities().wave1Table; }
    const int32_t* wave2() const { return e.quantities().wave2Table; }
    float drag() const { return e.quantities().dragCoef; }
    float switchPoint() const { return e.quantities().switchPoint; }
    float stretch1() const { return e.quantities().wave1Stretch; }
    float stretch2() const { return e.quantities().wave2Stretch; }
    const Instrument& e;
};

TEST(Params, DefaultsAt44100) {
    Instrument e;
    Quantities q(e);
    EXPECT_EQ(q.attack(), 221);  // 220.50000657 in double; in float it would tie
    EXPECT_EQ(q.decay(), 221);
    EXPECT_EQ(q.release(), 451);
    EXPECT_EQ(q.cutoff(), 0.47619048f);
    EXPECT_EQ(q.damping(), 1.2f);
    EXPECT_EQ(q.type(), 0);
    EXPECT_EQ(q.wave1(), waveTables().sineMix);
    EXPECT_EQ(q.wave2(), waveTables().sineMix);
    EXPECT_EQ(q.drag(), 0.0058956915f);
    EXPECT_EQ(q.switchPoint(), 4096.0f);
    EXPECT_EQ(q.stretch1(), 1.0f);
    EXPECT_EQ(q.stretch2(), 1.0f);
    EXPECT_EQ(e.quantities().tableStep, 0.09287982f);
    EXPECT_EQ(e.value(kParamSustain), 0.5f);
    EXPECT_EQ(e.value(12), 0.0f);
    EXPECT_EQ(e.value(-1), 0.0f);
}

TEST(Params, WaveAndTypeSelectionsRoundHalfToEven) {
    Instrument e;
    Quantities q(e);
    const WaveTables& t = waveTables();
    struct Case {
        float value;
        const int32_t* table;
    } waves[] = {{0.5f, t.squareMix}, {1.0f / 3.0f, t.sawMix}, {1.0f, t.triangleMix}, {2.0f, t.sawMix},
                 {-0.4f, t.sawMix},   {0.0f, t.sineMix}};
    for (const Case& c : waves) {
        e.setValue(kParamWave1, c.value);
        e.setValue(kParamWave2, c.value);
        EXPECT_EQ(q.wave1(), c.table) << c.value;
        EXPECT_EQ(q.wave2(), c.table) << c.value;
    }
    struct TypeCase {
        float value;
        int32_t type;
    } types[] = {{0.25f, 0}, {0.75f, 2}, {0.5f, 1}, {1.0f, 2}, {1.5f, 3}, {-3.0f, 0}, {40.0f, 3}};
    for (const TypeCase& c : types) {
        e.setValue(kParamType, c.value);
        EXPECT_EQ(q.type(), c.type) << c.value;
    }
}

TEST(Params, StageLengthsDampingAndMixAtTheEnds) {
    Instrument e;
    Quantities q(e);
    e.setValue(kParamAttack, 0.0f);
    EXPECT_EQ(q.attack(), 0);
    e.setValue(kParamAttack, 1.0f);
    EXPECT_EQ(q.attack(), 22050);
    e.setValue(kParamRelease, 0.0f);
    EXPECT_EQ(q.release(), 10);
    e.setValue(kParamRelease, 1.0f);
    EXPECT_EQ(q.release(), 44110);
    e.setValue(kParamQ, 1.0f);
    EXPECT_EQ(q.damping(), 0.03f);
    e.setValue(kParamMix, 0.0f);
    EXPECT_EQ(q.switchPoint(), 8192.0f);
    EXPECT_EQ(q.stretch1(), 2.0f);
    EXPECT_EQ(q.stretch2(), 0.0f);
    e.setValue(kParamMix, 1.0f);
    EXPECT_EQ(q.switchPoint(), 0.0f);
    EXPECT_EQ(q.stretch1(), 0.0f);
    EXPECT_EQ(q.stretch2(), 2.0f);
}

TEST(Params, SampleRateReachesPitchAtOnceAndConversionsWhenReapplied) {
    Instrument e;
    Quantities q(e);
    e.setRate(48000.0f);
    EXPECT_EQ(e.quantities().tableStep, static_cast<float>(4096.0 / 48000.0));
    EXPECT_EQ(q.attack(), 221);
    e.setValue(kParamAttack, 0.1f);
    EXPECT_EQ(q.attack(), 240);
}

// Values a host should never send must not reach undefined conversions nor
// turn the pitch step or later conversions into NaN or infinity.
TEST(Params, NonFiniteAndHugeValuesStayDefined) {
    Instrument e;
    Quantities q(e);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    e.setValue(kParamAttack, nan);
    EXPECT_EQ(q.attack(), 0);
    EXPECT_TRUE(std::isnan(e.value(kParamAttack)));  // stored unchanged
    e.setValue(kParamAttack, inf);
    EXPECT_EQ(q.attack(), INT32_MAX);
    e.setValue(kParamRelease, 1e30f);
    EXPECT_EQ(q.release(), INT32_MAX);
    e.setValue(kParamType, nan);
    EXPECT_EQ(q.type(), 0);
    e.setValue(kParamWave1, -inf);
    EXPECT_EQ(q.wave1(), waveTables().sawMix);

    const float step = e.quantities().tableStep;
    for (float bad : {0.0f, -44100.0f, nan, inf}) {
        e.setRate(bad);
        EXPECT_EQ(e.quantities().tableStep, step);
        e.setValue(kParamCutOff, 0.5f);  // still at the last good rate
        EXPECT_EQ(q.cutoff(), 0.47619048f);
    }
}

// The oscillator tells the Wave1 part from the Wave2 part by comparing the
// whole phase position with wave2Start; that must agree with comparing it
// with the switch point, whole, fractional or wild.
TEST(Params, Wave2StartSplitsPositionsWhereTheSwitchPointDoes) {
    Instrument e;
    const float inf = std::numeric_limits<float>::infinity();
    for (float mix : {0.0f, 1.0f, 0.5f, 0.3f, 0.1234567f, 0.99999f, 1e-7f, 1.00001f, -0.25f, 2.0f, 1e30f, -1e30f, inf,
                      -inf, std::numeric_limits<float>::quiet_NaN()}) {
        e.setValue(kParamMix, mix);
        const double switchPoint = e.quantities().switchPoint;
        const int32_t start = e.quantities().wave2Start;
        ASSERT_GE(start, 0) << mix;
        ASSERT_LE(start, kSwitchCycle) << mix;
        for (int32_t t = 0; t < kSwitchCycle; ++t)
            ASSERT_EQ(t < start, static_cast<double>(t) < switchPoint) << "mix " << mix << " position " << t;
    }
}

}  // namespace
