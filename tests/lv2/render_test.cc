// The plug-in played through lilv: the timed session gives the VST 2
// plug-in's bits whatever the block length, and what a careless host sends
// (stamps out of order or past the block, empty runs, odd MIDI, unusable
// rates, unconnected outputs) neither crashes it nor changes the sound of
// what it does understand. The factory presets, chosen as a host chooses
// them, sound as their values set by hand.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <lv2/presets/presets.h>

#include <cmath>
#include <functional>
#include <memory>
#include <set>

#include "Instrument.h"
#include "Lv2Host.h"
#include "timed.h"
// After the instrument's headers: here "Identity.h" alone would find the
// LV2 plug-in's, which has no kNumParams.
#include "FactoryLibrary.h"

namespace orvo::lv2::test {
namespace {

using orvo::timed::Event;

// The session with a block starting at every parameter change and blocks
// of `block` frames otherwise; notes go in as MIDI at their frame.
uint64_t sessionHash(uint32_t block, double rate) {
    World w;
    Instance p(w, rate);
    if (!p.instance) return 0;
    const std::vector<Event>& list = orvo::timed::session();
    orvo::timed::Hash hash;
    size_t next = 0;
    for (uint32_t start = 0; start < orvo::timed::kFrames;) {
        // What is due at the block's first frame: changes set their ports,
        // notes go in at offset 0.
        for (; next < list.size() && list[next].frame == start; ++next) {
            const Event& e = list[next];
            if (e.kind == Event::kParam)
                p.control[e.index] = e.value;
            else
                p.sequence.midi(0, {e.midi[0], e.midi[1], e.midi[2]});
        }
        uint32_t end = std::min(orvo::timed::kFrames, start + block);
        for (; next < list.size() && list[next].frame < end; ++next) {
            const Event& e = list[next];
            if (e.kind == Event::kParam) {
                end = e.frame;  // the next block starts with this change
                break;
            }
            p.sequence.midi(e.frame - start, {e.midi[0], e.midi[1], e.midi[2]});
        }
        p.run(end - start);
        hash.add(p.left.data(), p.right.data(), end - start);
        start = end;
    }
    return hash.h;
}

// At every rate: the plug-in converts every value at its instantiation
// rate, as the VST 2 plug-in does once a host selects its program after the
// rate.
TEST(Lv2Session, TimedSessionMatchesTheVst2ReferenceForEveryRateAndBlockLength) {
    void* vst2 = dlopen(ORVO_VST2_PLUGIN, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(vst2, nullptr) << dlerror();
    auto entry = reinterpret_cast<orvo::timed::EntryPoint>(dlsym(vst2, "VSTPluginMain"));
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        const uint64_t reference = rate == orvo::timed::kRate ? kOrvoGoldenTimedHash
                                                              : orvo::timed::vst2Hash(entry, 4096, rate);
        for (uint32_t block : {1u, 64u, 512u, 4096u})
            EXPECT_EQ(sessionHash(block, rate), reference) << rate << " Hz, blocks of " << block;
    }
}

// --- a careless host ----------------------------------------------------------

// Renders `blocks` blocks of `frames`, each filled in by `fill` first, and
// hashes them; also checks every sample is finite and within the engine's
// bound.
struct Render {
    uint64_t hash = 0;
    bool sane = true;
};
Render render(Instance& p, int blocks, uint32_t frames, const std::function<void(int, Instance&)>& fill) {
    orvo::timed::Hash hash;
    bool sane = true;
    for (int b = 0; b < blocks; ++b) {
        fill(b, p);
        p.run(frames);
        for (uint32_t i = 0; i < frames; ++i)
            sane = sane && std::isfinite(p.left[i]) && std::isfinite(p.right[i]) && std::fabs(p.left[i]) <= kOutputBound &&
                   std::fabs(p.right[i]) <= kOutputBound;
        hash.add(p.left.data(), p.right.data(), frames);
    }
    return {hash.h, sane};
}

Render render(double rate, int blocks, uint32_t frames, const std::function<void(int, Instance&)>& fill) {
    World w;
    Instance p(w, rate);
    if (!p.instance) return {0, false};
    return render(p, blocks, frames, fill);
}

// A chord, a bend and a release within the first blocks; the rest rings out.
void melody(int block, Instance& p) {
    if (block == 0) {
        p.sequence.midi(3, {0x90, 60, 100});
        p.sequence.midi(40, {0x91, 67, 80});
    } else if (block == 2) {
        p.sequence.midi(10, {0xE0, 0, 90});
    } else if (block == 4) {
        p.sequence.midi(0, {0x80, 60, 0});
        p.sequence.midi(20, {0x80, 67, 0});
    }
}

TEST(Lv2BadInput, LateAndOutOfOrderStampsLandAtTheEndOrWhereTheRenderingStands) {
    const Render reference = render(44100.0, 8, 64, [](int b, Instance& p) {
        if (b == 0) p.sequence.midi(30, {0x90, 60, 100});
        if (b == 1) p.sequence.midi(0, {0x90, 64, 100});  // where the late one below lands
        if (b == 2) p.sequence.midi(50, {0x90, 67, 100}), p.sequence.midi(50, {0x80, 67, 0});
    });
    const Render careless = render(44100.0, 8, 64, [](int b, Instance& p) {
        if (b == 0) p.sequence.midi(30, {0x90, 60, 100});
        if (b == 0) p.sequence.midi(5000, {0x90, 64, 100});  // past the block: at its end
        if (b == 2) p.sequence.midi(50, {0x90, 67, 100}), p.sequence.midi(-7, {0x80, 67, 0});  // before the one ahead
    });
    EXPECT_TRUE(careless.sane);
    EXPECT_EQ(careless.hash, reference.hash);
}

TEST(Lv2BadInput, EmptyRunsRenderNothingAndTheirEventsCountAtTheNextFrame) {
    World w;
    Instance p(w, 44100.0);
    ASSERT_NE(p.instance, nullptr);
    p.left[0] = p.right[0] = 7.0f;
    p.sequence.midi(12, {0x90, 60, 100});
    p.run(0);
    EXPECT_EQ(p.left[0], 7.0f) << "a run of 0 frames writes nothing";
    const Render after = render(p, 4, 64, [](int, Instance&) {});
    const Render reference = render(44100.0, 4, 64, [](int b, Instance& q) {
        if (b == 0) q.sequence.midi(0, {0x90, 60, 100});
    });
    EXPECT_EQ(after.hash, reference.hash);
}

TEST(Lv2BadInput, WhatIsNotUsableMidiIsIgnored) {
    const Render reference = render(44100.0, 8, 128, melody);
    const Render noisy = render(44100.0, 8, 128, [](int b, Instance& p) {
        const uint8_t junk[] = {1, 2, 3, 4};
        p.sequence.add(1, p.map.map(LV2_ATOM__Int), junk, sizeof junk);  // not MIDI
        p.sequence.midi(2, {0x90, 61});                                  // too short for its status
        p.sequence.midi(2, {0x90});
        p.sequence.midi(2, {});
        p.sequence.midi(2, {0x3C, 0x64, 0x00});        // no status byte
        p.sequence.midi(2, {0xF0, 0x7E, 0x90, 0xF7});  // system exclusive
        p.sequence.midi(2, {0xFF});                    // reset
        p.sequence.midi(2, {0xC0, 5});                 // a program change: understood, not used
        melody(b, p);
    });
    EXPECT_TRUE(noisy.sane);
    EXPECT_EQ(noisy.hash, reference.hash);
}

TEST(Lv2BadInput, AnUnusableRateIsTheDefaultRate) {
    const Render reference = render(44100.0, 8, 256, melody);
    for (double rate : {0.0, std::nan(""), -48000.0, static_cast<double>(INFINITY)}) {
        const Render r = render(rate, 8, 256, [](int b, Instance& p) {
            if (b == 1) p.control[kParamAttack] = 0.3f;  // converted at the rate in force
            melody(b, p);
        });
        const Render same = render(44100.0, 8, 256, [](int b, Instance& p) {
            if (b == 1) p.control[kParamAttack] = 0.3f;
            melody(b, p);
        });
        EXPECT_TRUE(r.sane) << "rate " << rate;
        EXPECT_EQ(r.hash, same.hash) << "rate " << rate;
        EXPECT_NE(r.hash, reference.hash) << "the attack change must be heard";
    }
}

// A value moved away and back converts at the instance's rate again, so it
// sounds as if it had never moved.
TEST(Lv2BadInput, ControlsMovedAwayAndBackSoundAsNeverMoved) {
    const auto later = [](int b, Instance& p) { melody(b - 2, p); };
    const Render still = render(48000.0, 10, 256, later);
    const Render moved = render(48000.0, 10, 256, [&](int b, Instance& p) {
        for (int i = 0; i < kNumParams && b < 2; ++i) {
            const float d = kParams[i].defaultValue;
            p.control[i] = b == 1 ? d : d < 0.5f ? d + 0.4f : d - 0.4f;
        }
        later(b, p);
    });
    EXPECT_EQ(moved.hash, still.hash);
}

TEST(Lv2BadInput, AnUnconnectedOutputIsRenderedAsideAndTheVoicesRunOn) {
    World w;
    Instance full(w, 44100.0), halves(w, 44100.0);
    ASSERT_NE(full.instance, nullptr);
    ASSERT_NE(halves.instance, nullptr);
    const uint32_t frames = 1000;  // longer than the plug-in's scratch
    for (int b = 0; b < 6; ++b) {
        melody(b, full);
        melody(b, halves);
        const bool leftGone = b == 0 || b == 2, rightGone = b == 1 || b == 2;
        lilv_instance_connect_port(halves.instance, kPortLeft, leftGone ? nullptr : halves.left.data());
        lilv_instance_connect_port(halves.instance, kPortRight, rightGone ? nullptr : halves.right.data());
        if (b == 3) lilv_instance_connect_port(halves.instance, kPortEvents, nullptr);
        full.run(frames);
        halves.run(frames);
        if (b == 3) lilv_instance_connect_port(halves.instance, kPortEvents, halves.sequence.seq());
        if (!leftGone) {
            EXPECT_EQ(std::memcmp(full.left.data(), halves.left.data(), frames * sizeof(float)), 0) << "block " << b;
        }
        if (!rightGone) {
            EXPECT_EQ(std::memcmp(full.right.data(), halves.right.data(), frames * sizeof(float)), 0) << "block " << b;
        }
    }
}

// Reactivation silences the voices but keeps what the host set, converted at
// its rate: the same as a new instance given the same change.
TEST(Lv2Lifecycle, ActivateStartsAfreshWithTheValuesTheHostSet) {
    auto play = [](int b, Instance& p) {
        if (b == 0) p.control[kParamAttack] = 0.7f, p.control[kParamDrag] = 0.9f;
        if (b == 0) p.sequence.midi(0, {0x90, 60, 100});
    };
    const Render fresh = render(48000.0, 6, 512, play);
    World w;
    Instance p(w, 48000.0);
    ASSERT_NE(p.instance, nullptr);
    render(p, 6, 512, play);
    lilv_instance_deactivate(p.instance);
    lilv_instance_activate(p.instance);
    const Render again = render(p, 6, 512, play);
    EXPECT_EQ(again.hash, fresh.hash);
}

// --- the factory presets -----------------------------------------------------

// A preset as a host takes it: listed from the manifest, its file loaded when
// chosen, restored as port writes into a running instance.
struct NodeFree {
    void operator()(LilvNode* node) const { lilv_node_free(node); }
};
struct Preset {
    std::string label, comment;
    std::shared_ptr<LilvNode> node;  // the preset's URI, freed with the last copy
    const LilvNode* uri() const { return node.get(); }
};
std::vector<Preset> presetsOf(World& w) {
    std::vector<Preset> presets;
    LilvNode* presetClass = lilv_new_uri(w.world, LV2_PRESETS__Preset);
    LilvNode* label = lilv_new_uri(w.world, LILV_NS_RDFS "label");
    LilvNode* comment = lilv_new_uri(w.world, LILV_NS_RDFS "comment");
    LilvNodes* related = lilv_plugin_get_related(w.plugin, presetClass);
    LILV_FOREACH (nodes, it, related) {
        const LilvNode* uri = lilv_nodes_get(related, it);
        lilv_world_load_resource(w.world, uri);
        auto text = [&](const LilvNode* predicate) {
            LilvNode* n = lilv_world_get(w.world, uri, predicate, nullptr);
            std::string t = n ? lilv_node_as_string(n) : "";
            lilv_node_free(n);
            return t;
        };
        presets.push_back({text(label), text(comment), std::shared_ptr<LilvNode>(lilv_node_duplicate(uri), NodeFree{})});
    }
    lilv_nodes_free(related);
    lilv_node_free(presetClass), lilv_node_free(label), lilv_node_free(comment);
    return presets;  // the nodes live as long as the world
}

// Restores into p's control ports, NaN first so that a port the preset
// misses shows; a value for no control port, or of a type a host does not
// take as a number, fails the test.
void applyPreset(World& w, const Preset& preset, Instance& p) {
    struct Target {
        World& w;
        Instance& p;
        LV2_URID floatType, doubleType;
    } target{w, p, p.map.map(LV2_ATOM__Float), p.map.map(LV2_ATOM__Double)};
    LilvState* state = lilv_state_new_from_world(w.world, &p.map.feature, preset.uri());
    ASSERT_NE(state, nullptr) << preset.label;
    for (float& c : p.control) c = std::nanf("");
    lilv_state_restore(
        state, p.instance,
        [](const char* symbol, void* data, const void* value, uint32_t size, uint32_t type) {
            auto& t = *static_cast<Target*>(data);
            LilvNode* sym = lilv_new_string(t.w.world, symbol);
            const LilvPort* port = lilv_plugin_get_port_by_symbol(t.w.plugin, sym);
            lilv_node_free(sym);
            const uint32_t index = port ? lilv_port_get_index(t.w.plugin, port) : kPortCount;
            if (!isControlPort(index)) {
                ADD_FAILURE() << "a value for " << symbol;
                return;
            }
            float& control = t.p.control[index - kPortFirstControl];
            if (type == t.floatType && size == sizeof(float))
                control = *static_cast<const float*>(value);
            else if (type == t.doubleType && size == sizeof(double))
                control = static_cast<float>(*static_cast<const double*>(value));
            else
                ADD_FAILURE() << symbol << " is not a float or a double";
        },
        &target, 0, nullptr);
    lilv_state_free(state);
}

TEST(Lv2Presets, EveryLibraryPresetIsListedWithItsWordsAndRestoresItsValuesBitForBit) {
    World w;
    Instance p(w, 48000.0);
    ASSERT_NE(p.instance, nullptr);
    const std::vector<Preset> presets = presetsOf(w);
    EXPECT_EQ(presets.size(), factoryLibrary().size());
    std::set<std::string> seen;
    for (const Preset& preset : presets) {
        SCOPED_TRACE(preset.label);
        const FactoryPreset* f = findFactoryPreset(preset.label);
        ASSERT_NE(f, nullptr) << "not in the library";
        EXPECT_EQ(preset.label, f->name);
        EXPECT_EQ(preset.comment, f->description);
        EXPECT_TRUE(seen.insert(preset.label).second) << "listed twice";
        applyPreset(w, preset, p);
        for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(p.control[i], f->values[i]) << kParams[i].name;
    }
}

TEST(Lv2Presets, AChosenPresetSoundsAsItsValuesSetOnThePorts) {
    const FactoryPreset* f = findFactoryPreset("Acid Glide Bass");  // legato notes glide: Drag is heard
    ASSERT_NE(f, nullptr);
    World w;
    const std::vector<Preset> presets = presetsOf(w);
    const Preset* chosen = nullptr;
    for (const Preset& preset : presets) chosen = preset.label == f->name ? &preset : chosen;
    ASSERT_NE(chosen, nullptr);
    Instance byPreset(w, 48000.0), byHand(w, 48000.0);
    ASSERT_NE(byPreset.instance, nullptr);
    ASSERT_NE(byHand.instance, nullptr);
    const Render asPreset = render(byPreset, 8, 256, [&](int b, Instance& p) {
        if (b == 0) applyPreset(w, *chosen, p);
        melody(b, p);
    });
    const Render asValues = render(byHand, 8, 256, [&](int b, Instance& p) {
        if (b == 0) std::copy(std::begin(f->values), std::end(f->values), p.control);
        melody(b, p);
    });
    EXPECT_TRUE(asPreset.sane);
    EXPECT_EQ(asPreset.hash, asValues.hash);
    EXPECT_NE(asPreset.hash, render(48000.0, 8, 256, melody).hash) << "the preset must be heard";
}

TEST(Lv2Lifecycle, WithoutAUridMapInstantiationFailsAndSaysWhy) {
    World w;
    Instance p(w, 44100.0, /*withMap=*/false);
    EXPECT_EQ(p.instance, nullptr);
    ASSERT_EQ(p.log.messages.size(), 1u);
    EXPECT_NE(p.log.messages[0].find("urid:map"), std::string::npos) << p.log.messages[0];
}

}  // namespace
}  // namespace orvo::lv2::test
