// The render loop: parameters, events and audio block by block, and the
// decision when a render is over.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

namespace orvo::render {

class PluginHost;
class BlockScheduler;

// Where rendered audio goes: interleaved stereo frames.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void write(const float* interleaved, int frames) = 0;
};

struct RenderSettings {
    int sampleRate = 44100;
    int blockSize = 512;  // the largest block: every event also starts one
    // Seconds rendered after the material ends. Unset: until a second of
    // silence (bounded by maxTailSeconds), keeping keptSilenceSeconds of it.
    std::optional<double> tailSeconds;
    double maxTailSeconds = 30.0;
    double silenceSeconds = 1.0;
    double keptSilenceSeconds = 0.25;
    float silenceThreshold = 1.0f / 65536.0f;  // below a 16-bit step: inaudible
};

struct RenderStats {
    int64_t frames = 0;        // written to the sink
    float peak = 0.0f;         // largest magnitude on either channel
    double wallSeconds = 0.0;  // time the render took
    bool cancelled = false;
};

// How long a render of material ending at `end` runs: `expected` with the
// tail as set (an automatic one as the silence it waits for), `longest` at
// most (an automatic tail at its bound).
struct RenderLength {
    int64_t expected = 0;
    int64_t longest = 0;
};
RenderLength renderLength(int64_t end, const RenderSettings& settings);

// Called once per block: frames rendered so far and the expected total
// (an estimate while an automatic tail is still running).
using ProgressFn = std::function<void(int64_t done, int64_t expected)>;

// Runs the plug-in from resume to suspend. The plug-in's first output is the
// left channel and its second the right (a mono plug-in feeds both).
RenderStats render(PluginHost& host, BlockScheduler& schedule, const RenderSettings& settings, FrameSink& sink,
                   const ProgressFn& progress = {}, const std::atomic<bool>* cancel = nullptr);

}  // namespace orvo::render
