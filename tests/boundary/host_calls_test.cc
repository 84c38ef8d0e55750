// The effect's side of the host conversation: what each host-call wrapper
// sends and makes of the answer, with and without a host; the record the base
// constructor fills; the record callbacks; and effClose's destruction.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "recorder.h"

namespace {

char gText[64];
char gOther[8];

struct Wrapper {
    const char* name;
    std::function<double(AudioEffectX&)> call;
    HostCall sent;          // effect is filled in by the test
    VstIntPtr hostAnswer;   // what the recorder answers to sent.opcode
    double withHost;        // the wrapper's result given that answer
    double withoutHost;     // its result without a host callback
};

double ptrValue(const void* p) { return static_cast<double>(reinterpret_cast<uintptr_t>(p)); }

std::vector<Wrapper> wrappers() {
    void* const g = gText;
    void* const o = gOther;
    return {
        {"getMasterVersion", [](AudioEffectX& fx) { return fx.getMasterVersion(); },
         {nullptr, audioMasterVersion, 0, 0, nullptr, 0}, 2400, 2400, 1},
        {"getMasterVersion answering 0", [](AudioEffectX& fx) { return fx.getMasterVersion(); },
         {nullptr, audioMasterVersion, 0, 0, nullptr, 0}, 0, 1, 1},
        {"getCurrentUniqueId", [](AudioEffectX& fx) { return fx.getCurrentUniqueId(); },
         {nullptr, audioMasterCurrentId, 0, 0, nullptr, 0}, 77, 77, 0},
        {"masterIdle", [](AudioEffectX& fx) { return fx.masterIdle(), 0.0; },
         {nullptr, audioMasterIdle, 0, 0, nullptr, 0}, 1, 0, 0},
        {"isInputConnected answering 0", [](AudioEffectX& fx) { return fx.isInputConnected(3); },
         {nullptr, audioMasterPinConnected, 3, 0, nullptr, 0}, 0, 1, 1},
        {"isInputConnected answering 1", [](AudioEffectX& fx) { return fx.isInputConnected(3); },
         {nullptr, audioMasterPinConnected, 3, 0, nullptr, 0}, 1, 0, 1},
        {"isOutputConnected", [](AudioEffectX& fx) { return fx.isOutputConnected(1); },
         {nullptr, audioMasterPinConnected, 1, 1, nullptr, 0}, 1, 0, 1},
        {"wantEvents", [](AudioEffectX& fx) { return fx.wantEvents(1), 0.0; },
         {nullptr, audioMasterWantMidi, 0, 1, nullptr, 0}, 1, 0, 0},
        {"getTimeInfo", [](AudioEffectX& fx) { return ptrValue(fx.getTimeInfo(0x200)); },
         {nullptr, audioMasterGetTime, 0, 0x200, nullptr, 0}, reinterpret_cast<VstIntPtr>(o), ptrValue(o), 0},
        {"tempoAt", [](AudioEffectX& fx) { return fx.tempoAt(99); },
         {nullptr, audioMasterTempoAt, 0, 99, nullptr, 0}, 120000, 120000, 0},
        {"getNumAutomatableParameters", [](AudioEffectX& fx) { return fx.getNumAutomatableParameters(); },
         {nullptr, audioMasterGetNumAutomatableParameters, 0, 0, nullptr, 0}, 12, 12, 0},
        {"getParameterQuantization", [](AudioEffectX& fx) { return fx.getParameterQuantization(); },
         {nullptr, audioMasterGetParameterQuantization, 0, 0, nullptr, 0}, 100, 100, 0},
        {"ioChanged", [](AudioEffectX& fx) { return fx.ioChanged(); },
         {nullptr, audioMasterIOChanged, 0, 0, nullptr, 0}, 5, 1, 0},
        {"needIdle", [](AudioEffectX& fx) { return fx.needIdle(); },
         {nullptr, audioMasterNeedIdle, 0, 0, nullptr, 0}, 1, 1, 0},
        {"sizeWindow", [](AudioEffectX& fx) { return fx.sizeWindow(465, 281); },
         {nullptr, audioMasterSizeWindow, 465, 281, nullptr, 0}, 1, 1, 0},
        {"updateSampleRate ignores the host", [](AudioEffectX& fx) { return fx.updateSampleRate(); },
         {nullptr, audioMasterGetSampleRate, 0, 0, nullptr, 0}, 96000, 44100, 44100},
        {"updateBlockSize ignores the host", [](AudioEffectX& fx) { return fx.updateBlockSize(); },
         {nullptr, audioMasterGetBlockSize, 0, 0, nullptr, 0}, 64, 1024, 1024},
        {"getInputLatency", [](AudioEffectX& fx) { return fx.getInputLatency(); },
         {nullptr, audioMasterGetInputLatency, 0, 0, nullptr, 0}, 128, 128, 0},
        {"getOutputLatency", [](AudioEffectX& fx) { return fx.getOutputLatency(); },
         {nullptr, audioMasterGetOutputLatency, 0, 0, nullptr, 0}, 256, 256, 0},
        {"getPreviousPlug", [](AudioEffectX& fx) { return ptrValue(fx.getPreviousPlug()); },
         {nullptr, audioMasterGetPreviousPlug, 0, 0, nullptr, 0}, reinterpret_cast<VstIntPtr>(o), ptrValue(o), 0},
        {"getNextPlug", [](AudioEffectX& fx) { return ptrValue(fx.getNextPlug()); },
         {nullptr, audioMasterGetNextPlug, 0, 0, nullptr, 0}, reinterpret_cast<VstIntPtr>(o), ptrValue(o), 0},
        {"willProcessReplacing", [](AudioEffectX& fx) { return fx.willProcessReplacing(); },
         {nullptr, audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0}, 2, 2, 0},
        {"getCurrentProcessLevel", [](AudioEffectX& fx) { return fx.getCurrentProcessLevel(); },
         {nullptr, audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0}, 4, 4, 0},
        {"getAutomationState", [](AudioEffectX& fx) { return fx.getAutomationState(); },
         {nullptr, audioMasterGetAutomationState, 0, 0, nullptr, 0}, 3, 3, 0},
        {"offlineStart", [g](AudioEffectX& fx) { return fx.offlineStart(g, 4, 2); },
         {nullptr, audioMasterOfflineStart, 2, 4, g, 0}, 1, 1, 0},
        {"offlineRead", [g](AudioEffectX& fx) { return fx.offlineRead(g, 6, true); },
         {nullptr, audioMasterOfflineRead, 1, 6, g, 0}, 1, 1, 0},
        {"offlineWrite", [g](AudioEffectX& fx) { return fx.offlineWrite(g, 6); },
         {nullptr, audioMasterOfflineWrite, 0, 6, g, 0}, 1, 1, 0},
        {"offlineGetCurrentPass", [](AudioEffectX& fx) { return fx.offlineGetCurrentPass(); },
         {nullptr, audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0}, 9, 1, 0},
        {"offlineGetCurrentMetaPass", [](AudioEffectX& fx) { return fx.offlineGetCurrentMetaPass(); },
         {nullptr, audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0}, -9, 1, 0},
        {"setOutputSamplerate", [](AudioEffectX& fx) { return fx.setOutputSamplerate(22050.0f), 0.0; },
         {nullptr, audioMasterSetOutputSampleRate, 0, 0, nullptr, 22050.0f}, 1, 0, 0},
        {"getSpeakerArrangement", [g, o](AudioEffectX& fx) { return fx.getSpeakerArrangement(o, g); },
         {nullptr, audioMasterGetOutputSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(o), g, 0}, 1, 1, 0},
        {"getHostVendorString", [](AudioEffectX& fx) { return fx.getHostVendorString(gText); },
         {nullptr, audioMasterGetVendorString, 0, 0, g, 0}, 1, 1, 0},
        {"getHostProductString", [](AudioEffectX& fx) { return fx.getHostProductString(gText); },
         {nullptr, audioMasterGetProductString, 0, 0, g, 0}, 1, 1, 0},
        {"getHostVendorVersion", [](AudioEffectX& fx) { return fx.getHostVendorVersion(); },
         {nullptr, audioMasterGetVendorVersion, 0, 0, nullptr, 0}, 1100, 1100, 0},
        {"hostVendorSpecific", [g](AudioEffectX& fx) { return fx.hostVendorSpecific(1, 2, g, 0.25f); },
         {nullptr, audioMasterVendorSpecific, 1, 2, g, 0.25f}, 42, 42, 0},
        {"canHostDo answering -1", [](AudioEffectX& fx) { return fx.canHostDo(gText); },
         {nullptr, audioMasterCanDo, 0, 0, g, 0}, -1, 1, 0},
        {"canHostDo answering 0", [](AudioEffectX& fx) { return fx.canHostDo(gText); },
         {nullptr, audioMasterCanDo, 0, 0, g, 0}, 0, 0, 0},
        {"getHostLanguage", [](AudioEffectX& fx) { return fx.getHostLanguage(); },
         {nullptr, audioMasterGetLanguage, 0, 0, nullptr, 0}, 2, 2, 0},
        {"openWindow", [g](AudioEffectX& fx) { return ptrValue(fx.openWindow(g)); },
         {nullptr, audioMasterOpenWindow, 0, 0, g, 0}, reinterpret_cast<VstIntPtr>(o), ptrValue(o), 0},
        {"closeWindow", [g](AudioEffectX& fx) { return fx.closeWindow(g); },
         {nullptr, audioMasterCloseWindow, 0, 0, g, 0}, 1, 1, 0},
        {"getDirectory", [](AudioEffectX& fx) { return ptrValue(fx.getDirectory()); },
         {nullptr, audioMasterGetDirectory, 0, 0, nullptr, 0}, reinterpret_cast<VstIntPtr>(o), ptrValue(o), 0},
        {"updateDisplay", [](AudioEffectX& fx) { return fx.updateDisplay(); },
         {nullptr, audioMasterUpdateDisplay, 0, 0, nullptr, 0}, 1, 1, 0},
        {"beginEdit", [](AudioEffectX& fx) { return fx.beginEdit(4); },
         {nullptr, audioMasterBeginEdit, 4, 0, nullptr, 0}, 1, 1, 0},
        {"endEdit", [](AudioEffectX& fx) { return fx.endEdit(4); },
         {nullptr, audioMasterEndEdit, 4, 0, nullptr, 0}, 1, 1, 0},
        {"openFileSelector", [g](AudioEffectX& fx) { return fx.openFileSelector(g); },
         {nullptr, audioMasterOpenFileSelector, 0, 0, g, 0}, 1, 1, 0},
    };
}

TEST(HostCalls, EachWrapperSendsItsRequestAndMapsTheAnswer) {
    for (const Wrapper& w : wrappers()) {
        RecordingHost host;
        host.answers[w.sent.opcode] = w.hostAnswer;
        BareEffect fx(&RecordingHost::callback);
        EXPECT_EQ(w.call(fx), w.withHost) << w.name;
        ASSERT_EQ(host.calls.size(), 1u) << w.name;
        const HostCall& c = host.calls[0];
        EXPECT_EQ(c.effect, fx.getEffectRecord()) << w.name;
        EXPECT_EQ(c.opcode, w.sent.opcode) << w.name;
        EXPECT_EQ(c.index, w.sent.index) << w.name;
        EXPECT_EQ(c.value, w.sent.value) << w.name;
        EXPECT_EQ(c.ptr, w.sent.ptr) << w.name;
        EXPECT_EQ(c.opt, w.sent.opt) << w.name;
    }
}

TEST(HostCalls, WithoutAHostEachWrapperGivesItsDefault) {
    RecordingHost host;  // installed, but the effect has no callback to reach it
    for (const Wrapper& w : wrappers()) {
        BareEffect fx(nullptr);
        EXPECT_EQ(w.call(fx), w.withoutHost) << w.name;
    }
    EXPECT_TRUE(host.calls.empty());
}

TEST(HostCalls, OpenFileSelectorWithNullMakesNoCall) {
    RecordingHost host;
    host.answers[audioMasterOpenFileSelector] = 1;
    BareEffect fx(&RecordingHost::callback);
    EXPECT_FALSE(fx.openFileSelector(nullptr));
    EXPECT_TRUE(host.calls.empty());
}

class AutomatedEffect : public BareEffect {
public:
    using BareEffect::BareEffect;
    void setParameter(VstInt32 index, float value) override { log("setParameter", index, value); }
    CallLog log;
};

TEST(HostCalls, SetParameterAutomatedSetsFirstThenTellsTheHost) {
    {
        AutomatedEffect alone(nullptr);
        alone.setParameterAutomated(3, 0.5f);
        EXPECT_EQ(alone.log.joined(), "setParameter 3 0.5");
    }
    RecordingHost host;
    AutomatedEffect fx(&RecordingHost::callback);
    fx.setParameterAutomated(3, 0.5f);
    EXPECT_EQ(fx.log.joined(), "setParameter 3 0.5");
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterAutomate);
    EXPECT_EQ(host.calls[0].index, 3);
    EXPECT_EQ(host.calls[0].value, 0);
    EXPECT_EQ(host.calls[0].opt, 0.5f);
}

