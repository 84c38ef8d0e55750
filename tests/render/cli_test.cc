// The built orvo-render, run as a user would run it.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <filesystem>

#include "cli.h"
#include "test_support.h"

namespace orvo::render {
namespace {

using test::concat;
using test::smfHeader;
using test::smfTrack;

// One note of 100 velocity from tick 0 to 96 (half a second at 120 BPM).
test::Bytes tinySong() {
    return concat({smfHeader(0, 1, 96), smfTrack({0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00})});
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(Cli, EveryFailureExitsNonZeroWithItsReasonAndLeavesNothingBehind) {
    test::ScratchDir dir;
    dir.write("song.mid", tinySong());
    dir.write("corrupt.mid", concat({smfHeader(0, 1, 96), smfTrack({0x00, 0x90, 0x3C})}));
    dir.write("text.so", {'h', 'e', 'l', 'l', 'o', '\n'});
    std::filesystem::create_directory(dir.path() / "folder.wav");
    const std::string rec = RECORDER_PLUGIN;
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"--plugin", "absent.so"}, 1, "plug-in 'absent.so': No such file or directory"},
        {{"--plugin", dir.path().string()}, 1, "is a directory, not a shared library"},
        {{"--plugin", "text.so"}, 1, "cannot load plug-in 'text.so'"},
        {{"--plugin", NO_ENTRY_PLUGIN}, 1, "exports neither VSTPluginMain nor main"},
        {{"--plugin", NULL_RECORD_PLUGIN}, 1, "its entry point returned no effect record"},
        {{"--plugin", BAD_MAGIC_PLUGIN}, 1, "bad magic 0x12345678"},
        {{"--plugin", CRASHING_PLUGIN}, -1, "crashed while running the plug-in; nothing was written"},
        {{"--plugin", rec, "--midi", "absent.mid"}, 1, "cannot open MIDI file 'absent.mid'"},
        {{"--plugin", rec, "--midi", "corrupt.mid"}, 1, "'corrupt.mid' is corrupt: track 1, offset 0x19"},
        {{"--plugin", rec, "--param", "Gain=0.5"}, 2, "unknown parameter 'Gain'; the plug-in's parameters are: Level, Tone, Cut Off"},
        {{"--plugin", rec, "--param", "Level=1.5"}, 2, "'1.5' is not a value from 0 to 1"},
        {{"--plugin", rec, "--param", "Level"}, 2, "is not NAME=VALUE"},
        {{"--plugin", rec, "--program", "2"}, 2, "the plug-in has 2 programs (0 to 1)"},
        {{"--plugin", rec, "--out", "no/such/dir/x.wav"}, 1, "cannot write 'no/such/dir/x.wav': No such file or directory"},
        {{"--plugin", rec, "--out", "folder.wav"}, 1, "cannot write 'folder.wav': it is a directory"},
        // A name or format that cannot work is the command line's fault.
        {{"--plugin", rec, "--out", "song.mp3"}, 2, "name it .wav or .flac"},
        {{"--plugin", rec, "--out", "x.flac", "--bits", "32f"}, 2, "FLAC has no float samples"},
        {{"--plugin", rec, "--tail", "nan"}, 2, "--tail needs a number of seconds, not 'nan'"},
        {{"--plugin", rec, "--tail", "-inf"}, 2, "--tail needs a number of seconds"},
        {{"--plugin", rec, "--program", "-1"}, 2, "a program number is 0 or more"},
        {{"--rate", "10"}, 2, "--rate"},
        {{"--loud"}, 2, "--loud"},
    };
    std::vector<std::string> before = dir.entries();
    for (const Case& c : cases) {
        std::string shown;
        for (auto& a : c.args) shown += a + " ";
        test::ToolResult result = test::runTool(dir, c.args);
        EXPECT_EQ(result.status, c.status) << shown << result.err;
        EXPECT_TRUE(contains(result.err, c.message)) << shown << "\n" << result.err;
        EXPECT_LT(result.err.size(), 300u) << shown << ": a message to read, not a dump";
        EXPECT_EQ(dir.entries().size(), before.size()) << shown << ": left a file behind";
    }
}

