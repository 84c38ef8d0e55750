// What the plug-in does with hostile or careless host input. Each test is one
// row of the bad-input table in the README and states the behaviour chosen.
// Everything goes through the effect record, as a host would send it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "DAEffectX.h"
#include "Instrument.h"
#include "GrEditor.h"
#include "Headless.h"
#include "PluginFactory.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
using orvo::kOutputBound;
// Values 0..1 peak at about 5.7 (a resonant band-pass at full velocity);
// nothing a host sends should come out louder than this.
constexpr float kLoudestHeld = 8.0f;

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct Plugin {
    AEffect* e;
    Plugin() : e(createEffectInstance(host)->getEffectRecord()) {
        e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    }
    ~Plugin() { e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f); }
    VstIntPtr send(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return e->dispatcher(e, op, index, value, ptr, opt);
    }
    void midi(uint8_t status, uint8_t d1, uint8_t d2, int32_t delta = 0) {
        VstMidiEvent ev{};
        ev.type = kVstMidiType;
        ev.byteSize = sizeof ev;
        ev.deltaFrames = delta;
        ev.midiData[0] = static_cast<char>(status);
        ev.midiData[1] = static_cast<char>(d1);
        ev.midiData[2] = static_cast<char>(d2);
        VstEvents list{};
        list.numEvents = 1;
        list.events[0] = reinterpret_cast<VstEvent*>(&ev);
        send(effProcessEvents, 0, 0, &list);
    }
    std::vector<float> render(int frames) {
        std::vector<float> l(frames), r(frames);
        float* outs[2] = {l.data(), r.data()};
        e->processReplacing(e, nullptr, outs, frames);
        EXPECT_EQ(0, std::memcmp(l.data(), r.data(), frames * sizeof(float)));
        return l;
    }
    std::string text(VstInt32 op, VstInt32 index = 0) {
        char buf[256];
        std::memset(buf, 'x', sizeof buf);
        buf[255] = '\0';
        send(op, index, 0, buf);
        return buf;
    }
};

void expectBounded(const std::vector<float>& out) {
    for (float x : out) {
        ASSERT_TRUE(std::isfinite(x));
        ASSERT_LE(std::fabs(x), kOutputBound);
    }
}

uint32_t bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Row: NaN, infinities and huge parameter values. Behaviour: stored and
// reported back unchanged; every conversion to an integer treats NaN as 0 and
// saturates the rest; the display stays within its 8-byte field; the sound
// stays finite and bounded.
TEST(badinput, NonFiniteAndHugeParameterValues) {
    const float values[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, 3.0e9f, -2.0f, 7.0f};
    for (float v : values) {
        for (int index = 0; index < 12; ++index) {
            Plugin p;
            p.e->setParameter(p.e, index, v);
            EXPECT_EQ(bits(v), bits(p.e->getParameter(p.e, index))) << "param " << index;
            EXPECT_LE(p.text(effGetParamDisplay, index).size(), 7u);
            p.midi(0x90, 60, 127);
            expectBounded(p.render(2000));
            p.midi(0x80, 60, 0);
            expectBounded(p.render(3000));
        }
    }
}

// Row: S, Env or Q outside 0..1, which would take the filter out of its
// stable range (S = -5, Env = 3, Q = 2 once played a full-scale square).
// Behaviour: the level and filter quantities are held to what values 0..1
// give, so each such setting sounds bit for bit like the in-range setting it
// is held to, while the values themselves stay stored and reported as sent.
TEST(badinput, UnstableFilterSettingsSoundAsTheirHeldValues) {
    struct Case {
        float s, env, q;      // as sent
        float hs, henv, hq;   // what they are held to
    };
    const Case cases[] = {
        {-5.0f, 3.0f, 2.0f, 0.0f, 1.0f, 1.0f},   {0.5f, 1.2f, -7.0f, 0.5f, 1.0f, 1.0f},
        {9.0f, -2.0f, 1e30f, 1.0f, 0.0f, 1.0f},  {kNaN, kNaN, kNaN, 0.0f, 0.0f, 0.0f},
        {0.3f, kInf, -kInf, 0.3f, 1.0f, 1.0f},
    };
    for (const Case& c : cases) {
        Plugin wild, held;
        for (int type : {0, 1, 2}) {
            const float sent[] = {c.s, c.env, c.q}, tame[] = {c.hs, c.henv, c.hq};
            const int index[] = {orvo::kParamSustain, orvo::kParamEnv, orvo::kParamQ};
            for (int i = 0; i < 3; ++i) {
                wild.e->setParameter(wild.e, index[i], sent[i]);
                held.e->setParameter(held.e, index[i], tame[i]);
                EXPECT_EQ(bits(sent[i]), bits(wild.e->getParameter(wild.e, index[i])));
            }
            for (Plugin* p : {&wild, &held}) {
                p->e->setParameter(p->e, orvo::kParamType, type * 0.5f);
                p->midi(0x90, 40 + 20 * type, 127);
            }
            std::vector<float> a = wild.render(3000), b = held.render(3000);
            ASSERT_EQ(0, std::memcmp(a.data(), b.data(), a.size() * sizeof(float))) << c.s << " " << c.env << " " << c.q;
            for (float x : a) ASSERT_LE(std::fabs(x), kLoudestHeld);
        }
    }
}

