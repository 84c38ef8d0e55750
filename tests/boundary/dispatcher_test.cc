// Every dispatcher request 0..68 sent through the record, as a host sends it:
// the defaults, which operation each request reaches with which arguments,
// and how the operation's answer comes back.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "DVstUtils.h"
#include "recorder.h"

namespace {

char gBuf[256];
char gOther[16];
const char* tag(const void* p) { return p == gBuf ? "buf" : p == gOther ? "other" : p ? "?" : "null"; }

void* const kDestination = gOther + 1;
void* const kIcon = gOther + 2;
const VstIntPtr kWide = static_cast<VstIntPtr>(INTPTR_MAX - 5);  // must not be narrowed

// Overrides every operation a request reaches and logs its arguments. Its
// bools answer the opposite of the defaults, so the 1/0 mapping shows.
class LoggingEffect : public BareEffect {
public:
    LoggingEffect() : BareEffect(nullptr) {}

    CallLog log;

    void setSampleRate(float r) override { log("setSampleRate", r); }
    void setBlockSize(VstInt32 s) override { log("setBlockSize", s); }
    void open() override { log("open"); }
    void close() override { log("close"); }
    VstInt32 getProgram() override { return log("getProgram"), 7; }
    void setProgram(VstInt32 p) override { log("setProgram", p); }
    void setProgramName(char* n) override { log("setProgramName", tag(n)); }
    void getProgramName(char* n) override { log("getProgramName", tag(n)); }
    void getParameterLabel(VstInt32 i, char* t) override { log("getParameterLabel", i, tag(t)); }
    void getParameterDisplay(VstInt32 i, char* t) override { log("getParameterDisplay", i, tag(t)); }
    void getParameterName(VstInt32 i, char* t) override { log("getParameterName", i, tag(t)); }
    float getVu() override { return log("getVu"), vu; }
    VstInt32 getChunk(void** d, bool preset) override { return log("getChunk", tag(d), preset), 17; }
    VstInt32 setChunk(void* d, VstInt32 n, bool preset) override { return log("setChunk", tag(d), n, preset), 9; }
    void suspend() override { log("suspend"); }
    void resume() override { log("resume"); }

    VstInt32 processEvents(VstEvents* ev) override { return log("processEvents", tag(ev)), 1; }
    bool canParameterBeAutomated(VstInt32 i) override { return log("canParameterBeAutomated", i), false; }
    bool string2parameter(VstInt32 i, char* t) override { return log("string2parameter", i, tag(t)), true; }
    VstInt32 getNumCategories() override { return log("getNumCategories"), 3; }
    bool getProgramNameIndexed(VstInt32 c, VstInt32 i, char* t) override {
        return log("getProgramNameIndexed", c, i, tag(t)), true;
    }
    bool copyProgram(VstInt32 d) override { return log("copyProgram", d), true; }
    void inputConnected(VstInt32 i, bool s) override { log("inputConnected", i, s); }
    void outputConnected(VstInt32 i, bool s) override { log("outputConnected", i, s); }
    bool getInputProperties(VstInt32 i, VstPinProperties* p) override {
        return log("getInputProperties", i, tag(p)), true;
    }
    bool getOutputProperties(VstInt32 i, VstPinProperties* p) override {
        return log("getOutputProperties", i, tag(p)), true;
    }
    VstInt32 getPlugCategory() override { return log("getPlugCategory"), 5; }
    VstInt32 reportCurrentPosition() override { return log("reportCurrentPosition"), 11; }
    float* reportDestinationBuffer() override {
        return log("reportDestinationBuffer"), static_cast<float*>(kDestination);
    }
    bool offlineNotify(void* p, VstInt32 n, bool start) override { return log("offlineNotify", tag(p), n, start), true; }
    bool offlinePrepare(void* p, VstInt32 n) override { return log("offlinePrepare", tag(p), n), true; }
    bool offlineRun(void* p, VstInt32 n) override { return log("offlineRun", tag(p), n), true; }
    bool processVariableIo(void* p) override { return log("processVariableIo", tag(p)), true; }
    bool setSpeakerArrangement(void* in, void* out) override {
        return log("setSpeakerArrangement", tag(in), tag(out)), true;
    }
    bool setBypass(bool on) override { return log("setBypass", on), true; }
    bool getEffectName(char* t) override { return log("getEffectName", tag(t)), true; }
    bool getErrorText(char* t) override { return log("getErrorText", tag(t)), true; }
    bool getVendorString(char* t) override { return log("getVendorString", tag(t)), true; }
    bool getProductString(char* t) override { return log("getProductString", tag(t)), true; }
    VstInt32 getVendorVersion() override { return log("getVendorVersion"), 1011; }
    VstIntPtr vendorSpecific(VstInt32 a, VstIntPtr b, void* p, float f) override {
        return log("vendorSpecific", a, b, tag(p), f), kWide;
    }
    VstInt32 canDo(char* t) override { return log("canDo", t), -1; }
    void* getIcon() override { return log("getIcon"), kIcon; }
    bool setViewPosition(VstInt32 x, VstInt32 y) override { return log("setViewPosition", x, y), true; }
    VstInt32 getGetTailSize() override { return log("getGetTailSize"), 1; }
    VstInt32 fxIdle() override { return log("fxIdle"), 2; }
    bool getParameterProperties(VstInt32 i, void* p) override { return log("getParameterProperties", i, tag(p)), true; }
    bool keysRequired() override { return log("keysRequired"), true; }
    VstInt32 getVstVersion() override { return log("getVstVersion"), 2400; }
    VstInt32 getMidiProgramName(VstInt32 c, void* p) override { return log("getMidiProgramName", c, tag(p)), 4; }
    VstInt32 getCurrentMidiProgram(VstInt32 c, void* p) override {
        return log("getCurrentMidiProgram", c, tag(p)), 5;
    }
    VstInt32 getMidiProgramCategory(VstInt32 c, void* p) override {
        return log("getMidiProgramCategory", c, tag(p)), 6;
    }
    bool hasMidiProgramsChanged(VstInt32 c) override { return log("hasMidiProgramsChanged", c), true; }
    bool getMidiKeyName(VstInt32 c, void* p) override { return log("getMidiKeyName", c, tag(p)), true; }
    bool beginSetProgram() override { return log("beginSetProgram"), true; }
    bool endSetProgram() override { return log("endSetProgram"), true; }

