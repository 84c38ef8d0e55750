// The extended effect class: dispatcher requests 25..68, the synthesizer and
// buffer flag setters, and a wrapper for every host request of the extended
// interface. Requests it does not serve go to AudioEffect's dispatcher.
#pragma once

#include "DAudioEffect.h"

class AudioEffectX : public AudioEffect {
public:
    // Thread: the host's thread that calls the entry point.
    AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
        : AudioEffect(audioMaster, numPrograms, numParams) {}

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    // Host request: "keep sending MIDI events". Thread: any.
    void wantEvents(VstInt32 filter = 1) { callHost(audioMasterWantMidi, 0, filter); }

    // --- overridable operations, in the order of the class's table ---
    // Host-call wrappers (any thread) are interleaved with request handlers
    // (UI thread unless marked) as the table orders them.
    virtual void* getTimeInfo(VstInt32 filter) { return reinterpret_cast<void*>(callHost(audioMasterGetTime, 0, filter)); }
    virtual VstInt32 tempoAt(VstInt32 pos) { return static_cast<VstInt32>(callHost(audioMasterTempoAt, 0, pos)); }
    virtual VstInt32 processEvents(VstEvents* events) { return (void)events, 0; }  // audio thread
    virtual VstInt32 getNumAutomatableParameters() {
        return static_cast<VstInt32>(callHost(audioMasterGetNumAutomatableParameters));
    }
    virtual VstInt32 getParameterQuantization() {
        return static_cast<VstInt32>(callHost(audioMasterGetParameterQuantization));
    }
    virtual bool canParameterBeAutomated(VstInt32 index) { return (void)index, true; }
    virtual bool string2parameter(VstInt32 index, char* text) { return (void)index, (void)text, false; }
    virtual float reservedQuery1() { return 0.0f; }
    virtual VstInt32 getNumCategories() { return 1; }
    virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
        return (void)category, (void)index, (void)text, false;
    }
    virtual bool copyProgram(VstInt32 destination) { return (void)destination, false; }
    virtual bool ioChanged() { return callHost(audioMasterIOChanged) != 0; }
    virtual bool needIdle() { return callHost(audioMasterNeedIdle) != 0; }
    virtual bool sizeWindow(VstInt32 width, VstInt32 height) {
        return callHost(audioMasterSizeWindow, width, height) != 0;
    }
    virtual double updateSampleRate() {
        callHost(audioMasterGetSampleRate);  // the answer is not trusted; the stored rate is
        return sampleRate;
    }
    virtual VstInt32 updateBlockSize() {
        callHost(audioMasterGetBlockSize);
        return blockSize;
    }
    virtual VstInt32 getInputLatency() { return static_cast<VstInt32>(callHost(audioMasterGetInputLatency)); }
    virtual VstInt32 getOutputLatency() { return static_cast<VstInt32>(callHost(audioMasterGetOutputLatency)); }
    virtual AEffect* getPreviousPlug() {
        return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug));
    }
    virtual AEffect* getNextPlug() {
        return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug));
    }
    virtual void inputConnected(VstInt32 index, bool state) { (void)index, (void)state; }
    virtual void outputConnected(VstInt32 index, bool state) { (void)index, (void)state; }
    virtual bool getInputProperties(VstInt32 index, VstPinProperties* properties) {
        return (void)index, (void)properties, false;
    }
    virtual bool getOutputProperties(VstInt32 index, VstPinProperties* properties) {
        return (void)index, (void)properties, false;
    }
    virtual VstInt32 getPlugCategory() {
        return (effectRecord.flags & effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
    }
    virtual VstInt32 willProcessReplacing() {
        return static_cast<VstInt32>(callHost(audioMasterWillReplaceOrAccumulate));
    }
    virtual VstInt32 getCurrentProcessLevel() {
        return static_cast<VstInt32>(callHost(audioMasterGetCurrentProcessLevel));
    }
    virtual VstInt32 getAutomationState() { return static_cast<VstInt32>(callHost(audioMasterGetAutomationState)); }
    virtual void wantAsyncOperation(bool state) { setFlag(effFlagsExtIsAsync, state); }
    virtual void hasExternalBuffer(bool state) { setFlag(effFlagsExtHasBuffer, state); }
    virtual VstInt32 reportCurrentPosition() { return 0; }
    virtual float* reportDestinationBuffer() { return nullptr; }
    virtual bool offlineRead(void* offline, VstInt32 option, bool readSource) {
        return callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline) != 0;
    }
    virtual bool offlineWrite(void* offline, VstInt32 option) {
        return callHost(audioMasterOfflineWrite, 0, option, offline) != 0;
    }
    virtual bool offlineStart(void* audioFiles, VstInt32 numAudioFiles, VstInt32 numNewAudioFiles) {
        return callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, audioFiles) != 0;
    }
    virtual VstInt32 offlineGetCurrentPass() { return callHost(audioMasterOfflineGetCurrentPass) != 0 ? 1 : 0; }
    virtual VstInt32 offlineGetCurrentMetaPass() {
        return callHost(audioMasterOfflineGetCurrentMetaPass) != 0 ? 1 : 0;
    }
    virtual bool offlineNotify(void* ptr, VstInt32 numAudioFiles, bool start) {
        return (void)ptr, (void)numAudioFiles, (void)start, false;
    }
    virtual bool offlinePrepare(void* offline, VstInt32 count) { return (void)offline, (void)count, false; }
    virtual bool offlineRun(void* offline, VstInt32 count) { return (void)offline, (void)count, false; }
    virtual VstInt32 reservedQuery2() { return 0; }
    virtual VstInt32 reservedQuery3() { return 0; }
    virtual void setOutputSamplerate(float rate) { callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, rate); }
    virtual bool getSpeakerArrangement(void* pluginInput, void* pluginOutput) {
        return callHost(audioMasterGetOutputSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(pluginInput),
                        pluginOutput) != 0;
    }
    virtual bool getHostVendorString(char* text) { return callHost(audioMasterGetVendorString, 0, 0, text) != 0; }
    virtual bool getHostProductString(char* text) {
        return callHost(audioMasterGetProductString, 0, 0, text) != 0;
    }
    virtual VstInt32 getHostVendorVersion() { return static_cast<VstInt32>(callHost(audioMasterGetVendorVersion)); }
    virtual VstInt32 hostVendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg, float floatArg) {
        return static_cast<VstInt32>(callHost(audioMasterVendorSpecific, lArg1, lArg2, ptrArg, floatArg));
    }
    virtual VstInt32 canHostDo(char* text) { return callHost(audioMasterCanDo, 0, 0, text) != 0 ? 1 : 0; }
    virtual void isSynth(bool state) { setFlag(effFlagsIsSynth, state); }
    virtual void noTail(bool state) { setFlag(effFlagsNoSoundInStop, state); }
    virtual VstInt32 getHostLanguage() { return static_cast<VstInt32>(callHost(audioMasterGetLanguage)); }
    virtual void* openWindow(void* window) {
        return reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window));
    }
    virtual bool closeWindow(void* window) { return callHost(audioMasterCloseWindow, 0, 0, window) != 0; }
    virtual void* getDirectory() { return reinterpret_cast<void*>(callHost(audioMasterGetDirectory)); }
    virtual bool updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }
    virtual bool processVariableIo(void* varIo) { return (void)varIo, false; }
    virtual bool setSpeakerArrangement(void* pluginInput, void* pluginOutput) {
        return (void)pluginInput, (void)pluginOutput, false;
    }
    // Stores both fields directly: overrides of setSampleRate do not run.
    virtual void setBlockSizeAndSampleRate(VstInt32 size, float rate) {
        blockSize = size;
        sampleRate = rate;
    }
    virtual bool setBypass(bool onOff) { return (void)onOff, false; }
    virtual bool getEffectName(char* name) { return (void)name, false; }
    virtual bool getErrorText(char* text) { return (void)text, false; }
    virtual bool getVendorString(char* text) { return (void)text, false; }
    virtual bool getProductString(char* text) { return (void)text, false; }
    virtual VstInt32 getVendorVersion() { return 0; }
    virtual VstIntPtr vendorSpecific(VstInt32 lArg, VstIntPtr lArg2, void* ptrArg, float floatArg) {
        return (void)lArg, (void)lArg2, (void)ptrArg, (void)floatArg, 0;
    }
    virtual VstInt32 canDo(char* text) { return (void)text, 0; }
    virtual void* getIcon() { return nullptr; }
    virtual bool setViewPosition(VstInt32 x, VstInt32 y) { return (void)x, (void)y, false; }
    virtual VstInt32 getGetTailSize() { return 0; }
    virtual VstInt32 fxIdle() { return 0; }
    virtual bool getParameterProperties(VstInt32 index, void* properties) {
        return (void)index, (void)properties, false;
    }
    virtual bool keysRequired() { return false; }
    virtual VstInt32 getVstVersion() { return 2200; }
    virtual VstInt32 getMidiProgramName(VstInt32 channel, void* midiProgramName) {
        return (void)channel, (void)midiProgramName, 0;
    }
    virtual VstInt32 getCurrentMidiProgram(VstInt32 channel, void* currentProgram) {
        return (void)channel, (void)currentProgram, -1;
    }
    virtual VstInt32 getMidiProgramCategory(VstInt32 channel, void* category) {
        return (void)channel, (void)category, 0;
    }
    virtual bool hasMidiProgramsChanged(VstInt32 channel) { return (void)channel, false; }
    virtual bool getMidiKeyName(VstInt32 channel, void* keyName) { return (void)channel, (void)keyName, false; }
    virtual bool beginSetProgram() { return false; }
    virtual bool endSetProgram() { return false; }
    virtual bool beginEdit(VstInt32 index) { return callHost(audioMasterBeginEdit, index) != 0; }
    virtual bool endEdit(VstInt32 index) { return callHost(audioMasterEndEdit, index) != 0; }
    virtual bool openFileSelector(void* selector) {
        return selector && callHost(audioMasterOpenFileSelector, 0, 0, selector) != 0;
    }
};

// The extended editor adds nothing of its own.
class AEffEditorX : public AEffEditor {
public:
    explicit AEffEditorX(AudioEffect* effect) : AEffEditor(effect) {}
};
