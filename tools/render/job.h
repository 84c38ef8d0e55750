// One render of a batch: a MIDI file, standard input or the demo, through a
// fresh instance of the plug-in, into one output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include "cli.h"

namespace orvo::render {

class PluginHost;

struct Job {
    std::string input;    // empty: the demo; "-": standard input
    std::string output;   // "-": standard output
    std::string problem;  // why the input cannot be rendered at all (a folder without MIDI files)
};

struct JobResult {
    int status = kExitOk;
    bool stopsBatch = false;  // the same fault would fail every file after it
    int64_t clipped = 0;      // samples beyond the integer format's range
};

// Renders `job`; its summary line goes to `report`, errors and warnings to
// stderr.
JobResult renderJob(const Options& options, const Job& job, std::FILE* report);

// Selects --program (else the current program again, now the rate is set),
// lays --preset over it and applies each --param, checking them against the plug-in; returns the parameters set, which the demo leaves alone.
std::set<int> configurePlugin(PluginHost& host, const Options& options);

// "orvo-render: <message>" on stderr.
void printError(const std::string& message);

// Ctrl-C, kill and hang-up, caught for the whole run: a render in progress
// stops at its next block and removes its file, and the batch stops there.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    static bool requested();
};

}  // namespace orvo::render
