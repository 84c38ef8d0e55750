// Many inputs in one run: which files a command line names, where each
// render goes, and the line that sums the run up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli.h"
#include "job.h"

namespace orvo::render {

// The output named after an input: its name with `extension` ("wav" or
// "flac") instead of its own, beside it or in `outDir`.
std::string outputFor(const std::string& input, const std::string& outDir, const std::string& extension);

// The renders the options ask for: the demo, or each --midi (a folder adds
// its .mid and .midi files in name order). Throws UsageError for outputs that
// cannot be told apart or do not fit the inputs.
std::vector<Job> planJobs(const Options& options);

struct JobOutcome {
    std::string input;
    JobResult result;
    bool skipped = false;
};
// "3 files: 2 rendered, 1 failed (bad.mid)", with the clipped and the
// skipped where there are any.
std::string batchSummary(const std::vector<JobOutcome>& outcomes);

// Renders every planned job; returns the run's exit status.
int runRenders(const Options& options);

// --list-tracks: each input's tracks, to choose a part from.
int listTracks(const Options& options);

}  // namespace orvo::render
