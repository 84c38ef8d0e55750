// The factory library as VST 2 hosts meet it: the bank and program files
// read back as the library, and the bank loaded the way a host loads one
// (each program selected, its values and name set) plays every preset at a
// usable level, each sounding unlike the others.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>

#include "FactoryLibrary.h"
#include "ProgramFile.h"
#include "plugin_host.h"
#include "renderer.h"
#include "schedule.h"
#include "sound_measure.h"

namespace orvo {
namespace {

const std::string kFiles = ORVO_PRESET_FILES;

std::vector<uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ProgramFiles, BankAndEachProgramFileHoldTheLibrary) {
    ProgramRead bank = readProgramFile(kFiles + "/OrvoSwitch-Factory.fxb");
    ASSERT_EQ(bank.error, "");
    auto library = factoryLibrary();
    ASSERT_EQ(bank.programs.size(), library.size());
    std::set<std::string> names;
    for (size_t i = 0; i < library.size(); ++i) {
        const FactoryPreset& preset = library[i];
        SCOPED_TRACE(preset.name);
        EXPECT_EQ(bank.programs[i].name, preset.name);
        for (int p = 0; p < kNumParams; ++p) EXPECT_EQ(bank.programs[i].values[p], preset.values[p]);
        const std::string path = kFiles + "/" + preset.name + ".fxp";
        const std::vector<uint8_t> file = bytesOf(path);
        ProgramRead one = readProgramFile(file);
        ASSERT_EQ(one.error, "");
        // What orvo-play saves is what the library ships, byte for byte.
        EXPECT_EQ(programFileBytes(one.programs[0]), file);
        EXPECT_TRUE(names.insert(preset.name).second);
        EXPECT_EQ(findFactoryPreset(preset.name), &preset);
    }
    EXPECT_EQ(findFactoryPreset("round BASS"), &library[0]);
    EXPECT_EQ(findFactoryPreset("init1"), nullptr);
}

TEST(ProgramFiles, DamagedOrForeignFilesAreRefusedWithAReason) {
    const FactoryPreset& preset = factoryLibrary()[0];
    std::vector<uint8_t> good = bytesOf(kFiles + "/" + preset.name + ".fxp");
    auto refused = [](std::vector<uint8_t> bytes, const char* why) {
        ProgramRead read = readProgramFile(bytes);
        EXPECT_TRUE(read.programs.empty());
        EXPECT_NE(read.error.find(why), std::string::npos) << read.error;
    };
    refused(std::vector<uint8_t>(good.begin(), good.end() - 1), "truncated");
    refused({}, "not a program");
    std::vector<uint8_t> other = good;
    other[16] = 'X';  // the plug-in id
    refused(other, "another plug-in");
    std::vector<uint8_t> loud = good;
    loud[good.size() - 4] = 0x40;  // the last value becomes 2 or more
    refused(loud, "outside 0 to 1");
    std::vector<uint8_t> nan = good;
    nan[good.size() - 4] = 0x7f, nan[good.size() - 3] = 0xc0;
    refused(nan, "outside 0 to 1");
    std::vector<uint8_t> chunk = good;
    chunk[8] = 'F', chunk[9] = 'P', chunk[10] = 'C', chunk[11] = 'h';
    refused(chunk, "saved state");
    ProgramRead missing = readProgramFile(kFiles + "/no such preset.fxp");
    EXPECT_NE(missing.error.find("cannot open"), std::string::npos);
}

TEST(ProgramFiles, TheGuideListsTheLibraryAsItIs) {
    std::ifstream in(ORVO_SOURCE_DIR "/docs/guide.md");
    const std::string guide{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (const FactoryPreset& preset : factoryLibrary()) {
        const std::string row = std::string("| ") + preset.category + " | " + preset.name + " | " + preset.description + " |";
        EXPECT_NE(guide.find(row), std::string::npos) << "docs/guide.md lacks the row " << row;
    }
}

// Two voices at velocity 100: legato runs (glide), a held note (the sustain
// and the swell), a low and a high note (the filter's key tracking).
render::Timeline phrase(int rate) {
    render::Timeline t;
    auto at = [rate](double seconds) { return int64_t(seconds * rate); };
    const struct { int note; double on, off; } notes[] = {
        {48, 0.0, 0.45}, {52, 0.4, 0.85}, {55, 0.8, 1.25}, {60, 1.2, 2.2}, {33, 2.4, 2.9}, {72, 3.1, 3.6}};
    for (const auto& n : notes) {
        t.events.push_back(render::HostEvent::midiMessage(at(n.on), 0x90, uint8_t(n.note), 100));
        t.events.push_back(render::HostEvent::midiMessage(at(n.off), 0x80, uint8_t(n.note), 0));
    }
    std::stable_sort(t.events.begin(), t.events.end(), [](auto& a, auto& b) { return a.frame < b.frame; });
    t.endFrame = at(3.6);
    return t;
}

class Sink : public render::FrameSink {
public:
    std::vector<float> samples;
    void write(const float* interleaved, int frames) override {
        samples.insert(samples.end(), interleaved, interleaved + 2 * frames);
    }
};

TEST(FactoryBank, EveryPresetPlaysAtAUsableLevelAndSoundsItsOwn) {
    constexpr int kRate = 44100;
    render::PluginHost host(ORVO_PLUGIN, render::HostSettings{kRate, 512});
    ProgramRead bank = readProgramFile(kFiles + "/OrvoSwitch-Factory.fxb");
    ASSERT_EQ(bank.error, "");
    ASSERT_EQ(int(bank.programs.size()), host.numPrograms());
    for (int i = 0; i < host.numPrograms(); ++i) {
        host.setProgram(i);
        for (int p = 0; p < kNumParams; ++p) host.setParameter(p, bank.programs[i].values[p]);
        std::string name = bank.programs[i].name;
        host.dispatch(effSetProgramName, 0, 0, name.data());
    }
    std::vector<presets_test::Profile> profiles;
    for (int i = 0; i < host.numPrograms(); ++i) {
        host.setProgram(i);
        ASSERT_EQ(host.programName(i), bank.programs[i].name);
        render::BlockScheduler schedule(phrase(kRate), 512);
        render::RenderSettings settings;
        settings.tailSeconds = 1.4;
        Sink sink;
        render::render(host, schedule, settings, sink);
        const double peak = presets_test::peakDbfs(sink.samples);
        EXPECT_TRUE(peak >= -18.0 && peak <= -3.0) << bank.programs[i].name << " peaks at " << peak << " dBFS";
        profiles.push_back(presets_test::profileOf(sink.samples, kRate));
        std::printf("%-24s %6.1f dBFS\n", bank.programs[i].name.c_str(), peak);
    }
    // Distinct: no other preset within 3 dB of it by the profile distance.
    int distinct = 0;
    for (size_t i = 0; i < profiles.size(); ++i) {
        double nearest = 1e9;
        size_t which = i;
        for (size_t j = 0; j < profiles.size(); ++j) {
            if (j == i) continue;
            double d = presets_test::distanceDb(profiles[i], profiles[j]);
            if (d < nearest) nearest = d, which = j;
        }
        distinct += nearest >= 3.0;
        std::printf("%-24s nearest %-24s %5.1f dB\n", bank.programs[i].name.c_str(),
                    bank.programs[which].name.c_str(), nearest);
    }
    EXPECT_GE(distinct, 28);
}

}  // namespace
}  // namespace orvo