// Row: sample rates 0, negative, NaN and infinite, through effSetSampleRate
// and through the combined opcode 43. Behaviour: ignored by the engine (pitch
// and every rate-dependent quantity keep the last good rate), so the sound is
// exactly what it was at that rate.
TEST(badinput, InvalidSampleRatesAreIgnored) {
    const float rates[] = {0.0f, -44100.0f, kNaN, kInf, -kInf};
    for (VstInt32 op : {VstInt32(effSetSampleRate), VstInt32(effSetBlockSizeAndSampleRate)}) {
        for (float rate : rates) {
            Plugin reference, p;
            reference.send(effSetSampleRate, 0, 0, nullptr, 48000.0f);
            p.send(effSetSampleRate, 0, 0, nullptr, 48000.0f);
            p.send(op, 0, 512, nullptr, rate);
            p.send(effSetProgram, 0, 0);  // re-applies every parameter at the rate in force
            reference.send(effSetProgram, 0, 0);
            reference.midi(0x90, 69, 100);
            p.midi(0x90, 69, 100);
            std::vector<float> a = reference.render(3000), b = p.render(3000);
            EXPECT_EQ(0, std::memcmp(a.data(), b.data(), a.size() * sizeof(float))) << op << " " << rate;
        }
    }
}

// Row: extreme but valid sample rates, 1 Hz and 10 MHz. Behaviour: accepted
// as given; the output stays finite and bounded even where the pitch step
// runs past a whole cycle per frame.
TEST(badinput, ExtremeSampleRatesStayBounded) {
    for (VstInt32 op : {VstInt32(effSetSampleRate), VstInt32(effSetBlockSizeAndSampleRate)}) {
        for (float rate : {1.0f, 1.0e7f}) {
            Plugin p;
            p.send(op, 0, 512, nullptr, rate);
            p.send(effSetProgram, 0, 0);
            p.midi(0x90, 127, 127);
            p.midi(0xE0, 0, 127);
            expectBounded(p.render(4000));
        }
    }
}

// Row: sampleFrames 0, negative, and 1,000,000. Behaviour: 0 and negative
// render nothing and touch neither the buffers nor the engine; a million
// frames render like any other block.
TEST(badinput, BlockSizes) {
    Plugin p;
    std::vector<float> l(16, 42.0f), r(16, 42.0f);
    float* outs[2] = {l.data(), r.data()};
    for (VstInt32 frames : {0, -1, -1000000, std::numeric_limits<VstInt32>::min()}) {
        p.e->processReplacing(p.e, nullptr, outs, frames);
        p.e->process(p.e, nullptr, outs, frames);
    }
    for (float x : l) EXPECT_EQ(42.0f, x);
    p.midi(0x90, 48, 90);
    std::vector<float> big = p.render(1000000);
    expectBounded(big);
    EXPECT_NE(0.0f, big[500000]);
}

// Row: program numbers negative and huge through every program request.
// Behaviour: nothing selected, copied or written; the answers are 0.
TEST(badinput, ProgramNumbersOutOfRange) {
    Plugin p;
    p.send(effSetProgram, 0, 3);
    const VstIntPtr numbers[] = {-1, 32, 1000, std::numeric_limits<VstInt32>::min(),
                                 std::numeric_limits<VstInt32>::max(),
                                 static_cast<VstIntPtr>(std::numeric_limits<intptr_t>::max())};
    for (VstIntPtr n : numbers) {
        EXPECT_EQ(0, p.send(effSetProgram, 0, n));
        EXPECT_EQ(3, p.send(effGetProgram));
        const VstInt32 index = static_cast<VstInt32>(n);
        char buf[32];
        std::memset(buf, 'x', sizeof buf);
        EXPECT_EQ(0, p.send(effGetProgramNameIndexed, index, 0, buf));
        EXPECT_EQ('x', buf[0]);
        EXPECT_EQ(0, p.send(effCopyProgram, index));
    }
    EXPECT_EQ("init1", p.text(effGetProgramNameIndexed, 0));
    EXPECT_EQ("init32", p.text(effGetProgramNameIndexed, 31));
}

