#include "audio_out.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
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

AudioFileWriter::AudioFileWriter(const std::string& path, int sampleRate, std::optional<SampleFormat> format)
    : path_(path) {
    std::string ext = lowerExtension(path);
    int container;
    if (ext == ".wav") {
        container = SF_FORMAT_WAV;
        format_ = format.value_or(SampleFormat::Float32);
    } else if (ext == ".flac") {
        container = SF_FORMAT_FLAC;
        format_ = format.value_or(SampleFormat::Pcm24);
        if (format_ == SampleFormat::Float32)
            throw OutputError("FLAC has no float samples: use --bits 16 or 24 for '" + path + "'");
    } else {
        throw OutputError("cannot tell the format of '" + path + "': name it .wav or .flac");
    }

    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        throw OutputError("cannot write '" + path + "': it is a directory");

    // Beside the target, so the final rename stays on one file system.
    std::vector<char> name(path.begin(), path.end());
    const char suffix[] = ".part-XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);
    int fd = ::mkstemp(name.data());
    if (fd < 0) throw OutputError("cannot write '" + path + "': " + std::strerror(errno));
    tempPath_ = name.data();
    // mkstemp makes the file private; a render should get the usual mode.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);

    SF_INFO sfInfo{};
    sfInfo.samplerate = sampleRate;
    sfInfo.channels = 2;
    sfInfo.format = container | subtype(format_);
    file_ = sf_open_fd(fd, SFM_WRITE, &sfInfo, SF_TRUE);
    if (!file_) {
        std::string why = sf_strerror(nullptr);
        ::close(fd);
        ::unlink(tempPath_.c_str());
        throw OutputError("cannot write '" + path + "': " + why);
    }
    // Overs in integer files clip instead of wrapping around.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // The peak chunk of a float WAV carries the time of writing: without it
    // the same render gives the same file, byte for byte.
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

AudioFileWriter::~AudioFileWriter() { discard(); }

void AudioFileWriter::write(const float* interleaved, int frames) {
    if (!file_ || frames <= 0) return;
    if (sf_writef_float(file_, interleaved, frames) != frames)
        throw OutputError("writing '" + tempPath_ + "' failed: " + sf_strerror(file_));
}

std::string AudioFileWriter::commit() {
    if (!file_) throw OutputError("the output '" + path_ + "' is already closed");
    sf_write_sync(file_);
    int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != 0) {
        ::unlink(tempPath_.c_str());
        throw OutputError("finishing '" + path_ + "' failed: " + sf_error_number(closed));
    }
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        std::string why = std::strerror(errno);
        ::unlink(tempPath_.c_str());
        throw OutputError("cannot move the render to '" + path_ + "': " + why);
    }
    tempPath_.clear();
    char resolved[PATH_MAX];
    return ::realpath(path_.c_str(), resolved) ? std::string(resolved) : path_;
}

void AudioFileWriter::discard() {
    if (file_) sf_close(file_);
    file_ = nullptr;
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    tempPath_.clear();
}

}  // namespace orvo::render
