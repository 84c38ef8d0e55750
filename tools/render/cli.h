// orvo-render's command line: options, what they select, and the report.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvo::render {

// Exit statuses scripts can tell apart.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFailed = 1,       // a file, the plug-in, the MIDI or the output
    kExitUsage = 2,        // the command line itself (options, parameter names or values)
    kExitInterrupted = 130,
};

// A problem with what the user typed rather than with a file.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    std::string plugin;             // empty: the plug-in built beside the executable
    std::vector<std::string> midi;  // files, folders or "-" (standard input); empty: the built-in demo
    std::string out;                // empty: named after the input; "-": standard output
    std::string outDir;             // where outputs named after their inputs go; empty: beside them
    std::string format;             // "wav" or "flac"; empty: as --out names it, else WAV
    int rate = 44100;
    int block = 512;
    std::optional<int> program;
    std::string preset;               // a factory preset's name or a program file; empty: none
    std::vector<std::string> params;  // NAME=VALUE, applied in order after the program and preset
    std::optional<double> tail;
    std::string bits;  // empty: the container's default
    std::vector<int> channels;        // 1-16; empty: all but the drums of a several-channel part
    std::vector<std::string> tracks;  // indices from 1 or names; empty: every track
    bool sustain = true;              // the host holds note-offs while controller 64 is down
    std::optional<double> gainDb;
    std::optional<double> normalizeDb;  // peak level in dBFS
    bool list = false;
    bool listTracks = false;
    bool listPresets = false;
    bool quiet = false;
};

// The OrvoSwitch.so beside the executable, or where an install put it
// (plugin_search.h says where it looks).
std::string defaultPluginPath();

// Parses the command line; on --help, --version or a usage error it has
// already printed what it must and returns the exit status instead.
struct Parsed {
    Options options;
    std::optional<int> exitNow;
};
Parsed parseCommandLine(int argc, const char* const* argv);

// Longer than this, a render is announced before it starts: a stray delta
// in a tiny MIDI file can ask for days of audio.
constexpr int kLongRenderSeconds = 3600;
std::optional<std::string> longRenderWarning(int64_t frames, int sampleRate);

// Runs the renders or a listing and returns the exit status.
int run(const Options& options);

int runCommandLine(int argc, const char* const* argv);

}  // namespace orvo::render
