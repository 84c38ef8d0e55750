// Choosing the part of a song: tracks, channels, the drums left out, and the
// sustain pedal the host plays for the instrument.
#include "part.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <map>

#include "smf_writer.h"
#include "test_support.h"

namespace orvo::render {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<float> readFloats(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (!file) return {};
    std::vector<float> samples(size_t(info.frames) * size_t(info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

// Two seconds of a General MIDI song at 120 BPM: a melody in eighths on
// channel 1 over half-note bass on channel 2 (so the two voices are shared
// between them), and drums on channel 10. Every track is always there; the
// ones not asked for are left empty.
constexpr int kMelody = 1, kBass = 2, kDrums = 4, kAll = 7;
test::Bytes song(int parts) {
    test::SmfWriter smf(480);
    smf.track().name("Tempo").tempo(0, 500000).end(1920);
    auto& melody = smf.track().name("Melody");
    auto& bass = smf.track().name("Bass");
    auto& drums = smf.track().name("Drums");
    const int tune[] = {72, 74, 76, 77, 79, 77, 76, 74};
    for (int i = 0; i < 8 && (parts & kMelody); ++i) melody.note(uint32_t(i * 240), 200, 1, tune[i], 90);
    if (parts & kBass) bass.note(0, 960, 2, 48, 100).note(960, 960, 2, 43, 100);
    for (int beat = 0; beat < 4 && (parts & kDrums); ++beat) drums.note(uint32_t(beat * 480), 60, 10, beat % 2 ? 38 : 36);
    return smf.bytes();
}

TEST(Part, TracksAreListedWithTheirNamesChannelsNotesAndRange) {
    MidiFile midi = parseMidiFile(song(kAll));
    std::vector<TrackInfo> tracks = describeTracks(midi);
    ASSERT_EQ(tracks.size(), 4u);
    EXPECT_EQ(tracks[0].name, "Tempo");
    EXPECT_EQ(tracks[0].notes, 0);
    EXPECT_EQ(tracks[1].notes, 8);
    EXPECT_EQ(noteName(tracks[1].lowest) + " " + noteName(tracks[1].highest), "C5 G5");
    EXPECT_EQ(channelList(tracks[3].channels), "10");
    EXPECT_EQ(channelList(0x0203), "1,2,10");
    EXPECT_EQ(noteName(0), "C-1");
    EXPECT_EQ(noteName(61), "C#4");
    EXPECT_EQ(noteName(127), "G9");

    test::ScratchDir dir;
    dir.write("song.mid", song(kAll));
    test::ToolResult listed = test::runTool(dir, {"--midi", "song.mid", "--list-tracks"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_TRUE(contains(listed.out, "song.mid: format 1, 4 tracks, 2.0 s\n")) << listed.out;
    EXPECT_TRUE(contains(listed.out, "      1  Tempo   -             0\n")) << listed.out;
    EXPECT_TRUE(contains(listed.out, "      2  Melody  1             8  C5-G5\n")) << listed.out;
    EXPECT_TRUE(contains(listed.out, "      4  Drums   10            4  C2-D2\n")) << listed.out;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"song.mid"}) << "a listing renders nothing";
}

// Older sequencers wrote Latin-1, newer ones UTF-8: either is listed as
// UTF-8, lined up by characters, and found by --track as the user types it.
TEST(Part, TrackNamesInLatin1OrUtf8AreShownAndFoundAsUtf8) {
    test::SmfWriter smf(480);
    smf.track().name("M\xE9lodie\x85").note(0, 240, 1, 72);  // Latin-1, with a C1 control
    smf.track().name("Ba\xC3\x9F").note(0, 240, 2, 48);         // UTF-8
    const MidiFile midi = parseMidiFile(smf.bytes());
    EXPECT_EQ(midi.trackNames, (std::vector<std::string>{"M\xC3\xA9lodie?", "Ba\xC3\x9F"}));
    EXPECT_EQ(selectPart(midi, PartChoice{{}, {"M\xC3\xA9lodie?"}}).midi.events.size(), 2u);

    test::ScratchDir dir;
    dir.write("song.mid", smf.bytes());
    test::ToolResult listed = test::runTool(dir, {"--midi", "song.mid", "--list-tracks"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_TRUE(contains(listed.out, "      2  Ba\xC3\x9F       2             1  C3\n")) << listed.out;
}

// Each choice against a file that holds only the notes it should keep: the
// same samples, to the bit, and not those of the whole song.
TEST(Part, AChosenPartSoundsExactlyLikeAFileOfThatPartAlone) {
    test::ScratchDir dir;
    dir.write("song.mid", song(kAll));
    const auto render = [&](const std::string& name, std::vector<std::string> args) {
        args.insert(args.end(), {"--tail", "0.3", "-q", "--out", name});
        test::ToolResult result = test::runTool(dir, args);
        EXPECT_EQ(result.status, 0) << name << ": " << result.err;
        return readFloats(dir.file(name));
    };
    std::map<int, std::vector<float>> alone;
    for (int parts : {kMelody, kBass, kDrums, kMelody | kBass, kAll}) {
        std::string name = "alone-" + std::to_string(parts) + ".mid";
        dir.write(name, song(parts));
        alone[parts] = render(name + ".wav", {"--midi", name, "--channel", "1", "--channel", "2", "--channel", "10"});
        ASSERT_GT(alone[parts].size(), 88200u);
    }
    ASSERT_NE(alone[kMelody | kBass], alone[kAll]);
    ASSERT_NE(alone[kMelody | kBass], alone[kMelody]) << "the bass should take a voice from the melody";

    struct Case {
        std::vector<std::string> args;
        int parts;
    } cases[] = {
        {{"--track", "Melody"}, kMelody},
        {{"--track", "3"}, kBass},
        {{"--track", "melody", "--track", "bass"}, kMelody | kBass},
        {{"--channel", "2"}, kBass},
        {{"--channel", "10"}, kDrums},
        {{"--track", "Drums"}, kDrums},  // the drums alone are what was asked for
        {{"--channel", "1", "--channel", "2"}, kMelody | kBass},
        {{}, kMelody | kBass},  // drums left out by default
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--midi", "song.mid"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::string shown;
        for (auto& a : c.args) shown += a + " ";
        EXPECT_TRUE(render("part.wav", args) == alone[c.parts]) << shown << "renders other samples than its part alone";
    }
}

TEST(Part, TheDrumsAreLeftOutOfASeveralChannelSongWithANote) {
    test::ScratchDir dir;
    dir.write("song.mid", song(kAll));
    dir.write("drums.mid", song(kDrums));
    test::ToolResult whole = test::runTool(dir, {"--midi", "song.mid", "--tail", "0"});
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_TRUE(contains(whole.err, "note: 'song.mid' plays channel 10 (General MIDI drums) beside other channels; it "
                                    "is left out (--channel 10 brings it back)"))
        << whole.err;
    for (std::vector<std::string> args : {std::vector<std::string>{"--midi", "drums.mid"},
                                          {"--midi", "song.mid", "--channel", "10"},
                                          {"--midi", "song.mid", "--quiet"}}) {
        args.insert(args.end(), {"--tail", "0"});
        test::ToolResult result = test::runTool(dir, args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_FALSE(contains(result.err, "channel 10")) << args[1] << " " << args.back() << ": " << result.err;
    }
}

TEST(Part, ATrackTheFileLacksFailsAndSaysWhichItHas) {
    test::ScratchDir dir;
    dir.write("song.mid", song(kAll));
    for (const char* track : {"5", "0", "Piano"}) {
        test::ToolResult result = test::runTool(dir, {"--midi", "song.mid", "--track", track});
        EXPECT_EQ(result.status, 1) << track;
        EXPECT_TRUE(contains(result.err, "'song.mid': there is no track")) << result.err;
        EXPECT_TRUE(contains(result.err, "it has 4 tracks: 1 Tempo, 2 Melody, 3 Bass, 4 Drums")) << result.err;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"song.mid"});
    }
}

std::vector<std::string> shown(const Timeline& timeline) {
    std::vector<std::string> events;
    for (const HostEvent& e : timeline.events) {
        char text[32];
        std::snprintf(text, sizeof text, "%lld %02x %d %d", static_cast<long long>(e.frame), e.midi[0], e.midi[1],
                      e.midi[2]);
        events.push_back(text);
    }
    return events;
}

TEST(Sustain, NoteOffsWaitForThePedalOfTheirChannelAndStayPaired) {
    Timeline played;
    played.events = {
        HostEvent::midiMessage(0, 0x90, 60, 100),   HostEvent::midiMessage(10, 0xB0, 64, 127),  // pedal down
        HostEvent::midiMessage(20, 0x80, 60, 64),   HostEvent::midiMessage(25, 0x91, 50, 90),   // channel 2
        HostEvent::midiMessage(30, 0x91, 50, 0),    HostEvent::midiMessage(40, 0x90, 60, 80),   // struck again
        HostEvent::midiMessage(45, 0x90, 62, 70),   HostEvent::midiMessage(50, 0x90, 60, 0),
        HostEvent::midiMessage(55, 0x80, 62, 0),    HostEvent::midiMessage(60, 0xB0, 64, 30),   // pedal up
        HostEvent::midiMessage(70, 0xB0, 7, 100),   HostEvent::midiMessage(80, 0xB0, 64, 64),   // down again
        HostEvent::midiMessage(85, 0x90, 64, 100),  HostEvent::midiMessage(90, 0x80, 64, 0),
    };
    played.endFrame = 120;
    EXPECT_EQ(shown(applySustain(played)), (std::vector<std::string>{
                                               "0 90 60 100", "25 91 50 90", "30 91 50 0",  // no pedal on channel 2
                                               "40 80 60 64", "40 90 60 80",  // the held note-off first
                                               "45 90 62 70",
                                               "60 90 60 0", "60 80 62 0",  // as each was sent
                                               "70 b0 7 100",               // other controllers pass
                                               "85 90 64 100",
                                               "120 80 64 0",  // a pedal never lifted lets go at the end
                                           }));
}

// Through the recorder, which sounds exactly while its note is held.
TEST(Sustain, ThePedalHoldsANoteToTheFrameItLifts) {
    test::ScratchDir dir;
    test::SmfWriter smf(480);
    smf.track().note(0, 240, 1, 60, 127).controller(120, 1, 64, 127).controller(720, 1, 64, 0).end(960);
    dir.write("pedal.mid", smf.bytes());
    for (bool sustain : {true, false}) {
        std::vector<std::string> args = {"--plugin", RECORDER_PLUGIN, "--midi", "pedal.mid", "--tail", "0", "-q"};
        if (!sustain) args.push_back("--no-sustain");
        ASSERT_EQ(test::runTool(dir, args).status, 0);
        std::vector<float> samples = readFloats(dir.file("pedal.wav"));
        const size_t release = sustain ? 33075 : 11025;  // tick 720 or 240 at 44100 Hz
        ASSERT_GT(samples.size(), 2 * release);
        EXPECT_EQ(samples[2 * (release - 1)], 0.5f) << "sustain " << sustain;
        EXPECT_EQ(samples[2 * release], 0.0f) << "sustain " << sustain;
    }
}

}  // namespace
}  // namespace orvo::render
