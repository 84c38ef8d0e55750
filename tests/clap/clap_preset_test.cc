// The CLAP plug-in's presets as a host's preset browser reaches them: the
// discovery factory's locations and what it says of each preset, and
// preset-load of every factory preset, by file and by name, sounding as the
// same twelve values set through the parameters; a bad file is reported and
// changes nothing.
//
//   orvo-clap-preset-test OrvoSwitch.clap <folder of the generated .fxp files>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "ClapHost.h"
#include "FactoryLibrary.h"

using namespace orvo::test;
namespace presets = orvo::clap::presets;
namespace fs = std::filesystem;

namespace {

int passed = 0, failed = 0;
void check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    (ok ? passed : failed)++;
}

// What a provider declared and described, as an indexer keeps it.
struct Index {
    struct Preset {
        std::string name, key, plugin, description, features;
    };
    std::vector<std::string> filetypes, folders;
    int libraries = 0;
    std::vector<Preset> found;
    std::vector<std::string> errors;

    static Index& of(const presets::Indexer* i) { return *static_cast<Index*>(i->indexer_data); }
    static Index& of(const presets::MetadataReceiver* r) { return *static_cast<Index*>(r->receiver_data); }
    presets::Indexer indexer{CLAP_VERSION_INIT, "orvo-clap-preset-test", "test", "", "1", this,
        [](const presets::Indexer* i, const presets::Filetype* t) {
            of(i).filetypes.push_back(t->file_extension);
            return true;
        },
        [](const presets::Indexer* i, const presets::Location* l) {
            if (l->kind == presets::kLocationPlugin && !l->location) of(i).libraries++;
            else if (l->kind == presets::kLocationFile) of(i).folders.push_back(l->location);
            return true;
        },
        [](const presets::Indexer*, const presets::Soundpack*) { return true; },
        [](const presets::Indexer*, const char*) -> const void* { return nullptr; }};
    presets::MetadataReceiver receiver{this,
        [](const presets::MetadataReceiver* r, int32_t, const char* m) { of(r).errors.push_back(m); },
        [](const presets::MetadataReceiver* r, const char* name, const char* key) {
            of(r).found.push_back({name, key ? key : "", "", "", ""});
            return true;
        },
        [](const presets::MetadataReceiver* r, const presets::PluginId* id) {
            of(r).found.back().plugin = std::string(id->abi) + ":" + id->id;
        },
        nullptr, nullptr, nullptr,
        [](const presets::MetadataReceiver* r, const char* d) { of(r).found.back().description = d; },
        nullptr,
        [](const presets::MetadataReceiver* r, const char* f) { of(r).found.back().features += std::string(f) + " "; },
        nullptr};
};

