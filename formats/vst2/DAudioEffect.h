// The base effect and editor classes. They own the host-facing record, turn
// dispatcher requests 0..24 into overridable operations and wrap the host's
// callback. Nothing here knows what the plug-in does with sound.
//
// Threads: the host calls `dispatcher`, `setParameter` and `getParameter` from
// its UI or automation threads and `process`/`processReplacing` from its audio
// thread; each operation below names where it is called from.
#pragma once

#include "DAEffectX.h"
#include "Relaxed.h"

class AEffEditor;

class AudioEffect {
public:
    // Thread: the host's thread that calls the entry point.
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect();
    // The record points back at its object and the editor is owned: a copy
    // would hand the host a record that serves the original.
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    AEffect* getEffectRecord() { return &effectRecord; }
    AEffEditor* getEditor() const { return editor; }
    audioMasterCallback getAudioMaster() const { return audioMaster; }
    float getSampleRate() const { return sampleRate; }
    VstInt32 getBlockSize() const { return blockSize; }
    void setEditor(AEffEditor* newEditor);

    // --- overridable operations, in the order of the class's table ---
    virtual void setSampleRate(float rate) { sampleRate = rate; }       // UI thread (effSetSampleRate)
    virtual void setBlockSize(VstInt32 size) { blockSize = size; }     // UI thread (effSetBlockSize)
    virtual void setParameter(VstInt32 index, float value) { (void)index, (void)value; }  // any thread
    virtual float getParameter(VstInt32 index) { return (void)index, 0.0f; }            // any thread
    virtual void setParameterAutomated(VstInt32 index, float value);   // UI thread (the editor)
    virtual void process(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;  // audio thread
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {  // audio thread
        (void)inputs, (void)outputs, (void)sampleFrames;
    }
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    virtual void open() {}
    virtual void close() {}
    virtual VstInt32 getProgram() { return curProgram; }
    virtual void setProgram(VstInt32 program) { curProgram = program; }
    virtual void setProgramName(char* name) { (void)name; }
    virtual void getProgramName(char* name) { (void)name; }
    virtual void getParameterLabel(VstInt32 index, char* label) { (void)index, (void)label; }
    virtual void getParameterDisplay(VstInt32 index, char* text) { (void)index, (void)text; }
    virtual void getParameterName(VstInt32 index, char* text) { (void)index, (void)text; }
    virtual float getVu() { return 0.0f; }
    virtual VstInt32 getChunk(void** data, bool isPreset) { return (void)data, (void)isPreset, 0; }
    virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) {
        return (void)data, (void)byteSize, (void)isPreset, 0;
    }
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setUniqueID(VstInt32 id) { effectRecord.uniqueID = id; }
    virtual void setNumInputs(VstInt32 inputs) { effectRecord.numInputs = inputs; }
    virtual void setNumOutputs(VstInt32 outputs) { effectRecord.numOutputs = outputs; }
    virtual void hasVu(bool state) { setFlag(effFlagsHasVu, state); }
    virtual void hasClip(bool state) { setFlag(effFlagsHasClip, state); }
    virtual void canMono(bool state) { setFlag(effFlagsCanMono, state); }
    virtual void canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
    virtual void programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
    virtual void setRealtimeQualities(VstInt32 qualities) { effectRecord.realQualities = qualities; }
    virtual void setOfflineQualities(VstInt32 qualities) { effectRecord.offQualities = qualities; }
    virtual void setInitialDelay(VstInt32 delay) { effectRecord.initialDelay = delay; }
    virtual VstInt32 getMasterVersion();
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();
    virtual bool isInputConnected(VstInt32 input);
    virtual bool isOutputConnected(VstInt32 output);

protected:
    void setFlag(VstInt32 bit, bool state) {
        if (state)
            effectRecord.flags |= bit;
        else
            effectRecord.flags &= ~bit;
    }
    // Host call with the record as `effect`; 0 without a host callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return audioMaster ? audioMaster(&effectRecord, opcode, index, value, ptr, opt) : 0;
    }

    AEffect effectRecord;
    // Shared between the host's threads (see Relaxed.h).
    Relaxed<float> sampleRate;
    AEffEditor* editor;
    VstInt32 numPrograms;
    VstInt32 numParams;
    Relaxed<VstInt32> curProgram;
    Relaxed<VstInt32> blockSize;
    audioMasterCallback audioMaster;
};

class AEffEditor {
public:
    // Thread: UI (created and destroyed with its effect).
    explicit AEffEditor(AudioEffect* effect) : effect(effect) {}
    virtual ~AEffEditor() = default;

    // --- overridable operations, in the order of the class's table; all UI thread ---
    virtual VstInt32 getRect(ERect** rect) {
        if (rect) *rect = nullptr;
        return 0;
    }
    virtual VstInt32 open(void* ptr) {
        systemWindow = ptr;
        return 0;
    }
    virtual void close() {}
    virtual void idle() {
        if (updateFlag) {
            updateFlag = 0;
            update();
        }
    }
    virtual void update() {}
    virtual void postUpdate() { updateFlag = 1; }
    virtual VstInt32 onKeyDown(VstKeyCode& keyCode) { return (void)keyCode, -1; }
    virtual VstInt32 onKeyUp(VstKeyCode& keyCode) { return (void)keyCode, -1; }
    virtual VstInt32 setKnobMode(VstInt32 val) { return (void)val, 0; }
    virtual VstInt32 reservedNotify(float value) { return (void)value, 0; }
    // Not in the table: a host's content scale factor, reaching the editor
    // through effVendorSpecific. False where the editor does not scale.
    virtual bool setContentScale(float scale) { return (void)scale, false; }

    AudioEffect* getEffect() const { return effect; }
    void* getSystemWindow() const { return systemWindow; }

protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
    VstInt32 updateFlag = 0;
};

// Record callbacks: each forwards to the object in the record's `object` field.
VstIntPtr VSTCALLBACK dispatcherCallback(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                         float opt);
void VSTCALLBACK processCallback(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
void VSTCALLBACK processReplacingCallback(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
void VSTCALLBACK setParameterCallback(AEffect* e, VstInt32 index, float value);
float VSTCALLBACK getParameterCallback(AEffect* e, VstInt32 index);

// Load-time step, run once per process before the entry point can be called:
// masks every floating-point exception of the loading thread and reads the
// locale's decimal separator. Exposed so tests can observe it.
void loadTimeInit();
