#include "cli.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>

#include "audio_out.h"
#include "plugin_setup.h"
#include "batch.h"
#include "job.h"
#include "plugin_host.h"
#include "plugin_search.h"
#include "preset_choice.h"

namespace orvo::render {
namespace {

// A number that is one: NaN fails every comparison, and so would pass a
// range check.
CLI::Validator finite(const std::string& option, const std::string& what) {
    return CLI::Validator(
        [option, what](std::string& text) -> std::string {
            double value = std::strtod(text.c_str(), nullptr);
            return std::isfinite(value) ? "" : option + " needs " + what + ", not '" + text + "'";
        },
        "");
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
        "Renders MIDI through a VST 2 instrument into WAV or FLAC files. Without --midi it plays a "
        "short demo phrase (glides, both waves and the Mix switch, a filter sweep, pitch bend).",
        "orvo-render"};
    app.set_version_flag("--version", std::string("orvo-render ") + ORVO_RENDER_VERSION);
    app.add_option("--plugin", o.plugin, "VST 2 plug-in (.so) to load [default: OrvoSwitch.so beside orvo-render]");
    app.add_option("--midi", o.midi,
                   "Standard MIDI File (format 0 or 1) to render instead of the demo; repeatable. A folder "
                   "renders its .mid and .midi files in name order, - reads standard input");
    auto* out = app.add_option("-o,--out", o.out,
                               "Output file for a single input; .wav (RF64 past 4 GiB) or .flac picks the format, - "
                               "writes to standard output [default: the input's name as .wav, beside it; "
                               "orvo-demo.wav for the demo]");
    app.add_option("--out-dir", o.outDir, "Folder for the outputs named after their inputs (made if missing)")
        ->excludes(out);
    app.add_option("--format", o.format, "Format of the outputs named after their inputs, and of --out -")
        ->check(CLI::IsMember({"wav", "flac"}));
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
    app.add_option("--preset", o.preset,
                   "Play a factory preset (see --list-presets; any case) or a program file (.fxp) over the "
                   "program (the demo then sets most parameters itself)")
        ->type_name("NAME|FILE");
    app.add_option("--param", o.params,
                   "Set a parameter, by the name the plug-in reports (see --list), to a value from 0 to 1; "
                   "repeatable, e.g. --param CutOff=0.3. The demo leaves parameters set this way alone.")
        ->type_name("NAME=VALUE")
        ->allow_extra_args(false);
    app.add_option("--tail", o.tail,
                   "Seconds rendered after the end of the music [default: until the sound has been silent "
                   "for 1 s, of which the file keeps 0.25 s; at most 30 s]")
        ->check(finite("--tail", "a number of seconds"))
        ->check(CLI::Range(0.0, 3600.0));
    app.add_option("--channel", o.channels,
                   "Render only this MIDI channel (1-16); repeatable [default: every channel, but channel 10, "
                   "the General MIDI drums, only when the part plays no other]")
        ->check(CLI::Range(1, 16))
        ->allow_extra_args(false);
    app.add_option("--track", o.tracks, "Render only this track, by number or name (see --list-tracks); repeatable")
        ->type_name("N|NAME")
        ->allow_extra_args(false);
    app.add_flag_callback(
        "--no-sustain", [&o] { o.sustain = false; },
        "Pass the sustain pedal (controller 64) on to the plug-in instead of holding note-offs while it is down");
    auto* gain = app.add_option("--gain", o.gainDb, "Gain in dB applied to the render before it is written")
                     ->type_name("DB")
                     ->check(finite("--gain", "a number of decibels"))
                     ->check(CLI::Range(-120.0, 60.0));
    app.add_option("--normalize", o.normalizeDb,
                   "Scale each render so its peak is at this level in dBFS, e.g. --normalize -1")
        ->type_name("DBFS")
        ->check(finite("--normalize", "a level in dBFS"))
        ->check(CLI::Range(-120.0, 0.0))
        ->excludes(gain);
    app.add_flag("--list", o.list, "List the plug-in's programs and parameters and exit");
    app.add_flag("--list-tracks", o.listTracks,
                 "List each --midi file's tracks (number, name, channels, notes and their range) and exit");
    app.add_flag("--list-presets", o.listPresets, "List the factory presets (name, category, description) and exit");
    app.add_flag("-q,--quiet", o.quiet, "No summary lines, notes or progress bar");
    app.footer(
        "Progress is shown on a terminal for renders that take over a second. Exit status: 0 rendered, 1 a file, "
        "plug-in, MIDI or output problem (with several inputs: any of them), 2 a command-line problem, "
        "130 interrupted.");
    try {
        app.parse(argc, argv);
        if (o.listTracks && o.midi.empty()) throw CLI::ValidationError("--list-tracks", "needs --midi FILE");
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        parsed.exitNow = code == 0 ? kExitOk : kExitUsage;
    }
    return parsed;
}

static void listPlugin(const Options& options) {
    std::string pluginPath = pluginToLoad(options.plugin);
    PluginHost host(pluginPath, HostSettings{options.rate, options.block});
    configurePlugin(host, options);
    listPlugin(host);
}

int run(const Options& options) {
    // Past a file-size limit a write then fails with EFBIG, which the writer
    // reports and cleans up after, instead of the signal killing the tool
    // (from the file's header on, written when it is created); a reader
    // that goes away shows as a failed write in the same way.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    try {
        if (options.listPresets) {
            listPresets(stdout);
            return kExitOk;
        }
        if (options.list) {
            listPlugin(options);
            return kExitOk;
        }
        if (options.listTracks) return listTracks(options);
        return runRenders(options);
    } catch (const UsageError& e) {
        printError(e.what());
        return kExitUsage;
    } catch (const OutputChoiceError& e) {
        printError(e.what());
        return kExitUsage;
    } catch (const std::exception& e) {
        printError(e.what());
        return kExitFailed;
    }
}

int runCommandLine(int argc, const char* const* argv) {
    Parsed parsed = parseCommandLine(argc, argv);
    if (parsed.exitNow) return *parsed.exitNow;
    return run(parsed.options);
}

}  // namespace orvo::render
