// What every host tool does with a freshly loaded plug-in before it plays:
// select the program the user asked for, lay a preset over it, apply
// NAME=VALUE parameters, or list what the plug-in has. Shared by orvo-render and orvo-play.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "plugin_host.h"

namespace orvo::render {

// Each throws UsageError (cli.h) for a request that cannot work with this
// plug-in, whatever the machine: a program out of range, an unknown
// parameter name, a value outside 0..1.
//
// Selects `program`, or re-selects the current one when none is asked for.
// Call it once the rate is set, and again whenever the rate changes: the
// instrument converts most values at the rate in force when they are set
// or their program selected, and it made its programs at a default rate
// before it heard ours. Selecting after the rate, as hosts do when they
// load a session, converts every value at the rate the audio runs at, so
// the sound does not depend on whether a program was asked for. It keeps
// parameter edits in its current program, so re-selecting loses none.
void applyProgram(PluginHost& host, std::optional<int> program);
// Applies each NAME=VALUE in order; returns the indices set.
std::set<int> applyParams(PluginHost& host, const std::vector<std::string>& assignments);

// The sound the command line asks for: a program, a preset laid over it
// (preset_choice.h), NAME=VALUE edits over both.
struct SoundChoice {
    std::optional<int> program;
    std::string preset;  // empty: none
    std::vector<std::string> params;
};
// In that order, so --param tweaks a preset; returns the indices --param set.
std::set<int> applySound(PluginHost& host, const SoundChoice& choice);
// The plug-in's names, programs and parameters, to standard output.
void listPlugin(PluginHost& host);

}  // namespace orvo::render
