// The module's exports: the factory of one plug-in class, and the load and
// unload calls each system's hosts make around it.
#include <cstdio>
#include <cstring>
#include <new>

#include <travesty/factory.h>

#include "Vst3Synth.h"

namespace orvo::vst3 {

// "OrvoSwitchTable1" in the byte order each system's hosts read.
const v3_tuid kClassId = V3_ID(0x4F72766F, 0x53776974, 0x63685461, 0x626C6531);

namespace {

// The factory is one static object; its references count nothing.
v3_result V3_API factoryQuery(void* self, const v3_tuid iid, void** obj) {  // any
    if (!obj) return V3_INVALID_ARG;
    if (sameId(iid, v3_funknown_iid) || sameId(iid, v3_plugin_factory_iid) || sameId(iid, v3_plugin_factory_2_iid) ||
        sameId(iid, v3_plugin_factory_3_iid)) {
        *obj = self;
        return V3_OK;
    }
    *obj = nullptr;
    return V3_NO_INTERFACE;
}
uint32_t V3_API factoryRef(void*) { return 1; }    // any
uint32_t V3_API factoryUnref(void*) { return 1; }  // any

v3_result V3_API factoryInfo(void*, v3_factory_info* info) {  // main
    if (!info) return V3_INVALID_ARG;
    *info = v3_factory_info{};
    std::snprintf(info->vendor, sizeof info->vendor, "%s", kVendorName);
    info->flags = 0x10;  // unicode
    return V3_OK;
}

int32_t V3_API classCount(void*) { return 1; }  // main

constexpr char kCategory[] = "Audio Module Class";
constexpr char kSubCategories[] = "Instrument|Synth";
constexpr char kSdkVersion[] = "VST 3.7.0";

// What every version of the class record says first: which class, as many
// instances as a host likes, and what kind of plug-in.
template <class Info>
void start(Info* info) {
    *info = Info{};
    std::memcpy(info->class_id, kClassId, sizeof(v3_tuid));
    info->cardinality = 0x7FFFFFFF;
    std::snprintf(info->category, sizeof info->category, "%s", kCategory);
}

v3_result V3_API classInfo(void*, int32_t index, v3_class_info* info) {  // main
    if (!info || index != 0) return V3_INVALID_ARG;
    start(info);
    std::snprintf(info->name, sizeof info->name, "%s", kProductName);
    return V3_OK;
}

v3_result V3_API classInfo2(void*, int32_t index, v3_class_info_2* info) {  // main
    if (!info || index != 0) return V3_INVALID_ARG;
    start(info);
    std::snprintf(info->name, sizeof info->name, "%s", kProductName);
    std::snprintf(info->sub_categories, sizeof info->sub_categories, "%s", kSubCategories);
    std::snprintf(info->vendor, sizeof info->vendor, "%s", kVendorName);
    std::snprintf(info->version, sizeof info->version, "%s", ORVO_VERSION);
    std::snprintf(info->sdk_version, sizeof info->sdk_version, "%s", kSdkVersion);
    return V3_OK;
}

v3_result V3_API classInfoUtf16(void*, int32_t index, v3_class_info_3* info) {  // main
    if (!info || index != 0) return V3_INVALID_ARG;
    start(info);
    toUtf16(info->name, kProductName, 64);
    std::snprintf(info->sub_categories, sizeof info->sub_categories, "%s", kSubCategories);
    toUtf16(info->vendor, kVendorName, 64);
    toUtf16(info->version, ORVO_VERSION, 64);
    toUtf16(info->sdk_version, kSdkVersion, 64);
    return V3_OK;
}

v3_result V3_API setHostContext(void*, v3_funknown**) { return V3_OK; }  // main

// Any interface of the one object: the host asks for the component, or for
// the controller, and gets the same instrument either way.
v3_result V3_API createInstance(void*, const v3_tuid classId, const v3_tuid iid, void** instance) {  // main
    if (!instance) return V3_INVALID_ARG;
    *instance = nullptr;
    if (!classId || !sameId(classId, kClassId)) return V3_NO_INTERFACE;
    auto* synth = new (std::nothrow) Vst3Synth();
    if (!synth) return V3_NOMEM;
    const v3_result result = synth->query(iid, instance);
    synth->unref();  // the host's reference, if any, keeps it
    return result;
}

const v3_plugin_factory_cpp kFactoryTable = {
    {factoryQuery, factoryRef, factoryUnref},
    {factoryInfo, classCount, classInfo, createInstance},
    {classInfo2},
    {classInfoUtf16, setHostContext},
};

struct Factory {
    const v3_plugin_factory_cpp* table;
};
Factory factory{&kFactoryTable};

}  // namespace
}  // namespace orvo::vst3

#if defined(_WIN32)
#define ORVO_VST3_EXPORT extern "C" __declspec(dllexport)
#else
#define ORVO_VST3_EXPORT extern "C" __attribute__((visibility("default")))
#endif

ORVO_VST3_EXPORT void* V3_API GetPluginFactory() { return &orvo::vst3::factory; }  // main

#if defined(_WIN32)
ORVO_VST3_EXPORT bool InitDll() { return true; }  // main
ORVO_VST3_EXPORT bool ExitDll() { return true; }  // main
#else
ORVO_VST3_EXPORT bool ModuleEntry(void*) { return true; }  // main
ORVO_VST3_EXPORT bool ModuleExit() { return true; }        // main
#endif
