// Writing the render to WAV or FLAC. The file appears under its name only
// once it is complete: until then it is a temporary file beside it, removed
// if the render fails or is interrupted.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "renderer.h"

typedef struct sf_private_tag SNDFILE;

namespace orvo::render {

class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An output name or format that cannot work, whatever the disk: the user's
// choice rather than a failure of the file.
class OutputChoiceError : public OutputError {
public:
    using OutputError::OutputError;
};

enum class SampleFormat { Float32, Pcm16, Pcm24 };

// "16", "24" or "32f"; nullopt for anything else.
std::optional<SampleFormat> parseSampleFormat(const std::string& bits);
const char* describe(SampleFormat format);  // "float32", "16-bit", "24-bit"

// WAV's size fields are 32 bits wide: a render that may pass 4 GiB of
// samples goes into RF64, which reads the same otherwise.
bool needsRf64(int64_t frames, SampleFormat format);

// A recording that ends when the user stops it has no longest length: its
// WAV is written as RF64 and rewritten as plain WAV on closing when it
// stayed under 4 GiB, so players that know only WAV read every usual take.
constexpr int64_t kLengthUnknown = -1;

// The libsndfile format for a name (.wav or .flac) and sample format (the
// container's default when unset), given the most frames the render can
// produce (or kLengthUnknown). Throws OutputChoiceError when the two do not
// go together.
struct OutputFormat {
    int sndfileFormat = 0;
    SampleFormat samples = SampleFormat::Float32;
    bool plainWavIfSmall = false;  // RF64 that becomes WAV on closing when it can
};
OutputFormat chooseOutputFormat(const std::string& path, std::optional<SampleFormat> format, int64_t maxFrames);

// Where a write to `path` ends up: through any symbolic links, so the
// render replaces the file a link points to and the link stays a link.
std::string resolveOutputPath(const std::string& path);

// The temporary file as libsndfile writes it: through our own calls, so no
// failed write goes unseen (the FLAC encoder's last frames go out in
// sf_close, which reports success even when they did not).
struct OutputDescriptor {
    int fd = -1;
    int error = 0;  // errno of the first failed write
};

class AudioFileWriter : public FrameSink {
public:
    // Checks the extension (.wav or .flac) and the format against it, and
    // creates the temporary file, so an unwritable target fails before any
    // time is spent rendering. Without a format: float32 for WAV, 24-bit
    // for FLAC (which has no float samples). `maxFrames` is the longest the
    // render can run, which decides between WAV and RF64 (kLengthUnknown:
    // whichever the finished file needs).
    AudioFileWriter(const std::string& path, int sampleRate, std::optional<SampleFormat> format,
                    int64_t maxFrames = 0);
    // The same file for a stream (standard output, which may be a pipe that
    // cannot seek back to a header): written to a temporary file in TMPDIR
    // and copied out whole on commit, so a reader never gets half a render.
    // `container` is a name whose extension picks the format.
    struct Stream {
        int fd = -1;
        std::string container;
    };
    AudioFileWriter(Stream stream, int sampleRate, std::optional<SampleFormat> format, int64_t maxFrames = 0);
    ~AudioFileWriter() override;  // discards the temporary file unless committed
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    void write(const float* interleaved, int frames) override;
    // Finishes the file, makes sure it reached the disk and moves it to its
    // name (or copies it to the stream); returns the absolute path (or
    // "standard output"). Any failure on the way removes the
    // temporary file and throws: a render that did not fully arrive is
    // never reported as written.
    std::string commit();
    void discard();

    SampleFormat format() const { return format_; }
    int sndfileFormat() const { return sndfileFormat_; }
    const std::string& temporaryPath() const { return tempPath_; }
    // Samples beyond the integer format's range, written as its extremes.
    int64_t clippedSamples() const { return clipped_; }

private:
    [[noreturn]] void fail(const std::string& what);
    std::string writeError() const;
    void writeIntegers(const float* interleaved, int frames);
    void open(std::vector<char> tempPattern, int sampleRate);
    void copyToStream();

    std::string path_;    // as given, for messages
    std::string target_;  // what the render replaces
    std::string tempPath_;
    SampleFormat format_ = SampleFormat::Float32;
    int sndfileFormat_ = 0;
    bool plainWavIfSmall_ = false;
    SNDFILE* file_ = nullptr;
    OutputDescriptor io_;
    int streamFd_ = -1;  // the stream the finished file goes to, if any
    int64_t clipped_ = 0;
    // Integer samples for one chunk of frames, converted here and not in
    // libsndfile, whose WAV path truncates where its FLAC path rounds.
    static constexpr int kChunkFrames = 1024;
    int converted_[2 * kChunkFrames] = {};
};

}  // namespace orvo::render
