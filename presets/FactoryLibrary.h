// The factory sound library: named, categorised presets of the twelve
// values, made from presets/factory.txt at build time. Every format reaches
// the same presets; the VST 2 plug-in's own bank stays init1..init32.
#pragma once

#include <span>
#include <string_view>

#include "ParamTable.h"  // kNumParams; the instrument's, whatever else is named Identity.h

namespace orvo {

struct FactoryPreset {
    const char* name;         // at most 23 characters, unique
    const char* category;     // "Bass", "Lead", "Pad", ...
    const char* description;  // one line
    float values[kNumParams]; // in parameter numbering, each 0..1
};

std::span<const FactoryPreset> factoryLibrary();
// By name, ignoring ASCII case; null when there is none.
const FactoryPreset* findFactoryPreset(std::string_view name);

}  // namespace orvo
