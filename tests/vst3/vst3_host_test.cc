// Loads the built bundle as a VST 3 host does and checks what hosts rely on
// beyond what the validator covers: the timed session against the VST 2
// plug-in at three rates and four block lengths, the rate rule for states,
// the text hosts show and read back, MIDI mapping, and hostile state.
//
//   orvo-vst3-test OrvoSwitch.vst3 <arch> OrvoSwitch.{so,dll}
// Exit 0 when every check passes.
#include <cmath>
#include <initializer_list>
#include <cstdio>
#include <cstring>

#include <travesty/edit_controller.h>

#include "Vst3Host.h"
#include "timed.h"

using namespace orvo::test;

namespace {

int passed = 0, failed = 0;
void check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    (ok ? passed : failed)++;
}

void checkClass(v3_plugin_factory_2** factory) {
    auto* f1 = reinterpret_cast<v3_plugin_factory**>(factory);
    v3_class_info_2 info{};
    check(v3_cpp_obj(f1)->num_classes(f1) == 1 && v3_cpp_obj(factory)->get_class_info_2(factory, 0, &info) == V3_OK &&
              !std::strcmp(info.category, "Audio Module Class") && !std::strcmp(info.sub_categories, "Instrument|Synth") &&
              !std::strcmp(info.name, "Orvo Switch Table Synth") && !std::strcmp(info.vendor, "Brimlow"),
          "the factory lists one instrument class: category, sub-categories, name, vendor");
    Plugin p(factory);
    check(p.processor && p.controller && v3_cpp_obj(p.controller)->get_parameter_count(p.controller) == 14,
          "the component is its own processor and controller, with 12 values and 2 MIDI carriers");
}

void checkSession(v3_plugin_factory_2** factory, const char* vst2Path) {
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        const uint64_t reference = orvo::timed::vst2Hash(loadVst2(vst2Path), 4096, rate);
        bool same = reference != 0 && (rate != 44100.0 || reference == kOrvoGoldenTimedHash);
        for (uint32_t block : {1u, 64u, 512u, 4096u}) same &= vst3SessionHash(factory, block, rate) == reference;
        char what[112];
        std::snprintf(what, sizeof what, "at %.0f Hz in blocks of 1 to 4096 the VST 3 plug-in renders the VST 2 bits", rate);
        check(same, what);
    }
}

// Values as a host sends them: points of a block, here an empty one.
void setValues(Plugin& p, std::initializer_list<std::pair<v3_param_id, double>> values) {
    EventList none;
    ParamChanges params;
    for (auto [id, v] : values) params.add(id, 0, v);
    p.process(0, none, params);
}

// A short phrase from a fresh start, its bits hashed.
uint64_t phraseHash(Plugin& p) {
    orvo::timed::Hash hash;
    for (int block = 0; block < 40; ++block) {
        EventList events;
        ParamChanges params;
        if (block == 0) events.note(10, true, 0, 60, 100 / 127.0f);
        if (block == 20) events.note(0, false, 0, 60, 0.0f);
        p.process(512, events, params);
        hash.add(p.left.data(), p.right.data(), 512);
    }
    return hash.h;
}

// A state or value given before the host's rate sounds as one given after:
// every value converts at the rate setupProcessing brings.
void checkRateRule(v3_plugin_factory_2** factory) {
    Stream state;
    {
        Plugin source(factory);
        source.start(44100);
        setValues(source, {{0, 0.8}, {4, 0.8}, {5, 0.8}, {7, 0.8}, {10, 0.8}});
        check(source.save(state) && state.bytes.size() == 60, "the state saves as its 60 bytes");
    }
    Plugin before(factory), after(factory);
    const bool loaded = before.load(state) && before.start(96000);
    after.start(96000);
    check(loaded && after.load(state) && phraseHash(before) == phraseHash(after),
          "a state loaded before the rate sounds the same as one loaded after");
    check(before.value(4) == static_cast<double>(0.8f), "a loaded value reads back as the host's value");

    // The controller's value is the host's display: a late echo of it must
    // not change what the blocks play.
    Plugin echoed(factory), plain(factory);
    echoed.start(96000);
    plain.start(96000);
    echoed.setValue(4, 0.9);
    check(phraseHash(echoed) == phraseHash(plain), "a value set on the controller alone leaves the sound as it was");
}

