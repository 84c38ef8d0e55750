// The plug-in adapter: program bank, texts and bounds, capabilities, and
// how host calls reach the engine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "DVstUtils.h"
#include "PluginFactory.h"
#include "uVSTXSynth.h"

using namespace orvo;

namespace {

int gWantMidiCalls = 0;

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterWantMidi) ++gWantMidiCalls;
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct Synth : ::testing::Test {
    AVstXSynth fx{host};
    AEffect* rec = fx.getEffectRecord();
    VstIntPtr dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
        return rec->dispatcher(rec, op, index, value, ptr, opt);
    }
    std::string text(VstInt32 op, VstInt32 index = 0) {
        char buf[256];
        std::memset(buf, 'x', sizeof buf);
        buf[255] = '\0';
        dispatch(op, index, 0, buf);
        return buf;
    }
    std::vector<float> renderReplacing(int frames) {
        std::vector<float> l(frames, 9.0f), r(frames, 9.0f);
        float* out[2] = {l.data(), r.data()};
        rec->processReplacing(rec, nullptr, out, frames);
        return l;
    }
};

TEST_F(Synth, FreshInstanceAnswers) {
    EXPECT_EQ(rec->numInputs, 0);
    EXPECT_EQ(rec->numOutputs, 2);
    EXPECT_EQ(rec->numPrograms, 32);
    EXPECT_EQ(rec->numParams, 12);
    EXPECT_EQ(rec->uniqueID, fourCharCode("OrvS"));
    EXPECT_EQ(rec->flags & (effFlagsCanReplacing | effFlagsIsSynth), effFlagsCanReplacing | effFlagsIsSynth);
    EXPECT_EQ(dispatch(effGetProgram), 0);
    EXPECT_EQ(rec->getParameter(rec, 0), 0.1f);
    EXPECT_EQ(rec->getParameter(rec, 4), 0.5f);
    EXPECT_EQ(rec->getParameter(rec, 12), 0.0f);
    EXPECT_EQ(text(effGetParamName, 4), "CutOff");
    EXPECT_EQ(text(effGetParamName, 12), "");
    EXPECT_EQ(text(effGetParamLabel, 4), "/1");
    EXPECT_EQ(text(effGetParamLabel, 99), "/1");
    EXPECT_EQ(text(effGetParamDisplay, 4), "0.50");
    EXPECT_EQ(text(effGetParamDisplay, 12), "");
    EXPECT_EQ(text(effGetProgramName), "init1");
    EXPECT_EQ(text(effGetProgramNameIndexed, 31), "init32");
    char untouched[8] = "keep";
    EXPECT_EQ(dispatch(effGetProgramNameIndexed, 32, 0, untouched), 0);
    EXPECT_STREQ(untouched, "keep");
    EXPECT_EQ(text(effGetEffectName), "OrvoSwitch");
    EXPECT_EQ(text(effGetVendorString), "Brimlow");
    EXPECT_EQ(text(effGetProductString), "Orvo Switch Table Synth");
    EXPECT_EQ(dispatch(effGetVendorVersion), 1);
}

