#include "cli.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <set>

#include "audio_out.h"
#include "demo.h"
#include "midi_file.h"
#include "plugin_host.h"
#include "renderer.h"
#include "schedule.h"

namespace orvo::render {
namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) { interrupted.store(true); }

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

// While an output file is being written: a crash removes it, and Ctrl-C or
// a kill stops the render at the next block, which then removes it.
class SignalGuard {
public:
    explicit SignalGuard(const std::string& tempPath) {
        interrupted.store(false);
        for (int s : kStopSignals) std::signal(s, onInterrupt);
        if (tempPath.size() >= sizeof crashCleanupPath) return;
        std::memcpy(crashCleanupPath, tempPath.c_str(), tempPath.size() + 1);
        for (int s : kCrashSignals) std::signal(s, onCrash);
    }
    ~SignalGuard() {
        for (int s : kCrashSignals) std::signal(s, SIG_DFL);
        for (int s : kStopSignals) std::signal(s, SIG_DFL);
        crashCleanupPath[0] = '\0';
    }

private:
    static constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
    static constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
};

// A problem with what the user typed rather than with a file.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void fail(const std::string& message) { std::fprintf(stderr, "orvo-render: %s\n", message.c_str()); }

std::string formatDb(float peak) {
    if (!(peak > 0.0f)) return "-inf dBFS";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dBFS", 20.0 * std::log10(double(peak)));
    return text;
}

// Drawn on stderr only when it is a terminal and the render has taken over
// a second, so quick renders and scripts' logs stay clean.
class ProgressBar {
public:
    explicit ProgressBar(int sampleRate)
        : rate_(sampleRate), enabled_(::isatty(STDERR_FILENO) == 1), start_(std::chrono::steady_clock::now()) {}
    ~ProgressBar() { clear(); }

    void update(int64_t done, int64_t expected) {
        if (!enabled_) return;
        auto now = std::chrono::steady_clock::now();
        if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        constexpr int kWidth = 30;
        double share = expected > 0 ? std::min(1.0, double(done) / double(expected)) : 0.0;
        int filled = static_cast<int>(share * kWidth);
        char bar[kWidth + 1];
        for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
        bar[kWidth] = '\0';
        std::fprintf(stderr, "\r[%s] %3d%%  %.1f / %.1f s", bar, int(share * 100), double(done) / rate_,
                     double(expected) / rate_);
        std::fflush(stderr);
        drawn_ = true;
    }
    void clear() {
        if (drawn_) std::fprintf(stderr, "\r\033[K");
        drawn_ = false;
    }

private:
    int rate_;
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_, last_{};
};

void applyProgram(PluginHost& host, const Options& options) {
    if (!options.program) return;
    int program = *options.program;
    if (program < 0 || program >= host.numPrograms())
        throw UsageError("--program " + std::to_string(program) + " is out of range: the plug-in has " +
                         std::to_string(host.numPrograms()) + " programs (0 to " +
                         std::to_string(host.numPrograms() - 1) + ")");
    host.setProgram(program);
}

std::string parameterNames(PluginHost& host) {
    std::string names;
    for (int i = 0; i < host.numParams(); ++i) names += (i ? ", " : "") + host.paramName(i);
    return names.empty() ? "none" : names;
}

// Applies each NAME=VALUE; returns the indices set, which the demo leaves alone.
std::set<int> applyParams(PluginHost& host, const Options& options) {
    std::set<int> touched;
    for (const std::string& assignment : options.params) {
        auto eq = assignment.find('=');
        if (eq == std::string::npos || eq == 0)
            throw UsageError("--param '" + assignment + "' is not NAME=VALUE");
        std::string name = assignment.substr(0, eq), text = assignment.substr(eq + 1);
        int index = host.findParam(name);
        if (index < 0)
            throw UsageError("unknown parameter '" + name + "'; the plug-in's parameters are: " + parameterNames(host));
        char* end = nullptr;
        float value = std::strtof(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !(value >= 0.0f && value <= 1.0f))
            throw UsageError("--param " + name + ": '" + text + "' is not a value from 0 to 1");
        host.setParameter(index, value);
        touched.insert(index);
    }
    return touched;
}

