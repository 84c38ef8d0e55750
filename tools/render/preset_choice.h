// --preset and --list-presets, for orvo-render and orvo-play alike: a sound
// from the factory library by name, or one a host or orvo-play saved as a
// program file, laid over the selected program.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

#include "ProgramFile.h"
#include "plugin_host.h"

namespace orvo::render {

// A program file that cannot be read or holds no single program: the
// file's fault (exit status 1), where an unknown name is the command line's.
class PresetFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What --preset names: a path when it ends in .fxp or .fxb or names an
// existing file, else a factory preset (ignoring case). Throws UsageError
// for an unknown name, PresetFileError for a file that will not do.
ProgramFile choosePreset(const std::string& what);

// Sets the twelve values through the host, in the order a program change
// applies them, and names the current program after the preset. Throws
// UsageError for a plug-in that is not the instrument.
void applyPreset(PluginHost& host, const ProgramFile& preset);

// Throws UsageError, naming `option`, for a plug-in whose sounds a program
// file of ours cannot hold.
void mustBeTheInstrument(PluginHost& host, const char* option);
// The program the plug-in is on, as a program file holds it; the plug-in
// must be the instrument.
ProgramFile currentPreset(PluginHost& host);

// Writes `preset` as a program file: whole, or not at all. Throws
// PresetFileError naming the reason.
void savePreset(const std::string& path, const ProgramFile& preset);
// Whether a file could be made at `path` (its folder exists and takes
// writes), so a session does not end with its sound lost; empty when it
// could, else the reason.
std::string presetTargetProblem(const std::string& path);

// Name, category and description of each factory preset.
void listPresets(std::FILE* out);

}  // namespace orvo::render
