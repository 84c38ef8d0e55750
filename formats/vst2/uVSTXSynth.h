// The VST 2 face of the instrument: the host's requests translated into
// calls of the instrument object, which holds the values, the program bank
// and the voices.
#pragma once

#include "DAudioEffectX.h"
#include "Instrument.h"

class AVstXSynth : public AudioEffectX {
public:
    // Thread: the host's thread that calls the entry point.
    explicit AVstXSynth(audioMasterCallback audioMaster);
    ~AVstXSynth() override;  // UI thread (effClose)

    void setSampleRate(float rate) override;                             // UI thread
    void setBlockSize(VstInt32 size) override;                           // UI thread
    void setParameter(VstInt32 index, float value) override;             // any thread
    float getParameter(VstInt32 index) override;                         // any thread
    void process(float** inputs, float** outputs, VstInt32 sampleFrames) override;           // audio thread
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;  // audio thread
    void setProgram(VstInt32 program) override;                          // UI thread
    void setProgramName(char* name) override;                            // UI thread
    void getProgramName(char* name) override;                            // UI thread
    void getParameterLabel(VstInt32 index, char* label) override;        // any thread
    void getParameterDisplay(VstInt32 index, char* text) override;       // any thread
    void getParameterName(VstInt32 index, char* text) override;          // any thread
    void resume() override;                                              // UI thread
    VstInt32 processEvents(VstEvents* events) override;                  // audio thread
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;  // UI thread
    bool copyProgram(VstInt32 destination) override;                     // UI thread
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;      // UI thread
    bool getEffectName(char* name) override;                             // any thread
    bool getVendorString(char* text) override;                           // any thread
    bool getProductString(char* text) override;                          // any thread
    VstInt32 getVendorVersion() override;                                // any thread
    VstInt32 canDo(char* text) override;                                 // any thread
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;  // UI thread

    const orvo::Instrument& instrument() const { return instrument_; }

private:
    orvo::Instrument instrument_;
};
