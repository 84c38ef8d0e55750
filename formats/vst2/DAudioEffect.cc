#include "DAudioEffect.h"

#include <cmath>
#include <cstring>

#include "DVstUtils.h"

#if defined(__i386__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

// ---------------------------------------------------------------------------
// Load-time step

namespace {
// x87 control word: 64-bit precision, round to nearest, all six exceptions masked.
constexpr unsigned short kX87ControlWord = 0x133F;
constexpr unsigned kMxcsrAllMasks = 0x1F80;  // SSE: the same six exceptions masked

void maskFloatingPointExceptions() {
#if defined(__i386__) || defined(__x86_64__)
    unsigned short cw = kX87ControlWord;
    __asm__ __volatile__("fldcw %0" : : "m"(cw));
    // Round to nearest (RC bits clear) and every exception masked.
    _mm_setcsr((_mm_getcsr() & ~0x6000u) | kMxcsrAllMasks);
#endif
}

struct LoadTimeStep {
    LoadTimeStep() { loadTimeInit(); }
};
// A static object in the same translation unit as the classes every plug-in
// links, so the step runs when the library is loaded, before `main`.
const LoadTimeStep gLoadTimeStep;
}  // namespace

void loadTimeInit() {
    maskFloatingPointExceptions();
    readDecimalSeparator();
}

// ---------------------------------------------------------------------------
// Record callbacks. Thread: whichever thread the host calls them on.

static AudioEffect* objectOf(AEffect* e) { return static_cast<AudioEffect*>(e->object); }

VstIntPtr VSTCALLBACK dispatcherCallback(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                         float opt) {
    AudioEffect* fx = objectOf(e);
    VstIntPtr result = fx->dispatcher(opcode, index, value, ptr, opt);
    if (opcode == effClose) {
        delete fx;  // the record is a member: it goes with the object
        return 1;
    }
    return result;
}

void VSTCALLBACK processCallback(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
    objectOf(e)->process(inputs, outputs, sampleFrames);
}

void VSTCALLBACK processReplacingCallback(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
    objectOf(e)->processReplacing(inputs, outputs, sampleFrames);
}

void VSTCALLBACK setParameterCallback(AEffect* e, VstInt32 index, float value) {
    objectOf(e)->setParameter(index, value);
}

float VSTCALLBACK getParameterCallback(AEffect* e, VstInt32 index) { return objectOf(e)->getParameter(index); }

// ---------------------------------------------------------------------------
// AudioEffect

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : sampleRate(44100.0f),
      editor(nullptr),
      numPrograms(numPrograms),
      numParams(numParams),
      curProgram(0),
      blockSize(1024),
      audioMaster(audioMaster) {
    std::memset(&effectRecord, 0, sizeof effectRecord);
    effectRecord.magic = fourCharCode("VstP");
    effectRecord.dispatcher = dispatcherCallback;
    effectRecord.process = processCallback;
    effectRecord.setParameter = setParameterCallback;
    effectRecord.getParameter = getParameterCallback;
    effectRecord.numPrograms = numPrograms;
    effectRecord.numParams = numParams;
    effectRecord.numInputs = 1;
    effectRecord.numOutputs = 2;
    effectRecord.flags = 0;
    effectRecord.ioRatio = 1.0f;
    effectRecord.object = this;
    effectRecord.user = nullptr;
    effectRecord.uniqueID = fourCharCode("NoEf");
    effectRecord.version = 1;
    effectRecord.processReplacing = processReplacingCallback;
}

AudioEffect::~AudioEffect() { delete editor; }

void AudioEffect::setEditor(AEffEditor* newEditor) {
    editor = newEditor;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() {
    VstInt32 version = static_cast<VstInt32>(callHost(audioMasterVersion));
    return version ? version : 1;
}

VstInt32 AudioEffect::getCurrentUniqueId() { return static_cast<VstInt32>(callHost(audioMasterCurrentId)); }

void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

bool AudioEffect::isInputConnected(VstInt32 input) { return callHost(audioMasterPinConnected, input, 0) == 0; }

bool AudioEffect::isOutputConnected(VstInt32 output) { return callHost(audioMasterPinConnected, output, 1) == 0; }

namespace {
// Saturating, and no undefined behaviour for NaN or huge meters.
VstIntPtr roundVu(float vu) {
    double x = roundHalfEven(static_cast<double>(vu) * 32767.0);  // exact: 24 + 15 bits
    if (!(x == x)) return 0;
    if (x >= 2147483647.0) return 2147483647;
    if (x <= -2147483648.0) return -2147483647 - 1;
    return static_cast<VstIntPtr>(x);
}
}  // namespace

// Thread: the host's UI thread for most requests; effProcessEvents arrives on
// the audio thread (handled by the extended dispatcher).
VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    switch (opcode) {
        case effOpen: open(); return 0;
        case effClose: close(); return 0;
        case effSetProgram:
            // value is pointer-wide: a negative 64-bit value could truncate to
            // a valid-looking program, so the lower bound is checked here too.
            if (value >= 0 && value < numPrograms) setProgram(static_cast<VstInt32>(value));
            return 0;
        case effGetProgram: return getProgram();
        // Requests that read or write through ptr do nothing without a buffer.
        case effSetProgramName: if (ptr) setProgramName(static_cast<char*>(ptr)); return 0;
        case effGetProgramName: if (ptr) getProgramName(static_cast<char*>(ptr)); return 0;
        case effGetParamLabel: if (ptr) getParameterLabel(index, static_cast<char*>(ptr)); return 0;
        case effGetParamDisplay: if (ptr) getParameterDisplay(index, static_cast<char*>(ptr)); return 0;
        case effGetParamName: if (ptr) getParameterName(index, static_cast<char*>(ptr)); return 0;
        case effGetVu: return roundVu(getVu());
        case effSetSampleRate: setSampleRate(opt); return 0;
        case effSetBlockSize: setBlockSize(static_cast<VstInt32>(value)); return 0;
        case effMainsChanged:
            if (value)
                resume();
            else
                suspend();
            return 0;
        case effEditGetRect: {
            if (!editor || !ptr) return 0;
            ERect* rect = *static_cast<ERect**>(ptr);
            VstIntPtr result = editor->getRect(&rect);
            *static_cast<ERect**>(ptr) = rect;
            return result;
        }
        case effEditOpen: return editor ? editor->open(ptr) : 0;
        case effEditClose:
            if (editor) editor->close();
            return 0;
        case effEditIdle:
            if (editor) editor->idle();
            return 0;
        case effIdentify: return fourCharCode("NvEf");
        case effGetChunk: return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
        case effSetChunk: return ptr ? setChunk(ptr, static_cast<VstInt32>(value), index != 0) : 0;
        default: return 0;  // effEditDraw..effEditSleep and every unknown opcode
    }
}