TEST(Cli, RendersAMidiFileToFlacAndSaysWhereItWent) {
    test::ScratchDir dir;
    dir.write("song.mid", tinySong());
    test::ToolResult result = test::runTool(dir, {"--plugin", RECORDER_PLUGIN, "--midi", "song.mid", "--out",
                                                  "song.flac", "--bits", "16", "--param", "level=0.5", "--tail", "0.5"});
    ASSERT_EQ(result.status, 0) << result.err;
    // The recorder plays velocity / 254 times Level: 100 / 254 / 2.
    EXPECT_TRUE(contains(result.out, "peak -14.1 dBFS")) << result.out;
    EXPECT_TRUE(contains(result.out, "-> " + dir.file("song.flac"))) << result.out;
    EXPECT_TRUE(contains(result.out, "(44100 frames, 44100 Hz, 16-bit)")) << result.out;

    SF_INFO info{};
    SNDFILE* file = sf_open(dir.file("song.flac").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.frames, 44100);  // half a second of note, half a second of tail
    sf_close(file);
    std::vector<std::string> entries = dir.entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"song.flac", "song.mid"}));
}

// Notes a few milliseconds apart, overlapping, with bends between them:
// many note-ons share a block at any usual block size.
test::Bytes denseSong() {
    test::Bytes body;
    auto delta = [&](uint32_t ticks) {
        if (ticks >= 0x80) body.push_back(uint8_t(0x80 | (ticks >> 7)));
        body.push_back(uint8_t(ticks & 0x7F));
    };
    uint32_t seed = 12345;
    auto next = [&](uint32_t range) { return (seed = seed * 1103515245u + 12345u) / 65536u % range; };
    for (int i = 0; i < 120; ++i) {
        uint8_t key = uint8_t(40 + next(40));
        delta(next(12));
        body.insert(body.end(), {0x90, key, uint8_t(30 + next(90))});
        if (i % 5 == 2) {
            delta(next(5));
            body.insert(body.end(), {0xE0, 0x00, uint8_t(next(128))});
        }
        delta(next(20));
        body.insert(body.end(), {0x80, key, 0x40});
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    test::Bytes track = {'M', 'T', 'r', 'k', 0, 0, uint8_t(body.size() >> 8), uint8_t(body.size())};
    track.insert(track.end(), body.begin(), body.end());
    return concat({smfHeader(0, 1, 480), track});
}

TEST(Cli, TheBlockSizeDoesNotChangeTheRender) {
    test::ScratchDir dir;
    dir.write("dense.mid", denseSong());
    std::string first;
    for (const char* block : {"1", "64", "512", "16384"}) {
        std::string out = std::string("dense-") + block + ".wav";
        test::ToolResult result =
            test::runTool(dir, {"--midi", "dense.mid", "--block", block, "--tail", "0.5", "-q", "--out", out});
        ASSERT_EQ(result.status, 0) << result.err;
        std::string bytes = test::readText(dir.file(out));
        ASSERT_GT(bytes.size(), 100000u);
        if (first.empty())
            first = bytes;
        else
            EXPECT_TRUE(bytes == first) << "--block " << block << " renders other samples than --block 1";
    }
}

// The program is selected once the rate is set whether or not one is asked
// for, so asking for the current one changes nothing at any rate.
TEST(Cli, AskingForTheCurrentProgramChangesNothing) {
    test::ScratchDir dir;
    dir.write("dense.mid", denseSong());
    std::string files[2];
    for (int asked = 0; asked < 2; ++asked) {
        const std::string out = asked ? "asked.wav" : "current.wav";
        std::vector<std::string> args{"--midi", "dense.mid", "--rate", "48000", "--tail", "0.5", "-q", "--out", out};
        if (asked) args.insert(args.end(), {"--program", "0"});
        test::ToolResult result = test::runTool(dir, args);
        ASSERT_EQ(result.status, 0) << result.err;
        files[asked] = test::readText(dir.file(out));
    }
    ASSERT_GT(files[0].size(), 100000u);
    EXPECT_TRUE(files[0] == files[1]);
}

// Under a file-size limit (or on a full disk) the render fails: status 1, a
// message, and neither the target nor a temporary file on disk.
TEST(Cli, AWriteErrorIsAFailureAndLeavesNoFile) {
    test::ScratchDir dir;
    dir.write("dense.mid", denseSong());
    for (const char* out : {"song.wav", "song.flac"}) {
        // The whole file, to learn its size; then a byte short, and far short.
        test::ToolResult full = test::runTool(dir, {"--midi", "dense.mid", "--bits", "16", "-q", "--out", out});
        ASSERT_EQ(full.status, 0) << full.err;
        long size = long(std::filesystem::file_size(dir.path() / out));
        std::filesystem::remove(dir.path() / out);
        // (The limit holds for the captured stderr as well: room for the message.)
        for (long limit : {size - 1, size / 3, 1000L}) {
            test::ToolResult result =
                test::runTool(dir, {"--midi", "dense.mid", "--bits", "16", "-q", "--out", out}, -1, limit);
            EXPECT_EQ(result.status, 1) << out << " under " << limit << " bytes: " << result.err;
            EXPECT_TRUE(contains(result.err, "File too large; nothing was written")) << out << ": " << result.err;
            EXPECT_EQ(dir.entries(), std::vector<std::string>{"dense.mid"}) << out << " under " << limit << " bytes";
        }
    }
}

TEST(Cli, TheTailIsWhatTheHelpSays) {
    test::ScratchDir dir;
    test::ToolResult help = test::runTool(dir, {"--help"});
    EXPECT_TRUE(contains(help.out, "silent for 1 s, of which the file keeps 0.25 s; at most 30 s")) << help.out;
    // The recorder falls silent the moment the note ends, half a second in.
    dir.write("song.mid", tinySong());
    test::ToolResult result = test::runTool(dir, {"--plugin", RECORDER_PLUGIN, "--midi", "song.mid"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(contains(result.out, "(33075 frames,")) << result.out;  // 0.5 s + 0.25 s
}

TEST(Cli, AnHourLongRenderIsAnnouncedBeforeItStarts) {
    EXPECT_EQ(longRenderWarning(int64_t(3600) * 44100, 44100), std::nullopt);
    ASSERT_NE(longRenderWarning(int64_t(3600) * 44100 + 1, 44100), std::nullopt);
    EXPECT_TRUE(contains(*longRenderWarning(int64_t(7200) * 48000, 48000), "runs 2.0 hours"));

    // 37 bytes: a note, then 0x0FFFFFFF ticks at 480 a beat before its end.
    test::ScratchDir dir;
    dir.write("stray.mid", concat({smfHeader(0, 1, 480), smfTrack({0x00, 0x90, 0x3C, 0x64, 0xFF, 0xFF, 0xFF, 0x7F,
                                                                   0x80, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00})}));
    test::ToolResult result = test::runTool(dir, {"--plugin", RECORDER_PLUGIN, "--midi", "stray.mid"}, 100);
    EXPECT_EQ(result.status, 130) << result.err;
    EXPECT_TRUE(contains(result.err, "warning: this render runs 77.7 hours")) << result.err;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"stray.mid"});
}

TEST(Cli, ListsProgramsAndParametersThroughThePlugin) {
    test::ScratchDir dir;
    test::ToolResult result = test::runTool(dir, {"--plugin", RECORDER_PLUGIN, "--list", "--program", "1"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(contains(result.out, "*  1  Second")) << result.out;
    EXPECT_TRUE(contains(result.out, "   0  First")) << result.out;
    EXPECT_TRUE(contains(result.out, "2  Cut Off      0.5000   5.0 dB")) << result.out;
    EXPECT_TRUE(dir.entries().empty());
}

TEST(Cli, WithoutArgumentsRendersTheDemoWithThePluginBesideIt) {
    test::ScratchDir dir;
    test::ToolResult result = test::runTool(dir, {});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(contains(result.out, "float32")) << result.out;
    EXPECT_TRUE(contains(result.out, "-> " + dir.file("orvo-demo.wav"))) << result.out;
    SF_INFO info{};
    SNDFILE* file = sf_open(dir.file("orvo-demo.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    std::vector<float> samples(size_t(info.frames) * 2);
    EXPECT_EQ(sf_readf_float(file, samples.data(), info.frames), info.frames);
    sf_close(file);
    EXPECT_EQ(test::fnv1a(samples), test::kDemoHash) << "the file holds other samples than the render";
}

TEST(Cli, InterruptedRenderLeavesNoFile) {
    test::ScratchDir dir;
    dir.write("song.mid", tinySong());
    // An hour of tail takes far longer than the interrupt takes to arrive.
    test::ToolResult result =
        test::runTool(dir, {"--plugin", RECORDER_PLUGIN, "--midi", "song.mid", "--tail", "3600"}, 100);
    EXPECT_EQ(result.status, 130) << result.err;
    EXPECT_TRUE(contains(result.err, "interrupted")) << result.err;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"song.mid"});
}

}  // namespace
}  // namespace orvo::render
