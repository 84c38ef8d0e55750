// The output file: which container, which integer samples, and what is left
// on disk when writing fails.
#include "audio_out.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <filesystem>

#include "test_support.h"

namespace orvo::render {
namespace {

std::vector<int> readInts(const std::string& path, SF_INFO& info) {
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (!file) return {};
    std::vector<int> samples(size_t(info.frames) * size_t(info.channels));
    sf_readf_int(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

TEST(AudioOut, WavAndFlacOfOneDepthHoldTheSameRoundedSamples) {
    test::ScratchDir dir;
    // A slow ramp through many steps at each depth, ties and overs included.
    std::vector<float> samples;
    for (int i = -3000; i <= 3000; ++i) samples.push_back(float(i) * 0.7f / 65536.0f);
    for (float x : {0.5f / 32768, 1.5f / 32768, -2.5f / 32768, 1.0f, -1.0f, 1.5f, -1.5f, 0.49999997f})
        samples.push_back(x);
    if (samples.size() % 2) samples.push_back(0.0f);
    const int frames = int(samples.size() / 2);

    for (auto [format, bits] : {std::pair{SampleFormat::Pcm16, 16}, {SampleFormat::Pcm24, 24}}) {
        std::vector<std::vector<int>> read;
        for (const char* ext : {".wav", ".flac"}) {
            std::string path = dir.file(std::to_string(bits) + ext);
            AudioFileWriter writer(path, 44100, format);
            writer.write(samples.data(), frames);
            writer.commit();
            SF_INFO info{};
            read.push_back(readInts(path, info));
            EXPECT_EQ(info.frames, frames);
        }
        ASSERT_EQ(read[0].size(), samples.size());
        EXPECT_TRUE(read[0] == read[1]) << bits << "-bit WAV and FLAC differ";

        const double step = std::ldexp(1.0, bits - 1);
        double errorSum = 0;
        for (size_t i = 0; i < samples.size(); ++i) {
            double scaled = std::clamp(double(samples[i]) * step, -step, step - 1);
            int expected = int(std::lrint(scaled));
            int got = read[0][i] / (1 << (32 - bits));
            ASSERT_EQ(got, expected) << bits << "-bit sample " << i << " of " << samples[i];
            if (std::fabs(samples[i]) < 0.5f) errorSum += got - double(samples[i]) * step;
        }
        EXPECT_LT(std::fabs(errorSum / double(samples.size())), 0.05) << "a bias of the rounding";
    }
}

TEST(AudioOut, WavPastFourGibibytesIsWrittenAsRf64) {
    // Stereo float: 8 bytes a frame; the header needs a little room too.
    const int64_t limitFrames = (int64_t(UINT32_MAX) - 4096) / 8;
    EXPECT_FALSE(needsRf64(limitFrames, SampleFormat::Float32));
    EXPECT_TRUE(needsRf64(limitFrames + 1, SampleFormat::Float32));
    // An hour at 192 kHz: 5.5 GB as float; 4.15 GB at 24 bits, still just
    // within the 4.29 GB; 2.8 GB at 16.
    const int64_t hour = int64_t(192000) * 3600;
    EXPECT_TRUE(needsRf64(hour, SampleFormat::Float32));
    EXPECT_FALSE(needsRf64(hour, SampleFormat::Pcm24));
    EXPECT_TRUE(needsRf64(hour + hour / 20, SampleFormat::Pcm24));
    EXPECT_FALSE(needsRf64(hour, SampleFormat::Pcm16));

    EXPECT_EQ(chooseOutputFormat("a.wav", std::nullopt, hour).sndfileFormat, SF_FORMAT_RF64 | SF_FORMAT_FLOAT);
    EXPECT_EQ(chooseOutputFormat("a.WAV", SampleFormat::Pcm16, hour).sndfileFormat, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(chooseOutputFormat("a.flac", std::nullopt, hour).sndfileFormat, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    EXPECT_THROW(chooseOutputFormat("a.mp3", std::nullopt, 0), OutputChoiceError);
    EXPECT_THROW(chooseOutputFormat("a.flac", SampleFormat::Float32, 0), OutputChoiceError);

    // A render that could run that long, stopped after a few frames: the
    // file is RF64 and reads back like any other.
    test::ScratchDir dir;
    std::string path = dir.file("long.wav");
    AudioFileWriter writer(path, 192000, std::nullopt, hour);
    float frames[8] = {0.1f, -0.1f, 0.2f, -0.2f, 0.3f, -0.3f, 0.4f, -0.4f};
    writer.write(frames, 4);
    writer.commit();
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_RF64 | SF_FORMAT_FLOAT);
    EXPECT_EQ(info.frames, 4);
    sf_close(file);

    // A recording of no known length settles on WAV (RIFF, in its extensible
    // form, as the RF64 writer keeps) when it closes small.
    AudioFileWriter take(path, 48000, std::nullopt, kLengthUnknown);
    take.write(frames, 4);
    take.commit();
    EXPECT_EQ(test::readText(path).substr(0, 4), "RIFF");
    file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT);
    EXPECT_EQ(info.frames, 4);
    sf_close(file);
}

// In a child process, since it lowers the file-size limit: a write past
// the limit fails, the commit throws, and a file someone else makes at the
// temporary name afterwards is left alone.
TEST(AudioOut, FailedCommitRemovesItsFileOnceAndOnlyItsOwn) {
    test::ScratchDir dir;
    for (const char* name : {"cut.wav", "cut.flac"}) {
        pid_t pid = ::fork();
        if (pid == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            std::vector<float> noise(2 * 44100);
            uint32_t seed = 1;  // noise, which FLAC cannot squeeze below the limit
            for (float& x : noise) x = float((seed = seed * 1664525u + 1013904223u) >> 8) / 16777216.0f - 0.5f;
            std::string stranger;
            {
                AudioFileWriter writer(dir.file(name), 44100, SampleFormat::Pcm16);
                rlimit limit{200000, RLIM_INFINITY};  // about 1.1 s of 16-bit stereo
                ::setrlimit(RLIMIT_FSIZE, &limit);
                stranger = writer.temporaryPath();
                bool threw = false;
                try {
                    writer.write(noise.data(), 44100);
                    writer.write(noise.data(), 44100);
                    writer.commit();
                } catch (const OutputError& e) {
                    threw = std::string(e.what()).find("File too large") != std::string::npos;
                }
                if (!threw) ::_exit(2);
                if (std::filesystem::exists(stranger) || std::filesystem::exists(dir.file(name))) ::_exit(3);
                test::ScratchDir::touch(stranger);
            }
            ::_exit(std::filesystem::exists(stranger) ? 0 : 4);
        }
        int status = -1;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << name << ": killed by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << name << ": 2 no error, 3 a file left, 4 a stranger's file removed";
    }
}

TEST(AudioOut, ALinkIsWrittenThroughAndStaysALink) {
    test::ScratchDir dir;
    std::filesystem::create_directory(dir.path() / "real");
    std::filesystem::create_symlink("real/take.wav", dir.path() / "link.wav");  // dangling until written
    std::filesystem::create_symlink("link.wav", dir.path() / "second.wav");     // a link to the link
    float frames[4] = {0.25f, -0.25f, 0.5f, -0.5f};
    for (const char* name : {"link.wav", "second.wav", "link.wav"}) {
        AudioFileWriter writer(dir.file(name), 44100, std::nullopt);
        writer.write(frames, 2);
        std::string where = writer.commit();
        EXPECT_EQ(where, std::filesystem::canonical(dir.path() / "real/take.wav").string()) << name;
        EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "link.wav")) << name;
        EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "second.wav")) << name;
    }
    SF_INFO info{};
    EXPECT_EQ(readInts(dir.file("real/take.wav"), info).size(), 4u);
    EXPECT_EQ(dir.entries().size(), 3u);  // no temporary file beside the links
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() / "real"), {}), 1);
}

}  // namespace
}  // namespace orvo::render
