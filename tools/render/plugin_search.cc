#include "plugin_search.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "cli.h"

namespace orvo::render {
namespace {

constexpr const char* kPluginFile = "OrvoSwitch.so";

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

}  // namespace

std::string findDefaultPlugin(const std::string& exeDir, const char* home) {
    const std::string beside = exeDir + kPluginFile;
    if (exists(beside)) return beside;
    const std::string installed = exeDir + "../lib/vst/" + kPluginFile;
    if (exists(installed)) return installed;
    if (home && *home) {
        const std::string user = std::string(home) + "/.vst/" + kPluginFile;
        if (exists(user)) return user;
    }
    return beside;
}

// Through /proc/self/exe, so it does not matter where the tool is started
// from, nor through which symbolic link.
std::string defaultPluginPath() {
    char self[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return kPluginFile;
    std::string path(self, size_t(n));
    return findDefaultPlugin(path.substr(0, path.rfind('/') + 1), std::getenv("HOME"));
}

}  // namespace orvo::render
