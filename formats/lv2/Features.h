// The host's feature list as the plug-in and its editor read it, and the one
// way either says why it cannot start. Thread: instantiation or UI, never
// audio (the logger may allocate and print).
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/log/logger.h>
#include <lv2/urid/urid.h>

#include <cstring>

namespace orvo::lv2 {

class Features {
public:
    explicit Features(const LV2_Feature* const* list) : list(list) {
        map = static_cast<LV2_URID_Map*>(find(LV2_URID__map));
        // Without a map the logger still works, with message types it
        // cannot name; without log:log it writes to stderr.
        lv2_log_logger_init(&logger, map, static_cast<LV2_Log_Log*>(find(LV2_LOG__log)));
    }

    // The data of the feature `uri`, or null when the host does not offer it.
    void* find(const char* uri) const {
        for (const LV2_Feature* const* f = list; f && *f; ++f)
            if ((*f)->URI && std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
        return nullptr;
    }

    void error(const char* text) const { lv2_log_error(&logger, "%s", text); }

    LV2_URID_Map* map = nullptr;

private:
    const LV2_Feature* const* list;
    mutable LV2_Log_Logger logger{};
};

}  // namespace orvo::lv2
