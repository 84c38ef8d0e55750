// Writing the render to WAV or FLAC. The file appears under its name only
// once it is complete: until then it is a temporary file beside it, removed
// if the render fails or is interrupted.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "renderer.h"

typedef struct sf_private_tag SNDFILE;

namespace orvo::render {

class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class SampleFormat { Float32, Pcm16, Pcm24 };

// "16", "24" or "32f"; nullopt for anything else.
std::optional<SampleFormat> parseSampleFormat(const std::string& bits);
const char* describe(SampleFormat format);  // "float32", "16-bit", "24-bit"

class AudioFileWriter : public FrameSink {
public:
    // Checks the extension (.wav or .flac) and the format against it, and
    // creates the temporary file, so an unwritable target fails before any
    // time is spent rendering. Without a format: float32 for WAV, 24-bit
    // for FLAC (which has no float samples).
    AudioFileWriter(const std::string& path, int sampleRate, std::optional<SampleFormat> format);
    ~AudioFileWriter() override;  // discards the temporary file unless committed
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    void write(const float* interleaved, int frames) override;
    // Finishes the file and moves it to its name; returns the absolute path.
    std::string commit();
    void discard();

    SampleFormat format() const { return format_; }
    const std::string& temporaryPath() const { return tempPath_; }

private:
    std::string path_;
    std::string tempPath_;
    SampleFormat format_ = SampleFormat::Float32;
    SNDFILE* file_ = nullptr;
};

}  // namespace orvo::render
