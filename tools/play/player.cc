#include "player.h"

#include <CLI/CLI.hpp>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

#include "cli.h"
#include "editor_window.h"
#include "plugin_search.h"
#include "plugin_setup.h"
#include "preset_choice.h"
#include "jack_client.h"
#include "recorder.h"

namespace orvo::play {
namespace {

volatile std::sig_atomic_t stopRequested = 0;
void onSignal(int) { stopRequested = 1; }

// Seconds of audio the recording ring holds: the disk may stall that long.
constexpr double kRecordRingSeconds = 4.0;
constexpr auto kTick = std::chrono::milliseconds(20);  // the editor's idle and the loop's pace
constexpr int kStatusEvery = 12;                      // ticks between status lines, about 4 a second
// Ticks before an unconnected MIDI input is worth a word: a patchbay or
// session manager usually connects a new client within a second.
constexpr int kNoInputHintAfter = 50;

void say(const std::string& text) { std::fprintf(stderr, "orvo-play: %s\n", text.c_str()); }

std::string db(float peak) {
    if (!(peak > 0.0f)) return "  -inf";
    char text[16];
    std::snprintf(text, sizeof text, "%6.1f", 20.0 * std::log10(double(peak)));
    return text;
}

// One line, redrawn in place, while stderr is a terminal.
class StatusLine {
public:
    explicit StatusLine(bool enabled) : enabled_(enabled) {}
    void show(const JackClient& jack, LivePlayer& player) {
        if (!enabled_) return;
        const int rate = jack.sampleRate(), period = jack.bufferSize();
        char notes[32] = "no MIDI input";
        if (jack.midiInputConnected()) std::snprintf(notes, sizeof notes, "notes %d", player.notesSounding());
        std::fprintf(stderr, "\r\033[K%d Hz, period %d (%.1f ms) | %s | peak %s dBFS | xruns %d", rate, period,
                     1000.0 * period / rate, notes, db(player.takePeak()).c_str(), jack.xruns());
        std::fflush(stderr);
        drawn_ = true;
    }
    void clear() {
        if (drawn_) std::fprintf(stderr, "\r\033[K");
        drawn_ = false;
    }

private:
    bool enabled_;
    bool drawn_ = false;
};

// The --param line that starts the player with the sound the session ended
// on, for the parameters that changed while playing.
std::string changedParams(render::PluginHost& host, const std::vector<float>& before) {
    std::string line;
    for (int i = 0; i < host.numParams(); ++i) {
        const float v = host.getParameter(i);
        if (v == before[size_t(i)]) continue;
        char item[64];
        std::snprintf(item, sizeof item, " --param %s=%g", host.paramName(i).c_str(), double(v));
        line += item;
    }
    return line;
}

// What a player who hears nothing needs: the ports that could play it and
// the two ways to connect one.
std::string noInputHint(const JackClient& jack) {
    const std::string self = std::string(JackClient::kClientName) + ":midi_in";
    std::string ports;
    for (const std::string& port : jack.midiSources()) ports += "\n  " + port;
    if (ports.empty())
        return "nothing is connected to the MIDI input, and JACK has no MIDI port to play from: plug in a keyboard "
               "(under JACK without PipeWire, a2jmidid -e brings ALSA MIDI devices in), then start with --midi-in "
               "PORT or connect it to '" + self + "'";
    return "nothing is connected to the MIDI input; JACK's MIDI ports that can play it:" + ports +
           "\nstart with --midi-in PORT, or connect one now: jack_connect PORT '" + self + "'";
}

}  // namespace

int run(const Options& options) {
    std::signal(SIGXFSZ, SIG_IGN);  // a file past its size limit fails its write instead
    try {
        if (options.listPresets) {
            render::listPresets(stdout);
            return 0;
        }
        const std::string pluginPath = render::pluginToLoad(options.plugin);
        const render::SoundChoice sound{options.program, options.preset, options.params};
        if (!options.savePreset.empty()) {
            const std::string problem = render::presetTargetProblem(options.savePreset);
            if (!problem.empty()) throw render::UsageError("--save-preset: " + problem);
        }
        std::optional<render::SampleFormat> format;
        if (!options.bits.empty()) {
            format = render::parseSampleFormat(options.bits);
            if (!format) throw render::UsageError("--bits '" + options.bits + "' is not 16, 24 or 32f");
        }
        if (options.list) {
            render::PluginHost host(pluginPath, render::HostSettings{44100, 512, "orvo-play", true});
            render::applySound(host, sound);
            render::listPlugin(host);
            return 0;
        }

        JackClient jack(options.server);
        render::PluginHost host(pluginPath,
                                render::HostSettings{jack.sampleRate(), jack.bufferSize(), "orvo-play", true});
        if (host.numOutputs() > 2) throw render::PluginError("the plug-in has more than two outputs");
        render::applySound(host, sound);
        if (!options.savePreset.empty()) render::mustBeTheInstrument(host, "--save-preset");
        std::vector<float> startValues;
        for (int i = 0; i < host.numParams(); ++i) startValues.push_back(host.getParameter(i));

        LivePlayer player(host, jack.sampleRate(), options.record.empty() ? 0.0 : kRecordRingSeconds);
        std::unique_ptr<Recorder> recorder;
        if (!options.record.empty())
            recorder = std::make_unique<Recorder>(player, options.record, jack.sampleRate(), format);
        std::unique_ptr<EditorWindow> editor;
        if (!options.noEditor) editor = std::make_unique<EditorWindow>(host, options.scale);

        // Whatever ends the run, the client leaves the graph before the
        // player, the recorder and the plug-in it renders go away.
        struct LeaveGraph {
            JackClient& jack;
            ~LeaveGraph() { jack.close(); }
        } leaveGraph{jack};

        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        host.resume();
        jack.activate(player, host);
        if (!options.noConnect) jack.connect(options.midiIn, options.audioOut);
        if (!options.quiet)
            say("playing at " + std::to_string(jack.sampleRate()) + " Hz as JACK client '" + JackClient::kClientName +
                "'; Ctrl-C ends");

        StatusLine status(!options.quiet && ::isatty(STDERR_FILENO));
        bool recordFailReported = false;
        int status1 = 0;
        for (int tick = 0; !stopRequested; ++tick) {
            if (jack.serverGone()) {
                status.clear();
                say("the JACK server went away; stopping");
                status1 = 1;
                break;
            }
            if (editor && !editor->service()) break;  // the user closed the window
            if (recorder && recorder->failed() && !recordFailReported) {
                status.clear();
                say("recording failed; playing goes on without it");
                recordFailReported = true;
            }
            if (tick == kNoInputHintAfter && !options.quiet && !jack.midiInputConnected()) {
                status.clear();
                say(noInputHint(jack));
            }
            if (tick % kStatusEvery == 0) status.show(jack, player);
            std::this_thread::sleep_for(kTick);
        }
        status.clear();
        // Silence first: the client leaves the graph, then the plug-in stops.
        jack.close();
        editor.reset();
        host.suspend();

        int result = status1;
        if (recorder) {
            const std::string where = recorder->finish();
            if (where.empty()) {
                say("recording to '" + options.record + "' failed: " + recorder->error());
                result = 1;
            } else if (!options.quiet) {
                say("recorded " + std::to_string(recorder->frames()) + " frames to " + where);
            }
            if (player.droppedFrames() > 0) {
                say(std::to_string(player.droppedFrames()) + " frames did not reach the recording (the disk was too slow)");
                result = 1;
            }
        }
        if (!options.savePreset.empty()) {
            try {
                render::savePreset(options.savePreset, render::currentPreset(host));
                if (!options.quiet) say("saved the sound to '" + options.savePreset + "'");
            } catch (const std::exception& e) {
                say(e.what());
                result = 1;
            }
        }
        if (jack.droppedEvents() > 0) say(std::to_string(jack.droppedEvents()) + " MIDI events were dropped");
        if (!options.quiet) {
            say(std::to_string(jack.xruns()) + " xruns");
            const std::string changed = changedParams(host, startValues);
            if (!changed.empty()) say("to start with the sound you ended on:" + changed);
        }
        return result;
    } catch (const JackError& e) {
        say(e.what());
        return e.status;
    } catch (const render::UsageError& e) {
        say(e.what());
        return 2;
    } catch (const render::OutputChoiceError& e) {
        say(e.what());
        return 2;
    } catch (const std::exception& e) {
        say(e.what());
        return 1;
    }
}

int runCommandLine(int argc, const char* const* argv) {
    CLI::App app{"Plays a VST 2 instrument live as a JACK client (\"Orvo Switch\"): MIDI in from a keyboard, "
                 "audio out to the speakers, with the instrument's editor in a window of its own."};
    app.set_version_flag("--version", std::string("orvo-play ") + ORVO_PLAY_VERSION);
    Options o;
    app.add_option("--plugin", o.plugin, "VST 2 plug-in (.so) to load [default: OrvoSwitch.so beside orvo-play]");
    app.add_option("--midi-in", o.midiIn,
                   "JACK MIDI ports to play from [default: every hardware MIDI port, e.g. a USB keyboard]")
        ->type_name("PORT");
    app.add_option("--audio-out", o.audioOut,
                   "JACK audio ports to play to: left, then right; one port takes both [default: the system playback ports]");
    app.add_flag("--no-connect", o.noConnect, "Connect nothing: leave it to a patchbay");
    app.add_flag("--no-editor", o.noEditor, "No editor window (needs no display)");
    app.add_option("--scale", o.scale,
                   "Editor scale from 1 to 3 [default: the screen's, from GDK_SCALE or Xft.dpi / 96]")
        ->check(CLI::Range(1.0, 3.0));
    app.add_option("--program", o.program, "Program number to select before playing")->check(CLI::NonNegativeNumber);
    app.add_option("--preset", o.preset,
                   "Play a factory preset (see --list-presets; any case) or a program file (.fxp) over the program")
        ->type_name("NAME|FILE");
    app.add_option("--param", o.params,
                   "Set a parameter, by the name the plug-in reports (see --list), to a value from 0 to 1; repeatable");
    app.add_option("--save-preset", o.savePreset,
                   "On ending, save the sound played (the twelve values and the program name) as a program file "
                   "(.fxp) that --preset loads")
        ->type_name("FILE");
    app.add_option("--record", o.record, "Record what is played to a .wav (RF64 past 4 GiB) or .flac file");
    app.add_option("--bits", o.bits, "Recording sample format: 16, 24 or 32f [default: 32f for WAV, 24 for FLAC]");
    app.add_option("--server", o.server, "JACK server name [default: the default server]");
    app.add_flag("--list", o.list, "List the plug-in's programs and parameters and exit");
    app.add_flag("--list-presets", o.listPresets, "List the factory presets (name, category, description) and exit");
    app.add_flag("-q,--quiet", o.quiet, "No status line and no summary");
    app.footer("Exit status: 0 ended with Ctrl-C or by closing the window, 1 a JACK, plug-in or recording problem, "
               "2 a command-line problem (options, parameter or port names).");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    return run(o);
}

}  // namespace orvo::play
