// Loading a VST 2 plug-in from a shared library and talking to it as a 2.4
// host does. One PluginHost owns one plug-in instance and its library.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "DAEffectX.h"

namespace orvo::render {

class PluginError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the host answers when the plug-in asks. Filled in before loading,
// since a plug-in may ask for any of it from its entry point on.
struct HostSettings {
    int sampleRate = 44100;
    int blockSize = 512;
    const char* product = "orvo-render";  // the host's name, as the plug-in asks for it
    bool realtime = false;                // playing live rather than rendering offline
};

class PluginHost {
public:
    // dlopen, VSTPluginMain (else main), magic check, effOpen. Throws
    // PluginError with a message for the user when any of that fails.
    PluginHost(const std::string& path, HostSettings settings);
    ~PluginHost();  // suspends if running, effClose, dlclose
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    AEffect* effect() const { return effect_; }
    const std::string& path() const { return path_; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);

    int numParams() const { return effect_->numParams; }
    int numPrograms() const { return effect_->numPrograms; }
    int numOutputs() const { return effect_->numOutputs; }
    std::string paramName(int index);
    std::string paramDisplay(int index);  // display text and label, e.g. "0.50 /1"
    std::string programName(int index);   // without changing the current program
    std::string effectName();
    std::string vendorString();
    std::string productString();
    int findParam(const std::string& name);  // exact first, then ignoring case; -1 if none

    void setProgram(int program);
    void setParameter(int index, float value);
    float getParameter(int index);

    // effMainsChanged on/off, with effStartProcess/effStopProcess inside.
    void resume();
    void suspend();
    bool running() const { return running_; }

    // The audio path: no allocation, no locks.
    void processEvents(VstEvents* events);
    // Renders into `outputs` (numOutputs() channels of `frames` floats, which
    // this call clears first); the plug-in's inputs, if any, are silent.
    void process(float** outputs, int frames);

    // What the plug-in asked of the host, for the curious and the tests.
    int automateCalls() const { return automateCalls_; }
    bool wantsMidi() const { return wantsMidi_; }

    // Host callback: public so the tests can check its answers directly.
    static VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                              void* ptr, float opt);

private:
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    static VstIntPtr commonAnswer(VstInt32 opcode, void* ptr);
    void release();
    std::string readString(VstInt32 opcode, VstInt32 index);

    std::string path_;
    std::string directory_;
    HostSettings settings_;
    void* library_ = nullptr;
    AEffect* effect_ = nullptr;
    bool opened_ = false;
    bool running_ = false;
    int automateCalls_ = 0;
    bool wantsMidi_ = false;
    std::vector<float> silentInput_;
    std::vector<float*> inputPointers_;
};

}  // namespace orvo::render
