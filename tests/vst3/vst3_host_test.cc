// Loads the built bundle as a VST 3 host does and checks what hosts rely on
// beyond what the validator covers: the timed session against the VST 2
// plug-in at three rates and four block lengths, the rate rule for states,
// the text hosts show and read back, MIDI mapping, the programs as the
// program-change parameter and the root unit's program list, and hostile
// state.
//
//   orvo-vst3-test OrvoSwitch.vst3 <arch> OrvoSwitch.{so,dll}
// Exit 0 when every check passes.
#include <cmath>
#include <initializer_list>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <travesty/edit_controller.h>
#include <travesty/unit.h>

#include "FactoryLibrary.h"
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
    check(p.processor && p.controller && v3_cpp_obj(p.controller)->get_parameter_count(p.controller) == 15,
          "the component is its own processor and controller, with 12 values, 2 MIDI carriers and the program");
}

// moduleinfo.json lets hosts list the bundle without loading it, so it must
// say what the factory says: the class id (its four words in hex, whichever
// byte order this system keeps them in), name, vendor and version.
void checkModuleInfo(v3_plugin_factory_2** factory, const std::string& bundle) {
    v3_class_info_2 info{};
    v3_cpp_obj(factory)->get_class_info_2(factory, 0, &info);
#ifdef _WIN32
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
#else
    const int order[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
#endif
    std::string cid;
    for (int i : order) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(static_cast<unsigned char>(info.class_id[i])));
        cid += hex;
    }
    std::ifstream in(bundle + "/Contents/Resources/moduleinfo.json");
    const std::string json{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    auto says = [&](const char* key, const std::string& value) {
        std::string pair = "\"";
        pair.append(key).append("\": \"").append(value).append("\"");
        return json.find(pair) != std::string::npos;
    };
    check(says("CID", cid) && says("Name", info.name) && says("Vendor", info.vendor) && says("Version", info.version),
          "moduleinfo.json names the factory's class by its id, name, vendor and version");
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

constexpr v3_param_id kProgram = 14;
double programValue(int program) { return program / 31.0; }

std::string ascii(const int16_t* text) {
    std::string out;
    for (int i = 0; i < 128 && text[i]; ++i) out += static_cast<char>(text[i]);
    return out;
}

// What a host reads to offer the programs: the program-change parameter in
// the root unit, whose one list holds the factory library's 32 presets by
// name.
void checkProgramList(v3_plugin_factory_2** factory) {
    const auto library = orvo::factoryLibrary();
    Plugin p(factory);
    v3_param_info param{};
    v3_cpp_obj(p.controller)->get_parameter_info(p.controller, 14, &param);
    v3_unit_information** units = nullptr;
    v3_cpp_obj_query_interface(p.component, v3_unit_information_iid, &units);
    v3_unit_info unit{};
    v3_program_list_info list{};
    v3_str_128 first{}, last{};
    bool ok = param.param_id == kProgram && param.step_count == 31 && param.unit_id == 0 &&
              (param.flags & (V3_PARAM_PROGRAM_CHANGE | V3_PARAM_IS_LIST)) == (V3_PARAM_PROGRAM_CHANGE | V3_PARAM_IS_LIST);
    ok &= units != nullptr;
    if (units) {
        auto* u = v3_cpp_obj(units);
        ok &= u->get_unit_count(units) == 1 && u->get_unit_info(units, 0, &unit) == V3_OK && unit.id == 0 &&
              unit.parent_unit_id == -1 && u->get_unit_info(units, 1, &unit) != V3_OK;
        ok &= u->get_program_list_count(units) == 1 && u->get_program_list_info(units, 0, &list) == V3_OK &&
              list.id == unit.program_list_id && list.id != -1 && list.programCount == 32;
        ok &= u->get_program_name(units, list.id, 0, first) == V3_OK && ascii(first) == library[0].name &&
              u->get_program_name(units, list.id, 31, last) == V3_OK && ascii(last) == library[31].name &&
              u->get_program_name(units, list.id, 32, last) != V3_OK &&
              u->get_program_name(units, list.id + 1, 0, last) != V3_OK;
        ok &= u->has_program_pitch_names(units, list.id, 0) != V3_OK;
        v3_cpp_obj_unref(units);
    }
    check(ok, "the program parameter lists 32 programs in the root unit, whose one program list names them");
    double v = -1;
    check(p.text(kProgram, programValue(3)) == library[3].name && p.fromText(kProgram, library[3].name, &v) &&
              v == programValue(3),
          "the program parameter shows a program by its name and reads the name back");
}

// A program selected through the parameter: in a block, at its frame like a
// value, told to the host only from the main thread; on the controller, at
// once. The library preset's values follow, and the state round-trips them
// with the program number.
void checkProgramChange(v3_plugin_factory_2** factory) {
    // Program 0 gets values of its own; program 2 is the library's third.
    const orvo::FactoryPreset& third = orvo::factoryLibrary()[2];
    ParamChanges defaults;
    for (v3_param_id i = 0; i < 12; ++i) defaults.add(i, 0, third.values[i]);
    Handler handler;  // outlives the plug-in, which lets it go on terminating
    Plugin byProgram(factory), byValues(factory);
    v3_cpp_obj(byProgram.controller)->set_component_handler(byProgram.controller, handler.handler());
    for (Plugin* p : {&byProgram, &byValues}) {
        p->start(44100);
        setValues(*p, {{0, 0.3}, {1, 0.3}, {2, 0.8}, {3, 0.3}, {4, 0.9}, {5, 0.7}, {6, 0.4}, {7, 0.8}, {8, 0.6}, {9, 0.6},
                       {10, 0.2}, {11, 0.3}});
    }
    // The reference cuts its block at frame 300 and sets the values in a
    // block of no frames, so no order at one frame comes into it.
    bool same = true;
    for (int block = 0; block < 4; ++block) {
        EventList notes, none, late;
        ParamChanges toProgram, nothing;
        if (block == 0) notes.note(0, true, 0, 60, 0.8f);
        if (block == 1) {
            notes.note(300, true, 0, 67, 0.8f);
            toProgram.add(kProgram, 300, programValue(2));
            late.note(0, true, 0, 67, 0.8f);
        }
        byProgram.process(512, notes, toProgram);
        if (block != 1) {
            byValues.process(512, notes, nothing);
            same &= byProgram.left == byValues.left && byProgram.right == byValues.right;
            continue;
        }
        byValues.process(300, none, nothing);
        std::vector<float> left = byValues.left, right = byValues.right;
        byValues.process(0, none, defaults);
        byValues.process(212, late, nothing);
        left.insert(left.end(), byValues.left.begin(), byValues.left.end());
        right.insert(right.end(), byValues.right.begin(), byValues.right.end());
        same &= byProgram.left == left && byProgram.right == right;
    }
    same &= byProgram.value(4) == static_cast<double>(third.values[4]) &&
            byProgram.value(8) == static_cast<double>(third.values[8]);
    check(same && byProgram.value(kProgram) == programValue(2),
          "a program change in a block sounds as its twelve values set at its frame, a note there hearing them");
    const bool quietInBlock = handler.trace.empty();
    byProgram.setValue(kProgram, programValue(2));  // the host's echo, on the main thread
    check(quietInBlock && handler.trace == "restart 4 ",
          "a block's program change reaches the host on the next main-thread call, not from the block");

    handler.trace.clear();
    byProgram.setValue(kProgram, programValue(0));
    check(handler.trace == "restart 4 " && byProgram.value(kProgram) == programValue(0) &&
              byProgram.value(4) == static_cast<double>(0.9f) && byProgram.value(5) == static_cast<double>(0.7f),
          "a program picked on the controller is selected at once, its values shown, the host told");

    // Edited after picking program 5, saved as a host saves a project.
    byProgram.setValue(kProgram, programValue(5));
    setValues(byProgram, {{4, 0.125}});
    Stream state, program;
    Plugin copy(factory), older(factory);
    same = byProgram.save(state, &program) && copy.load(state, &program);
    for (v3_param_id i = 0; i < 12; ++i) same &= copy.value(i) == byProgram.value(i);
    check(same && copy.value(4) == 0.125 && copy.value(kProgram) == programValue(5) &&
              copy.text(kProgram, programValue(5)) == orvo::factoryLibrary()[5].name,
          "the state round-trips the values and the program they belong to");
    Stream none;  // what builds before the program number saved
    same = older.load(state, &none) && older.value(kProgram) == programValue(0);
    for (v3_param_id i = 0; i < 12; ++i) same &= older.value(i) == byProgram.value(i);
    check(same, "a state without a program number still loads the values");
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
    checkModuleInfo(factory, argv[1]);
    checkSession(factory, argv[3]);
    checkRateRule(factory);
    checkStateRefusals(factory);
    checkText(factory);
    checkMidiMapping(factory);
    checkProgramList(factory);
    checkProgramChange(factory);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