void list(PluginHost& host) {
    std::printf("%s: %s by %s\n", host.effectName().c_str(), host.productString().c_str(),
                host.vendorString().c_str());
    std::printf("plug-in  %s\n", host.path().c_str());
    std::printf("outputs  %d, inputs %d\n\n", host.numOutputs(), host.effect()->numInputs);
    int current = static_cast<int>(host.dispatch(effGetProgram));
    std::printf("Programs (%d):\n", host.numPrograms());
    for (int i = 0; i < host.numPrograms(); ++i)
        std::printf("  %c%3d  %s\n", i == current ? '*' : ' ', i, host.programName(i).c_str());
    std::printf("\nParameters (%d), as in program %d:\n", host.numParams(), current);
    std::printf("  %3s  %-12s %-8s %s\n", "#", "name", "value", "display");
    for (int i = 0; i < host.numParams(); ++i)
        std::printf("  %3d  %-12s %-8.4f %s\n", i, host.paramName(i).c_str(), double(host.getParameter(i)),
                    host.paramDisplay(i).c_str());
}

}  // namespace

std::optional<std::string> longRenderWarning(int64_t frames, int sampleRate) {
    if (sampleRate <= 0 || frames <= int64_t(kLongRenderSeconds) * sampleRate) return std::nullopt;
    char text[160];
    std::snprintf(text, sizeof text,
                  "warning: this render runs %.1f hours of audio (%lld frames); Ctrl-C stops it and writes nothing",
                  double(frames) / sampleRate / 3600.0, static_cast<long long>(frames));
    return std::string(text);
}

Parsed parseCommandLine(int argc, const char* const* argv) {
    Parsed parsed;
    Options& o = parsed.options;
    CLI::App app{
        "Renders MIDI through a VST 2 instrument into a WAV or FLAC file. Without --midi it plays a "
        "short demo phrase (glides, both waves and the Mix switch, a filter sweep, pitch bend).",
        "orvo-render"};
    app.set_version_flag("--version", std::string("orvo-render ") + ORVO_RENDER_VERSION);
    app.add_option("--plugin", o.plugin, "VST 2 plug-in (.so) to load [default: OrvoSwitch.so beside orvo-render]");
    app.add_option("--midi", o.midi, "Standard MIDI File (format 0 or 1) to render instead of the demo");
    app.add_option("-o,--out", o.out, "Output file; .wav (RF64 past 4 GiB) or .flac picks the format")
        ->capture_default_str();
    app.add_option("--rate", o.rate, "Sample rate in Hz")->capture_default_str()->check(CLI::Range(8000, 384000));
    app.add_option("--block", o.block,
                   "Largest processing block in frames (every event starts a block of its own, so the sound "
                   "does not depend on it)")
        ->capture_default_str()
        ->check(CLI::Range(1, 16384));
    app.add_option("--bits", o.bits, "Sample format: 16, 24 or 32f [default: 32f for WAV, 24 for FLAC]")
        ->check(CLI::IsMember({"16", "24", "32f"}));
    app.add_option("--program", o.program, "Program number to select before rendering (the demo then sets most parameters itself)")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                return text.empty() || text[0] == '-' ? "a program number is 0 or more" : "";
            },
            "NONNEGATIVE"));
    app.add_option("--param", o.params,
                   "Set a parameter, by the name the plug-in reports (see --list), to a value from 0 to 1; "
                   "repeatable, e.g. --param CutOff=0.3. The demo leaves parameters set this way alone.")
        ->type_name("NAME=VALUE")
        ->allow_extra_args(false);
    app.add_option("--tail", o.tail,
                   "Seconds rendered after the end of the music [default: until the sound has been silent "
                   "for 1 s, of which the file keeps 0.25 s; at most 30 s]")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                // NaN fails every comparison, and so would pass a range check.
                double value = std::strtod(text.c_str(), nullptr);
                return std::isfinite(value) ? "" : "--tail needs a number of seconds, not '" + text + "'";
            },
            ""))
        ->check(CLI::Range(0.0, 3600.0));
    app.add_flag("--list", o.list, "List the plug-in's programs and parameters and exit");
    app.add_flag("-q,--quiet", o.quiet, "No summary line");
    app.footer(
        "Exit status: 0 rendered, 1 a file, plug-in, MIDI or output problem, 2 a command-line problem, "
        "130 interrupted.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        parsed.exitNow = code == 0 ? kExitOk : kExitUsage;
    }
    return parsed;
}

