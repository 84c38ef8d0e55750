// What every host tool does with a freshly loaded plug-in before it plays:
// select the program the user asked for, apply NAME=VALUE parameters, or list
// what the plug-in has. Shared by orvo-render and orvo-play.
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
void applyProgram(PluginHost& host, std::optional<int> program);
// Applies each NAME=VALUE in order; returns the indices set.
std::set<int> applyParams(PluginHost& host, const std::vector<std::string>& assignments);
// The plug-in's names, programs and parameters, to standard output.
void listPlugin(PluginHost& host);

}  // namespace orvo::render