// Row: program names of 23, 24 and 300 characters. Behaviour: cut to the 23
// characters the field holds; reading back never writes past 24 bytes.
TEST(badinput, LongProgramNamesAreCut) {
    for (size_t len : {23u, 24u, 300u}) {
        Plugin p;
        std::string name(len, 'n');
        for (size_t i = 0; i < len; ++i) name[i] = static_cast<char>('a' + i % 26);
        p.send(effSetProgramName, 0, 0, name.data());
        char buf[64];
        std::memset(buf, 0x7F, sizeof buf);
        p.send(effGetProgramName, 0, 0, buf);
        EXPECT_EQ(name.substr(0, 23), std::string(buf));
        for (size_t i = kVstMaxProgNameLen; i < sizeof buf; ++i) ASSERT_EQ(0x7F, buf[i]);
        EXPECT_EQ(name.substr(0, 23), p.text(effGetProgramNameIndexed, 0));
    }
}

// Row: a null ptr for every request that reads or writes through it.
// Behaviour: the request does nothing and answers what it answers when
// there is nothing to report: 0, and -1 ("no MIDI programs") for the
// current MIDI program, where 0 would name program 0.
TEST(badinput, NullPointersAnswerTheirDefault) {
    Plugin p;
    const VstInt32 ops[] = {effSetProgramName,     effGetProgramName,     effGetParamLabel,
                            effGetParamDisplay,    effGetParamName,       effEditGetRect,
                            effGetChunk,           effSetChunk,           effProcessEvents,
                            effString2Parameter,   effGetProgramNameIndexed, effGetInputProperties,
                            effGetOutputProperties, effGetEffectName,     effGetErrorText,
                            effGetVendorString,    effGetProductString,   effCanDo,
                            effGetParameterProperties, effGetMidiProgramName,
                            effGetMidiProgramCategory, effGetMidiKeyName};
    for (VstInt32 op : ops) EXPECT_EQ(0, p.send(op, 0, 0, nullptr)) << "opcode " << op;
    EXPECT_EQ(-1, p.send(effGetCurrentMidiProgram, 0, 0, nullptr));
    char record[256] = {};  // room for any record the host might pass
    EXPECT_EQ(-1, p.send(effGetCurrentMidiProgram, 0, 0, &record));
    EXPECT_EQ("init1", p.text(effGetProgramName));
}

// Row: effProcessEvents with numEvents 0, negative, and null entries.
// Behaviour: an empty or negative count does nothing; null entries are
// skipped and the events after them still take effect; the answer is 1.
TEST(badinput, EventListsWithNothingOrHoles) {
    Plugin p;
    VstEvents empty{};
    empty.numEvents = 0;
    EXPECT_EQ(1, p.send(effProcessEvents, 0, 0, &empty));
    empty.numEvents = -5;
    EXPECT_EQ(1, p.send(effProcessEvents, 0, 0, &empty));
    for (float x : p.render(64)) EXPECT_EQ(0.0f, x);

    VstMidiEvent on{};
    on.type = kVstMidiType;
    on.byteSize = sizeof on;
    on.midiData[0] = static_cast<char>(0x90);
    on.midiData[1] = 60;
    on.midiData[2] = 100;
    struct {
        VstEvents head;
        VstEvent* more[2];
    } list{};
    list.head.numEvents = 3;
    list.head.events[0] = nullptr;
    list.head.events[1] = nullptr;
    list.more[0] = reinterpret_cast<VstEvent*>(&on);
    EXPECT_EQ(1, p.send(effProcessEvents, 0, 0, &list));
    std::vector<float> out = p.render(512);
    EXPECT_NE(0.0f, out[300]);
}

// Row: editor opened and closed a thousand times, then the plug-in closed
// with the editor open (window-system-free editor). Behaviour: one form at a
// time, no form left after each close, and effClose takes the open editor
// down with the effect.
TEST(badinput, EditorOpenCloseChurnAndCloseWhileOpen) {
    AudioEffect* fx = createEffectInstance(host);
    delete fx->getEditor();
    auto* editor = new orvo::GrEditor(fx, std::make_unique<orvo::HeadlessPlatform>());
    fx->setEditor(editor);
    AEffect* e = fx->getEffectRecord();
    int parent = 0;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(1, e->dispatcher(e, effEditOpen, 0, 0, &parent, 0.0f));
        e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
        e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
        ASSERT_EQ(nullptr, editor->getForm());
    }
    e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);  // a close too many
    ASSERT_EQ(1, e->dispatcher(e, effEditOpen, 0, 0, &parent, 0.0f));
    ASSERT_NE(nullptr, editor->getForm());
    EXPECT_EQ(1, e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f));
}

}  // namespace