TEST_F(Synth, CapabilitiesAndPins) {
    char events[] = "receiveVstEvents", midi[] = "receiveVstMidiEvent", other[] = "receiveVstTimeInfo",
         empty[] = "", upper[] = "ReceiveVstEvents";
    EXPECT_EQ(dispatch(effCanDo, 0, 0, events), 1);
    EXPECT_EQ(dispatch(effCanDo, 0, 0, midi), 1);
    EXPECT_EQ(dispatch(effCanDo, 0, 0, other), -1);
    EXPECT_EQ(dispatch(effCanDo, 0, 0, empty), -1);
    EXPECT_EQ(dispatch(effCanDo, 0, 0, upper), -1);
    VstPinProperties pin{};
    EXPECT_EQ(dispatch(effGetOutputProperties, 1, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "Switch 2");
    EXPECT_EQ(pin.flags, 3);
    VstPinProperties none{};
    EXPECT_EQ(dispatch(effGetOutputProperties, 2, 0, &none), 0);
    EXPECT_EQ(dispatch(effGetOutputProperties, -1, 0, &none), 0);
    EXPECT_EQ(none.label[0], '\0');
    gWantMidiCalls = 0;
    dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(gWantMidiCalls, 1);
}

TEST_F(Synth, EditsLiveInTheCurrentProgram) {
    rec->setParameter(rec, 4, 1.0f);
    dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(rec->getParameter(rec, 4), 0.5f);
    dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(rec->getParameter(rec, 4), 1.0f);
    dispatch(effSetProgram, 0, -3);  // ignored
    dispatch(effSetProgram, 0, 32);  // ignored
    EXPECT_EQ(dispatch(effGetProgram), 0);
    rec->setParameter(rec, 12, 0.9f);  // out of range: nothing
    rec->setParameter(rec, -1, 0.9f);
    EXPECT_EQ(rec->getParameter(rec, 4), 1.0f);
}

TEST_F(Synth, CopyProgramCopiesValuesAndNameWithoutSwitching) {
    rec->setParameter(rec, 11, 0.25f);
    char name[] = "Lead";
    dispatch(effSetProgramName, 0, 0, name);
    EXPECT_EQ(dispatch(effCopyProgram, 5), 1);
    EXPECT_EQ(dispatch(effCopyProgram, 32), 0);
    EXPECT_EQ(dispatch(effGetProgram), 0);
    EXPECT_EQ(text(effGetProgramNameIndexed, 5), "Lead");
    dispatch(effSetProgram, 0, 5);
    EXPECT_EQ(rec->getParameter(rec, 11), 0.25f);
}

TEST_F(Synth, TextsStayWithinTheHostLimits) {
    char longName[] = "a program name that is far too long for the field";
    dispatch(effSetProgramName, 0, 0, longName);
    EXPECT_EQ(text(effGetProgramName), std::string(longName, 23));
    rec->setParameter(rec, 0, -12345.678f);
    char small[kVstMaxParamStrLen + 4];
    std::memset(small, 'x', sizeof small);
    dispatch(effGetParamDisplay, 0, 0, small);
    EXPECT_EQ(std::strlen(small), 7u);
    EXPECT_EQ(small[kVstMaxParamStrLen + 1], 'x');
    rec->setParameter(rec, 8, 1.0f / 3.0f);
    EXPECT_EQ(text(effGetParamDisplay, 8), "0.33");  // the number, not a wave name
}

TEST_F(Synth, EventsReachTheEngineAndOtherTypesAreSkipped) {
    VstMidiSysexEvent sysex{};
    sysex.type = kVstSysExType;
    VstMidiEvent note{};
    note.type = kVstMidiType;
    note.deltaFrames = 3;
    note.midiData[0] = static_cast<char>(0x95);
    note.midiData[1] = 69;
    note.midiData[2] = 127;
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[2];
    } list{2, 0, {reinterpret_cast<VstEvent*>(&sysex), reinterpret_cast<VstEvent*>(&note)}};
    EXPECT_EQ(dispatch(effProcessEvents, 0, 0, &list), 1);
    const Voice& v = fx.instrument().engine().voices().voice[1];
    EXPECT_EQ(v.note, 69);
    EXPECT_EQ(v.delay, 3);
    list.numEvents = 0;
    EXPECT_EQ(dispatch(effProcessEvents, 0, 0, &list), 1);
}

TEST_F(Synth, ProcessAddsAndProcessReplacingOverwrites) {
    std::vector<float> silent = renderReplacing(32);
    for (float s : silent) ASSERT_EQ(s, 0.0f);
    std::vector<float> l(32, 0.25f), r(32, 0.25f);
    float* out[2] = {l.data(), r.data()};
    rec->process(rec, nullptr, out, 32);
    for (float s : l) ASSERT_EQ(s, 0.25f);
    rec->processReplacing(rec, nullptr, out, 0);
    EXPECT_EQ(l[0], 0.25f);
}

