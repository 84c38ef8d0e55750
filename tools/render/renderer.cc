#include "renderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "plugin_host.h"
#include "schedule.h"

namespace orvo::render {
namespace {

// Silence after the material is held back instead of written: if sound
// follows, it is written out after all; if the silence lasts, only its
// beginning ends up in the file.
class SilenceTrimmer {
public:
    SilenceTrimmer(FrameSink& sink, int64_t limitFrames)
        : sink_(sink), held_(size_t(std::max<int64_t>(limitFrames, 1)) * 2), limit_(limitFrames) {}

    // Returns false once the silence has lasted `limit` frames.
    bool take(const float* frames, int count, const uint8_t* silent, int64_t& written) {
        int i = 0;
        while (i < count) {
            if (silent[i]) {
                held_[size_t(heldCount_) * 2] = frames[2 * i];
                held_[size_t(heldCount_) * 2 + 1] = frames[2 * i + 1];
                ++i;
                if (++heldCount_ >= limit_) return false;
                continue;
            }
            flush(heldCount_, written);
            int j = i;
            while (j < count && !silent[j]) ++j;
            sink_.write(frames + 2 * i, j - i);
            written += j - i;
            i = j;
        }
        return true;
    }
    void flush(int64_t frames, int64_t& written) {
        frames = std::min(frames, heldCount_);
        if (frames > 0) sink_.write(held_.data(), static_cast<int>(frames));
        written += frames;
        heldCount_ = 0;
    }

private:
    FrameSink& sink_;
    std::vector<float> held_;
    int64_t heldCount_ = 0;
    int64_t limit_;
};

}  // namespace

RenderLength renderLength(int64_t end, const RenderSettings& settings) {
    const auto seconds = [&](double s) { return static_cast<int64_t>(std::llround(s * settings.sampleRate)); };
    if (settings.tailSeconds) return {end + seconds(*settings.tailSeconds), end + seconds(*settings.tailSeconds)};
    return {end + std::max<int64_t>(seconds(settings.silenceSeconds), 1), end + seconds(settings.maxTailSeconds)};
}

RenderStats render(PluginHost& host, BlockScheduler& schedule, const RenderSettings& settings, FrameSink& sink,
                   const ProgressFn& progress, const std::atomic<bool>* cancel) {
    const auto started = std::chrono::steady_clock::now();
    const int block = settings.blockSize;
    const int64_t end = schedule.endFrame();
    const auto seconds = [&](double s) { return static_cast<int64_t>(std::llround(s * settings.sampleRate)); };
    const bool fixedTail = settings.tailSeconds.has_value();
    const RenderLength length = renderLength(end, settings);
    const int64_t stopAt = length.longest;
    const int64_t silenceLimit = std::max<int64_t>(seconds(settings.silenceSeconds), 1);
    const int64_t expected = length.expected;

    // Everything the loop touches is allocated here, before the first block.
    const int channels = std::max(host.numOutputs(), 1);
    std::vector<float> channelData(size_t(channels) * size_t(block));
    std::vector<float*> outputs(static_cast<size_t>(channels));
    for (int c = 0; c < channels; ++c) outputs[size_t(c)] = channelData.data() + size_t(c) * size_t(block);
    std::vector<float> interleaved(size_t(block) * 2);
    std::vector<uint8_t> silentFlags(static_cast<size_t>(block));
    SilenceTrimmer trimmer(sink, silenceLimit);

    RenderStats stats;
    host.resume();
    for (int64_t position = 0; position < stopAt;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            stats.cancelled = true;
            break;
        }
        // The instrument places a note-on when the block's list arrives and
        // a bend at the block's start, so a block with several events plays
        // them differently from one per block. Cutting blocks at events
        // makes the render what the file says, whatever the block size.
        const int frames = schedule.framesToNextEvent(
            position, static_cast<int>(std::min<int64_t>(block, stopAt - position)));
        BlockScheduler::Block events = schedule.next(position, frames);
        for (const HostEvent& change : events.parameters) host.setParameter(change.param, change.value);
        host.processEvents(events.midi);
        host.process(outputs.data(), frames);

        const float* left = outputs[0];
        const float* right = channels > 1 ? outputs[1] : outputs[0];
        for (int i = 0; i < frames; ++i) {
            float l = left[i], r = right[i];
            interleaved[size_t(2 * i)] = l;
            interleaved[size_t(2 * i + 1)] = r;
            float magnitude = std::max(std::fabs(l), std::fabs(r));
            stats.peak = std::max(stats.peak, magnitude);
            // Before the material ends nothing counts as the end's silence.
            silentFlags[size_t(i)] = !fixedTail && position + i >= end && magnitude < settings.silenceThreshold;
        }
        position += frames;
        bool more = trimmer.take(interleaved.data(), frames, silentFlags.data(),
                                 stats.frames);
        if (progress) progress(position, std::max(expected, position));
        if (!more) break;
    }
    trimmer.flush(seconds(settings.keptSilenceSeconds), stats.frames);
    host.suspend();
    stats.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return stats;
}

}  // namespace orvo::render
