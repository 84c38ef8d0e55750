// What every host tool does with a freshly loaded plug-in before it plays:
// select the program the user asked for, apply NAME=VALUE parameters, or list
// what the plug-in has. Shared by orvo-render and orvo-play.
#pragma once

#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugin_host.h"

namespace orvo::host {

// A request that cannot work with this plug-in, whatever the machine: a
// program out of range, an unknown parameter name, a value outside 0..1.
class SetupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void applyProgram(render::PluginHost& host, std::optional<int> program);
// Applies each NAME=VALUE in order; returns the indices set.
std::set<int> applyParams(render::PluginHost& host, const std::vector<std::string>& assignments);
// The plug-in's names, programs and parameters, to standard output.
void listPlugin(render::PluginHost& host);

}  // namespace orvo::host
