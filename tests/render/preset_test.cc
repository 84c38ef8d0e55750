// --preset and --list-presets, through the built orvo-render and the real
// instrument: a preset must sound as its twelve values set by hand do.
#include <gtest/gtest.h>

#include "FactoryLibrary.h"
#include "ParamTable.h"
#include "smf_writer.h"
#include "test_support.h"

namespace orvo::render {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Legato notes, so a preset's glide (Drag) is heard too.
test::Bytes phrase() {
    test::SmfWriter smf(480);
    smf.track().note(0, 600, 1, 48, 100).note(480, 600, 1, 55, 90).note(960, 480, 1, 60, 110).end(1920);
    return smf.bytes();
}

std::vector<std::string> valuesAsParams(const float (&values)[kNumParams]) {
    std::vector<std::string> args;
    for (int i = 0; i < kNumParams; ++i) {
        char value[32];
        std::snprintf(value, sizeof value, "%.9g", double(values[i]));
        args.insert(args.end(), {"--param", std::string(kParams[i].name) + "=" + value});
    }
    return args;
}

// The name, its program file, and the values by hand (at 48 kHz, where
// the instrument converts most values at the rate) give the same bytes;
// a --param after the preset changes the preset's value.
TEST(Preset, ByNameOrFileItSoundsAsItsValuesSetByHand) {
    test::ScratchDir dir;
    dir.write("phrase.mid", phrase());
    const FactoryPreset& preset = factoryLibrary()[1];
    const auto render = [&](const std::string& out, std::vector<std::string> args) {
        args.insert(args.end(), {"--midi", "phrase.mid", "--rate", "48000", "--tail", "0.3", "-q", "--out", out});
        test::ToolResult result = test::runTool(dir, args);
        EXPECT_EQ(result.status, 0) << out << ": " << result.err;
        return test::readText(dir.file(out));
    };
    std::string upper = preset.name;
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    const std::string byHand = render("hand.wav", valuesAsParams(preset.values));
    ASSERT_GT(byHand.size(), 10000u);
    EXPECT_TRUE(render("name.wav", {"--preset", upper}) == byHand) << "--preset " << upper;
    const std::string file = std::string(ORVO_PRESETS_DIR) + "/" + preset.name + ".fxp";
    EXPECT_TRUE(render("file.wav", {"--preset", file}) == byHand) << "--preset " << file;

    std::vector<std::string> tweaked = valuesAsParams(preset.values);
    tweaked.insert(tweaked.end(), {"--param", "CutOff=0.9"});
    EXPECT_TRUE(render("tweak.wav", {"--preset", preset.name, "--param", "CutOff=0.9"}) == render("t.wav", tweaked));
    EXPECT_FALSE(render("tweak2.wav", {"--preset", preset.name, "--param", "CutOff=0.9"}) == byHand);
}

TEST(Preset, ListingAndRefusals) {
    test::ScratchDir dir;
    test::ToolResult listed = test::runTool(dir, {"--list-presets"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    for (const FactoryPreset& p : factoryLibrary()) {
        EXPECT_TRUE(contains(listed.out, p.name)) << p.name;
        EXPECT_TRUE(contains(listed.out, p.description)) << p.name;
    }
    dir.write("notes.fxp", {'h', 'e', 'l', 'l', 'o'});
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"--preset", "No Such Sound"}, 2, "no factory preset named 'No Such Sound' (--list-presets lists them)"},
        {{"--preset", std::string(ORVO_PRESETS_DIR) + "/OrvoSwitch-Factory.fxb"}, 1, "is a bank of"},
        {{"--preset", "notes.fxp"}, 1, "notes.fxp: not a program or bank file"},
        {{"--preset", "absent.fxp"}, 1, "cannot open absent.fxp: No such file or directory"},
        {{"--preset", "Harp", "--plugin", RECORDER_PLUGIN}, 2, "has 3 parameters, not the instrument's 12"},
    };
    for (const Case& c : cases) {
        test::ToolResult result = test::runTool(dir, c.args);
        EXPECT_EQ(result.status, c.status) << c.args[1] << ": " << result.err;
        EXPECT_TRUE(contains(result.err, c.message)) << c.args[1] << ": " << result.err;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"notes.fxp"}) << c.args[1];
    }
}

}  // namespace
}  // namespace orvo::render