TEST_F(Synth, SampleRateRequests) {
    const float step = fx.instrument().quantities().tableStep;
    dispatch(effSetBlockSizeAndSampleRate, 0, 512, nullptr, 48000.0f);
    EXPECT_EQ(fx.getSampleRate(), 48000.0f);
    EXPECT_EQ(fx.instrument().quantities().tableStep, step);
    dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_EQ(fx.instrument().quantities().tableStep, static_cast<float>(4096.0 / 48000.0));
    EXPECT_EQ(fx.instrument().quantities().attackSamples, 221);
    dispatch(effSetProgram, 0, 0);  // re-selecting re-applies at the new rate
    EXPECT_EQ(fx.instrument().quantities().attackSamples, 240);

    // A rate that is not finite and positive, or too small for a pitch step
    // (denormal or the smallest normal rates), changes neither the pitch step
    // nor the conversions, and the instrument keeps playing.
    for (float bad : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                      std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::min()}) {
        for (VstInt32 op : {VstInt32(effSetSampleRate), VstInt32(effSetBlockSizeAndSampleRate)}) {
            dispatch(op, 0, 512, nullptr, bad);
            dispatch(effSetProgram, 0, 0);
            EXPECT_EQ(fx.instrument().quantities().tableStep, static_cast<float>(4096.0 / 48000.0)) << bad;
            EXPECT_EQ(fx.instrument().quantities().attackSamples, 240) << bad;
            EXPECT_EQ(fx.instrument().quantities().releaseSamples, 490) << bad;
        }
    }
    dispatch(effSetSampleRate, 0, 0, nullptr, 1.0e-30f);  // tiny but usable: accepted as given
    dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(fx.instrument().quantities().attackSamples, 0);
    dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(fx.instrument().quantities().attackSamples, 240);
    VstMidiEvent note{};
    note.type = kVstMidiType;
    note.midiData[0] = static_cast<char>(0x90);
    note.midiData[1] = 60;
    note.midiData[2] = 100;
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[2];
    } list{1, 0, {reinterpret_cast<VstEvent*>(&note), nullptr}};
    dispatch(effProcessEvents, 0, 0, &list);
    bool sounded = false;
    for (float s : renderReplacing(4000)) {
        ASSERT_TRUE(std::isfinite(s));
        sounded |= s != 0.0f;
    }
    EXPECT_TRUE(sounded);
}

TEST(SynthConstruction, WithoutHostCallbackKeepsBaseCounts) {
    AVstXSynth fx(nullptr);
    EXPECT_EQ(fx.getEffectRecord()->numInputs, 1);
    EXPECT_EQ(fx.getEffectRecord()->flags & effFlagsIsSynth, 0);
    EXPECT_EQ(fx.getParameter(4), 0.5f);
}

// An editor that, like a form being torn down, reads the current program's
// name and a value as it goes.
struct ReadingEditor : AEffEditor {
    std::string* seen;
    ReadingEditor(AudioEffect* fx, std::string* seen) : AEffEditor(fx), seen(seen) {}
    ~ReadingEditor() override {
        char name[kVstMaxProgNameLen + 1] = {};
        effect->getProgramName(name);
        *seen = std::string(name) + " " + std::to_string(effect->getParameter(kParamCutOff));
    }
};

TEST(SynthConstruction, EditorIsGoneBeforeThePrograms) {
    std::string seen;
    AEffect* rec = createEffectInstance(host)->getEffectRecord();
    auto* fx = static_cast<AudioEffect*>(rec->object);
    delete fx->getEditor();
    fx->setEditor(new ReadingEditor(fx, &seen));
    rec->dispatcher(rec, effSetProgramName, 0, 0, const_cast<char*>("Last words"), 0.0f);
    rec->dispatcher(rec, effClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ("Last words 0.500000", seen);
}

}  // namespace
