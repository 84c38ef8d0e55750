#include "uVSTXSynth.h"

#include <cstdio>
#include <cstring>

#include "DVstUtils.h"
#include "EditorFactory.h"
#include "ParamTable.h"
#include "PluginFactory.h"
#include "Text.h"
#include "VstIdentity.h"

using namespace orvo;

namespace {
constexpr VstInt32 kMidiFilter = 1;  // "keep sending MIDI events"
}  // namespace

// ---------------------------------------------------------------------------
// AVstXSynth

// The instrument comes up with its programs made and program 0 selected at
// the default rate, voices fresh; the record is filled around it.
AVstXSynth::AVstXSynth(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    setEditor(createEditor(this));
    setProgram(0);
    if (audioMaster) {
        setNumInputs(0);
        setNumOutputs(kNumOutputs);
        canProcessReplacing(true);
        hasVu(false);
        hasClip(false);
        isSynth(true);
        setUniqueID(fourCharCode(kUniqueIdChars));
    }
    instrument_.reset();
    suspend();
}

// The editor goes first: an open form may still ask for program names and
// values while it closes, and the programs must outlive it.
AVstXSynth::~AVstXSynth() {
    delete getEditor();
    setEditor(nullptr);
}

// Only the pitch step follows the rate at once; the rate-dependent parameter
// conversions pick it up the next time their parameter is set.
void AVstXSynth::setSampleRate(float rate) {
    AudioEffectX::setSampleRate(rate);
    instrument_.setRate(rate);
}

void AVstXSynth::setBlockSize(VstInt32 size) { AudioEffectX::setBlockSize(size); }

// Edits the current program, so switching away and back keeps the edit.
// Converts at the rate the host last gave, by either request.
void AVstXSynth::setParameter(VstInt32 index, float value) { instrument_.setValueAt(index, value, sampleRate); }

float AVstXSynth::getParameter(VstInt32 index) { return instrument_.value(index); }

void AVstXSynth::process(float** inputs, float** outputs, VstInt32 sampleFrames) {
    (void)inputs;
    if (!outputs || !outputs[0] || !outputs[1]) return;
    instrument_.render(outputs[0], outputs[1], sampleFrames);
}

void AVstXSynth::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    (void)inputs;
    if (!outputs || !outputs[0] || !outputs[1] || sampleFrames <= 0) return;
    instrument_.renderReplacing(outputs[0], outputs[1], sampleFrames);
}

// Re-selecting the current program re-applies it at the rate now in force.
void AVstXSynth::setProgram(VstInt32 program) {
    if (program < 0 || program >= kNumPrograms) return;
    curProgram = program;
    instrument_.selectProgramAt(program, sampleRate);
}

void AVstXSynth::setProgramName(char* name) { instrument_.setProgramName(curProgram, name); }

void AVstXSynth::getProgramName(char* name) { instrument_.programName(curProgram, name, kProgramNameSize); }

void AVstXSynth::getParameterLabel(VstInt32 index, char* label) {
    copyText(label, isParamIndex(index) ? kParams[index].label : kParameterLabel, kVstMaxParamStrLen);
}

void AVstXSynth::getParameterDisplay(VstInt32 index, char* text) {
    instrument_.displayText(index, text, kVstMaxParamStrLen);
}

void AVstXSynth::getParameterName(VstInt32 index, char* text) {
    copyText(text, isParamIndex(index) ? kParams[index].name : "", kVstMaxParamStrLen);
}

// Asks the host to keep sending MIDI.
void AVstXSynth::resume() { wantEvents(kMidiFilter); }

VstInt32 AVstXSynth::processEvents(VstEvents* events) {
    if (!events) return 1;
    // The list holds numEvents pointers although it is declared with two:
    // walk it through a pointer, not the declared array.
    VstEvent* const* list = events->events;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = list[i];
        if (!event || event->type != kVstMidiType) continue;
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
        instrument_.midi(static_cast<uint8_t>(midi->midiData[0]), static_cast<uint8_t>(midi->midiData[1]),
                     static_cast<uint8_t>(midi->midiData[2]), midi->deltaFrames);
    }
    return 1;
}

bool AVstXSynth::getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
    (void)category;
    return instrument_.programName(index, text, kProgramNameSize);
}

// Copies over another program without making it current or applying it.
bool AVstXSynth::copyProgram(VstInt32 destination) {
    return instrument_.copyProgram(destination);
}

bool AVstXSynth::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (index < 0 || index >= kNumOutputs) return false;
    std::snprintf(properties->label, sizeof properties->label, kOutputLabelFormat, index + 1);
    properties->flags = kVstPinIsActive;
    properties->flags |= kVstPinIsStereo;
    return true;
}

bool AVstXSynth::getEffectName(char* name) {
    copyText(name, kEffectName, kVstMaxEffectNameLen);
    return true;
}

bool AVstXSynth::getVendorString(char* text) {
    copyText(text, kVendorName, kVstMaxVendorStrLen);
    return true;
}

bool AVstXSynth::getProductString(char* text) {
    copyText(text, kProductName, kVstMaxProductStrLen);
    return true;
}

VstInt32 AVstXSynth::getVendorVersion() { return kVendorVersion; }

VstInt32 AVstXSynth::canDo(char* text) {
    if (!text) return -1;
    return (std::strcmp(text, kCanDoEvents) == 0 || std::strcmp(text, kCanDoMidi) == 0) ? 1 : -1;
}

// Hosts that scale their plug-in windows announce the factor as this
// vendor-specific pair, with the factor in `opt`.
VstIntPtr AVstXSynth::vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    constexpr VstInt32 kScaleTag = ('P' << 24) | ('r' << 16) | ('e' << 8) | 'S';
    constexpr VstIntPtr kScaleValue = ('A' << 24) | ('e' << 16) | ('C' << 8) | 's';
    if (index == kScaleTag && value == kScaleValue && getEditor()) return getEditor()->setContentScale(opt) ? 1 : 0;
    return AudioEffectX::vendorSpecific(index, value, ptr, opt);
}

// ---------------------------------------------------------------------------

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new AVstXSynth(audioMaster); }