TEST(Flags, EachSetterTouchesOnlyItsBit) {
    struct Setter {
        void (*set)(AudioEffectX&, bool);
        VstInt32 bit;
    } setters[] = {
        {[](AudioEffectX& fx, bool s) { fx.hasClip(s); }, effFlagsHasClip},
        {[](AudioEffectX& fx, bool s) { fx.hasVu(s); }, effFlagsHasVu},
        {[](AudioEffectX& fx, bool s) { fx.canMono(s); }, effFlagsCanMono},
        {[](AudioEffectX& fx, bool s) { fx.canProcessReplacing(s); }, effFlagsCanReplacing},
        {[](AudioEffectX& fx, bool s) { fx.programsAreChunks(s); }, effFlagsProgramChunks},
        {[](AudioEffectX& fx, bool s) { fx.isSynth(s); }, effFlagsIsSynth},
        {[](AudioEffectX& fx, bool s) { fx.noTail(s); }, effFlagsNoSoundInStop},
        {[](AudioEffectX& fx, bool s) { fx.wantAsyncOperation(s); }, effFlagsExtIsAsync},
        {[](AudioEffectX& fx, bool s) { fx.hasExternalBuffer(s); }, effFlagsExtHasBuffer},
    };
    BareEffect fx;
    VstInt32& flags = fx.getEffectRecord()->flags;
    for (const Setter& s : setters) {
        flags = 0;
        s.set(fx, true);
        EXPECT_EQ(flags, s.bit);
        s.set(fx, true);
        EXPECT_EQ(flags, s.bit);
        flags = ~0;
        s.set(fx, false);
        EXPECT_EQ(flags, ~s.bit);
    }
}

