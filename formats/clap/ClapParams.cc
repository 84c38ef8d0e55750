// The parameter and state extensions: the twelve values as CLAP parameters,
// and the state a host saves with its project.
#include <cstdio>
#include <cstring>

#include "ClapSynth.h"
#include "ParamTable.h"
#include "Text.h"

namespace orvo::clap {
namespace {

bool isParam(clap_id id) { return id < static_cast<clap_id>(kNumParams); }

uint32_t CLAP_ABI paramCount(const clap_plugin_t*) { return kNumParams; }  // main

bool CLAP_ABI paramInfo(const clap_plugin_t*, uint32_t index, clap_param_info_t* info) {  // main
    if (!info || !isParam(index)) return false;
    *info = clap_param_info_t{};
    info->id = index;
    info->flags = CLAP_PARAM_IS_AUTOMATABLE;
    info->cookie = nullptr;
    copyText(info->name, kParams[index].name, sizeof info->name);
    info->module[0] = '\0';
    info->min_value = 0.0;
    info->max_value = 1.0;
    info->default_value = kParams[index].defaultValue;
    return true;
}

bool CLAP_ABI paramValue(const clap_plugin_t* p, clap_id id, double* value) {  // main
    if (!value || !isParam(id)) return false;
    *value = ClapSynth::of(p).value(static_cast<int>(id));
    return true;
}

// The VST 2 plug-in's display and its label, as in "0.50 /1".
bool CLAP_ABI paramToText(const clap_plugin_t*, clap_id id, double value, char* text, uint32_t size) {  // main
    if (!text || size == 0 || !isParam(id)) return false;
    char number[kFloatTextMax];
    floatToText(number, valueFromHost(value), sizeof number);
    std::snprintf(text, size, "%s %s", number, kParams[id].label);
    return true;
}

// Takes what paramToText writes (valueFromText).
bool CLAP_ABI paramFromText(const clap_plugin_t*, clap_id id, const char* text, double* value) {  // main
    return value && isParam(id) && valueFromText(text, kParams[id].label, *value);
}

void CLAP_ABI paramFlush(const clap_plugin_t* p, const clap_input_events_t* in, const clap_output_events_t* out) {
    ClapSynth::of(p).flush(in, out);  // audio while active, main otherwise
}

bool CLAP_ABI stateSave(const clap_plugin_t* p, const clap_ostream_t* stream) {  // main
    return ClapSynth::of(p).save(stream);
}
bool CLAP_ABI stateLoad(const clap_plugin_t* p, const clap_istream_t* stream) {  // main
    return ClapSynth::of(p).load(stream);
}

// The instrument's own state, read through whole: anything longer than this
// is not one of ours.
constexpr size_t kStateLimit = 4096;

}  // namespace

bool ClapSynth::save(const clap_ostream_t* stream) const {
    if (!stream || !stream->write) return false;
    unsigned char bytes[kStateSize];
    instrument_.saveState(bytes);
    for (size_t done = 0; done < kStateSize;) {
        const int64_t n = stream->write(stream, bytes + done, kStateSize - done);
        if (n <= 0 || static_cast<uint64_t>(n) > kStateSize - done) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Read whole and checked before anything is applied: a refused stream
// leaves the instrument exactly as it was.
bool ClapSynth::load(const clap_istream_t* stream) {
    if (!stream || !stream->read || !onMainThread()) return false;
    unsigned char bytes[kStateLimit + 1];
    size_t size = 0;
    for (;;) {
        const int64_t n = stream->read(stream, bytes + size, sizeof bytes - size);
        if (n < 0 || static_cast<uint64_t>(n) > sizeof bytes - size) return false;
        if (n == 0) break;
        size += static_cast<size_t>(n);
        if (size > kStateLimit) return false;
    }
    if (!instrument_.loadState(bytes, size)) return false;
    if (hostParams_ && hostParams_->rescan) hostParams_->rescan(host_, CLAP_PARAM_RESCAN_VALUES);
    return true;
}

const clap_plugin_params_t kParamsExtension = {paramCount, paramInfo, paramValue, paramToText, paramFromText, paramFlush};
const clap_plugin_state_t kStateExtension = {stateSave, stateLoad};

}  // namespace orvo::clap
