#include "batch.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

#include "midi_file.h"
#include "part.h"

namespace fs = std::filesystem;

namespace orvo::render {
namespace {

std::string lowerExtension(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

// A folder's MIDI files by name; a folder without any is a failed input of
// its own, so that the rest of the run still renders.
void addFolder(const std::string& folder, std::vector<Job>& jobs) {
    std::vector<std::string> files;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        std::string ext = lowerExtension(entry.path());
        if ((ext == ".mid" || ext == ".midi") && entry.is_regular_file(error)) files.push_back(entry.path().string());
    }
    if (error) {
        jobs.push_back({folder, "", "cannot read the folder '" + folder + "': " + error.message()});
        return;
    }
    if (files.empty()) jobs.push_back({folder, "", "the folder '" + folder + "' holds no .mid or .midi files"});
    std::sort(files.begin(), files.end());
    for (std::string& file : files) jobs.push_back({file, "", ""});
}

// Each --midi as a job without its output yet: folders opened up.
std::vector<Job> expandInputs(const std::vector<std::string>& inputs) {
    std::vector<Job> jobs;
    for (const std::string& input : inputs) {
        std::error_code error;
        if (input != "-" && fs::is_directory(input, error))
            addFolder(input, jobs);
        else
            jobs.push_back({input, "", ""});
    }
    return jobs;
}

std::string shortList(const std::vector<std::string>& names) {
    constexpr size_t kShown = 4;
    std::string list;
    for (size_t i = 0; i < names.size() && i < kShown; ++i) list += (i ? ", " : "") + names[i];
    if (names.size() > kShown) list += " and " + std::to_string(names.size() - kShown) + " more";
    return list;
}

}  // namespace

std::string outputFor(const std::string& input, const std::string& outDir, const std::string& extension) {
    fs::path name = fs::path(input).filename().replace_extension(extension);
    if (!outDir.empty()) return (fs::path(outDir) / name).string();
    return (fs::path(input).parent_path() / name).string();
}

std::vector<Job> planJobs(const Options& options) {
    const std::string extension = options.format.empty() ? "wav" : options.format;
    if (!options.format.empty() && !options.out.empty() && options.out != "-" &&
        lowerExtension(options.out) != "." + options.format)
        throw UsageError("--out '" + options.out + "' does not end in ." + options.format + " as --format asks");
    if (options.out == "-" && ::isatty(STDOUT_FILENO) == 1)
        throw UsageError("--out - writes audio to standard output, which is a terminal: redirect it to a file or a pipe");

    std::vector<Job> jobs;
    if (options.midi.empty()) {
        std::string out = options.out.empty() ? "orvo-demo." + extension : options.out;
        if (!options.outDir.empty()) out = (fs::path(options.outDir) / out).string();
        jobs.push_back({"", out, ""});
        return jobs;
    }
    jobs = expandInputs(options.midi);
    const bool fromStdin = std::any_of(jobs.begin(), jobs.end(), [](const Job& j) { return j.input == "-"; });
    if (jobs.size() > 1 && fromStdin)
        throw UsageError("--midi - (standard input) must be the only input");
    if (jobs.size() > 1 && !options.out.empty())
        throw UsageError("--out names the output of one input, and there are " + std::to_string(jobs.size()) +
                         ": leave it out to name each after its input (--out-dir DIR puts them elsewhere)");
    if (fromStdin && options.out.empty())
        throw UsageError("--midi - needs --out FILE, or --out - for standard output");

    std::map<std::string, std::string> taken;  // output, by whichever input claimed it
    for (Job& job : jobs) {
        if (!job.problem.empty()) continue;
        job.output = options.out.empty() ? outputFor(job.input, options.outDir, extension) : options.out;
        std::string key = fs::path(job.output).lexically_normal().string();
        if (job.output != "-" && key == fs::path(job.input).lexically_normal().string())
            throw UsageError("'" + job.input + "' would be rendered over itself");
        auto [where, fresh] = taken.emplace(key, job.input);
        if (!fresh)
            throw UsageError("'" + where->second + "' and '" + job.input + "' would both be rendered to '" +
                             job.output + "'");
    }
    return jobs;
}

std::string batchSummary(const std::vector<JobOutcome>& outcomes) {
    std::vector<std::string> failed, clipped, skipped;
    int rendered = 0;
    int64_t clippedSamples = 0;
    for (const JobOutcome& o : outcomes) {
        if (o.skipped) {
            skipped.push_back(o.input);
        } else if (o.result.status != kExitOk) {
            failed.push_back(o.input);
        } else {
            ++rendered;
            if (o.result.clipped) clipped.push_back(o.input);
            clippedSamples += o.result.clipped;
        }
    }
    std::string line = std::to_string(outcomes.size()) + " files: " + std::to_string(rendered) + " rendered";
    if (!failed.empty()) line += ", " + std::to_string(failed.size()) + " failed (" + shortList(failed) + ")";
    if (!skipped.empty()) line += ", " + std::to_string(skipped.size()) + " skipped (" + shortList(skipped) + ")";
    if (!clipped.empty())
        line += "; " + std::to_string(clippedSamples) + " samples clipped in " + std::to_string(clipped.size()) +
                (clipped.size() == 1 ? " file (" : " files (") + shortList(clipped) + ")";
    return line;
}

int runRenders(const Options& options) {
    std::vector<Job> jobs = planJobs(options);
    if (!options.outDir.empty()) {
        std::error_code error;
        fs::create_directories(options.outDir, error);
        if (error) {
            printError("cannot make the folder '" + options.outDir + "': " + error.message());
            return kExitFailed;
        }
    }
    // Standard output may carry the audio: the report then goes where the
    // errors go.
    std::FILE* report = options.out == "-" ? stderr : stdout;
    StopSignals stop;
    std::vector<JobOutcome> outcomes;
    int worst = kExitOk;
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (StopSignals::requested()) return kExitInterrupted;
        JobResult result = renderJob(options, jobs[i], report);
        if (result.status == kExitInterrupted) return kExitInterrupted;
        outcomes.push_back({jobs[i].input, result, false});
        worst = std::max(worst, result.status);
        if (result.stopsBatch) {
            for (size_t j = i + 1; j < jobs.size(); ++j) outcomes.push_back({jobs[j].input, {}, true});
            break;
        }
    }
    if (jobs.size() > 1 && !options.quiet) std::fprintf(report, "%s\n", batchSummary(outcomes).c_str());
    return worst;
}

int listTracks(const Options& options) {
    int status = kExitOk;
    bool first = true;
    for (const Job& input : expandInputs(options.midi)) {
        try {
            if (!input.problem.empty()) throw MidiError(input.problem);
            MidiFile midi = input.input == "-" ? readMidiStream(STDIN_FILENO, "standard input")
                                               : readMidiFile(input.input);
            std::printf("%s%s: format %d, %d %s, %.1f s\n", first ? "" : "\n",
                        input.input == "-" ? "standard input" : input.input.c_str(), midi.format, midi.trackCount,
                        midi.trackCount == 1 ? "track" : "tracks", double(midi.tickToFrame(midi.endTick, 1000)) / 1000);
            std::fputs(trackTable(midi).c_str(), stdout);
            first = false;
        } catch (const std::exception& e) {
            std::fflush(stdout);
            printError(e.what());
            status = kExitFailed;
        }
    }
    return status;
}

}  // namespace orvo::render
