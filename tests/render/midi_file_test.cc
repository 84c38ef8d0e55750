#include "midi_file.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace orvo::render {
namespace {

using test::Bytes;
using test::concat;
using test::smfHeader;
using test::smfTrack;

struct Expected {
    uint64_t tick;
    uint8_t status, data1, data2;
};

void expectEvents(const MidiFile& midi, std::initializer_list<Expected> expected) {
    ASSERT_EQ(midi.events.size(), expected.size());
    size_t i = 0;
    for (const Expected& e : expected) {
        const MidiFileEvent& got = midi.events[i++];
        EXPECT_EQ(got.tick, e.tick) << "event " << i;
        EXPECT_EQ(got.bytes[0], e.status) << "event " << i;
        EXPECT_EQ(got.bytes[1], e.data1) << "event " << i;
        if (got.size == 3) {
            EXPECT_EQ(got.bytes[2], e.data2) << "event " << i;
        }
    }
}

TEST(MidiFile, RunningStatusCarriesOverChannelMessagesWhileSysexAndMetaAreDropped) {
    Bytes file = concat({smfHeader(0, 1, 96),
                         smfTrack({0x00, 0x90, 0x3C, 0x64,                     // note on
                                   0x60, 0x3C, 0x00,                           // running status, velocity 0
                                   0x00, 0x40, 0x50,                           // running status, next note
                                   0x00, 0xFF, 0x01, 0x03, 'a', 'b', 'c',      // text
                                   0x30, 0x90, 0x40, 0x00,                     // status again after meta
                                   0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7,         // system exclusive
                                   0x00, 0xF7, 0x02, 0x01, 0x02,               // escaped bytes
                                   0x00, 0xC5, 0x05,                           // program change: two bytes
                                   0x00, 0xE0, 0x00, 0x7F,                     // pitch bend
                                   0x00, 0xFF, 0x2F, 0x00})});
    MidiFile midi = parseMidiFile(file);
    // A note-on with velocity 0 stays one: the instrument reads it as a release.
    expectEvents(midi, {{0, 0x90, 0x3C, 0x64},
                        {96, 0x90, 0x3C, 0x00},
                        {96, 0x90, 0x40, 0x50},
                        {144, 0x90, 0x40, 0x00},
                        {144, 0xC5, 0x05, 0},
                        {144, 0xE0, 0x00, 0x7F}});
    EXPECT_EQ(midi.events[4].size, 2);
    EXPECT_EQ(midi.endTick, 144u);
}

TEST(MidiFile, TempoChangeMidFileMovesOnlyLaterEvents) {
    Bytes file = concat({smfHeader(0, 1, 96),
                         smfTrack({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // 120 BPM
                                   0x00, 0x90, 0x3C, 0x64,
                                   0x60, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,  // 60 BPM from tick 96
                                   0x00, 0x80, 0x3C, 0x40,
                                   0x60, 0x90, 0x3E, 0x64,
                                   0x00, 0xFF, 0x2F, 0x00})});
    MidiFile midi = parseMidiFile(file);
    ASSERT_EQ(midi.events.size(), 3u);
    EXPECT_EQ(midi.tickToFrame(midi.events[0].tick, 48000), 0);
    EXPECT_EQ(midi.tickToFrame(midi.events[1].tick, 48000), 24000);  // half a second at 120
    EXPECT_EQ(midi.tickToFrame(midi.events[2].tick, 48000), 72000);  // then a whole second at 60
    // Without any tempo event a file runs at 120 BPM.
    Bytes plain = concat({smfHeader(0, 1, 480), smfTrack({0x83, 0x60, 0x90, 0x3C, 0x64})});
    MidiFile untimed = parseMidiFile(plain);
    EXPECT_EQ(untimed.tickToFrame(untimed.events[0].tick, 44100), 22050);
}

TEST(MidiFile, FormatOneMergesTracksAndEveryChannel) {
    Bytes file = concat({smfHeader(1, 3, 480),
                         // Conductor: 150 BPM and a time signature.
                         smfTrack({0x00, 0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80, 0x00, 0xFF, 0x58, 0x04, 0x04, 0x02,
                                   0x18, 0x08, 0x00, 0xFF, 0x2F, 0x00}),
                         smfTrack({0x83, 0x60, 0x90, 0x30, 0x50, 0x83, 0x60, 0x80, 0x30, 0x00, 0x00, 0xFF, 0x2F,
                                   0x00}),
                         smfTrack({0x00, 0x99, 0x24, 0x7F, 0x83, 0x60, 0x89, 0x24, 0x00, 0x83, 0x60, 0x99, 0x26,
                                   0x40, 0x00, 0xFF, 0x2F, 0x00})});
    MidiFile midi = parseMidiFile(file);
    EXPECT_EQ(midi.format, 1);
    EXPECT_EQ(midi.trackCount, 3);
    // Simultaneous events keep track order.
    expectEvents(midi, {{0, 0x99, 0x24, 0x7F},
                        {480, 0x90, 0x30, 0x50},
                        {480, 0x89, 0x24, 0x00},
                        {960, 0x80, 0x30, 0x00},
                        {960, 0x99, 0x26, 0x40}});
    EXPECT_EQ(midi.tickToFrame(480, 44100), 17640);  // 0.4 s at 150 BPM
    EXPECT_EQ(midi.endTick, 960u);
}

TEST(MidiFile, SmpteTimingIgnoresTempo) {
    Bytes file = concat({smfHeader(0, 1, 0xE728),  // 25 fps, 40 ticks a frame: 1000 ticks a second
                         smfTrack({0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, 0x83, 0x74, 0x90, 0x3C, 0x64})});
    MidiFile midi = parseMidiFile(file);
    EXPECT_EQ(midi.tickToFrame(midi.events[0].tick, 44100), 22050);
    Bytes dropFrame = concat({smfHeader(0, 1, 0xE364), smfTrack({})});  // 29.97 fps, 100 ticks a frame
    EXPECT_EQ(parseMidiFile(dropFrame).tickToFrame(2997, 48000), 48000);
}

TEST(MidiFile, BytesAfterTheDeclaredTracksArePaddingWhateverTheirLength) {
    const Bytes song = concat({smfHeader(0, 1, 96), smfTrack({0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x40})});
    const Bytes extraTrack = smfTrack({0x10, 0x91, 0x40, 0x50});
    struct Case {
        const char* what;
        Bytes tail;
        size_t events;
    } cases[] = {
        {"five zeros", Bytes(5, 0), 2},
        {"64 zeros", Bytes(64, 0), 2},
        {"a sector of 0xFF", Bytes(512, 0xFF), 2},
        {"a cut chunk header", {'M', 'T', 'r', 'k', 0, 0}, 2},
        {"a track longer than the file", {'M', 'T', 'r', 'k', 0, 0, 1, 0, 0x00, 0x90}, 2},
        // Some writers forget to count a track: a whole one is still heard.
        {"an uncounted track", extraTrack, 3},
        {"an uncounted track, then padding", concat({extraTrack, Bytes(7, 0)}), 3},
    };
    for (const Case& c : cases) {
        try {
            MidiFile midi = parseMidiFile(concat({song, c.tail}));
            EXPECT_EQ(midi.events.size(), c.events) << c.what;
            EXPECT_EQ(midi.endTick, 96u) << c.what;
        } catch (const MidiError& e) {
            ADD_FAILURE() << c.what << ": " << e.what();
        }
    }
}

TEST(MidiFile, CorruptFilesAreErrorsThatSayWhere) {
    const Bytes header = smfHeader(0, 1, 96);
    struct Case {
        const char* what;
        Bytes bytes;
        const char* message;
    } cases[] = {
        {"empty", {}, "not a Standard MIDI File"},
        {"other format", {'R', 'I', 'F', 'F', 0, 0, 0, 4, 'R', 'M', 'I', 'D', 0, 0}, "not a Standard MIDI File"},
        {"short header", {'M', 'T', 'h', 'd', 0, 0, 0, 4, 0, 0, 0, 1, 0, 0}, "too short"},
        {"cut header", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0}, "truncated inside the MThd header (9 of its 14 bytes)"},
        {"format 2", concat({smfHeader(2, 1, 96), smfTrack({})}), "format 2"},
        {"zero division", concat({smfHeader(0, 1, 0), smfTrack({})}), "time division of zero"},
        {"missing track", concat({smfHeader(1, 2, 96), smfTrack({})}), "declares 2 tracks but holds 1"},
        {"chunk past end", concat({header, {'M', 'T', 'r', 'k', 0, 0, 1, 0, 0, 0x90}}), "runs past the end of the file"},
        {"cut chunk header", concat({header, {'M', 'T', 'r'}}), "chunk header cut short"},
        {"no status", concat({header, smfTrack({0x00, 0x3C, 0x40})}), "track 1, offset 0x17: data byte without a status"},
        {"long delta", concat({header, smfTrack({0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x40})}), "longer than four bytes"},
        {"cut event", concat({header, smfTrack({0x00, 0x90, 0x3C})}), "cut short by the end of the track"},
        {"status as data", concat({header, smfTrack({0x00, 0x90, 0x3C, 0x90})}), "status byte where a data byte belongs"},
        {"bad tempo", concat({header, smfTrack({0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1})}), "tempo event with 2 bytes"},
        {"sysex past end", concat({header, smfTrack({0x00, 0xF0, 0x10, 0x01})}), "runs past the end of the track"},
        {"realtime byte", concat({header, smfTrack({0x00, 0xF8})}), "system message 0xF8"},
        // Running status ends at meta and sysex events: the next data byte
        // is an error, not a repeat of the note before them.
        {"data after meta", concat({header, smfTrack({0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x01, 0x00, 0x00, 0x3C, 0x00})}),
         "track 1, offset 0x1f: data byte after a meta event"},
        {"data after sysex", concat({header, smfTrack({0x00, 0x90, 0x3C, 0x40, 0x00, 0xF0, 0x01, 0xF7, 0x00, 0x3C, 0x00})}),
         "track 1, offset 0x1f: data byte after a system exclusive event"},
        {"data after escape", concat({header, smfTrack({0x00, 0x90, 0x3C, 0x40, 0x00, 0xF7, 0x01, 0x7F, 0x00, 0x3C, 0x00})}),
         "track 1, offset 0x1f: data byte after a system exclusive event"},
        {"dangling delta", concat({header, smfTrack({0x00, 0x90, 0x3C, 0x40, 0x10})}), "delta time without an event"},
    };
    for (const Case& c : cases) {
        try {
            parseMidiFile(c.bytes);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const MidiError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.what << ": " << e.what();
        }
    }
}

TEST(MidiFile, ReadingNamesTheFile) {
    test::ScratchDir dir;
    try {
        readMidiFile(dir.file("absent.mid"));
        ADD_FAILURE() << "accepted";
    } catch (const MidiError& e) {
        EXPECT_NE(std::string(e.what()).find("absent.mid': No such file or directory"), std::string::npos) << e.what();
    }
    std::string path = dir.write("broken.mid", concat({smfHeader(0, 1, 96), smfTrack({0x00, 0x3C})}));
    try {
        readMidiFile(path);
        ADD_FAILURE() << "accepted";
    } catch (const MidiError& e) {
        EXPECT_NE(std::string(e.what()).find("broken.mid' is corrupt"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace orvo::render