TEST(Record, BaseConstructorFillsEveryField) {
    BareEffect fx(nullptr, 5, 3);
    const AEffect& e = *fx.getEffectRecord();
    EXPECT_EQ(e.magic, 0x56737450);
    EXPECT_EQ(std::memcmp(&e.magic, "PtsV", 4), 0);
    EXPECT_NE(e.dispatcher, nullptr);
    EXPECT_NE(e.process, nullptr);
    EXPECT_NE(e.setParameter, nullptr);
    EXPECT_NE(e.getParameter, nullptr);
    EXPECT_NE(e.processReplacing, nullptr);
    EXPECT_EQ(e.processDoubleReplacing, nullptr);
    EXPECT_EQ(e.numPrograms, 5);
    EXPECT_EQ(e.numParams, 3);
    EXPECT_EQ(e.numInputs, 1);
    EXPECT_EQ(e.numOutputs, 2);
    EXPECT_EQ(e.flags, 0);
    EXPECT_EQ(e.resvd1, 0);
    EXPECT_EQ(e.resvd2, 0);
    EXPECT_EQ(e.initialDelay, 0);
    EXPECT_EQ(e.realQualities, 0);
    EXPECT_EQ(e.offQualities, 0);
    EXPECT_EQ(e.ioRatio, 1.0f);
    EXPECT_EQ(e.object, static_cast<AudioEffect*>(&fx));
    EXPECT_EQ(e.user, nullptr);
    EXPECT_EQ(e.uniqueID, 0x4E6F4566);
    EXPECT_EQ(e.version, 1);
    for (char c : e.future) EXPECT_EQ(c, 0);
    EXPECT_EQ(fx.getSampleRate(), 44100.0f);
    EXPECT_EQ(fx.getBlockSize(), 1024);
    EXPECT_EQ(fx.getProgram(), 0);
}

