// Where orvo-render and orvo-play find the instrument when no --plugin is
// given: in a build folder it sits beside them, in an installed tree it sits
// where VST 2 hosts look for it.
#pragma once

#include <string>
#include <vector>

namespace orvo::render {

// The folders searched, in order, for OrvoSwitch.so: the executable's own
// (a build folder), ../lib/vst from it (a system or prefix install, with the
// tools in bin/), then $HOME/.vst (a user install, whose tools are in
// ~/.local/bin). exeDir ends in '/'; home may be null or empty, and then
// there is no user folder to search.
std::vector<std::string> pluginSearchPlaces(const std::string& exeDir, const char* home);
// The first of those that has one; with none, the path beside the
// executable, so that the error names where a build puts it.
std::string findDefaultPlugin(const std::string& exeDir, const char* home);
// For a newcomer who has neither built nor installed it: every place
// searched, and the commands that put it in one.
std::string missingPluginMessage(const std::vector<std::string>& places);

// `asked` when the user named a plug-in; else the default one, or a
// PluginError with missingPluginMessage.
std::string pluginToLoad(const std::string& asked);

}  // namespace orvo::render