int run(const Options& options) {
    // Past a file-size limit a write then fails with EFBIG, which the writer
    // reports and cleans up after, instead of the signal killing the tool
    // (from the file's header on, written when it is created).
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        std::string pluginPath = options.plugin.empty() ? defaultPluginPath() : options.plugin;
        if (options.plugin.empty() && ::access(pluginPath.c_str(), F_OK) != 0)
            throw PluginError("the default plug-in '" + pluginPath +
                              "' is missing: build the OrvoSwitch target, or name one with --plugin");

        // The cheap checks first: a corrupt MIDI file or an unwritable output
        // should not wait for the plug-in to load, nor a render to finish.
        std::optional<MidiFile> midi;
        if (!options.list && !options.midi.empty()) midi = readMidiFile(options.midi);
        RenderSettings settings;
        settings.sampleRate = options.rate;
        settings.blockSize = options.block;
        settings.tailSeconds = options.tail;
        std::optional<AudioFileWriter> writer;
        std::optional<SampleFormat> format;
        if (!options.bits.empty()) format = parseSampleFormat(options.bits);
        if (!options.list) {
            // The demo's length does not depend on the plug-in's parameters.
            int64_t end = timelineEnd(midi ? timelineFromMidi(*midi, options.rate)
                                           : demoTimeline(options.rate, [](const std::string&) { return -1; }));
            RenderLength length = renderLength(end, settings);
            writer.emplace(options.out, options.rate, format, length.longest);
            if (auto warning = longRenderWarning(length.expected, options.rate)) fail(*warning);
        }
        std::optional<SignalGuard> signalGuard;
        if (writer) signalGuard.emplace(writer->temporaryPath());

        PluginHost host(pluginPath, HostSettings{options.rate, options.block});
        applyProgram(host, options);
        std::set<int> fixedParams = applyParams(host, options);
        if (options.list) {
            list(host);
            return kExitOk;
        }

        Timeline timeline;
        if (midi) {
            timeline = timelineFromMidi(*midi, options.rate);
        } else {
            timeline = demoTimeline(options.rate, [&](const std::string& name) {
                int index = host.findParam(name);
                return fixedParams.count(index) ? -1 : index;
            });
        }
        BlockScheduler schedule(std::move(timeline), options.block);

        ProgressBar bar(options.rate);
        RenderStats stats = render(
            host, schedule, settings, *writer, [&](int64_t done, int64_t expected) { bar.update(done, expected); },
            &interrupted);
        bar.clear();
        if (stats.cancelled) {
            writer->discard();
            fail("interrupted; nothing was written to '" + options.out + "'");
            return kExitInterrupted;
        }

        std::string where = writer->commit();
        double seconds = double(stats.frames) / options.rate;
        if (stats.peak > 1.0f && writer->format() != SampleFormat::Float32)
            fail("warning: the render peaks above 0 dBFS and is clipped in the " +
                 std::string(describe(writer->format())) + " file (--bits 32f keeps the overs)");
        if (stats.peak == 0.0f) fail("warning: the render is silent");
        if (!options.quiet)
            std::printf("Rendered %.2f s (%lld frames, %d Hz, %s), peak %s, %.0fx real time -> %s\n", seconds,
                        static_cast<long long>(stats.frames), options.rate, describe(writer->format()),
                        formatDb(stats.peak).c_str(), stats.wallSeconds > 0 ? seconds / stats.wallSeconds : 0.0,
                        where.c_str());
        return kExitOk;
    } catch (const UsageError& e) {
        fail(e.what());
        return kExitUsage;
    } catch (const OutputChoiceError& e) {
        fail(e.what());
        return kExitUsage;
    } catch (const std::exception& e) {
        fail(e.what());
        return kExitFailed;
    }
}

int runCommandLine(int argc, const char* const* argv) {
    Parsed parsed = parseCommandLine(argc, argv);
    if (parsed.exitNow) return *parsed.exitNow;
    return run(parsed.options);
}

}  // namespace orvo::render
