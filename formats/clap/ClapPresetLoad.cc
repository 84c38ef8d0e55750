// The preset-load extension: what a host's preset browser found through the
// discovery factory (PresetDiscovery.cc), loaded into this instance. A
// program file comes by its path, a factory preset by its name as the load
// key; either way the twelve values are applied as a loaded state's are.
#include <charconv>
#include <string>

#include "ClapSynth.h"
#include "FactoryLibrary.h"
#include "ParamTable.h"
#include "ProgramFile.h"

namespace orvo::clap {
namespace {

bool CLAP_ABI fromLocation(const clap_plugin_t* p, uint32_t kind, const char* location, const char* key) {  // main
    return ClapSynth::of(p).loadPreset(kind, location, key);
}

// A bank's program by its number in the bank, as the discovery factory
// gives it for a bank file; a program file's one program without a key.
const ProgramFile* pick(const ProgramRead& read, const char* key, std::string& error) {
    if (read.programs.size() == 1 && (!key || !*key)) return &read.programs[0];
    size_t index = 0;
    const std::string_view text = key ? key : "";
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), index);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || index >= read.programs.size()) {
        error = "no program \"" + std::string(text) + "\" in the file";
        return nullptr;
    }
    return &read.programs[index];
}

}  // namespace

const presets::PluginPresetLoad kPresetLoadExtension = {fromLocation};

bool ClapSynth::loadPreset(uint32_t kind, const char* location, const char* key) {
    std::string error;
    const float* values = nullptr;  // the twelve of the preset, once found
    std::string name;
    ProgramRead read;
    if (!onMainThread()) {
        error = "a preset loads on the main thread only";
    } else if (kind == presets::kLocationFile) {
        read = location ? readProgramFile(std::string(location)) : ProgramRead{{}, "no file named"};
        error = read.error;
        if (const ProgramFile* program = error.empty() ? pick(read, key, error) : nullptr) {
            values = program->values.data();
            name = program->name;
        }
    } else if (kind == presets::kLocationPlugin) {
        if (const FactoryPreset* preset = key ? findFactoryPreset(key) : nullptr) {
            values = preset->values;
            name = preset->name;
        } else {
            error = std::string("no factory preset named \"") + (key ? key : "") + "\"";
        }
    } else {
        error = "an unknown kind of preset location";
    }
    if (!values) {
        if (hostPresetLoad_) hostPresetLoad_->on_error(host_, kind, location, key, 0, error.c_str());
        return false;
    }
    instrument_.setValues(std::span<const float, kNumParams>(values, kNumParams));
    instrument_.setProgramName(instrument_.program(), name.c_str());
    if (hostParams_ && hostParams_->rescan) hostParams_->rescan(host_, CLAP_PARAM_RESCAN_VALUES);
    if (hostState_) hostState_->mark_dirty(host_);
    if (hostPresetLoad_) hostPresetLoad_->loaded(host_, kind, location, kind == presets::kLocationPlugin ||
                                                 read.programs.size() > 1 ? key : nullptr);
    return true;
}

}  // namespace orvo::clap
