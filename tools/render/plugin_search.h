// Where orvo-render and orvo-play find the instrument when no --plugin is
// given: in a build folder it sits beside them, in an installed tree it sits
// where VST 2 hosts look for it.
#pragma once

#include <string>

namespace orvo::render {

// The folders searched, in order, for OrvoSwitch.so: the executable's own
// (a build folder), ../lib/vst from it (a system or prefix install, with the
// tools in bin/), then $HOME/.vst (a user install, whose tools are in
// ~/.local/bin). The first that has one wins; with none, the path beside the
// executable, so that the error names where a build puts it. exeDir ends in
// '/'; home may be null or empty.
std::string findDefaultPlugin(const std::string& exeDir, const char* home);

}  // namespace orvo::render
