// The edit controller, MIDI mapping and unit faces: the parameters as a
// host lists, shows and automates them, and the programs as the root unit's
// one program list. The values, programs and names live in the instrument,
// which the processor shares, so the controller's own state is only the
// number of the program the values belong to.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ParamTable.h"
#include "Text.h"
#include "Vst3Synth.h"

namespace orvo::vst3 {

struct v3_plugin_view** createView(Vst3Synth& synth, const char* name);  // Vst3View.cc

namespace {

Vst3Synth& of(void* self) { return Face<Vst3Synth>::of(self); }

bool isValue(v3_param_id id) { return id < static_cast<v3_param_id>(kNumParams); }
bool isParam(v3_param_id id) { return id < static_cast<v3_param_id>(kParamCount); }

// The stepped parameters: the 14-bit bend, the controller's 7-bit value
// and the program number.
constexpr double kBendCentre = 8192.0 / 16383.0;
int32_t stepsOf(v3_param_id id) { return id == kBendId ? 16383 : id == kProgramId ? kNumPrograms - 1 : 127; }
int32_t programOf(double normalised) {
    return static_cast<int32_t>(std::lround(std::clamp(std::isfinite(normalised) ? normalised : 0.0, 0.0, 1.0) *
                                            (kNumPrograms - 1)));
}

v3_result V3_API setComponentState(void*, v3_bstream**) { return V3_OK; }  // main: the state is already ours
v3_result V3_API setControllerState(void* self, v3_bstream** s) { return of(self).loadProgramNumber(s); }  // main
v3_result V3_API getControllerState(void* self, v3_bstream** s) { return of(self).saveProgramNumber(s); }  // main
int32_t V3_API parameterCount(void*) { return kParamCount; }                // main

v3_result V3_API parameterInfo(void*, int32_t index, v3_param_info* info) {  // main
    if (!info || index < 0 || !isParam(static_cast<v3_param_id>(index))) return V3_INVALID_ARG;
    *info = v3_param_info{};
    info->param_id = static_cast<v3_param_id>(index);
    info->unit_id = 0;
    if (isValue(info->param_id)) {
        toUtf16(info->title, kParams[index].name, 128);
        toUtf16(info->short_title, kParams[index].name, 128);
        toUtf16(info->units, kParams[index].label, 128);
        info->default_normalised_value = kParams[index].defaultValue;
        info->flags = V3_PARAM_CAN_AUTOMATE;
        return V3_OK;
    }
    if (info->param_id == kProgramId) {
        toUtf16(info->title, "Program", 128);
        toUtf16(info->short_title, "Program", 128);
        info->step_count = stepsOf(kProgramId);
        info->flags = V3_PARAM_CAN_AUTOMATE | V3_PARAM_IS_LIST | V3_PARAM_PROGRAM_CHANGE;
        return V3_OK;
    }
    const bool bend = info->param_id == kBendId;
    toUtf16(info->title, bend ? "Pitch Bend" : "All Voices Off", 128);
    toUtf16(info->short_title, bend ? "Bend" : "AllOff", 128);
    info->step_count = stepsOf(info->param_id);
    info->default_normalised_value = bend ? kBendCentre : 0.0;
    info->flags = V3_PARAM_IS_HIDDEN;
    return V3_OK;
}

// The VST 2 plug-in's display ("0.50"); the label goes in the units.
// A program shows as its name.
v3_result V3_API stringForValue(void* self, v3_param_id id, double value, v3_str_128 out) {  // main
    if (!out || !isParam(id)) return V3_INVALID_ARG;
    char text[kFloatTextMax > kProgramNameSize ? kFloatTextMax : kProgramNameSize];
    if (id == kProgramId) {
        of(self).instrument().programName(programOf(value), text, sizeof text);
    } else if (isValue(id)) {
        const float v = std::isfinite(value) ? static_cast<float>(std::clamp(value, -1e30, 1e30)) : static_cast<float>(value);
        floatToText(text, v, sizeof text);
    } else {
        const double v = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
        std::snprintf(text, sizeof text, "%d", static_cast<int>(std::lround(v * stepsOf(id))));
    }
    toUtf16(out, text, 128);
    return V3_OK;
}

// Takes what stringForValue writes, with or without the label, and numbers
// written with either decimal point; held to 0..1. Not a number and
// infinities are refused. A program's name gives its program.
v3_result V3_API valueForString(void* self, v3_param_id id, int16_t* input, double* value) {  // main
    if (!input || !value || !isParam(id)) return V3_INVALID_ARG;
    char buf[64];
    fromUtf16(buf, input, sizeof buf);
    for (int32_t p = 0; id == kProgramId && p < kNumPrograms; ++p) {
        char name[kProgramNameSize];
        if (of(self).instrument().programName(p, name, sizeof name) && !std::strcmp(name, buf)) {
            *value = static_cast<double>(p) / (kNumPrograms - 1);
            return V3_OK;
        }
    }
    double v = 0.0;
    if (!numberFromText(buf, isValue(id) ? kParams[id].label : nullptr, v)) return V3_FALSE;
    *value = std::clamp(isValue(id) ? v : v / stepsOf(id), 0.0, 1.0);
    return V3_OK;
}

double V3_API toPlain(void*, v3_param_id id, double normalised) {  // any
    return isValue(id) ? normalised : normalised * stepsOf(id);
}
double V3_API toNormalised(void*, v3_param_id id, double plain) {  // any
    return isValue(id) ? plain : plain / stepsOf(id);
}

double V3_API getNormalised(void* self, v3_param_id id) {  // any
    if (isValue(id)) return of(self).instrument().value(static_cast<int32_t>(id));
    if (id == kProgramId) return static_cast<double>(of(self).instrument().program()) / (kNumPrograms - 1);
    return id == kBendId ? kBendCentre : 0.0;
}

// What the host shows, echoed to the controller, often late: the sound
// takes its values from the blocks alone, where each lands at its frame, so
// an echo arriving mid-block cannot undo a newer point. The editor shows
// the instrument's values, so there is nothing to keep here. A program the
// host picks is the exception: hosts pick programs on the controller alone,
// so another program is selected here; its echo of a block's program
// change finds that program current and changes nothing.
v3_result V3_API setNormalised(void* self, v3_param_id id, double value) {  // main
    Vst3Synth& synth = of(self);
    if (!isParam(id)) return V3_INVALID_ARG;
    if (id == kProgramId && programOf(value) != synth.instrument().program()) synth.selectProgram(programOf(value));
    synth.tellHost();
    return V3_OK;
}

v3_result V3_API setHandler(void* self, v3_component_handler** handler) { return of(self).setHandler(handler); }  // main
v3_plugin_view** V3_API view(void* self, const char* name) { return createView(of(self), name); }                 // main

// Bend and the all-voices-off controller, from every channel: the
// instrument plays every channel alike.
v3_result V3_API midiAssignment(void*, int32_t bus, int16_t channel, int16_t cc, v3_param_id* id) {  // main
    constexpr int16_t kPitchBend = 129;
    if (!id || bus != 0 || channel < 0 || channel > 15) return V3_FALSE;
    if (cc == kPitchBend) *id = kBendId;
    else if (cc == 126) *id = kAllOffId;
    else return V3_FALSE;
    return V3_OK;
}

// --- units: the root unit and its program list ---------------------------------

int32_t V3_API unitCount(void*) { return 1; }  // main

v3_result V3_API unitInfo(void*, int32_t index, v3_unit_info* info) {  // main
    if (!info || index != 0) return V3_INVALID_ARG;
    *info = v3_unit_info{};
    info->id = 0;
    info->parent_unit_id = -1;
    toUtf16(info->name, kProductName, 128);
    info->program_list_id = kProgramListId;
    return V3_OK;
}

int32_t V3_API programListCount(void*) { return 1; }  // main

v3_result V3_API programListInfo(void*, int32_t index, v3_program_list_info* info) {  // main
    if (!info || index != 0) return V3_INVALID_ARG;
    *info = v3_program_list_info{};
    info->id = kProgramListId;
    toUtf16(info->name, "Programs", 128);
    info->programCount = kNumPrograms;
    return V3_OK;
}

// The names as they stand now.
v3_result V3_API programName(void* self, int32_t list, int32_t index, v3_str_128 out) {  // main
    char name[kProgramNameSize];
    if (!out || list != kProgramListId || !of(self).instrument().programName(index, name, sizeof name))
        return V3_INVALID_ARG;
    toUtf16(out, name, 128);
    return V3_OK;
}

// No program attributes, pitch names or program data: the programs are
// their twelve values, which the parameters carry.
v3_result V3_API programInfo(void*, int32_t, int32_t, const char*, v3_str_128) { return V3_NOT_IMPLEMENTED; }  // main
v3_result V3_API hasPitchNames(void*, int32_t, int32_t) { return V3_FALSE; }                                   // main
v3_result V3_API pitchName(void*, int32_t, int32_t, int16_t, v3_str_128) { return V3_FALSE; }                  // main
int32_t V3_API selectedUnit(void*) { return 0; }                                                               // main
v3_result V3_API selectUnit(void*, int32_t unit) { return unit == 0 ? V3_OK : V3_INVALID_ARG; }                // main
v3_result V3_API unitByBus(void*, int32_t, int32_t, int32_t, int32_t, int32_t*) { return V3_FALSE; }            // main
v3_result V3_API programData(void*, int32_t, int32_t, v3_bstream**) { return V3_NOT_IMPLEMENTED; }              // main

}  // namespace

const v3_edit_controller_cpp kControllerTable = {
    {queryFace, refFace, unrefFace},
    {initializeFace, terminateFace},
    {setComponentState, setControllerState, getControllerState, parameterCount, parameterInfo, stringForValue,
     valueForString, toPlain, toNormalised, getNormalised, setNormalised, setHandler, view},
};

const v3_midi_mapping_cpp kMidiMappingTable = {
    {queryFace, refFace, unrefFace},
    {midiAssignment},
};

const v3_unit_information_cpp kUnitInfoTable = {
    {queryFace, refFace, unrefFace},
    {unitCount, unitInfo, programListCount, programListInfo, programName, programInfo, hasPitchNames, pitchName,
     selectedUnit, selectUnit, unitByBus, programData},
};

}  // namespace orvo::vst3
