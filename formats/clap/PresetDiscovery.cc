// The preset-discovery factory: one provider that tells a host's preset
// browser where our program files are and what is in them, and lists the
// factory library the plug-in carries inside itself. The host loads what it
// finds through the preset-load extension (ClapPresetLoad.cc).
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <clap/plugin-features.h>

#include "ClapSynth.h"
#include "FactoryLibrary.h"
#include "ProgramFile.h"

namespace orvo::clap {
namespace {

namespace fs = std::filesystem;
using namespace presets;

// Where an install puts the program files, under its data prefix.
constexpr char kPresetsSubdir[] = "orvo-switch/presets";

const ProviderDescriptor kProvider = {CLAP_VERSION_INIT, "com.brimlow.orvo.switch.presets", "Orvo Switch Table Synth presets",
                                      kVendorName};

std::string utf8Text(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The folder this library was loaded from; empty when it cannot be told.
fs::path moduleFolder() {
#if defined(_WIN32)
    HMODULE module = nullptr;
    wchar_t name[MAX_PATH * 4];
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&kProvider), &module))
        return {};
    const DWORD n = GetModuleFileNameW(module, name, static_cast<DWORD>(std::size(name)));
    if (n == 0 || n >= std::size(name)) return {};
    return fs::path(std::wstring(name, n)).parent_path();
#else
    Dl_info info{};
    if (!dladdr(&kProvider, &info) || !info.dli_fname) return {};
    std::error_code ec;
    const fs::path file = fs::absolute(info.dli_fname, ec);
    return ec ? fs::path() : file.parent_path();
#endif
}

// The folders an install of ours may have filled, nearest first: the ones
// that follow from where this plug-in was installed, then the usual places.
std::vector<fs::path> candidateFolders() {
    std::vector<fs::path> out;
    const fs::path here = moduleFolder();
#if defined(_WIN32)
    // The zip puts Common Files\CLAP and Presets side by side.
    if (!here.empty()) {
        out.push_back(here / "Presets");
        out.push_back(here.parent_path().parent_path() / "Presets");
    }
#else
    const fs::path presets = kPresetsSubdir;
    if (here.filename() == "clap" && here.parent_path().filename() == "lib")
        out.push_back(here.parent_path().parent_path() / "share" / presets);  // <prefix>/lib/clap
    if (here.filename() == ".clap") out.push_back(here.parent_path() / ".local/share" / presets);  // ~/.clap
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && *dataHome) out.push_back(fs::path(dataHome) / presets);
    else if (home && *home) out.push_back(fs::path(home) / ".local/share" / presets);
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::string dirs = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
    for (size_t at = 0; at <= dirs.size();) {
        const size_t end = std::min(dirs.find(':', at), dirs.size());
        if (end > at) out.push_back(fs::path(dirs.substr(at, end - at)) / presets);
        at = end + 1;
    }
#endif
    return out;
}

// The candidates that exist, each once however it was reached.
std::vector<std::string> presetFolders() {
    std::vector<std::string> found;
    for (const fs::path& folder : candidateFolders()) {
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) continue;
        const fs::path real = fs::canonical(folder, ec);
        const std::string text = utf8Text(ec ? folder : real);
        if (std::find(found.begin(), found.end(), text) == found.end()) found.push_back(text);
    }
    return found;
}

// The provider holds its indexer; the folders are found at init.
struct ProviderObject {
    Provider api;
    const Indexer* indexer;
};

const Indexer* indexerOf(const Provider* p) { return static_cast<ProviderObject*>(p->provider_data)->indexer; }

bool CLAP_ABI providerInit(const Provider* p) {
    const Indexer* indexer = indexerOf(p);
    if (!indexer->declare_filetype || !indexer->declare_location) return false;
    const Filetype program = {"Orvo Switch program", "A program of the twelve values", "fxp"};
    indexer->declare_filetype(indexer, &program);
    for (const std::string& folder : presetFolders()) {
        const Location files = {kFactoryContent, "Orvo Switch presets", kLocationFile, folder.c_str()};
        indexer->declare_location(indexer, &files);
    }
    const Location library = {kFactoryContent, "Orvo Switch factory library", kLocationPlugin, nullptr};
    indexer->declare_location(indexer, &library);
    return true;
}

