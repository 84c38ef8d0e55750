// Helpers shared by the render tests: MIDI files from bytes, scratch
// folders, an in-memory sink and a way to run the built tool.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "renderer.h"

namespace orvo::render::test {

using Bytes = std::vector<uint8_t>;

// The demo at its defaults (44100 Hz, blocks of at most 512 frames, cut at
// every event) through the instrument, as interleaved float samples. A
// change means the demo, the instrument's sound or the way the host feeds
// it changed: listen to both before pinning the new value.
constexpr uint64_t kDemoHash = 0xc84d65a622796529;

inline uint64_t fnv1a(const std::vector<float>& samples) {
    uint64_t hash = 0xcbf29ce484222325ull;
    const auto* bytes = reinterpret_cast<const unsigned char*>(samples.data());
    for (size_t i = 0; i < samples.size() * sizeof(float); ++i) hash = (hash ^ bytes[i]) * 0x100000001b3ull;
    return hash;
}

inline Bytes smfHeader(int format, int tracks, int division) {
    return {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, uint8_t(format), 0, uint8_t(tracks),
            uint8_t(division >> 8), uint8_t(division & 0xFF)};
}
// An MTrk chunk around `body`, its length filled in.
inline Bytes smfTrack(std::initializer_list<uint8_t> body) {
    Bytes chunk = {'M', 'T', 'r', 'k', 0, 0, 0, 0};
    uint32_t n = uint32_t(body.size());
    chunk[4] = uint8_t(n >> 24), chunk[5] = uint8_t(n >> 16), chunk[6] = uint8_t(n >> 8), chunk[7] = uint8_t(n);
    chunk.insert(chunk.end(), body);
    return chunk;
}
inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A fresh folder per test, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        char name[] = "/tmp/orvo-render-test-XXXXXX";
        path_ = ::mkdtemp(name);
    }
    ~ScratchDir() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::string write(const std::string& name, const Bytes& bytes) const {
        std::ofstream(file(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          std::streamsize(bytes.size()));
        return file(name);
    }
    static void touch(const std::string& path) { std::ofstream(path) << "x"; }
    const std::filesystem::path& path() const { return path_; }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
        return names;
    }

private:
    std::filesystem::path path_;
};

inline std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

struct MemorySink : FrameSink {
    std::vector<float> samples;  // interleaved stereo
    void write(const float* interleaved, int frames) override {
        samples.insert(samples.end(), interleaved, interleaved + 2 * frames);
    }
    size_t frames() const { return samples.size() / 2; }
};

struct ToolResult {
    int status = -1;
    std::string out, err;
};

// Runs the built orvo-render in `cwd` with the given arguments; with
// `interruptAfterMs` it is sent SIGINT that long after its output file
// has been started (so a slow start cannot make the test flaky); with
// `fileSizeLimit` it runs under that limit in bytes, as under `ulimit -f`;
// with `stdinPath` it reads that file on standard input.
inline ToolResult runTool(const ScratchDir& cwd, std::vector<std::string> args, int interruptAfterMs = -1,
                          long fileSizeLimit = -1, const std::string& stdinPath = {}) {
    std::string outPath = cwd.file(".stdout"), errPath = cwd.file(".stderr");
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(cwd.path().c_str()) != 0) ::_exit(126);
        if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr)) ::_exit(126);
        if (!stdinPath.empty() && !freopen(stdinPath.c_str(), "r", stdin)) ::_exit(126);
        if (fileSizeLimit >= 0) {
            rlimit limit{rlim_t(fileSizeLimit), RLIM_INFINITY};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
        }
        std::vector<char*> argv{const_cast<char*>(ORVO_RENDER_EXE)};
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(ORVO_RENDER_EXE, argv.data());
        ::_exit(127);
    }
    if (interruptAfterMs >= 0) {
        auto started = [&] {
            for (auto& name : cwd.entries())
                if (name.find(".part-") != std::string::npos) return true;
            return false;
        };
        for (int i = 0; i < 1000 && !started(); ++i) ::usleep(10000);
        ::usleep(useconds_t(interruptAfterMs) * 1000);
        ::kill(pid, SIGINT);
    }
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    ToolResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;  // -1: killed by a signal
    result.out = readText(outPath);
    result.err = readText(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return result;
}

}  // namespace orvo::render::test