class ForwardingEffect : public BareEffect {
public:
    void process(float** in, float** out, VstInt32 n) override { log("process", in == ins, out == outs, n); }
    void processReplacing(float** in, float** out, VstInt32 n) override {
        log("processReplacing", in == ins, out == outs, n);
    }
    void setParameter(VstInt32 i, float v) override { log("setParameter", i, v); }
    float getParameter(VstInt32 i) override { return log("getParameter", i), 0.1f * static_cast<float>(i); }
    float* ins[1] = {};
    float* outs[2] = {};
    CallLog log;
};

TEST(Record, CallbacksForwardToTheObjectUnchanged) {
    ForwardingEffect fx;
    AEffect* e = fx.getEffectRecord();
    e->process(e, fx.ins, fx.outs, 64);
    e->processReplacing(e, fx.ins, fx.outs, 0);
    e->setParameter(e, 11, 0.75f);
    EXPECT_EQ(e->getParameter(e, 7), 0.1f * 7.0f);
    EXPECT_EQ(fx.log.joined(), "process 1 1 64; processReplacing 1 1 0; setParameter 11 0.75; getParameter 7");
}

TEST(Record, EffCloseThroughTheRecordDestroysEffectAndEditor) {
    const int effects = Lifetimes::effects, editors = Lifetimes::editors, closes = Lifetimes::closes;
    auto* fx = new BareEffect;
    fx->setEditor(new PlainEditor(fx));
    EXPECT_EQ(fx->dispatcher(effClose, 0, 0, nullptr, 0), 0);  // the object's own answer
    EXPECT_EQ(Lifetimes::closes, closes + 1);
    AEffect* e = fx->getEffectRecord();
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(Lifetimes::closes, closes + 2);
    EXPECT_EQ(Lifetimes::effects, effects);
    EXPECT_EQ(Lifetimes::editors, editors);
}

}  // namespace
