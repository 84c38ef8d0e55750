// The bundle as a host reads it through lilv: the parameter table's
// defaults, radio choices whose values are the ones the editor sets, and
// versions that read as a release.
#include <gtest/gtest.h>

#include <lv2/atom/atom.h>

#include <string>
#include <utility>
#include <vector>

#include "Headless.h"
#include "Lv2Host.h"
#include "Unit1.h"

namespace orvo::lv2::test {
namespace {

class Description : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(w.plugin, nullptr) << "no " << kPluginUri << " in " << ORVO_LV2_BUNDLE; }
    LilvNode* uri(const char* u) { return nodes.emplace_back(lilv_new_uri(w.world, u)); }
    ~Description() override {
        for (LilvNode* n : nodes) lilv_node_free(n);
    }
    bool hasValue(const char* predicate, const char* object) {
        LilvNodes* values = lilv_plugin_get_value(w.plugin, uri(predicate));
        const bool found = values && lilv_nodes_contains(values, uri(object));
        lilv_nodes_free(values);
        return found;
    }
    int intValue(const char* predicate) {
        LilvNodes* values = lilv_plugin_get_value(w.plugin, uri(predicate));
        const int v = values && lilv_nodes_size(values) == 1 ? lilv_node_as_int(lilv_nodes_get_first(values)) : -1;
        lilv_nodes_free(values);
        return v;
    }
    const LilvPort* port(uint32_t index) { return lilv_plugin_get_port_by_index(w.plugin, index); }

    World w;
    std::vector<LilvNode*> nodes;
};

// Names, class and features are lv2info's to show (check-bundle.sh info).
TEST_F(Description, LicenceAndEvenVersionsFromTheProjectVersion) {
    EXPECT_TRUE(hasValue("http://usefulinc.com/ns/doap#license", "http://opensource.org/licenses/MIT"));
    const int minor = intValue(LV2_CORE__minorVersion), micro = intValue(LV2_CORE__microVersion);
    EXPECT_EQ(minor, kMinorVersion);
    EXPECT_EQ(micro, kMicroVersion);
    EXPECT_TRUE(minor >= 0 && minor % 2 == 0 && micro >= 0 && micro % 2 == 0) << "odd numbers mark development builds";
    EXPECT_TRUE(hasValue(LV2_CORE__optionalFeature, LV2_CORE__hardRTCapable));
}

// Symbols and names are lv2info's to show; here what it prints rounded.
TEST_F(Description, MidiComesInAsAtomsAndControlsStartAtTheEnginesDefaults) {
    ASSERT_EQ(lilv_plugin_get_num_ports(w.plugin), kPortCount);
    EXPECT_TRUE(lilv_port_supports_event(w.plugin, port(kPortEvents), uri(LV2_MIDI__MidiEvent)));
    LilvNodes* buffer = lilv_port_get_value(w.plugin, port(kPortEvents), uri(LV2_ATOM__bufferType));
    EXPECT_TRUE(buffer && lilv_nodes_contains(buffer, uri(LV2_ATOM__Sequence)));
    lilv_nodes_free(buffer);
    for (int i = 0; i < kNumParams; ++i) {
        SCOPED_TRACE(kParams[i].name);
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(w.plugin, port(kPortFirstControl + static_cast<uint32_t>(i)), &def, &min, &max);
        ASSERT_TRUE(def && min && max);
        EXPECT_EQ(lilv_node_as_float(def), kParams[i].defaultValue) << "bit for bit, as the engine starts";
        EXPECT_EQ(lilv_node_as_float(min), 0.0f);
        EXPECT_EQ(lilv_node_as_float(max), 1.0f);
        lilv_node_free(def), lilv_node_free(min), lilv_node_free(max);
    }
}

// What a user's choice of each radio item sends, by the form itself: the
// parameter, and per item its caption and value.
struct Choice {
    std::string caption;
    float value;
};
std::vector<std::pair<int, std::vector<Choice>>> editorChoices() {
    struct Recorder : SynthLink {
        int index = -1;
        float value = 0.0f;
        float getParameter(int i) override { return kParams[i].defaultValue; }
        void setParameterAutomated(int i, float v) override { index = i, value = v; }
    } link;
    HeadlessPlatform ui;
    TForm1 form(ui, nullptr);
    form.Synth = &link;
    std::vector<std::pair<int, std::vector<Choice>>> groups;
    for (TRadioGroup* group : {form.RadioGroup1.get(), form.RadioGroup2.get(), form.RadioGroup3.get()}) {
        const std::vector<std::string>& items = HeadlessPlatform::node(group->widget())->items;
        std::vector<Choice> choices(items.size());
        // From the last item down, so that every click changes the selection.
        for (int k = group->count() - 1; k >= 0; --k) {
            ui.userClick(group->widget(), k);
            choices[static_cast<size_t>(k)] = {items[static_cast<size_t>(k)], link.value};
        }
        groups.emplace_back(link.index, choices);
    }
    return groups;
}

TEST_F(Description, RadioChoicesAreScalePointsWithTheEditorsCaptionsAndValues) {
    const auto groups = editorChoices();
    ASSERT_EQ(groups.size(), 3u);
    for (const auto& [param, choices] : groups) {
        ASSERT_TRUE(isParamIndex(param));
        SCOPED_TRACE(kParams[param].name);
        const LilvPort* p = port(kPortFirstControl + static_cast<uint32_t>(param));
        EXPECT_TRUE(lilv_port_has_property(w.plugin, p, uri(LV2_CORE__enumeration)));
        LilvScalePoints* points = lilv_port_get_scale_points(w.plugin, p);
        ASSERT_NE(points, nullptr);
        std::vector<Choice> described;
        LILV_FOREACH (scale_points, it, points) {
            const LilvScalePoint* sp = lilv_scale_points_get(points, it);
            described.push_back({lilv_node_as_string(lilv_scale_point_get_label(sp)),
                                 lilv_node_as_float(lilv_scale_point_get_value(sp))});
        }
        lilv_scale_points_free(points);
        ASSERT_EQ(described.size(), choices.size());
        for (const Choice& c : choices) {
            bool found = false;
            for (const Choice& d : described) found = found || (d.caption == c.caption && d.value == c.value);
            EXPECT_TRUE(found) << c.caption << " = " << c.value << " (bit for bit) is not a scale point";
        }
    }
}

}  // namespace
}  // namespace orvo::lv2::test
