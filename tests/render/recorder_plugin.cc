// A test instrument that writes down everything its host does, one line per
// call, to the file named by ORVO_RECORDER_LOG, and asks the host the
// questions a plug-in may ask. Its sound is as plain as the log: while a
// note is held both outputs carry velocity / 254 (the right half of that),
// so the audio shows the exact frames at which notes start and stop.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#if defined(RECORDER_SLOW)
#include <unistd.h>
#endif

#include "DAEffectX.h"

namespace {

const char* kParamNames[] = {"Level", "Tone", "Cut Off"};
const char* kProgramNames[] = {"First", "Second"};
constexpr int kParams = 3, kPrograms = 2;

struct Recorder {
    AEffect effect{};
    audioMasterCallback host = nullptr;
    std::FILE* log = nullptr;
    float params[kParams] = {1.0f, 0.25f, 0.5f};
    int program = 0;
    long long framesDone = 0;
    int blockSize = 0;
    float level = 0.0f;
    int heldNote = -1;
    // Events of the coming block, applied at their frames.
    VstMidiEvent pending[256];
    int pendingCount = 0;
};

void note(Recorder& r, const char* format, long long a = 0, double b = 0) {
    if (!r.log) return;
    std::fprintf(r.log, format, a, b);
    std::fputc('\n', r.log);
    std::fflush(r.log);
}

VstIntPtr ask(Recorder& r, const char* name, VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr) {
    VstIntPtr answer = r.host(&r.effect, opcode, 0, value, ptr, 0.0f);
    if (r.log) std::fprintf(r.log, "host %s %lld\n", name, static_cast<long long>(answer));
    return answer;
}

void askHost(Recorder& r) {
    ask(r, "sampleRate", audioMasterGetSampleRate);
    ask(r, "blockSize", audioMasterGetBlockSize);
    ask(r, "processLevel", audioMasterGetCurrentProcessLevel);
    ask(r, "time", audioMasterGetTime);
    ask(r, "wantMidi", audioMasterWantMidi, 1);
    ask(r, "canDoSendVstEvents", audioMasterCanDo, 0, const_cast<char*>("sendVstEvents"));
    ask(r, "canDoNonsense", audioMasterCanDo, 0, const_cast<char*>("fly"));
    char text[kVstMaxVendorStrLen] = {};
    ask(r, "vendor", audioMasterGetVendorString, 0, text);
    if (r.log) std::fprintf(r.log, "vendorText %s\n", text);
}

VstIntPtr VSTCALLBACK dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    Recorder& r = *static_cast<Recorder*>(e->object);
    switch (opcode) {
        case effOpen: note(r, "open"); return 0;
        case effClose:
            note(r, "close");
            if (r.log) std::fclose(r.log);
            delete &r;
            return 0;
        case effSetSampleRate: note(r, "sampleRate %lld", static_cast<long long>(opt)); return 0;
        case effSetBlockSize: r.blockSize = int(value); note(r, "blockSize %lld", value); return 0;
        case effMainsChanged:
            note(r, "mains %lld", value);
            if (value) askHost(r);
            return 0;
        case effStartProcess: note(r, "startProcess"); return 0;
        case effStopProcess: note(r, "stopProcess"); return 0;
        case effSetProgram: r.program = int(value); note(r, "program %lld", value); return 0;
        case effGetProgram: return r.program;
        case effGetParamName: std::strcpy(static_cast<char*>(ptr), kParamNames[index]); return 0;
        case effGetParamLabel: std::strcpy(static_cast<char*>(ptr), "dB"); return 0;
        case effGetParamDisplay:
            std::snprintf(static_cast<char*>(ptr), kVstMaxParamStrLen, "%.1f", r.params[index] * 10.0);
            return 0;
        case effGetProgramNameIndexed:
            if (index < 0 || index >= kPrograms) return 0;
            std::strcpy(static_cast<char*>(ptr), kProgramNames[index]);
            return 1;
        case effGetEffectName: std::strcpy(static_cast<char*>(ptr), "Recorder"); return 1;
        case effProcessEvents: {
            auto* list = static_cast<VstEvents*>(ptr);
            for (int i = 0; i < list->numEvents; ++i) {
                auto* m = reinterpret_cast<VstMidiEvent*>(list->events[i]);
                if (m->deltaFrames < 0 || m->deltaFrames >= r.blockSize) note(r, "deltaOutOfBlock %lld", m->deltaFrames);
                if (r.log)
                    std::fprintf(r.log, "midi %lld %02x %02x %02x\n", r.framesDone + m->deltaFrames,
                                 static_cast<unsigned char>(m->midiData[0]), static_cast<unsigned char>(m->midiData[1]),
                                 static_cast<unsigned char>(m->midiData[2]));
                if (r.pendingCount < 256) r.pending[r.pendingCount++] = *m;
            }
            return 1;
        }
        default: return 0;
    }
}

