#include "plugin_host.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "Text.h"

namespace orvo::render {
namespace {

using EntryPoint = AEffect* (*)(audioMasterCallback);

// More channels than any instrument has: a record claiming so is garbage.
constexpr VstInt32 kMaxChannels = 256;

// A plug-in may call back before its record reaches us (audioMasterVersion
// from the entry point, with a null effect): such calls go to the host
// being constructed on this thread.
thread_local PluginHost* constructing = nullptr;

constexpr const char* kHostVendor = "Orvo";
constexpr const char* kHostProduct = "orvo-render";

// The requests of a 2.4 host this one honours; anything else is "don't know".
constexpr const char* kHostCanDo[] = {"sendVstEvents", "sendVstMidiEvent", "startStopProcess"};

VstIntPtr hostVersionNumber() {
    int major = 0, minor = 0;
    std::sscanf(ORVO_RENDER_VERSION, "%d.%d", &major, &minor);
    return major * 1000 + minor * 10;
}

std::string describeMagic(VstInt32 magic) {
    char text[64];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(magic));
    return text;
}

}  // namespace

PluginHost::PluginHost(const std::string& path, HostSettings settings) : path_(path), settings_(settings) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        throw PluginError("plug-in '" + path + "': " + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) throw PluginError("plug-in '" + path + "' is a directory, not a shared library");
    if (::access(path.c_str(), R_OK) != 0)
        throw PluginError("plug-in '" + path + "' is not readable: " + std::strerror(errno));
    auto slash = path.rfind('/');
    directory_ = slash == std::string::npos ? "." : path.substr(0, slash);

    // A bare file name would make dlopen search the library path instead of
    // the current directory. The code stays mapped after dlclose, as in most
    // hosts: a plug-in's exit handlers or leftover threads may still run it,
    // and a statically linked C++ runtime leaves allocations behind.
    std::string loadPath = slash == std::string::npos ? "./" + path : path;
    library_ = ::dlopen(loadPath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library_) {
        const char* why = ::dlerror();
        throw PluginError("cannot load plug-in '" + path + "': " + (why ? why : "unknown error"));
    }

    auto entry = reinterpret_cast<EntryPoint>(::dlsym(library_, "VSTPluginMain"));
    if (!entry) entry = reinterpret_cast<EntryPoint>(::dlsym(library_, "main"));
    if (!entry) {
        ::dlclose(library_);
        throw PluginError("'" + path + "' is not a VST 2 plug-in: it exports neither VSTPluginMain nor main");
    }

    constructing = this;
    AEffect* effect = entry(&PluginHost::hostCallback);
    constructing = nullptr;
    if (!effect) {
        ::dlclose(library_);
        throw PluginError("'" + path + "' is not a usable VST 2 plug-in: its entry point returned no effect record");
    }
    if (effect->magic != kEffectMagic) {
        // The record is not one we understand, so it cannot be closed either;
        // and it lives in the library, so read it before unloading.
        std::string magic = describeMagic(effect->magic);
        ::dlclose(library_);
        throw PluginError("'" + path + "' is not a VST 2 plug-in: bad magic " + magic + " (expected 'VstP')");
    }
    if (!effect->dispatcher || effect->numInputs < 0 || effect->numInputs > kMaxChannels ||
        effect->numOutputs > kMaxChannels) {
        ::dlclose(library_);
        throw PluginError("'" + path + "' returned a damaged effect record (no dispatcher or absurd channel counts)");
    }
    effect_ = effect;
    effect_->resvd1 = reinterpret_cast<VstIntPtr>(this);

    dispatch(effOpen);
    opened_ = true;
    if (effect_->numOutputs < 1 || !(effect_->processReplacing || effect_->process)) {
        std::string why = effect_->numOutputs < 1 ? "has no audio outputs" : "has no processing function";
        release();
        throw PluginError("'" + path + "' " + why + ", so there is nothing to render");
    }
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(settings_.sampleRate));
    dispatch(effSetBlockSize, 0, settings_.blockSize);
    dispatch(effSetProcessPrecision, 0, 0 /* 32-bit float */);

    silentInput_.assign(size_t(std::max(effect_->numInputs, 0)) * size_t(settings_.blockSize), 0.0f);
    for (int i = 0; i < effect_->numInputs; ++i)
        inputPointers_.push_back(silentInput_.data() + size_t(i) * size_t(settings_.blockSize));
    if (inputPointers_.empty()) inputPointers_.push_back(nullptr);
}

PluginHost::~PluginHost() { release(); }

void PluginHost::release() {
    if (effect_) {
        if (running_) suspend();
        if (opened_) dispatch(effClose);  // the plug-in frees its record here
        effect_ = nullptr;
    }
    if (library_) ::dlclose(library_);
    library_ = nullptr;
}

VstIntPtr PluginHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string PluginHost::readString(VstInt32 opcode, VstInt32 index) {
    // Far beyond the official limits, as real hosts do: some plug-ins write more.
    char text[256] = {};
    dispatch(opcode, index, 0, text);
    text[sizeof text - 1] = '\0';
    return text;
}

