// Many files in one run, pipes on either side, and the level of what is
// written: the built orvo-render, as a musician or a script runs it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "smf_writer.h"
#include "test_support.h"

namespace orvo::render {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Half a second of one note at velocity 100, then a rest: through the
// recorder, 100/254 on the left and half that on the right.
test::Bytes note(int key = 60) {
    test::SmfWriter smf(96);
    smf.track().note(0, 96, 1, key, 100).end(192);
    return smf.bytes();
}

struct Audio {
    SF_INFO info{};
    std::vector<float> samples;
    std::vector<int> ints;  // left-aligned in 32 bits
};
Audio readAudio(const std::string& path) {
    Audio audio;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &audio.info);
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (!file) return audio;
    audio.samples.resize(size_t(audio.info.frames) * 2);
    sf_readf_float(file, audio.samples.data(), audio.info.frames);
    sf_seek(file, 0, SEEK_SET);
    audio.ints.resize(audio.samples.size());
    sf_readf_int(file, audio.ints.data(), audio.info.frames);
    sf_close(file);
    return audio;
}

TEST(Batch, OneCorruptFileDoesNotStopTheOthersAndIsNamed) {
    test::ScratchDir dir;
    std::filesystem::create_directory(dir.path() / "songs");
    dir.write("songs/a.mid", note(60));
    dir.write("songs/b.mid", test::concat({test::smfHeader(0, 1, 96), test::smfTrack({0x00, 0x90, 0x3C})}));
    dir.write("songs/c.MIDI", note(64));
    dir.write("songs/notes.txt", {'x'});
    const std::string rec = RECORDER_PLUGIN;

    test::ToolResult folder = test::runTool(dir, {"--plugin", rec, "--midi", "songs", "--tail", "0"});
    EXPECT_EQ(folder.status, 1) << folder.err;
    EXPECT_TRUE(contains(folder.out, "3 files: 2 rendered, 1 failed (songs/b.mid)\n")) << folder.out;
    EXPECT_TRUE(contains(folder.err, "'songs/b.mid' is corrupt")) << folder.err;
    EXPECT_EQ(readAudio(dir.file("songs/a.wav")).info.frames, 44100);  // the note and its rest
    EXPECT_EQ(readAudio(dir.file("songs/c.wav")).info.frames, 44100);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "songs/b.wav"));

    // Named one by one, into a folder of their own, as FLAC.
    test::ToolResult listed = test::runTool(dir, {"--plugin", rec, "--midi", "songs/c.MIDI", "songs/b.mid", "--midi",
                                                  "songs/a.mid", "--out-dir", "out", "--format", "flac", "--tail", "0"});
    EXPECT_EQ(listed.status, 1) << listed.err;
    EXPECT_TRUE(contains(listed.out, "3 files: 2 rendered, 1 failed (songs/b.mid)\n")) << listed.out;
    std::vector<std::string> written;
    for (auto& e : std::filesystem::directory_iterator(dir.path() / "out")) written.push_back(e.path().filename());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"a.flac", "c.flac"}));
    EXPECT_EQ(readAudio(dir.file("out/a.flac")).info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);

    test::ToolResult clean = test::runTool(dir, {"--plugin", rec, "--midi", "songs/a.mid", "songs/c.MIDI", "-q"});
    EXPECT_EQ(clean.status, 0) << clean.err;
    EXPECT_EQ(clean.out, "");
}