void CLAP_ABI providerDestroy(const Provider* p) { delete static_cast<ProviderObject*>(p->provider_data); }

std::string lowercase(const char* text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A receiver may leave out what it does not index.
template <typename F, typename... Args>
void tell(const MetadataReceiver* r, F field, Args... args) {
    if (r->*field) (r->*field)(r, args...);
}

void describe(const MetadataReceiver* r, const FactoryPreset& preset) {
    tell(r, &MetadataReceiver::add_feature, CLAP_PLUGIN_FEATURE_INSTRUMENT);
    tell(r, &MetadataReceiver::add_feature, lowercase(preset.category).c_str());
    tell(r, &MetadataReceiver::set_description, preset.description);
}

bool begin(const MetadataReceiver* r, const char* name, const char* key) {
    if (!r->begin_preset(r, name, key)) return false;
    const PluginId id = {"clap", kDescriptor.id};
    tell(r, &MetadataReceiver::add_plugin_id, &id);
    return true;
}

// A program file: its program, or a bank's each with its number as the
// load key. A name from the factory library brings its category and
// description along.
bool fileMetadata(const char* location, const MetadataReceiver* r) {
    const ProgramRead read = readProgramFile(std::string(location));
    if (!read.error.empty()) {
        tell(r, &MetadataReceiver::on_error, 0, read.error.c_str());
        return false;
    }
    for (size_t i = 0; i < read.programs.size(); ++i) {
        const std::string key = std::to_string(i);
        if (!begin(r, read.programs[i].name.c_str(), read.programs.size() > 1 ? key.c_str() : nullptr)) break;
        if (const FactoryPreset* preset = findFactoryPreset(read.programs[i].name)) describe(r, *preset);
        else tell(r, &MetadataReceiver::add_feature, CLAP_PLUGIN_FEATURE_INSTRUMENT);
    }
    return true;
}

bool libraryMetadata(const MetadataReceiver* r) {
    for (const FactoryPreset& preset : factoryLibrary()) {
        if (!begin(r, preset.name, preset.name)) break;
        tell(r, &MetadataReceiver::set_flags, kFactoryContent);
        tell(r, &MetadataReceiver::add_creator, kVendorName);
        describe(r, preset);
    }
    return true;
}

bool CLAP_ABI providerMetadata(const Provider*, uint32_t kind, const char* location, const MetadataReceiver* r) {
    if (!r || !r->begin_preset) return false;
    if (kind == kLocationFile && location) return fileMetadata(location, r);
    if (kind == kLocationPlugin) return libraryMetadata(r);
    tell(r, &MetadataReceiver::on_error, 0, "not a location this provider declared");
    return false;
}

const void* CLAP_ABI providerExtension(const Provider*, const char*) { return nullptr; }

uint32_t CLAP_ABI factoryCount(const DiscoveryFactory*) { return 1; }
const ProviderDescriptor* CLAP_ABI factoryDescriptor(const DiscoveryFactory*, uint32_t index) {
    return index == 0 ? &kProvider : nullptr;
}
const Provider* CLAP_ABI factoryCreate(const DiscoveryFactory*, const Indexer* indexer, const char* id) {
    if (!indexer || !id || std::strcmp(id, kProvider.id) != 0 || !clap_version_is_compatible(indexer->clap_version))
        return nullptr;
    auto* object = new ProviderObject{{&kProvider, nullptr, providerInit, providerDestroy, providerMetadata,
                                       providerExtension},
                                      indexer};
    object->api.provider_data = object;
    return &object->api;
}

}  // namespace

// Every call may come from any thread: nothing here is shared but constants.
const DiscoveryFactory kDiscoveryFactory = {factoryCount, factoryDescriptor, factoryCreate};

}  // namespace orvo::clap
