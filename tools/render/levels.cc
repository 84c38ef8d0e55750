#include "levels.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "audio_out.h"

namespace orvo::render {

double dbToGain(double db) { return std::pow(10.0, db / 20.0); }

void GainSink::write(const float* interleaved, int frames) {
    for (int done = 0; done < frames;) {
        int count = std::min(frames - done, kChunkFrames);
        const float* in = interleaved + 2 * size_t(done);
        for (int i = 0; i < 2 * count; ++i) {
            float x = in[i] * gain_;
            buffer_[size_t(i)] = x;
            peak_ = std::max(peak_, std::fabs(x));
        }
        next_.write(buffer_.data(), count);
        done += count;
    }
}

FloatSpool::FloatSpool() : file_(std::tmpfile()) {
    if (!file_) throw OutputError(std::string("cannot make a temporary file to normalize in: ") + std::strerror(errno));
}

FloatSpool::~FloatSpool() {
    if (file_) std::fclose(file_);
}

void FloatSpool::write(const float* interleaved, int frames) {
    if (frames <= 0) return;
    size_t count = 2 * size_t(frames);
    if (std::fwrite(interleaved, sizeof(float), count, file_) != count)
        throw OutputError(std::string("writing the temporary file to normalize in failed: ") + std::strerror(errno));
    for (size_t i = 0; i < count; ++i) peak_ = std::max(peak_, std::fabs(interleaved[i]));
    frames_ += frames;
}

void FloatSpool::replay(FrameSink& next, float gain) {
    if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0)
        throw OutputError(std::string("rereading the temporary file failed: ") + std::strerror(errno));
    constexpr int kChunkFrames = 4096;
    std::vector<float> chunk(2 * kChunkFrames);
    for (int64_t done = 0; done < frames_;) {
        int count = int(std::min<int64_t>(frames_ - done, kChunkFrames));
        if (std::fread(chunk.data(), 2 * sizeof(float), size_t(count), file_) != size_t(count))
            throw OutputError("rereading the temporary file failed: it came back short");
        for (int i = 0; i < 2 * count; ++i) chunk[size_t(i)] *= gain;
        next.write(chunk.data(), count);
        done += count;
    }
}

float normalizingGain(float peak, double targetDb, bool integerSamples, int bits) {
    if (!(peak > 0.0f)) return 1.0f;
    double target = dbToGain(targetDb);
    if (integerSamples) {
        double top = 1.0 - std::ldexp(1.0, 1 - bits);
        target = std::min(target, top);
    }
    return float(target / double(peak));
}

}  // namespace orvo::render
