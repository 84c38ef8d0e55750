// The README's "render a part of a song" example, run as it is shown: the
// listing must be what the README prints, and the render is drawn into the
// picture the README shows (render-part.png in the build folder, copied to
// docs/ by hand when the sound changes), beside the song itself
// (render-part.mid), for trying the example out.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>

#include "smf_writer.h"
#include "test_support.h"
#include "waveform_png.h"

namespace orvo::render {
namespace {

// Two bars at 100 BPM in General MIDI layout: a legato melody, chords, bass
// and drums, which the instrument's two voices cannot all play at once.
test::Bytes exampleSong() {
    test::SmfWriter smf(480);
    smf.track().name("Tempo").tempo(0, 600000).end(3840);
    auto& melody = smf.track().name("Melody");
    const int tune[] = {64, 67, 69, 72, 71, 69, 67, 64};
    for (int i = 0; i < 8; ++i) melody.note(uint32_t(i * 480), i < 7 ? 520 : 480, 1, tune[i], 96);
    auto& chords = smf.track().name("Chords");
    const int triads[][3] = {{48, 52, 55}, {45, 48, 52}, {41, 45, 48}, {43, 47, 50}};
    for (int bar = 0; bar < 4; ++bar)
        for (int key : triads[bar]) chords.note(uint32_t(bar * 960), 900, 2, key, 70);
    auto& bass = smf.track().name("Bass");
    const int roots[] = {36, 33, 29, 31};
    for (int i = 0; i < 8; ++i) bass.note(uint32_t(i * 480), 400, 3, roots[i / 2], 90);
    auto& drums = smf.track().name("Drums");
    for (int eighth = 0; eighth < 16; ++eighth) {
        drums.note(uint32_t(eighth * 240), 60, 10, 42, 60);
        if (eighth % 2 == 0) drums.note(uint32_t(eighth * 240), 60, 10, eighth % 4 ? 38 : 36, 100);
    }
    return smf.bytes();
}

const char* kListing =
    "$ build/linux/orvo-render --midi song.mid --list-tracks\n"
    "song.mid: format 1, 5 tracks, 4.8 s\n"
    "  track  name    channels  notes  range\n"
    "      1  Tempo   -             0\n"
    "      2  Melody  1             8  E4-C5\n"
    "      3  Chords  2            12  F2-G3\n"
    "      4  Bass    3             8  F1-C2\n"
    "      5  Drums   10           24  C2-F#2\n";

TEST(Example, APartOfASongAsTheReadmeShowsIt) {
    test::ScratchDir dir;
    dir.write("song.mid", exampleSong());
    std::filesystem::copy_file(dir.file("song.mid"), ORVO_BINARY_DIR "/render-part.mid",
                               std::filesystem::copy_options::overwrite_existing);
    test::ToolResult listed = test::runTool(dir, {"--midi", "song.mid", "--list-tracks"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    std::string listing = kListing;
    EXPECT_EQ("$ build/linux/orvo-render --midi song.mid --list-tracks\n" + listed.out, listing);
    EXPECT_NE(test::readText(ORVO_SOURCE_DIR "/README.md").find(listing), std::string::npos)
        << "the README shows another listing than the tool prints";

    test::ToolResult part = test::runTool(dir, {"--midi", "song.mid", "--track", "Melody", "--normalize", "-1"});
    ASSERT_EQ(part.status, 0) << part.err;
    EXPECT_NE(part.out.find("peak -1.0 dBFS"), std::string::npos) << part.out;

    SF_INFO info{};
    SNDFILE* file = sf_open(dir.file("song.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    std::vector<float> samples(size_t(info.frames) * 2);
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    // The melody sounds from its first note to the end of the song, then
    // its release: only the tail may be quiet.
    const int width = 640;
    test::Waveform picture = test::drawWaveform(samples, info.samplerate, width, 160);
    const double sounding = 4.8 * info.samplerate / double(info.frames);
    EXPECT_LE(picture.silentColumns, int(width * (1.0 - sounding)) + 2);
    EXPECT_TRUE(test::writeWaveform(ORVO_BINARY_DIR "/render-part.png", picture));
}

TEST(Example, TheReadmeShowsTheHelpAsItIs) {
    test::ScratchDir dir;
    test::ToolResult help = test::runTool(dir, {"--help"});
    ASSERT_EQ(help.status, 0);
    EXPECT_NE(test::readText(ORVO_SOURCE_DIR "/README.md").find("$ build/linux/orvo-render --help\n" + help.out + "```"),
              std::string::npos)
        << "README.md's --help block is out of step with:\n" << help.out;
}

}  // namespace
}  // namespace orvo::render