void VSTCALLBACK setParameter(AEffect* e, VstInt32 index, float value) {
    Recorder& r = *static_cast<Recorder*>(e->object);
    if (index >= 0 && index < kParams) r.params[index] = value;
    if (r.log) std::fprintf(r.log, "param %lld %d %g\n", r.framesDone, index, double(value));
}

float VSTCALLBACK getParameter(AEffect* e, VstInt32 index) {
    Recorder& r = *static_cast<Recorder*>(e->object);
    return index >= 0 && index < kParams ? r.params[index] : 0.0f;
}

void VSTCALLBACK processReplacing(AEffect* e, float**, float** out, VstInt32 frames) {
    Recorder& r = *static_cast<Recorder*>(e->object);
#if defined(RECORDER_SLOW)
    ::usleep(2000);  // a block in 2 ms, so a render takes long enough to show progress
#endif
    int next = 0;
    for (int i = 0; i < frames; ++i) {
        for (; next < r.pendingCount && r.pending[next].deltaFrames <= i; ++next) {
            const char* d = r.pending[next].midiData;
            int status = d[0] & 0xF0, key = d[1] & 0x7F, velocity = d[2] & 0x7F;
            if (status == 0x90 && velocity) {
                r.heldNote = key;
                r.level = float(velocity) / 254.0f * r.params[0];
            } else if ((status == 0x80 || status == 0x90) && key == r.heldNote) {
                r.heldNote = -1;
                r.level = 0.0f;
            }
        }
        out[0][i] = r.level;
        out[1][i] = r.level * 0.5f;
    }
    r.pendingCount = 0;
    r.framesDone += frames;
}

void VSTCALLBACK process(AEffect*, float**, float**, VstInt32) {}

AEffect* createRecorder(audioMasterCallback host) {
    auto* r = new Recorder;
    r->host = host;
    if (const char* path = std::getenv("ORVO_RECORDER_LOG")) r->log = std::fopen(path, "w");
    if (r->log) std::fprintf(r->log, "hostVersion %lld\n", static_cast<long long>(host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f)));
    AEffect& e = r->effect;
    e.magic = kEffectMagic;
    e.dispatcher = dispatcher;
    e.process = process;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.processReplacing = processReplacing;
    e.numPrograms = kPrograms;
    e.numParams = kParams;
    e.numOutputs = 2;
    e.flags = effFlagsCanReplacing | effFlagsIsSynth;
    e.object = r;
    return &e;
}

}  // namespace

// The older hosts' entry name alone, or the 2.4 one: the host must find either.
#if defined(RECORDER_MAIN_ONLY)
extern "C" __attribute__((visibility("default"))) AEffect* recorderMain(audioMasterCallback host) asm("main");
extern "C" AEffect* recorderMain(audioMasterCallback host) { return createRecorder(host); }
#else
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) {
    return createRecorder(host);
}
#endif
