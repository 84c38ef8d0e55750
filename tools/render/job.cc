#include "job.h"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstring>
#include <optional>
#include <set>

#include "audio_out.h"
#include "demo.h"
#include "plugin_search.h"
#include "plugin_setup.h"
#include "preset_choice.h"
#include "levels.h"
#include "midi_file.h"
#include "part.h"
#include "plugin_host.h"
#include "progress.h"
#include "renderer.h"
#include "schedule.h"

namespace orvo::render {
namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) { interrupted.store(true); }

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A plug-in that crashes takes the host with it; the half-written file at
// least goes too. Only async-signal-safe calls here.
char crashCleanupPath[PATH_MAX] = {};

extern "C" void onCrash(int signal) {
    if (crashCleanupPath[0]) ::unlink(crashCleanupPath);
    static const char message[] = "orvo-render: crashed while running the plug-in; nothing was written\n";
    ssize_t ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// While an output file is being written, a crash removes it.
class CrashCleanup {
public:
    explicit CrashCleanup(const std::string& tempPath) {
        if (tempPath.size() >= sizeof crashCleanupPath) return;
        std::memcpy(crashCleanupPath, tempPath.c_str(), tempPath.size() + 1);
        for (int s : kCrashSignals) std::signal(s, onCrash);
    }
    ~CrashCleanup() {
        for (int s : kCrashSignals) std::signal(s, SIG_DFL);
        crashCleanupPath[0] = '\0';
    }

private:
    static constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
};

std::string formatDb(float peak) {
    if (!(peak > 0.0f)) return "-inf dBFS";
    double db = 20.0 * std::log10(double(peak));
    if (std::fabs(db) < 0.05) db = 0.0;  // the top step of an integer file is full scale, not "-0.0"
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dBFS", db);
    return text;
}

std::string formatGain(float gain) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f dB", 20.0 * std::log10(double(gain)));
    return text;
}

std::string inputName(const Job& job) {
    if (job.input.empty()) return "the demo";
    return job.input == "-" ? "standard input" : "'" + job.input + "'";
}

// The timeline of the job's MIDI, of the part the options choose.
Timeline midiTimeline(const Options& options, const Job& job) {
    MidiFile file = job.input == "-" ? readMidiStream(STDIN_FILENO, "standard input") : readMidiFile(job.input);
    Part part;
    try {
        part = selectPart(file, PartChoice{options.channels, options.tracks});
    } catch (const PartError& e) {
        throw PartError(inputName(job) + ": " + e.what());
    }
    if (part.drumsLeftOut && !options.quiet)
        std::fprintf(stderr,
                     "orvo-render: note: %s plays channel 10 (General MIDI drums) beside other channels; it is "
                     "left out (--channel 10 brings it back)\n",
                     inputName(job).c_str());
    Timeline timeline = timelineFromMidi(part.midi, options.rate);
    return options.sustain ? applySustain(std::move(timeline)) : timeline;
}

void openOutput(std::optional<AudioFileWriter>& writer, const Options& options, const Job& job, int64_t maxFrames) {
    std::optional<SampleFormat> format;
    if (!options.bits.empty()) format = parseSampleFormat(options.bits);
    if (job.output == "-")
        writer.emplace(AudioFileWriter::Stream{STDOUT_FILENO, "out." + (options.format.empty() ? "wav" : options.format)},
                       options.rate, format, maxFrames);
    else
        writer.emplace(job.output, options.rate, format, maxFrames);
}

int bitsOf(SampleFormat format) {
    return format == SampleFormat::Pcm16 ? 16 : format == SampleFormat::Pcm24 ? 24 : 32;
}

}  // namespace

void printError(const std::string& message) { std::fprintf(stderr, "orvo-render: %s\n", message.c_str()); }

StopSignals::StopSignals() {
    interrupted.store(false);
    for (int s : kStopSignals) std::signal(s, onInterrupt);
}
StopSignals::~StopSignals() {
    for (int s : kStopSignals) std::signal(s, SIG_DFL);
}
bool StopSignals::requested() { return interrupted.load(); }

std::set<int> configurePlugin(PluginHost& host, const Options& options) {
    return applySound(host, SoundChoice{options.program, options.preset, options.params});
}

