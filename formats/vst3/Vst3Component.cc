// The component and audio processor faces: buses, activation, state and the
// process call's setup. The process call itself is in Vst3Process.cc.
#include <cstring>

#include "Vst3Synth.h"

namespace orvo::vst3 {
namespace {

Vst3Synth& of(void* self) { return Face<Vst3Synth>::of(self); }

constexpr v3_speaker_arrangement kStereo = V3_SPEAKER_L | V3_SPEAKER_R;

// --- component -------------------------------------------------------------------

// The controller is this same object, so there is no class to name.
v3_result V3_API controllerClassId(void*, v3_tuid id) {  // main
    if (id) std::memset(id, 0, sizeof(v3_tuid));
    return V3_NOT_IMPLEMENTED;
}
v3_result V3_API setIoMode(void*, int32_t) { return V3_OK; }  // main

int32_t V3_API busCount(void*, int32_t type, int32_t direction) {  // main
    if (type == V3_AUDIO) return direction == V3_OUTPUT ? 1 : 0;
    if (type == V3_EVENT) return direction == V3_INPUT ? 1 : 0;
    return 0;
}

v3_result V3_API busInfo(void* self, int32_t type, int32_t direction, int32_t index, v3_bus_info* info) {  // main
    if (!info || index != 0 || busCount(self, type, direction) == 0) return V3_INVALID_ARG;
    *info = v3_bus_info{};
    info->media_type = type;
    info->direction = direction;
    info->channel_count = type == V3_AUDIO ? kNumOutputs : 16;
    toUtf16(info->bus_name, type == V3_AUDIO ? "Output" : "Notes", 128);
    info->bus_type = V3_MAIN;
    info->flags = V3_DEFAULT_ACTIVE;
    return V3_OK;
}

v3_result V3_API routingInfo(void*, v3_routing_info*, v3_routing_info*) { return V3_NOT_IMPLEMENTED; }  // main

// Both buses always play: a host that switches one off only stops reading it.
v3_result V3_API activateBus(void* self, int32_t type, int32_t direction, int32_t index, v3_bool) {  // main
    return index == 0 && busCount(self, type, direction) == 1 ? V3_OK : V3_INVALID_ARG;
}

v3_result V3_API setActive(void* self, v3_bool state) { return of(self).setActive(state != 0); }  // main
v3_result V3_API setState(void* self, v3_bstream** s) { return of(self).loadState(s); }          // main
v3_result V3_API getState(void* self, v3_bstream** s) { return of(self).saveState(s); }          // main

// --- audio processor -------------------------------------------------------------

// Stereo out and nothing in, the only arrangement the instrument plays.
v3_result V3_API setArrangements(void*, v3_speaker_arrangement* inputs, int32_t numInputs,
                                 v3_speaker_arrangement* outputs, int32_t numOutputs) {  // main
    (void)inputs;
    const bool ours = numInputs == 0 && numOutputs == 1 && outputs && outputs[0] == kStereo;
    return ours ? V3_OK : V3_FALSE;
}

v3_result V3_API getArrangement(void*, int32_t direction, int32_t index, v3_speaker_arrangement* arrangement) {  // main
    if (!arrangement || direction != V3_OUTPUT || index != 0) return V3_INVALID_ARG;
    *arrangement = kStereo;
    return V3_OK;
}

v3_result V3_API canProcessSampleSize(void*, int32_t size) { return size == V3_SAMPLE_32 ? V3_OK : V3_FALSE; }  // main
uint32_t V3_API latency(void*) { return 0; }  // main

v3_result V3_API setupProcessing(void* self, v3_process_setup* setup) {  // main
    if (!setup || setup->symbolic_sample_size != V3_SAMPLE_32) return V3_INVALID_ARG;
    return of(self).setRate(setup->sample_rate);
}

v3_result V3_API setProcessing(void*, v3_bool) { return V3_OK; }  // audio
v3_result V3_API process(void* self, v3_process_data* data) { return of(self).process(data); }  // audio
uint32_t V3_API tailSamples(void*) { return 0; }  // main

// The instrument plays from its events alone: no tempo, no transport.
uint32_t V3_API contextRequirements(void*) { return 0; }  // main

}  // namespace

const v3_component_cpp kComponentTable = {
    {queryFace, refFace, unrefFace},
    {initializeFace, terminateFace},
    {controllerClassId, setIoMode, busCount, busInfo, routingInfo, activateBus, setActive, setState, getState},
};

const v3_audio_processor_cpp kProcessorTable = {
    {queryFace, refFace, unrefFace},
    {setArrangements, getArrangement, canProcessSampleSize, latency, setupProcessing, setProcessing, process,
     tailSamples},
};

const v3_process_context_requirements_cpp kRequirementsTable = {
    {queryFace, refFace, unrefFace},
    {contextRequirements},
};

// The plug-in base of both the component and the controller face.
v3_result V3_API initializeFace(void*, v3_funknown**) { return V3_OK; }                   // main
v3_result V3_API terminateFace(void* self) { return of(self).setHandler(nullptr); }      // main

}  // namespace orvo::vst3