std::string PluginHost::paramName(int index) { return readString(effGetParamName, index); }
std::string PluginHost::effectName() { return readString(effGetEffectName, 0); }
std::string PluginHost::vendorString() { return readString(effGetVendorString, 0); }
std::string PluginHost::productString() { return readString(effGetProductString, 0); }

std::string PluginHost::paramDisplay(int index) {
    std::string display = readString(effGetParamDisplay, index);
    std::string label = readString(effGetParamLabel, index);
    return label.empty() ? display : display + " " + label;
}

std::string PluginHost::programName(int index) {
    char text[256] = {};
    if (dispatch(effGetProgramNameIndexed, index, -1, text)) {
        text[sizeof text - 1] = '\0';
        return text;
    }
    // Without the indexed request the only way is to visit the program.
    int current = static_cast<int>(dispatch(effGetProgram));
    setProgram(index);
    std::string name = readString(effGetProgramName, 0);
    setProgram(current);
    return name;
}

int PluginHost::findParam(const std::string& name) {
    int loose = -1;
    for (int i = 0; i < numParams(); ++i) {
        std::string candidate = paramName(i);
        if (candidate == name) return i;
        if (loose < 0 && ::strcasecmp(candidate.c_str(), name.c_str()) == 0) loose = i;
    }
    return loose;
}

void PluginHost::setProgram(int program) {
    dispatch(effBeginSetProgram);
    dispatch(effSetProgram, 0, program);
    dispatch(effEndSetProgram);
}

void PluginHost::setParameter(int index, float value) { effect_->setParameter(effect_, index, value); }
float PluginHost::getParameter(int index) { return effect_->getParameter(effect_, index); }

void PluginHost::resume() {
    if (running_) return;
    dispatch(effMainsChanged, 0, 1);
    dispatch(effStartProcess);
    running_ = true;
}

void PluginHost::suspend() {
    if (!running_) return;
    dispatch(effStopProcess);
    dispatch(effMainsChanged, 0, 0);
    running_ = false;
}

void PluginHost::processEvents(VstEvents* events) {
    if (events && events->numEvents > 0) dispatch(effProcessEvents, 0, 0, events);
}

void PluginHost::process(float** outputs, int frames) {
    for (int c = 0; c < effect_->numOutputs; ++c) std::fill_n(outputs[c], frames, 0.0f);
    // Plug-ins from before replacing processing only offer the adding form,
    // which over cleared buffers gives the same result.
    if ((effect_->flags & effFlagsCanReplacing) && effect_->processReplacing)
        effect_->processReplacing(effect_, inputPointers_.data(), outputs, frames);
    else if (effect_->process)
        effect_->process(effect_, inputPointers_.data(), outputs, frames);
}

VstIntPtr VSTCALLBACK PluginHost::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                               void* ptr, float opt) {
    PluginHost* host = effect && effect->resvd1 ? reinterpret_cast<PluginHost*>(effect->resvd1) : constructing;
    if (host) return host->answer(opcode, index, value, ptr, opt);
    return commonAnswer(opcode, ptr);  // a stray call from no instance we know
}

VstIntPtr PluginHost::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    (void)index, (void)opt;
    switch (opcode) {
        case audioMasterAutomate: ++automateCalls_; return 0;
        case audioMasterCurrentId: return effect_ ? effect_->uniqueID : 0;
        case audioMasterWantMidi: wantsMidi_ = value != 0; return 1;
        case audioMasterGetSampleRate: return settings_.sampleRate;
        case audioMasterGetBlockSize: return settings_.blockSize;
        case audioMasterGetDirectory: return reinterpret_cast<VstIntPtr>(directory_.c_str());
        case audioMasterGetCurrentProcessLevel: return settings_.realtime ? 2 : 4;  // realtime or offline
        case audioMasterGetProductString:
            copyText(static_cast<char*>(ptr), settings_.product, kVstMaxProductStrLen);
            return ptr ? 1 : 0;
        default: return commonAnswer(opcode, ptr);
    }
}

VstIntPtr PluginHost::commonAnswer(VstInt32 opcode, void* ptr) {
    switch (opcode) {
        case audioMasterVersion: return kVstVersion;
        case audioMasterGetTime: return 0;  // no transport: an offline render has no tempo of its own
        case audioMasterGetCurrentProcessLevel: return 4;  // offline
        case audioMasterGetVendorString: copyText(static_cast<char*>(ptr), kHostVendor, kVstMaxVendorStrLen); return 1;
        case audioMasterGetProductString: copyText(static_cast<char*>(ptr), kHostProduct, kVstMaxProductStrLen); return 1;
        case audioMasterGetVendorVersion: return hostVersionNumber();
        case audioMasterCanDo:
            if (!ptr) return 0;
            for (const char* can : kHostCanDo)
                if (std::strcmp(static_cast<const char*>(ptr), can) == 0) return 1;
            return 0;
        case audioMasterGetLanguage: return 1;  // English
        case audioMasterUpdateDisplay:
        case audioMasterBeginEdit:
        case audioMasterEndEdit: return 1;
        default: return 0;
    }
}

}  // namespace orvo::render