void checkStateRefusals(v3_plugin_factory_2** factory) {
    Plugin p(factory);
    p.start(44100);
    setValues(p, {{2, 0.25}});
    Stream good;
    p.save(good);
    bool refused = true, unchanged = true;
    for (size_t cut : {size_t{0}, size_t{4}, size_t{59}}) {
        Stream bad;
        bad.bytes.assign(good.bytes.begin(), good.bytes.begin() + static_cast<long>(cut));
        refused &= !p.load(bad);
    }
    Stream wrong = good;
    wrong.bytes[0] = 'X';
    refused &= !p.load(wrong);
    Stream longer;
    longer.bytes.assign(8192, 0);
    refused &= !p.load(longer);
    unchanged = p.value(2) == static_cast<double>(0.25f);
    check(refused && unchanged, "short, foreign and oversized states are refused and change nothing");
}

void checkText(v3_plugin_factory_2** factory) {
    Plugin p(factory);
    const std::string shown = p.text(4, 0.25);
    double v = -1;
    check(shown == "0.25" || shown == "0,25", "a value shows as \"0.25\"");
    check(p.fromText(4, shown.c_str(), &v) && v == 0.25 && p.fromText(4, "0.5 /1", &v) && v == 0.5 &&
              !p.fromText(4, "loud", &v) && !p.fromText(4, "inf", &v) && !p.fromText(4, "1e999", &v) &&
              !p.fromText(99, "0.5", &v),
          "text reads back, with or without the label; the rest, infinities too, is refused");
}

void checkMidiMapping(v3_plugin_factory_2** factory) {
    Plugin p(factory);
    v3_midi_mapping** map = nullptr;
    v3_cpp_obj_query_interface(p.component, v3_midi_mapping_iid, &map);
    bool mapped = map != nullptr;
    for (int16_t channel = 0; map && channel < 16; ++channel) {
        v3_param_id bend = 0, off = 0, other = 0;
        mapped &= v3_cpp_obj(map)->get_midi_controller_assignment(map, 0, channel, 129, &bend) == V3_OK && bend == 12;
        mapped &= v3_cpp_obj(map)->get_midi_controller_assignment(map, 0, channel, 126, &off) == V3_OK && off == 13;
        mapped &= v3_cpp_obj(map)->get_midi_controller_assignment(map, 0, channel, 1, &other) != V3_OK;
    }
    if (map) v3_cpp_obj_unref(map);
    check(mapped, "pitch bend and controller 126 map to their parameters on every channel, nothing else does");

    // Bend moves the pitch: a held note bent up sounds different from one left alone.
    Plugin bent(factory), plain(factory);
    bent.start(44100);
    plain.start(44100);
    EventList on, none;
    on.note(0, true, 0, 60, 0.8f);
    ParamChanges noChanges, up;
    up.add(12, 0, 1.0);
    bent.process(256, on, noChanges);
    plain.process(256, on, noChanges);
    bent.process(1024, none, up);
    plain.process(1024, none, noChanges);
    check(bent.left != plain.left, "a bend parameter bends the note");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OrvoSwitch.vst3 <arch> OrvoSwitch.{so,dll}\n", argv[0]);
        return 2;
    }
    v3_plugin_factory_2** factory = loadVst3(argv[1], argv[2]);
    check(factory != nullptr, "the bundle's module loads and gives its factory");
    if (!factory) return 1;
    checkClass(factory);
    checkSession(factory, argv[3]);
    checkRateRule(factory);
    checkStateRefusals(factory);
    checkText(factory);
    checkMidiMapping(factory);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