    float vu = 0.0f;
};

struct Row {
    VstInt32 opcode, index;
    VstIntPtr value;
    void* ptr;
    float opt;
    const char* reached;  // the log, "" when nothing is reached
    VstIntPtr answer;
};

TEST(Dispatcher, EachRequestReachesItsOperationWithItsArguments) {
    std::strcpy(gBuf, "receiveVstEvents");
    const Row rows[] = {
        {effOpen, 0, 0, nullptr, 0, "open", 0},
        {effSetProgram, 0, 5, nullptr, 0, "setProgram 5", 0},
        {effSetProgram, 0, 31, nullptr, 0, "setProgram 31", 0},
        {effSetProgram, 0, 32, nullptr, 0, "", 0},  // = numPrograms
        {effSetProgram, 0, -1, nullptr, 0, "", 0},
        {effGetProgram, 0, 0, nullptr, 0, "getProgram", 7},
        {effSetProgramName, 0, 0, gBuf, 0, "setProgramName buf", 0},
        {effGetProgramName, 0, 0, gBuf, 0, "getProgramName buf", 0},
        {effGetParamLabel, 3, 0, gBuf, 0, "getParameterLabel 3 buf", 0},
        {effGetParamDisplay, 4, 0, gBuf, 0, "getParameterDisplay 4 buf", 0},
        {effGetParamName, 11, 0, gBuf, 0, "getParameterName 11 buf", 0},
        {effGetVu, 0, 0, nullptr, 0, "getVu", 0},
        {effSetSampleRate, 0, 0, nullptr, 48000.0f, "setSampleRate 48000", 0},
        {effSetBlockSize, 0, 256, nullptr, 0, "setBlockSize 256", 0},
        {effMainsChanged, 0, 5, nullptr, 0, "resume", 0},
        {effMainsChanged, 0, 0, nullptr, 0, "suspend", 0},
        {effIdentify, 0, 0, nullptr, 0, "", fourCharCode("NvEf")},
        {effGetChunk, 1, 0, gBuf, 0, "getChunk buf 1", 17},
        {effGetChunk, 0, 0, gBuf, 0, "getChunk buf 0", 17},
        {effSetChunk, 1, 40, gBuf, 0, "setChunk buf 40 1", 9},
        {effProcessEvents, 0, 0, gBuf, 0, "processEvents buf", 1},
        {effCanBeAutomated, 4, 0, nullptr, 0, "canParameterBeAutomated 4", 0},
        {effString2Parameter, 2, 0, gBuf, 0, "string2parameter 2 buf", 1},
        {effGetNumProgramCategories, 0, 0, nullptr, 0, "getNumCategories", 3},
        {effGetProgramNameIndexed, 6, 2, gBuf, 0, "getProgramNameIndexed 2 6 buf", 1},
        {effCopyProgram, 9, 0, nullptr, 0, "copyProgram 9", 1},
        {effConnectInput, 1, 1, nullptr, 0, "inputConnected 1 1", 1},
        {effConnectInput, 1, 0, nullptr, 0, "inputConnected 1 0", 1},
        {effConnectOutput, 0, 7, nullptr, 0, "outputConnected 0 1", 1},
        {effGetInputProperties, 1, 0, gBuf, 0, "getInputProperties 1 buf", 1},
        {effGetOutputProperties, 0, 0, gBuf, 0, "getOutputProperties 0 buf", 1},
        {effGetPlugCategory, 0, 0, nullptr, 0, "getPlugCategory", 5},
        {effGetCurrentPosition, 0, 0, nullptr, 0, "reportCurrentPosition", 11},
        {effGetDestinationBuffer, 0, 0, nullptr, 0, "reportDestinationBuffer",
         reinterpret_cast<VstIntPtr>(kDestination)},
        {effOfflineNotify, 1, 3, gBuf, 0, "offlineNotify buf 3 1", 1},
        {effOfflinePrepare, 0, 4, gBuf, 0, "offlinePrepare buf 4", 1},
        {effOfflineRun, 0, 4, gBuf, 0, "offlineRun buf 4", 1},
        {effProcessVarIo, 0, 0, gBuf, 0, "processVariableIo buf", 1},
        {effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(gOther), gBuf, 0,
         "setSpeakerArrangement other buf", 1},
        {effSetBypass, 0, 1, nullptr, 0, "setBypass 1", 1},
        {effGetEffectName, 0, 0, gBuf, 0, "getEffectName buf", 1},
        {effGetErrorText, 0, 0, gBuf, 0, "getErrorText buf", 1},
        {effGetVendorString, 0, 0, gBuf, 0, "getVendorString buf", 1},
        {effGetProductString, 0, 0, gBuf, 0, "getProductString buf", 1},
        {effGetVendorVersion, 0, 0, nullptr, 0, "getVendorVersion", 1011},
        {effVendorSpecific, 1, 2, gBuf, 3.5f, "vendorSpecific 1 2 buf 3.5", kWide},
        {effCanDo, 0, 0, gBuf, 0, "canDo receiveVstEvents", -1},
        {effGetTailSize, 0, 0, nullptr, 0, "getGetTailSize", 1},
        {effIdle, 0, 0, nullptr, 0, "fxIdle", 2},
        {effGetIcon, 0, 0, nullptr, 0, "getIcon", reinterpret_cast<VstIntPtr>(kIcon)},
        {effSetViewPosition, 10, 20, nullptr, 0, "setViewPosition 10 20", 1},
        {effGetParameterProperties, 3, 0, gBuf, 0, "getParameterProperties 3 buf", 1},
        {effKeysRequired, 0, 0, nullptr, 0, "keysRequired", 0},  // inverted
        {effGetVstVersion, 0, 0, nullptr, 0, "getVstVersion", 2400},
        {effGetMidiProgramName, 1, 0, gBuf, 0, "getMidiProgramName 1 buf", 4},
        {effGetCurrentMidiProgram, 1, 0, gBuf, 0, "getCurrentMidiProgram 1 buf", 5},
        {effGetMidiProgramCategory, 1, 0, gBuf, 0, "getMidiProgramCategory 1 buf", 6},
        {effHasMidiProgramsChanged, 2, 0, nullptr, 0, "hasMidiProgramsChanged 2", 1},
        {effGetMidiKeyName, 2, 0, gBuf, 0, "getMidiKeyName 2 buf", 1},
        {effBeginSetProgram, 0, 0, nullptr, 0, "beginSetProgram", 1},
        {effEndSetProgram, 0, 0, nullptr, 0, "endSetProgram", 1},
    };
    LoggingEffect fx;
    for (const Row& r : rows) {
        fx.log.clear();
        EXPECT_EQ(send(fx, r.opcode, r.index, r.value, r.ptr, r.opt), r.answer) << "opcode " << r.opcode;
        EXPECT_EQ(fx.log.joined(), r.reached) << "opcode " << r.opcode << " value " << r.value;
    }
}

TEST(Dispatcher, DefaultsAnswerAsAnEffectThatDoesNothing) {
    BareEffect fx;
    char text[64];
    VstPinProperties pin{};
    ERect sentinel{};
    ERect* rect = &sentinel;
    for (VstInt32 op = 0; op <= 200; ++op) {
        if (op == effClose) continue;  // destroys the object: tested on its own
        std::strcpy(text, "unchanged");
        void* ptr = text;
        if (op == effEditGetRect) ptr = &rect;
        if (op == effGetInputProperties || op == effGetOutputProperties) ptr = &pin;
        VstIntPtr expected = 0;
        switch (op) {
            case effIdentify: expected = fourCharCode("NvEf"); break;
            case effCanBeAutomated:
            case effGetNumProgramCategories:
            case effConnectInput:
            case effConnectOutput:
            case effSetBlockSizeAndSampleRate:
            case effKeysRequired: expected = 1; break;
            case effGetProgram: expected = 1; break;  // the effSetProgram just before
            case effGetVstVersion: expected = 2200; break;
            case effGetCurrentMidiProgram: expected = -1; break;
        }
        EXPECT_EQ(send(fx, op, 1, 1, ptr, 1.0f), expected) << "opcode " << op;
        if (ptr == text) {
            EXPECT_STREQ(text, "unchanged") << "opcode " << op << " wrote into the buffer";
        }
    }
    EXPECT_EQ(rect, &sentinel);  // no editor: effEditGetRect leaves ptr untouched
}

TEST(Dispatcher, RequestsWithoutTheirBufferDoNothing) {
    LoggingEffect fx;
    CallLog editorLog;
    fx.setEditor(new LoggingEditor(&fx, editorLog));
    for (VstInt32 op : std::initializer_list<VstInt32>{effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName,
                        effEditGetRect, effGetChunk, effSetChunk, effProcessEvents, effString2Parameter,
                        effGetProgramNameIndexed, effGetInputProperties, effGetOutputProperties, effGetEffectName,
                        effGetErrorText, effGetVendorString, effGetProductString, effCanDo,
                        effGetParameterProperties, effGetMidiProgramName, effGetCurrentMidiProgram,
                        effGetMidiProgramCategory, effGetMidiKeyName}) {
        // Without a buffer the answer is the one for nothing to report.
        const VstIntPtr expected = op == effGetCurrentMidiProgram ? -1 : 0;
        EXPECT_EQ(send(fx, op, 0, 0, nullptr), expected) << "opcode " << op;
    }
    EXPECT_EQ(fx.log.joined(), "");
    EXPECT_EQ(editorLog.joined(), "");
}

TEST(Dispatcher, PlugCategoryFollowsTheSynthFlag) {
    BareEffect fx;
    EXPECT_EQ(send(fx, effGetPlugCategory), kPlugCategUnknown);
    fx.isSynth(true);
    EXPECT_EQ(send(fx, effGetPlugCategory), kPlugCategSynth);
}

TEST(Dispatcher, VuIsScaledAndRoundedHalfToEven) {
    LoggingEffect fx;
    const std::pair<float, VstIntPtr> cases[] = {
        {0.0f, 0},         {1.0f, 32767},      {0.25f, 8192},         // 8191.75
        {0.5f, 16384},     {-0.5f, -16384},                           // 16383.5: ties go to even
        {1.5f, 49150},     {1e30f, INT32_MAX}, {-1e30f, INT32_MIN},  // saturates
    };
    for (auto [vu, expected] : cases) {
        fx.vu = vu;
        EXPECT_EQ(send(fx, effGetVu), expected) << vu;
    }
}

TEST(Dispatcher, BlockSizeAndSampleRateAreStoredWithoutTheSetters) {
    LoggingEffect fx;
    EXPECT_EQ(send(fx, effSetBlockSizeAndSampleRate, 0, 512, nullptr, 48000.0f), 1);
    EXPECT_EQ(fx.blockSize, 512);
    EXPECT_EQ(fx.sampleRate, 48000.0f);
    EXPECT_EQ(fx.log.joined(), "");
}

TEST(Dispatcher, SetProgramComparesWithTheObjectsOwnCount) {
    BareEffect fx(nullptr, 4, 1);
    fx.getEffectRecord()->numPrograms = 100;  // the host-visible field does not count
    send(fx, effSetProgram, 0, 3);
    EXPECT_EQ(fx.curProgram, 3);
    send(fx, effSetProgram, 0, 4);
    send(fx, effSetProgram, 0, 50);
    EXPECT_EQ(fx.curProgram, 3);
#if INTPTR_MAX > INT32_MAX
    // Would truncate to program 1 if only the upper bound were checked.
    send(fx, effSetProgram, 0, static_cast<VstIntPtr>(INT64_C(-4294967295)));
    EXPECT_EQ(fx.curProgram, 3);
#endif
}

// --- editor requests ------------------------------------------------------

class EditorRequests : public ::testing::Test {
protected:
    EditorRequests() { fx.setEditor(editor); }
    LoggingEffect fx;
    CallLog log;
    LoggingEditor* editor = new LoggingEditor(&fx, log);  // owned by fx
};

TEST_F(EditorRequests, GetRectCopiesThePointerInAndOut) {
    ERect sentinel{};
    ERect* rect = &sentinel;
    EXPECT_EQ(send(fx, effEditGetRect, 0, 0, &rect), 7);
    EXPECT_EQ(editor->seenRect, &sentinel);
    EXPECT_EQ(rect, &editor->rect);
}

TEST_F(EditorRequests, BaseEditorAnswersNoRectangle) {
    fx.setEditor(new PlainEditor(&fx));  // replaces, so free the logging one
    delete editor;
    ERect sentinel{};
    ERect* rect = &sentinel;
    EXPECT_EQ(send(fx, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, nullptr);
    int window = 0;
    EXPECT_EQ(send(fx, effEditOpen, 0, 0, &window), 0);
    EXPECT_EQ(fx.getEditor()->getSystemWindow(), &window);
    EXPECT_EQ(send(fx, effEditKeyDown, 65), -1);
    EXPECT_EQ(send(fx, effEditKeyUp, 65), -1);
    EXPECT_EQ(send(fx, effSetEditKnobMode, 0, 2), 0);
}

TEST_F(EditorRequests, OnlyOpenCloseIdleAndRectReachTheEditor) {
    int window = 0;
    EXPECT_EQ(send(fx, effEditOpen, 0, 0, &window), 5);
    EXPECT_EQ(editor->getSystemWindow(), &window);
    EXPECT_EQ(send(fx, effEditIdle), 0);
    EXPECT_EQ(send(fx, effEditClose), 0);  // even though close did work
    for (VstInt32 op : std::initializer_list<VstInt32>{effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep})
        EXPECT_EQ(send(fx, op, 1, 1, &window, 1.0f), 0) << op;
    EXPECT_EQ(log.joined(), "open; idle; close");
}

TEST_F(EditorRequests, KeyCodeIsBuiltFromIndexValueAndRoundedOpt) {
    EXPECT_EQ(send(fx, effEditKeyDown, 65, 0x1F3, nullptr, 2.6f), -1);  // base answer passes through
    EXPECT_EQ(editor->key.character, 65);
    EXPECT_EQ(editor->key.virt, 0xF3);
    EXPECT_EQ(editor->key.modifier, 3);

    const std::pair<float, int> modifiers[] = {{2.5f, 2}, {3.5f, 4}, {-1.0f, 0xFF}, {257.0f, 1}, {1e20f, 0}};
    for (auto [opt, modifier] : modifiers) {
        EXPECT_EQ(send(fx, effEditKeyUp, -3, -1, nullptr, opt), 12);
        EXPECT_EQ(editor->key.character, -3);
        EXPECT_EQ(editor->key.virt, 0xFF);
        EXPECT_EQ(editor->key.modifier, modifier) << opt;
    }
    EXPECT_EQ(send(fx, effSetEditKnobMode, 0, 2), 3);
    EXPECT_EQ(log.entries.back(), "setKnobMode 2");
}

TEST_F(EditorRequests, PostedUpdatesCollapseIntoOneOnIdle) {
    editor->postUpdate();
    editor->postUpdate();
    send(fx, effEditIdle);
    send(fx, effEditIdle);
    EXPECT_EQ(log.joined(), "idle; update; idle");
}

TEST(Editor, SetEditorTogglesTheEditorFlag) {
    BareEffect fx;
    fx.getEffectRecord()->flags = effFlagsIsSynth;
    PlainEditor* ed = new PlainEditor(&fx);
    fx.setEditor(ed);
    EXPECT_EQ(fx.getEffectRecord()->flags, effFlagsIsSynth | effFlagsHasEditor);
    fx.setEditor(nullptr);
    EXPECT_EQ(fx.getEffectRecord()->flags, effFlagsIsSynth);
    delete ed;
}

}  // namespace
