// Lists the CLAP plug-ins a Linux host finds where it looks by default:
// each folder of CLAP_PATH, then ~/.clap, then /usr/lib/clap, every .clap
// file under them, as "id<TAB>version<TAB>file", one line per plug-in.
// Loading each file the way a host does checks more than that it is there.
#include <dlfcn.h>

#include <clap/entry.h>
#include <clap/plugin-factory.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> searchPath() {
    std::vector<fs::path> dirs;
    if (const char* env = std::getenv("CLAP_PATH")) {
        std::string list = env;
        for (size_t start = 0; start <= list.size();) {
            size_t end = list.find(':', start);
            if (end == std::string::npos) end = list.size();
            if (end > start) dirs.emplace_back(list.substr(start, end - start));
            start = end + 1;
        }
    }
    if (const char* home = std::getenv("HOME"); home && *home) dirs.emplace_back(fs::path(home) / ".clap");
    dirs.emplace_back("/usr/lib/clap");
    return dirs;
}

// Returns false when the file is not a loadable CLAP library.
bool list(const fs::path& file) {
    void* library = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "%s: %s\n", file.c_str(), ::dlerror());
        return false;
    }
    auto* entry = static_cast<const clap_plugin_entry_t*>(::dlsym(library, "clap_entry"));
    bool ok = entry && clap_version_is_compatible(entry->clap_version) && entry->init(file.c_str());
    if (ok) {
        auto* factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
        ok = factory != nullptr;
        for (uint32_t i = 0; ok && i < factory->get_plugin_count(factory); ++i) {
            const clap_plugin_descriptor_t* d = factory->get_plugin_descriptor(factory, i);
            if (d && d->id) std::printf("%s\t%s\t%s\n", d->id, d->version ? d->version : "", file.c_str());
        }
        entry->deinit();
    }
    if (!ok) std::fprintf(stderr, "%s: no usable clap_entry\n", file.c_str());
    ::dlclose(library);
    return ok;
}

}  // namespace

int main() {
    bool allLoaded = true;
    for (const fs::path& dir : searchPath()) {
        std::error_code error;
        if (!fs::is_directory(dir, error)) continue;
        for (auto it = fs::recursive_directory_iterator(dir, error); !error && it != fs::recursive_directory_iterator();
             it.increment(error)) {
            if (it->path().extension() == ".clap" && !it->is_directory()) allLoaded &= list(it->path());
        }
    }
    return allLoaded ? 0 : 1;
}