TEST(Batch, CommandLinesThatCannotWorkAreRefusedBeforeRendering) {
    test::ScratchDir dir;
    std::filesystem::create_directory(dir.path() / "a");
    std::filesystem::create_directory(dir.path() / "b");
    dir.write("a/song.mid", note());
    dir.write("b/song.mid", note());
    const std::string rec = RECORDER_PLUGIN;
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--midi", "a/song.mid", "b/song.mid", "-o", "x.wav"}, "--out names the output of one input, and there are 2"},
        {{"--midi", "a/song.mid", "b/song.mid", "--out-dir", "out"}, "'a/song.mid' and 'b/song.mid' would both be rendered to 'out/song.wav'"},
        {{"--midi", "a/song.mid", "-"}, "--midi - (standard input) must be the only input"},
        {{"--midi", "a/song.mid", "--format", "wav", "--out-dir", "a", "--midi", "a/song.wav"}, "'a/song.wav' would be rendered over itself"},
        {{"--midi", "-"}, "--midi - needs --out FILE, or --out - for standard output"},
        {{"--midi", "a/song.mid", "--format", "flac", "-o", "x.wav"}, "does not end in .flac"},
        {{"--midi", "a/song.mid", "-o", "x.wav", "--out-dir", "out"}, "excludes --out-dir"},
        {{"--midi", "a/song.mid", "--gain", "3", "--normalize", "-1"}, "--gain excludes --normalize"},
        {{"--midi", "a/song.mid", "--normalize", "nan"}, "--normalize needs a level in dBFS"},
        {{"--midi", "a/song.mid", "--channel", "17"}, "--channel"},
        {{"--list-tracks"}, "needs --midi"},
        // Options the plug-in refuses fail every file alike: said once.
        {{"--midi", "a/song.mid", "b/song.mid", "--param", "Gain=1"}, "unknown parameter 'Gain'"},
    };
    for (Case& c : cases) {
        c.args.insert(c.args.begin(), {"--plugin", rec});
        test::ToolResult result = test::runTool(dir, c.args);
        EXPECT_EQ(result.status, 2) << c.message << ": " << result.err;
        size_t first = result.err.find(c.message);
        EXPECT_NE(first, std::string::npos) << result.err;
        EXPECT_EQ(result.err.find(c.message, first + 1), std::string::npos) << "said more than once: " << result.err;
        EXPECT_EQ(dir.entries().size(), 2u) << c.message;
    }
}

