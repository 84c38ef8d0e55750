// A small LV2 host for the tests: a URID map, a log that keeps what it is
// told, an atom sequence written by hand (so a test can also write what a
// careless host would), and the plug-in found and instantiated through lilv
// from the build's bundle.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ParamTable.h"
#include "Ports.h"

#ifndef ORVO_LV2_BUNDLE
#error "ORVO_LV2_BUNDLE must name the built bundle folder"
#endif

namespace orvo::lv2::test {

// URIs numbered from 1 in the order first asked for.
class UridMap {
public:
    LV2_URID map(const char* uri) {
        for (size_t i = 0; i < uris.size(); ++i)
            if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
        uris.emplace_back(uri);
        return static_cast<LV2_URID>(uris.size());
    }
    LV2_URID_Map feature{this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->map(uri); }};

private:
    std::vector<std::string> uris;
};

// Every message logged, formatted.
class Log {
public:
    std::vector<std::string> messages;
    LV2_Log_Log feature{this, &Log::printf, &Log::vprintf};

private:
    static int vprintf(LV2_Log_Handle h, LV2_URID, const char* fmt, va_list args) {
        char text[512];
        const int n = std::vsnprintf(text, sizeof text, fmt, args);
        static_cast<Log*>(h)->messages.emplace_back(text);
        return n;
    }
    static int printf(LV2_Log_Handle h, LV2_URID type, const char* fmt, ...) {
        va_list args;
        va_start(args, fmt);
        const int n = vprintf(h, type, fmt, args);
        va_end(args);
        return n;
    }
};

// One block's input sequence, events in the order they are added.
class Sequence {
public:
    explicit Sequence(uint32_t capacity = 1 << 16) : storage((capacity + 7) / 8) { clear(); }
    void clear() {
        seq()->atom.type = sequenceType;
        seq()->atom.size = sizeof(LV2_Atom_Sequence_Body);
        seq()->body.unit = 0;
        seq()->body.pad = 0;
    }
    void setTypes(LV2_URID sequence, LV2_URID midi) {
        sequenceType = sequence;
        midiType = midi;
        seq()->atom.type = sequence;
    }
    void add(int64_t frame, LV2_URID type, const void* data, uint32_t size) {
        const uint32_t used = static_cast<uint32_t>(sizeof(LV2_Atom)) + seq()->atom.size;
        const uint32_t need = lv2_atom_pad_size(static_cast<uint32_t>(sizeof(LV2_Atom_Event)) + size);
        if (used + need > storage.size() * 8) return;
        auto* ev = reinterpret_cast<LV2_Atom_Event*>(reinterpret_cast<uint8_t*>(storage.data()) + used);
        ev->time.frames = frame;
        ev->body.size = size;
        ev->body.type = type;
        std::memcpy(ev + 1, data, size);
        seq()->atom.size += need;
    }
    void midi(int64_t frame, std::vector<uint8_t> bytes) {
        add(frame, midiType, bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    LV2_Atom_Sequence* seq() { return reinterpret_cast<LV2_Atom_Sequence*>(storage.data()); }

private:
    std::vector<uint64_t> storage;
    LV2_URID sequenceType = 0, midiType = 0;
};

// The bundle as lilv reads it.
class World {
public:
    World() : world(lilv_world_new()) {
        // lilv unloads the library with its last instance; the library
        // carries its own C++ runtime, whose start-up allocations would then
        // be stranded (and reported as leaks). Held open here, it stays.
        static void* const kept = dlopen(ORVO_LV2_BUNDLE "/OrvoSwitch.so", RTLD_NOW | RTLD_NODELETE);
        (void)kept;
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, ORVO_LV2_BUNDLE "/");
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
        LilvNode* uri = lilv_new_uri(world, kPluginUri);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
    }
    ~World() { lilv_world_free(world); }
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    LilvWorld* world;
    const LilvPlugin* plugin = nullptr;
};

// One instance with every port connected to buffers of its own; controls
// start at the description's defaults, as a host sets them.
class Instance {
public:
    static constexpr uint32_t kMaxBlock = 8192;

    Instance(World& w, double rate, bool withMap = true) {
        sequence.setTypes(map.map(LV2_ATOM__Sequence), map.map(LV2_MIDI__MidiEvent));
        const LV2_Feature mapFeature{LV2_URID__map, &map.feature};
        const LV2_Feature logFeature{LV2_LOG__log, &log.feature};
        const LV2_Feature* withAll[] = {&mapFeature, &logFeature, nullptr};
        const LV2_Feature* logOnly[] = {&logFeature, nullptr};
        const LV2_Feature* const* features = withMap ? withAll : logOnly;
        if (w.plugin) instance = lilv_plugin_instantiate(w.plugin, rate, features);
        if (!instance) return;
        for (int i = 0; i < kNumParams; ++i) control[i] = kParams[i].defaultValue;
        connect();
        lilv_instance_activate(instance);
    }
    ~Instance() {
        if (!instance) return;
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    void connect() {
        lilv_instance_connect_port(instance, kPortEvents, sequence.seq());
        lilv_instance_connect_port(instance, kPortLeft, left.data());
        lilv_instance_connect_port(instance, kPortRight, right.data());
        for (uint32_t i = 0; i < kNumParams; ++i) lilv_instance_connect_port(instance, kPortFirstControl + i, &control[i]);
    }
    // Runs `frames` with the sequence as it stands, then empties it.
    void run(uint32_t frames) {
        lilv_instance_run(instance, frames);
        sequence.clear();
    }

    UridMap map;
    Log log;
    Sequence sequence;
    LilvInstance* instance = nullptr;
    float control[kNumParams] = {};
    std::vector<float> left = std::vector<float>(kMaxBlock), right = std::vector<float>(kMaxBlock);
};

}  // namespace orvo::lv2::test
