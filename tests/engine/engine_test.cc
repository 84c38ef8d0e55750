// The engine end to end: voice rotation, event timing, pitch, oscillator
// reads and the first frames of a note, to the exact float.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Instrument.h"
#include "Tables.h"

using namespace orvo;

namespace {

constexpr uint8_t kNoteOn = 0x90, kNoteOff = 0x80, kController = 0xB0, kBend = 0xE0;

struct Block {
    std::vector<float> left, right;
};

Block render(Instrument& e, int frames) {
    Block b{std::vector<float>(frames, 0.0f), std::vector<float>(frames, 0.0f)};
    e.render(b.left.data(), b.right.data(), frames);
    return b;
}

const Voice& voice(const Instrument& e, int v) { return e.engine().voices().voice[v]; }

TEST(Engine, NoteStartEndToEnd) {
    Instrument e;
    e.midi(kNoteOn, 69, 127, 0);
    EXPECT_EQ(e.engine().voices().nextVoice, 1);
    EXPECT_EQ(voice(e, 1).increment, 40.867119f);
    EXPECT_EQ(voice(e, 1).cutoffScale, 0.53695679f);
    EXPECT_EQ(voice(e, 1).gain, 2.0e-6f);

    Block f0 = render(e, 1);
    EXPECT_EQ(e.engine().voices().glideIncrement, 0.24093993f);
    EXPECT_EQ(voice(e, 1).filter.third, -196);
    EXPECT_EQ(f0.left[0], 0.0f);

    Block f1 = render(e, 1);
    EXPECT_EQ(e.engine().voices().glideIncrement, 0.48045933f);
    EXPECT_EQ(voice(e, 1).filter.third, -716);
    EXPECT_EQ(voice(e, 1).env.level, static_cast<float>(1.0 / 222.0));
    EXPECT_EQ(f1.left[0], -6.4504507e-6f);

    EXPECT_EQ(voice(e, 1).phase, 0.72139925f);
    Block f2 = render(e, 1);
    EXPECT_EQ(voice(e, 1).filter.third, -1636);
    EXPECT_EQ(f2.left[0], -2.9477478e-5f);
    EXPECT_EQ(f2.right[0], f2.left[0]);
}

TEST(Engine, CutoffOfTheFirstTwoFrames) {
    const float cc = 0.47619048f, scale = 0.53695679f;
    EXPECT_EQ(cutoffFor(0.0f, 0.5f, cc, scale), 0.15341623f);
    EXPECT_EQ(cutoffFor(static_cast<float>(1.0 / 222.0), 0.5f, cc, scale), 0.15399212f);
}

TEST(Engine, VoicesTakeTurnsAndEachNoteReleasesTheOther) {
    Instrument e;
    e.midi(kNoteOn | 3, 60, 100, 0);  // any channel
    EXPECT_EQ(e.engine().voices().nextVoice, 1);
    render(e, 10);
    e.midi(kNoteOn, 64, 100, 5);
    EXPECT_EQ(e.engine().voices().nextVoice, 0);
    EXPECT_EQ(voice(e, 1).env.releaseCountdown, 5);
    render(e, 5);
    EXPECT_EQ(voice(e, 1).env.stage, kStageAttack);
    render(e, 1);
    EXPECT_EQ(voice(e, 1).env.stage, kStageRelease);
    e.midi(kNoteOff, 60, 0, 0);  // already releasing: nothing
    EXPECT_EQ(voice(e, 1).env.releaseCountdown, kNoReleasePending);
    e.midi(kNoteOn, 67, 100, 0);
    EXPECT_EQ(e.engine().voices().nextVoice, 1);
    EXPECT_EQ(voice(e, 1).note, 67);
    EXPECT_EQ(voice(e, 0).env.releaseCountdown, 0);
}

TEST(Engine, NoteOffVariantsAndUnknownNotes) {
    for (uint8_t status : {uint8_t(kNoteOff), uint8_t(kNoteOff | 9), uint8_t(kNoteOn)}) {
        Instrument e;
        e.midi(kNoteOn, 50, 90, 0);
        render(e, 3);
        e.midi(status, 51, status == kNoteOn ? 0 : 64, 0);  // nobody holds 51
        EXPECT_EQ(voice(e, 1).env.releaseCountdown, kNoReleasePending);
        e.midi(status, 50, status == kNoteOn ? 0 : 127, 7);
        EXPECT_EQ(voice(e, 1).env.releaseCountdown, 7) << int(status);
    }
}

TEST(Engine, DelayCarriesIntoTheNextBlockAndCountdownRunsOnlyWhileSounding) {
    Instrument e;
    e.midi(kNoteOn, 60, 100, 100);
    render(e, 64);
    EXPECT_EQ(voice(e, 1).delay, 36);
    EXPECT_EQ(voice(e, 1).env.attackCount, 0);
    render(e, 36);
    EXPECT_EQ(voice(e, 1).env.attackCount, 0);
    render(e, 1);
    EXPECT_EQ(voice(e, 1).env.attackCount, 1);

    Instrument f;
    f.midi(kNoteOn, 60, 100, 10);
    f.midi(kNoteOff, 60, 0, 20);
    render(f, 30);
    EXPECT_EQ(voice(f, 1).env.stage, kStageAttack);
    render(f, 1);
    EXPECT_EQ(voice(f, 1).env.stage, kStageRelease);
}

TEST(Engine, ChordKeepsOnlyTheSecondNoteAndSoundsLikeIt) {
    Instrument chord, single;
    chord.midi(kNoteOn, 60, 100, 0);
    chord.midi(kNoteOn, 67, 100, 0);
    single.midi(kNoteOn, 67, 100, 0);
    Block a = render(chord, 600), b = render(single, 600);
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(voice(chord, 1).env.stage, kStageOff);  // 452 frames of silent release
    EXPECT_EQ(voice(chord, 0).env.stage, kStageSustain);
}

TEST(Engine, PitchBendFactors) {
    struct Case {
        uint8_t coarse;
        float factor;
    } cases[] = {{64, 1.0f},
                 {127, 1.059463094359f},
                 {0, static_cast<float>(1.0 / 1.059463094359)},
                 {96, static_cast<float>(std::sqrt(1.059463094359))}};
    for (const Case& c : cases) {
        Instrument e;
        e.midi(kBend, 0x7F, c.coarse, 0);  // the fine byte plays no part
        EXPECT_EQ(e.engine().voices().bendFactor, c.factor) << int(c.coarse);
        e.midi(kNoteOn, 69, 100, 0);  // a bend before a note applies to it
        EXPECT_EQ(voice(e, 1).increment,
                  static_cast<float>(440.0 * static_cast<double>(e.quantities().tableStep) * static_cast<double>(c.factor)));
    }
}

TEST(Engine, AllVoicesOffIsImmediateAndOtherControllersAreIgnored) {
    Instrument e;
    e.midi(kNoteOn, 60, 100, 0);
    e.midi(kNoteOn, 62, 100, 0);
    render(e, 50);
    e.midi(kController, 123, 0, 0);
    e.midi(kController | 5, 7, 126, 0);
    EXPECT_EQ(voice(e, 0).env.stage, kStageAttack);
    e.midi(kController | 15, 126, 0, 0);
    EXPECT_EQ(voice(e, 0).env.stage, kStageOff);
    EXPECT_EQ(voice(e, 1).env.stage, kStageOff);
    EXPECT_EQ(e.engine().voices().nextVoice, 0);
    // Silence on both outputs, while the glide keeps following the last note.
    const float glide = e.engine().voices().glideIncrement;
    Block b = render(e, 64);
    for (int i = 0; i < 64; ++i) ASSERT_TRUE(b.left[i] == 0.0f && b.right[i] == 0.0f);
    EXPECT_NE(e.engine().voices().glideIncrement, glide);
}

TEST(Engine, NegativeDeltaCountsAsZero) {
    Instrument e;
    e.midi(kNoteOn, 60, 100, -40);
    EXPECT_EQ(voice(e, 1).delay, 0);
}

// Reads one oscillator sample straight through: bypass filter, full sustain,
// unit gain, so the output is the table entry itself.
float readAt(float mix, float phase) {
    Instrument e;
    e.setValue(kParamMix, mix);
    e.setValue(kParamType, 1.5f);
    e.setValue(kParamSustain, 1.0f);
    e.setValue(kParamWave1, 2.0f / 3.0f);  // square for Wave1
    e.setValue(kParamWave2, 1.0f);         // triangle for Wave2
    Voice& v = e.engineForTest().voicesForTest().voice[0];
    v.env.stage = kStageSustain;
    v.phase = phase;
    v.gain = 1.0f;
    return render(e, 1).left[0];
}

TEST(Engine, OscillatorReadsAtTheSwitchPointAndStretches) {
    const int32_t* sq = waveTables().squareMix;
    const int32_t* tr = waveTables().triangleMix;
    EXPECT_EQ(readAt(0.25f, 3000.0f), static_cast<float>(sq[2000]));
    EXPECT_EQ(readAt(0.25f, 7000.0f), static_cast<float>(tr[4096 + 1712]));
    EXPECT_EQ(readAt(0.5f, 4095.6f), static_cast<float>(tr[4096 + 0]));
    EXPECT_EQ(readAt(0.5f, 8220.0f), static_cast<float>(sq[8220 & 4095]));
    EXPECT_EQ(readAt(1.0f, -40.0f), static_cast<float>(tr[4096 + 4076]));
}

TEST(Engine, PhaseWrapsOnceBit13IsSet) {
    Instrument e;
    e.setValue(kParamSustain, 1.0f);
    Voice& v = e.engineForTest().voicesForTest().voice[0];
    v.env.stage = kStageSustain;
    v.phase = 8191.5f;
    render(e, 1);
    EXPECT_EQ(v.phase, static_cast<float>(8191.5 + static_cast<double>(e.engine().voices().glideIncrement) - 8192.0));
}

TEST(Engine, ReleasedVoiceKeepsItsPitchWhileTheNewOneGlides) {
    Instrument e;
    e.midi(kNoteOn, 48, 100, 0);
    render(e, 2000);
    e.midi(kNoteOn, 72, 100, 0);
    render(e, 1);  // the countdown fires at the end of this frame
    const Voice& old = voice(e, 1);
    ASSERT_EQ(old.env.stage, kStageRelease);
    const float before = old.phase;
    render(e, 1);
    EXPECT_EQ(old.phase, static_cast<float>(static_cast<double>(before) + static_cast<double>(old.increment)));
}

TEST(Engine, GlideFollowsTheOldNoteUntilTheNewOneStarts) {
    Instrument e;
    e.midi(kNoteOn, 48, 100, 0);
    render(e, 5000);
    const float oldIncrement = voice(e, 1).increment;
    ASSERT_NEAR(e.engine().voices().glideIncrement, oldIncrement, 1e-4);
    e.midi(kNoteOn, 72, 100, 40);
    render(e, 40);
    const double before = e.engine().voices().glideIncrement;
    EXPECT_NEAR(before, oldIncrement, 1e-4);
    render(e, 1);  // the new note sounds: the glide turns towards it
    EXPECT_EQ(e.engine().voices().glideIncrement,
              static_cast<float>(before + (static_cast<double>(voice(e, 0).increment) - before) *
                                              static_cast<double>(e.quantities().dragCoef)));
}

// Wild parameter values may make noise but never poison the glide or the
// integer state with NaN, infinity or overflow.
TEST(Engine, WildParametersKeepTheEngineFinite) {
    Instrument e;
    e.midi(kNoteOn, 100, 127, 0);
    e.setValue(kParamDrag, -400.0f);  // drag coefficient far above 2: the glide diverges
    e.setValue(kParamQ, 30.0f);       // negative damping: the filter runs away
    e.setValue(kParamMix, 7.0f);
    render(e, 5000);
    EXPECT_TRUE(std::isfinite(e.engine().voices().glideIncrement));
    e.setValue(kParamDrag, 0.5f);
    e.setValue(kParamQ, 0.0f);
    e.setValue(kParamMix, 0.5f);
    e.midi(kNoteOn, 60, 127, 0);
    Block b = render(e, 44100);
    EXPECT_TRUE(std::isfinite(e.engine().voices().glideIncrement));
    for (float s : b.left) ASSERT_TRUE(std::isfinite(s));
    EXPECT_NEAR(e.engine().voices().glideIncrement, voice(e, 0).increment, 1e-3);
}

}  // namespace