// Runs the tool with pipes on standard input and output, as in a shell
// pipeline: returns what came out.
std::string throughPipes(const test::ScratchDir& dir, std::vector<std::string> args, const test::Bytes& input,
                         int* status) {
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return {};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
        if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
        std::vector<char*> argv{const_cast<char*>(ORVO_RENDER_EXE)};
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(ORVO_RENDER_EXE, argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    if (::write(in[1], input.data(), input.size()) != ssize_t(input.size())) ADD_FAILURE() << "stdin not taken";
    ::close(in[1]);
    std::string got;
    char chunk[65536];
    for (ssize_t n; (n = ::read(out[0], chunk, sizeof chunk)) > 0;) got.append(chunk, size_t(n));
    ::close(out[0]);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return got;
}

TEST(Pipes, StandardInputAndOutputCarryWhatFilesWould) {
    test::ScratchDir dir;
    dir.write("song.mid", note());
    for (const char* format : {"wav", "flac"}) {
        std::string file = std::string("song.") + format;
        ASSERT_EQ(test::runTool(dir, {"--midi", "song.mid", "--format", format, "-q"}).status, 0);
        int status = -1;
        std::string piped =
            throughPipes(dir, {"--midi", "-", "-o", "-", "--format", format, "-q"}, note(), &status);
        ASSERT_EQ(status, 0) << format;
        std::ofstream(dir.file("piped"), std::ios::binary) << piped;
        Audio fromFile = readAudio(dir.file(file)), fromPipe = readAudio(dir.file("piped"));
        EXPECT_EQ(fromPipe.info.format, fromFile.info.format) << format;
        ASSERT_GT(fromFile.samples.size(), 40000u);
        EXPECT_TRUE(fromPipe.samples == fromFile.samples) << format << " on standard output differs from the file";
    }
    // The summary must not land among the samples.
    test::ToolResult toFile = test::runTool(dir, {"--midi", "-", "-o", "-"}, -1, -1, dir.file("song.mid"));
    ASSERT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_TRUE(contains(toFile.err, "-> standard output")) << toFile.err;
    EXPECT_EQ(toFile.out.compare(0, 4, "RIFF"), 0);
    test::ToolResult garbage = test::runTool(dir, {"--midi", "-", "-o", "x.wav"}, -1, -1, dir.file("song.wav"));
    EXPECT_EQ(garbage.status, 1);
    EXPECT_TRUE(contains(garbage.err, "the MIDI on standard input is corrupt")) << garbage.err;
}

int peakOf(const Audio& audio, int bits) {
    int peak = 0;
    for (int x : audio.ints) peak = std::max(peak, std::abs(x / (1 << (32 - bits))));
    return peak;
}

TEST(Levels, NormalizedPeaksLandOnTheAskedLevelWithinAStep) {
    test::ScratchDir dir;
    dir.write("song.mid", note());
    for (auto [target, bits, expected] : {std::tuple{"-1", "16", 29205}, {"-1", "24", 7476355}, {"-20", "16", 3277},
                                          {"0", "16", 32767}, {"0", "24", 8388607}}) {
        test::ToolResult result = test::runTool(
            dir, {"--plugin", RECORDER_PLUGIN, "--midi", "song.mid", "--normalize", target, "--bits", bits});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_FALSE(contains(result.err, "clipped")) << result.err;
        Audio audio = readAudio(dir.file("song.wav"));
        EXPECT_NEAR(peakOf(audio, std::stoi(bits)), expected, 1) << target << " dBFS at " << bits << " bits";
        EXPECT_TRUE(contains(result.out, "peak " + std::string(target) + ".0 dBFS")) << result.out;
    }
    test::ToolResult asFloat =
        test::runTool(dir, {"--plugin", RECORDER_PLUGIN, "--midi", "song.mid", "--normalize", "-6", "-q"});
    ASSERT_EQ(asFloat.status, 0) << asFloat.err;
    std::vector<float> samples = readAudio(dir.file("song.wav")).samples;
    EXPECT_NEAR(*std::max_element(samples.begin(), samples.end()), std::pow(10.0, -6.0 / 20), 1e-6);
    EXPECT_FLOAT_EQ(samples[1] / samples[0], 0.5f) << "both channels scaled alike";
}

TEST(Levels, GainScalesAndClippedSamplesAreCounted) {
    test::ScratchDir dir;
    dir.write("song.mid", note());
    const std::string rec = RECORDER_PLUGIN;
    // +12 dB takes the left channel (100/254) to 1.57 and the right to 0.78.
    test::ToolResult loud = test::runTool(dir, {"--plugin", rec, "--midi", "song.mid", "--gain", "12", "--bits", "16"});
    ASSERT_EQ(loud.status, 0) << loud.err;
    EXPECT_TRUE(contains(loud.err, "warning: 22050 samples clipped in the 16-bit output of 'song.mid'")) << loud.err;
    EXPECT_TRUE(contains(loud.out, "gain +12.0 dB, 22050 samples clipped")) << loud.out;
    Audio clipped = readAudio(dir.file("song.wav"));
    EXPECT_EQ(clipped.ints[0] >> 16, 32767);
    EXPECT_NEAR(clipped.ints[1] >> 16, 100.0 / 508 * std::pow(10.0, 0.6) * 32768, 1);

    // Float samples keep the overs; a batch sums the clipping up.
    dir.write("two.mid", note());
    test::ToolResult kept = test::runTool(dir, {"--plugin", rec, "--midi", "song.mid", "two.mid", "--gain", "12"});
    ASSERT_EQ(kept.status, 0) << kept.err;
    EXPECT_FALSE(contains(kept.err + kept.out, "clipped")) << kept.err;
    EXPECT_NEAR(readAudio(dir.file("song.wav")).samples[0], 100.0 / 254 * std::pow(10.0, 0.6), 1e-5);
    test::ToolResult both =
        test::runTool(dir, {"--plugin", rec, "--midi", "song.mid", "two.mid", "--gain", "12", "--bits", "24"});
    EXPECT_TRUE(contains(both.out, "2 files: 2 rendered; 44100 samples clipped in 2 files (song.mid, two.mid)"))
        << both.out;
}

}  // namespace
}  // namespace orvo::render