const presets::Provider* provide(const clap_plugin_entry_t* entry, Index& index) {
    auto* factory = static_cast<const presets::DiscoveryFactory*>(entry->get_factory(presets::kDiscoveryFactoryIds[0]));
    const presets::ProviderDescriptor* d = factory && factory->count(factory) == 1 ? factory->get_descriptor(factory, 0) : nullptr;
    const presets::Provider* p = d ? factory->create(factory, &index.indexer, d->id) : nullptr;
    if (p && !p->init(p)) {
        p->destroy(p);
        return nullptr;
    }
    return p;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void checkDiscovery(const clap_plugin_entry_t* entry, const fs::path& files) {
    check(entry->get_factory(presets::kDiscoveryFactoryIds[0]) &&
              entry->get_factory(presets::kDiscoveryFactoryIds[0]) == entry->get_factory(presets::kDiscoveryFactoryIds[1]),
          "the discovery factory answers its published id and its draft's");
    Index index;
    const presets::Provider* p = provide(entry, index);
    check(p && index.filetypes == std::vector<std::string>{"fxp"} && index.libraries == 1,
          "the provider declares .fxp files and its built-in library");
    if (!p) return;
    bool listed = p->get_metadata(p, presets::kLocationPlugin, nullptr, &index.receiver) &&
                  index.found.size() == orvo::factoryLibrary().size();
    for (size_t i = 0; listed && i < index.found.size(); ++i) {
        const orvo::FactoryPreset& preset = orvo::factoryLibrary()[i];
        const Index::Preset& got = index.found[i];
        listed = got.name == preset.name && got.key == preset.name && got.plugin == "clap:com.brimlow.orvo.switch" &&
                 got.features.find(" " + lower(preset.category) + " ") != std::string::npos &&
                 got.description == preset.description;
    }
    check(listed, "the library lists its 32 presets by name, with plug-in, category feature and description");

    index.found.clear();
    const bool read = p->get_metadata(p, presets::kLocationFile, (files / "Acid Glide Bass.fxp").string().c_str(), &index.receiver);
    check(read && index.found.size() == 1 && index.found[0].name == "Acid Glide Bass" && index.found[0].key.empty() &&
              index.found[0].plugin == "clap:com.brimlow.orvo.switch" && index.found[0].features.find(" bass ") != std::string::npos,
          "a program file's metadata: its name, the plug-in and its category");
    const bool bad = p->get_metadata(p, presets::kLocationFile, (files / "missing.fxp").string().c_str(), &index.receiver);
    check(!bad && index.errors.size() == 1, "a file that cannot be read is an error, not a preset");
    p->destroy(p);
}

// The plug-in installed under a prefix finds <prefix>/share/orvo-switch/presets.
void checkInstalledFolder(const char* clapPath) {
    const fs::path prefix = fs::temp_directory_path() / ("orvo-clap-presets-" + std::to_string(::getpid()));
    const fs::path folder = prefix / "share/orvo-switch/presets";
    fs::create_directories(prefix / "lib/clap");
    fs::create_directories(folder);
    fs::copy_file(clapPath, prefix / "lib/clap/OrvoSwitch.clap");
    const clap_plugin_entry_t* installed = loadClap((prefix / "lib/clap/OrvoSwitch.clap").string().c_str());
    Index index;
    const presets::Provider* p = installed ? provide(installed, index) : nullptr;
    check(p && !index.folders.empty() && index.folders[0] == fs::canonical(folder).string(),
          "a plug-in in <prefix>/lib/clap declares <prefix>/share/orvo-switch/presets first");
    if (p) p->destroy(p);
    fs::remove_all(prefix);
}

// By file, activated first; by name, loaded before activation: each sounds
// as a host setting the twelve values through the parameters.
void checkLoad(const clap_plugin_entry_t* entry, const fs::path& files) {
    int same = 0, told = 0;
    for (const orvo::FactoryPreset& preset : orvo::factoryLibrary()) {
        Host reference(entry), byFile(entry), byName(entry);
        reference.activate(48000);
        std::vector<std::pair<uint32_t, double>> values;
        for (uint32_t i = 0; i < 12; ++i) values.push_back({i, preset.values[i]});
        setValues(reference, values);
        byFile.activate(48000);
        const std::string path = (files / (std::string(preset.name) + ".fxp")).string();
        bool ok = byFile.presetLoad && byFile.presetLoad->from_location(byFile.plugin, presets::kLocationFile, path.c_str(), nullptr);
        ok &= byName.presetLoad && byName.presetLoad->from_location(byName.plugin, presets::kLocationPlugin, nullptr, preset.name);
        ok &= byName.activate(48000);
        const uint64_t sound = phraseHash(reference);
        same += ok && phraseHash(byFile) == sound && phraseHash(byName) == sound;
        told += byFile.rescans == 1 && byName.rescans == 1 && byFile.presetsLoaded == std::vector<std::string>{path} &&
                byName.presetsLoaded == std::vector<std::string>{preset.name} && byName.presetErrors.empty();
    }
    check(same == 32, "each factory preset by file and by name renders the bits of its values set as parameters");
    check(told == 32, "each load has the host rescan the values and names what was loaded");
}

void checkRefusals(const clap_plugin_entry_t* entry, const fs::path& files) {
    Host untouched(entry);
    untouched.activate(44100);
    const uint64_t fresh = phraseHash(untouched);
    const fs::path junk = fs::temp_directory_path() / ("orvo-clap-junk-" + std::to_string(::getpid()) + ".fxp");
    {
        std::ifstream whole(files / "Round Bass.fxp", std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(whole), std::istreambuf_iterator<char>()};
        std::ofstream(junk, std::ios::binary) << bytes.substr(0, bytes.size() - 9);  // cut inside the values
    }
    struct Case {
        uint32_t kind;
        std::string location;
        const char* key;
    };
    const Case cases[] = {{presets::kLocationFile, junk.string(), nullptr},
                          {presets::kLocationFile, (files / "nowhere.fxp").string(), nullptr},
                          {presets::kLocationFile, (files / "Round Bass.fxp").string(), "3"},
                          {presets::kLocationPlugin, "", "No Such Preset"},
                          {7, "", "Round Bass"}};
    bool refused = true;
    for (const Case& c : cases) {
        Host h(entry);
        h.activate(44100);
        const char* location = c.location.empty() ? nullptr : c.location.c_str();
        refused &= !h.presetLoad->from_location(h.plugin, c.kind, location, c.key) && h.presetErrors.size() == 1 &&
                   h.presetsLoaded.empty() && h.rescans == 0 && phraseHash(h) == fresh;
    }
    fs::remove(junk);
    check(refused, "a damaged, missing or mis-keyed file, an unknown name or location kind is reported, nothing applied");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: orvo-clap-preset-test OrvoSwitch.clap <preset files>\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const clap_plugin_entry_t* entry = loadClap(argv[1]);
    check(entry != nullptr, "the library loads and clap_entry initialises");
    if (!entry) return 1;
    checkDiscovery(entry, argv[2]);
    checkInstalledFolder(argv[1]);
    checkLoad(entry, argv[2]);
    checkRefusals(entry, argv[2]);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
