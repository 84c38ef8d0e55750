#include "audio_out.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace orvo::render {
namespace {

std::string lowerExtension(const std::string& path) {
    auto slash = path.rfind('/');
    auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

int subtype(SampleFormat format) {
    switch (format) {
        case SampleFormat::Pcm16: return SF_FORMAT_PCM_16;
        case SampleFormat::Pcm24: return SF_FORMAT_PCM_24;
        case SampleFormat::Float32: break;
    }
    return SF_FORMAT_FLOAT;
}

int bytesPerSample(SampleFormat format) {
    switch (format) {
        case SampleFormat::Pcm16: return 2;
        case SampleFormat::Pcm24: return 3;
        case SampleFormat::Float32: break;
    }
    return 4;
}

// Virtual I/O over the temporary file; `user` is its OutputDescriptor.
struct IoAccess {
    static int fd(void* user) { return static_cast<OutputDescriptor*>(user)->fd; }
    static sf_count_t length(void* user) {
        struct stat info {};
        return ::fstat(fd(user), &info) == 0 ? info.st_size : -1;
    }
    static sf_count_t seek(sf_count_t offset, int whence, void* user) { return ::lseek(fd(user), offset, whence); }
    static sf_count_t tell(void* user) { return ::lseek(fd(user), 0, SEEK_CUR); }
    static sf_count_t read(void* ptr, sf_count_t count, void* user) {
        sf_count_t done = 0;
        while (done < count) {
            ssize_t n = ::read(fd(user), static_cast<char*>(ptr) + done, size_t(count - done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += n;
        }
        return done;
    }
    static sf_count_t write(const void* ptr, sf_count_t count, void* user) {
        sf_count_t done = 0;
        while (done < count) {
            ssize_t n = ::write(fd(user), static_cast<const char*>(ptr) + done, size_t(count - done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                int& error = static_cast<OutputDescriptor*>(user)->error;
                if (!error) error = n < 0 ? errno : ENOSPC;
                break;
            }
            done += n;
        }
        return done;
    }
};

// Room for the header chunks in front of the samples, with some to spare.
constexpr uint64_t kWavHeaderAllowance = 4096;
constexpr int kMaxLinks = 40;  // as the kernel allows before ELOOP

}  // namespace

std::optional<SampleFormat> parseSampleFormat(const std::string& bits) {
    if (bits == "16") return SampleFormat::Pcm16;
    if (bits == "24") return SampleFormat::Pcm24;
    if (bits == "32f" || bits == "32") return SampleFormat::Float32;
    return std::nullopt;
}

const char* describe(SampleFormat format) {
    switch (format) {
        case SampleFormat::Pcm16: return "16-bit";
        case SampleFormat::Pcm24: return "24-bit";
        case SampleFormat::Float32: break;
    }
    return "float32";
}

bool needsRf64(int64_t frames, SampleFormat format) {
    if (frames <= 0) return false;
    uint64_t data = uint64_t(frames) * 2u * uint64_t(bytesPerSample(format));
    return data > UINT32_MAX - kWavHeaderAllowance;
}

OutputFormat chooseOutputFormat(const std::string& path, std::optional<SampleFormat> format, int64_t maxFrames) {
    std::string ext = lowerExtension(path);
    OutputFormat chosen;
    if (ext == ".wav") {
        chosen.samples = format.value_or(SampleFormat::Float32);
        chosen.plainWavIfSmall = maxFrames == kLengthUnknown;
        chosen.sndfileFormat =
            chosen.plainWavIfSmall || needsRf64(maxFrames, chosen.samples) ? SF_FORMAT_RF64 : SF_FORMAT_WAV;
    } else if (ext == ".flac") {
        chosen.samples = format.value_or(SampleFormat::Pcm24);
        chosen.sndfileFormat = SF_FORMAT_FLAC;
        if (chosen.samples == SampleFormat::Float32)
            throw OutputChoiceError("FLAC has no float samples: use --bits 16 or 24 for '" + path + "'");
    } else {
        throw OutputChoiceError("cannot tell the format of '" + path + "': name it .wav or .flac");
    }
    chosen.sndfileFormat |= subtype(chosen.samples);
    return chosen;
}

std::string resolveOutputPath(const std::string& path) {
    std::string current = path;
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        std::vector<char> link(size_t(info.st_size > 0 ? info.st_size : PATH_MAX) + 1);
        ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n < 0 || size_t(n) >= link.size()) throw OutputError("cannot follow the link '" + current + "'");
        std::string target(link.data(), size_t(n));
        auto slash = current.rfind('/');
        // A relative link is relative to the folder holding it.
        if (target[0] != '/' && slash != std::string::npos) target = current.substr(0, slash + 1) + target;
        current = target;
    }
    throw OutputError("cannot write '" + path + "': too many levels of symbolic links");
}

AudioFileWriter::AudioFileWriter(const std::string& path, int sampleRate, std::optional<SampleFormat> format,
                                 int64_t maxFrames)
    : path_(path) {
    OutputFormat chosen = chooseOutputFormat(path, format, maxFrames);
    format_ = chosen.samples;
    sndfileFormat_ = chosen.sndfileFormat;
    plainWavIfSmall_ = chosen.plainWavIfSmall;
    target_ = resolveOutputPath(path);

    struct stat info {};
    if (::stat(target_.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        throw OutputError("cannot write '" + path + "': it is a directory");

    // Beside the target, so the final rename stays on one file system.
    std::vector<char> name(target_.begin(), target_.end());
    const char suffix[] = ".part-XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);
    open(std::move(name), sampleRate);
}

AudioFileWriter::AudioFileWriter(Stream stream, int sampleRate, std::optional<SampleFormat> format,
                                 int64_t maxFrames)
    : path_("standard output"), streamFd_(stream.fd) {
    OutputFormat chosen = chooseOutputFormat(stream.container, format, maxFrames);
    format_ = chosen.samples;
    sndfileFormat_ = chosen.sndfileFormat;
    plainWavIfSmall_ = chosen.plainWavIfSmall;
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder && *folder ? folder : "/tmp") + "/orvo-render-XXXXXX";
    open(std::vector<char>(pattern.c_str(), pattern.c_str() + pattern.size() + 1), sampleRate);
}

void AudioFileWriter::open(std::vector<char> name, int sampleRate) {
    int fd = ::mkstemp(name.data());
    if (fd < 0) throw OutputError("cannot write '" + path_ + "': " + std::strerror(errno));
    tempPath_ = name.data();
    io_.fd = fd;
    // mkstemp makes the file private; a render should get the usual mode.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);

    SF_INFO sfInfo{};
    sfInfo.samplerate = sampleRate;
    sfInfo.channels = 2;
    sfInfo.format = sndfileFormat_;
    // The descriptor stays ours, so that closing it and syncing it can be
    // checked after libsndfile is done with it.
    static SF_VIRTUAL_IO access = {IoAccess::length, IoAccess::seek, IoAccess::read, IoAccess::write,
                                   IoAccess::tell};
    file_ = sf_open_virtual(&access, SFM_WRITE, &sfInfo, &io_);
    if (!file_) fail(std::string("cannot write '") + path_ + "': " + sf_strerror(nullptr));
    // Float files take overs as they are; integer samples are clipped in
    // writeIntegers. The peak chunk of a float WAV carries the time of
    // writing: without it the same render gives the same file.
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    if (plainWavIfSmall_) sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
}

AudioFileWriter::~AudioFileWriter() { discard(); }

void AudioFileWriter::fail(const std::string& what) {
    discard();
    throw OutputError(what + "; nothing was written");
}

std::string AudioFileWriter::writeError() const {
    return "writing '" + path_ + "' failed: " + (io_.error ? std::strerror(io_.error) : sf_strerror(file_));
}

void AudioFileWriter::write(const float* interleaved, int frames) {
    if (!file_ || frames <= 0) return;
    if (format_ != SampleFormat::Float32) return writeIntegers(interleaved, frames);
    if (sf_writef_float(file_, interleaved, frames) != frames || io_.error) fail(writeError());
}

// Round to nearest, as libsndfile's FLAC path does (its WAV path with
// clipping on floors, half a step low on average), and clip; the integers
// then go to libsndfile left-aligned in 32 bits, which both containers
// take over exactly.
void AudioFileWriter::writeIntegers(const float* interleaved, int frames) {
    const int bits = format_ == SampleFormat::Pcm16 ? 16 : 24;
    const double scale = double(1 << (bits - 1));
    for (int done = 0; done < frames;) {
        int count = std::min(frames - done, kChunkFrames);
        const float* in = interleaved + 2 * size_t(done);
        for (int i = 0; i < 2 * count; ++i) {
            double scaled = double(in[i]) * scale;
            if (!(scaled == scaled)) scaled = 0.0;  // NaN is silence, not a full-scale click
            // The bounds are whole steps, so rounding first and clipping
            // after gives what clipping first would, and shows the overs.
            double rounded = std::nearbyint(scaled);
            if (rounded > scale - 1.0 || rounded < -scale) {
                ++clipped_;
                rounded = std::clamp(rounded, -scale, scale - 1.0);
            }
            converted_[i] = static_cast<int>(rounded) * (1 << (32 - bits));
        }
        if (sf_writef_int(file_, converted_, count) != count || io_.error) fail(writeError());
        done += count;
    }
}

std::string AudioFileWriter::commit() {
    if (!file_) throw OutputError("the output '" + path_ + "' is already closed");
    if (sf_error(file_) != SF_ERR_NO_ERROR || io_.error) fail(writeError());
    int closed = sf_close(file_);
    file_ = nullptr;
    if (io_.error) fail("finishing '" + path_ + "' failed: " + std::strerror(io_.error));
    if (closed != 0) fail("finishing '" + path_ + "' failed: " + sf_error_number(closed));
    // A full disk may show only now, when the data really goes out.
    if (streamFd_ >= 0) {
        copyToStream();
        return path_;
    }
    if (::fsync(io_.fd) != 0) fail("finishing '" + path_ + "' failed: " + std::strerror(errno));
    int fd = io_.fd;
    io_.fd = -1;
    if (::close(fd) != 0) fail("finishing '" + path_ + "' failed: " + std::strerror(errno));
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0)
        fail("cannot move the render to '" + path_ + "': " + std::strerror(errno));
    tempPath_.clear();
    char resolved[PATH_MAX];
    return ::realpath(target_.c_str(), resolved) ? std::string(resolved) : target_;
}

void AudioFileWriter::copyToStream() {
    if (::lseek(io_.fd, 0, SEEK_SET) != 0) fail("rereading the render failed: " + std::string(std::strerror(errno)));
    char chunk[1 << 16];
    for (;;) {
        ssize_t n = ::read(io_.fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("rereading the render failed: " + std::string(std::strerror(errno)));
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(streamFd_, chunk + done, size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                // Part of the file may be out already: no "nothing was written".
                std::string reason = w < 0 ? std::strerror(errno) : "nothing taken";
                discard();
                throw OutputError("writing to standard output failed: " + reason);
            }
            done += w;
        }
    }
    discard();  // the temporary copy has served its purpose
}

void AudioFileWriter::discard() {
    if (file_) sf_close(file_);
    file_ = nullptr;
    if (io_.fd >= 0) ::close(io_.fd);
    io_.fd = -1;
    // Cleared at once: a second unlink could remove a file of the same name
    // that someone else has made since.
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    tempPath_.clear();
}

}  // namespace orvo::render
