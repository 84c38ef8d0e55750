// Level changes after the plug-in and before the file's sample format:
// a fixed gain, or normalizing the peak, which needs the whole render first.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "renderer.h"

namespace orvo::render {

double dbToGain(double db);

// Multiplies every sample on its way to `next`, and keeps the peak of what
// it passed on.
class GainSink : public FrameSink {
public:
    GainSink(FrameSink& next, float gain) : next_(next), gain_(gain), buffer_(2 * kChunkFrames) {}
    void write(const float* interleaved, int frames) override;
    float peak() const { return peak_; }

private:
    static constexpr int kChunkFrames = 4096;
    FrameSink& next_;
    float gain_;
    float peak_ = 0.0f;
    std::vector<float> buffer_;
};

// Holds a whole render as raw floats in an anonymous temporary file (gone
// when closed, or when the process dies), so that normalizing a long render
// takes disk rather than memory.
class FloatSpool : public FrameSink {
public:
    FloatSpool();
    ~FloatSpool() override;
    FloatSpool(const FloatSpool&) = delete;
    FloatSpool& operator=(const FloatSpool&) = delete;

    void write(const float* interleaved, int frames) override;
    float peak() const { return peak_; }
    int64_t frames() const { return frames_; }
    // Plays the render back into `next`, each sample times `gain`.
    void replay(FrameSink& next, float gain);

private:
    std::FILE* file_ = nullptr;
    float peak_ = 0.0f;
    int64_t frames_ = 0;
};

// The gain that brings `peak` to `targetDb` dBFS. In integer samples full
// scale itself does not exist (the top step is one below it), so a target of
// 0 dBFS lands on the top step rather than clipping it.
float normalizingGain(float peak, double targetDb, bool integerSamples, int bits);

}  // namespace orvo::render
