// orvo-play's command line and its run: load the plug-in, join the JACK
// graph, open the editor, record, and report on the terminal until Ctrl-C
// or the server goes away.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvo::play {

struct Options {
    std::string plugin;  // empty: OrvoSwitch.so beside the executable
    std::string server;  // JACK server name; empty: the default one
    std::vector<std::string> midiIn, audioOut;
    bool noConnect = false;
    bool noEditor = false;
    double scale = 0.0;  // the editor's, 1..3; 0: the plug-in takes the screen's
    std::optional<int> program;
    std::string preset;      // a factory preset's name or a program file; empty: none
    std::vector<std::string> params;
    std::string savePreset;  // where the sound it ends on goes, as a program file
    std::string record;
    std::string bits;
    bool list = false;
    bool listPresets = false;
    bool quiet = false;
};

// Exit statuses: 0 ended by the user, 1 a server, plug-in or file problem,
// 2 the command line (options, names, ports).
int runCommandLine(int argc, const char* const* argv);
int run(const Options& options);

}  // namespace orvo::play
