// The library's one export, clap_entry, with its factory of one plug-in and
// the preset-discovery factory.
#include <cstring>

#include <clap/entry.h>
#include <clap/plugin-factory.h>

#include "ClapSynth.h"

namespace orvo::clap {
namespace {

const char* kFeatures[] = {CLAP_PLUGIN_FEATURE_INSTRUMENT, CLAP_PLUGIN_FEATURE_SYNTHESIZER,
                                 CLAP_PLUGIN_FEATURE_STEREO, nullptr};

uint32_t CLAP_ABI factoryCount(const clap_plugin_factory_t*) { return 1; }  // main

const clap_plugin_descriptor_t* CLAP_ABI factoryDescriptor(const clap_plugin_factory_t*, uint32_t index) {  // main
    return index == 0 ? &kDescriptor : nullptr;
}

const clap_plugin_t* CLAP_ABI factoryCreate(const clap_plugin_factory_t*, const clap_host_t* host,
                                            const char* id) {  // main
    if (!host || !id || std::strcmp(id, kDescriptor.id) != 0 || !clap_version_is_compatible(host->clap_version))
        return nullptr;
    return (new ClapSynth(host))->plugin();
}

const clap_plugin_factory_t kFactory = {factoryCount, factoryDescriptor, factoryCreate};

bool CLAP_ABI entryInit(const char*) { return true; }  // main
void CLAP_ABI entryDeinit() {}                         // main
const void* CLAP_ABI entryFactory(const char* id) {   // any
    if (!id) return nullptr;
    if (!std::strcmp(id, CLAP_PLUGIN_FACTORY_ID)) return &kFactory;
    for (const char* discovery : presets::kDiscoveryFactoryIds)
        if (!std::strcmp(id, discovery)) return &kDiscoveryFactory;
    return nullptr;
}

}  // namespace

const clap_plugin_descriptor_t kDescriptor = {
    CLAP_VERSION_INIT,
    "com.brimlow.orvo.switch",
    kProductName,
    kVendorName,
    "",  // url
    "",  // manual url
    "",  // support url
    ORVO_VERSION,
    "Two-voice switch-table synthesizer",
    kFeatures,
};

}  // namespace orvo::clap

extern "C" CLAP_EXPORT const clap_plugin_entry_t clap_entry = {CLAP_VERSION_INIT, orvo::clap::entryInit,
                                                                 orvo::clap::entryDeinit, orvo::clap::entryFactory};
