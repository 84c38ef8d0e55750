#include "FactoryLibrary.h"

#include <algorithm>
#include <cctype>

namespace orvo {
namespace {

constexpr FactoryPreset kLibrary[] = {
#include "factory_library.inc"
};
static_assert(std::size(kLibrary) == kNumPrograms, "the factory bank holds one preset per program");

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::span<const FactoryPreset> factoryLibrary() { return kLibrary; }

const FactoryPreset* findFactoryPreset(std::string_view name) {
    for (const FactoryPreset& preset : kLibrary)
        if (sameIgnoringCase(preset.name, name)) return &preset;
    return nullptr;
}

}  // namespace orvo
