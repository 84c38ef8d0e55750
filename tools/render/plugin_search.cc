#include "plugin_search.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "cli.h"
#include "plugin_host.h"

namespace orvo::render {
namespace {

constexpr const char* kPluginFile = "OrvoSwitch.so";

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::string exeDir() {
    char self[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    std::string path(self, size_t(n));
    return path.substr(0, path.rfind('/') + 1);
}

}  // namespace

std::vector<std::string> pluginSearchPlaces(const std::string& exeDir, const char* home) {
    std::vector<std::string> places = {exeDir + kPluginFile, exeDir + "../lib/vst/" + kPluginFile};
    if (home && *home) places.push_back(std::string(home) + "/.vst/" + kPluginFile);
    return places;
}

std::string findDefaultPlugin(const std::string& exeDir, const char* home) {
    const std::vector<std::string> places = pluginSearchPlaces(exeDir, home);
    for (const std::string& place : places)
        if (exists(place)) return place;
    return places.front();
}

std::string missingPluginMessage(const std::vector<std::string>& places) {
    std::string searched;
    for (const std::string& place : places) searched += (searched.empty() ? "" : ", ") + place;
    return std::string("the instrument ") + kPluginFile + " is in none of the places searched (" + searched +
           "): build it (cmake --build build/linux), install it (cmake --install build/linux --prefix ~/.local), "
           "or name one with --plugin";
}

// Through /proc/self/exe, so it does not matter where the tool is started
// from, nor through which symbolic link.
std::string defaultPluginPath() {
    const std::string dir = exeDir();
    return dir.empty() ? kPluginFile : findDefaultPlugin(dir, std::getenv("HOME"));
}

std::string pluginToLoad(const std::string& asked) {
    if (!asked.empty()) return asked;
    const std::string dir = exeDir();
    const std::string found = dir.empty() ? kPluginFile : findDefaultPlugin(dir, std::getenv("HOME"));
    if (!exists(found)) throw PluginError(missingPluginMessage(pluginSearchPlaces(dir, std::getenv("HOME"))));
    return found;
}

}  // namespace orvo::render
