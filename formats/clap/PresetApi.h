// The CLAP preset interfaces that Debian's CLAP 1.1 headers predate: the
// preset-discovery factory a host indexes presets through, and the
// preset-load extension that loads what it found. Laid out as CLAP 1.2
// publishes them, under names of our own so they cannot clash with a later
// <clap/...> that brings its own. The plug-in and its tests share it.
#pragma once

#include <cstdint>

#include <clap/host.h>
#include <clap/plugin.h>
#include <clap/version.h>

namespace orvo::clap::presets {

// The published ids first; hosts that still ask for a draft's get the same
// tables, which did not change.
inline constexpr const char* kDiscoveryFactoryIds[] = {"clap.preset-discovery-factory/2",
                                                       "clap.preset-discovery-factory/draft-2"};
inline constexpr const char* kPresetLoadIds[] = {"clap.preset-load/2", "clap.preset-load",
                                                 "clap.preset-load.draft/2"};

enum : uint32_t { kLocationFile = 0, kLocationPlugin = 1 };
enum : uint32_t { kFactoryContent = 1u << 0, kUserContent = 1u << 1, kDemoContent = 1u << 2, kFavorite = 1u << 3 };

extern "C" {

struct PluginId {
    const char* abi;  // "clap"
    const char* id;   // the descriptor's id
};

struct MetadataReceiver {
    void* receiver_data;
    void(CLAP_ABI* on_error)(const MetadataReceiver* r, int32_t os_error, const char* message);
    bool(CLAP_ABI* begin_preset)(const MetadataReceiver* r, const char* name, const char* load_key);
    void(CLAP_ABI* add_plugin_id)(const MetadataReceiver* r, const PluginId* id);
    void(CLAP_ABI* set_soundpack_id)(const MetadataReceiver* r, const char* soundpack_id);
    void(CLAP_ABI* set_flags)(const MetadataReceiver* r, uint32_t flags);
    void(CLAP_ABI* add_creator)(const MetadataReceiver* r, const char* creator);
    void(CLAP_ABI* set_description)(const MetadataReceiver* r, const char* description);
    void(CLAP_ABI* set_timestamps)(const MetadataReceiver* r, uint64_t created, uint64_t modified);
    void(CLAP_ABI* add_feature)(const MetadataReceiver* r, const char* feature);
    void(CLAP_ABI* add_extra_info)(const MetadataReceiver* r, const char* key, const char* value);
};

struct Filetype {
    const char* name;
    const char* description;
    const char* file_extension;  // without the dot
};

struct Location {
    uint32_t flags;
    const char* name;
    uint32_t kind;
    const char* location;  // a folder or file; null for kLocationPlugin
};

struct Soundpack {
    uint32_t flags;
    const char* id;
    const char* name;
    const char* description;
    const char* homepage_url;
    const char* vendor;
    const char* image_path;
    uint64_t release_timestamp;
};

struct ProviderDescriptor {
    clap_version_t clap_version;
    const char* id;
    const char* name;
    const char* vendor;
};

struct Provider {
    const ProviderDescriptor* desc;
    void* provider_data;
    bool(CLAP_ABI* init)(const Provider* p);
    void(CLAP_ABI* destroy)(const Provider* p);
    bool(CLAP_ABI* get_metadata)(const Provider* p, uint32_t location_kind, const char* location,
                                 const MetadataReceiver* receiver);
    const void*(CLAP_ABI* get_extension)(const Provider* p, const char* id);
};

struct Indexer {
    clap_version_t clap_version;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    void* indexer_data;
    bool(CLAP_ABI* declare_filetype)(const Indexer* i, const Filetype* filetype);
    bool(CLAP_ABI* declare_location)(const Indexer* i, const Location* location);
    bool(CLAP_ABI* declare_soundpack)(const Indexer* i, const Soundpack* soundpack);
    const void*(CLAP_ABI* get_extension)(const Indexer* i, const char* id);
};

struct DiscoveryFactory {
    uint32_t(CLAP_ABI* count)(const DiscoveryFactory* f);
    const ProviderDescriptor*(CLAP_ABI* get_descriptor)(const DiscoveryFactory* f, uint32_t index);
    const Provider*(CLAP_ABI* create)(const DiscoveryFactory* f, const Indexer* indexer, const char* provider_id);
};

struct PluginPresetLoad {
    bool(CLAP_ABI* from_location)(const clap_plugin_t* plugin, uint32_t location_kind, const char* location,
                                  const char* load_key);
};

struct HostPresetLoad {
    void(CLAP_ABI* on_error)(const clap_host_t* host, uint32_t location_kind, const char* location,
                             const char* load_key, int32_t os_error, const char* message);
    void(CLAP_ABI* loaded)(const clap_host_t* host, uint32_t location_kind, const char* location,
                           const char* load_key);
};

}  // extern "C"

}  // namespace orvo::clap::presets