JobResult renderJob(const Options& options, const Job& job, std::FILE* report) {
    JobResult result;
    try {
        if (!job.problem.empty()) throw MidiError(job.problem);
        std::string pluginPath = pluginToLoad(options.plugin);

        // The cheap checks first: a corrupt MIDI file or an unwritable output
        // should not wait for the plug-in to load, nor a render to finish.
        std::optional<Timeline> midi;
        if (!job.input.empty()) midi = midiTimeline(options, job);
        RenderSettings settings;
        settings.sampleRate = options.rate;
        settings.blockSize = options.block;
        settings.tailSeconds = options.tail;
        // The demo's length does not depend on the plug-in's parameters.
        int64_t end = timelineEnd(midi ? *midi : demoTimeline(options.rate, [](const std::string&) { return -1; }));
        RenderLength length = renderLength(end, settings);
        std::optional<AudioFileWriter> writer;
        openOutput(writer, options, job, length.longest);
        if (auto warning = longRenderWarning(length.expected, options.rate)) printError(*warning);
        CrashCleanup crashCleanup(writer->temporaryPath());

        PluginHost host(pluginPath, HostSettings{options.rate, options.block});
        std::set<int> fixedParams = configurePlugin(host, options);
        Timeline timeline = midi ? std::move(*midi) : demoTimeline(options.rate, [&](const std::string& name) {
            int index = host.findParam(name);
            return fixedParams.count(index) ? -1 : index;
        });
        BlockScheduler schedule(std::move(timeline), options.block);

        // Normalizing needs the render's peak before the first sample is
        // written; a fixed gain can go straight through.
        std::optional<FloatSpool> spool;
        std::optional<GainSink> gain;
        FrameSink* sink = &*writer;
        if (options.normalizeDb)
            sink = &spool.emplace();
        else if (options.gainDb)
            sink = &gain.emplace(*writer, float(dbToGain(*options.gainDb)));

        std::string label = job.input.empty() ? "demo" : job.input == "-" ? "stdin" : job.input;
        ProgressBar bar(stderr, !options.quiet, label, options.rate);
        RenderStats stats = render(
            host, schedule, settings, *sink, [&](int64_t done, int64_t expected) { bar.update(done, expected); },
            &interrupted);
        bar.clear();
        if (stats.cancelled) {
            writer->discard();
            printError("interrupted; nothing was written to " +
                       (job.output == "-" ? std::string("standard output") : "'" + job.output + "'"));
            result.status = kExitInterrupted;
            return result;
        }

        float appliedGain = 1.0f;
        float peak = stats.peak;
        if (spool) {
            appliedGain = normalizingGain(spool->peak(), *options.normalizeDb,
                                          writer->format() != SampleFormat::Float32, bitsOf(writer->format()));
            if (!(spool->peak() > 0.0f)) printError("warning: " + inputName(job) + " renders silence; not normalized");
            spool->replay(*writer, appliedGain);
            peak = spool->peak() * appliedGain;
        } else if (gain) {
            appliedGain = float(dbToGain(*options.gainDb));
            peak = gain->peak();
        }

        std::string where = writer->commit();
        result.clipped = writer->clippedSamples();
        if (result.clipped > 0)
            printError("warning: " + std::to_string(result.clipped) + " samples clipped in the " +
                       describe(writer->format()) + " output of " + inputName(job) + " (peak " + formatDb(peak) +
                       "); lower it with --gain or --normalize, or keep the overs with --bits 32f");
        if (peak == 0.0f && !spool) printError("warning: the render of " + inputName(job) + " is silent");
        if (!options.quiet) {
            double seconds = double(stats.frames) / options.rate;
            std::string extras;
            if (spool || gain) extras += ", gain " + formatGain(appliedGain);
            if (result.clipped) extras += ", " + std::to_string(result.clipped) + " samples clipped";
            std::fprintf(report, "Rendered %.2f s (%lld frames, %d Hz, %s), peak %s%s, %.0fx real time -> %s\n",
                         seconds, static_cast<long long>(stats.frames), options.rate, describe(writer->format()),
                         formatDb(peak).c_str(), extras.c_str(),
                         stats.wallSeconds > 0 ? seconds / stats.wallSeconds : 0.0, where.c_str());
            std::fflush(report);
        }
        return result;
    } catch (const UsageError& e) {
        printError(e.what());
        result.status = kExitUsage;
    } catch (const OutputChoiceError& e) {
        printError(e.what());
        result.status = kExitUsage;
    } catch (const PluginError& e) {
        printError(e.what());
        result.status = kExitFailed;
        result.stopsBatch = true;  // a plug-in that does not load fails every file alike
    } catch (const PresetFileError& e) {
        printError(e.what());
        result.status = kExitFailed;
        result.stopsBatch = true;
    } catch (const std::exception& e) {
        printError(e.what());
        result.status = kExitFailed;
    }
    // The same options fail every file alike.
    if (result.status == kExitUsage) result.stopsBatch = true;
    return result;
}

}  // namespace orvo::render
