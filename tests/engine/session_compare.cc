// Runs the scripted session on the Linux plug-in library and compares its
// hash with the one a test host prints for another build (Windows under
// wine, ARM under qemu), and both with the pinned hash (so that another
// build cannot agree with a Linux build that drifted along with it).
//   orvo-session-compare LIBRARY.so COMMAND...
// Exit 0 when all three agree, 1 on a difference or failure, 77 when the
// other build's program has not been built: an argument naming an .exe that
// is not there, or the command itself exiting with 77 before any hash.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

#include "session.h"

namespace {

constexpr int kSkipped = 77;

std::string quoted(const char* arg) {
    std::string q = "'";
    for (const char* p = arg; *p; ++p) q += *p == '\'' ? std::string("'\\''") : std::string(1, *p);
    return q + "'";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s LIBRARY COMMAND...\n", argv[0]);
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const size_t n = std::strlen(argv[i]);
        struct stat st;
        if (n > 4 && std::strcmp(argv[i] + n - 4, ".exe") == 0 && stat(argv[i], &st) != 0) {
            std::printf("skipped: %s not built\n", argv[i]);
            return kSkipped;
        }
    }
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
        return 1;
    }
    auto entry = reinterpret_cast<OrvoEntryPoint>(dlsym(lib, "VSTPluginMain"));
    char linuxHash[17];
    orvoFormatSessionHash(orvoScriptedSessionHash(entry), linuxHash);
    // The library stays loaded: it brings its own static C++ runtime.

    std::string command;
    for (int i = 2; i < argc; ++i) command += quoted(argv[i]) + " ";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        std::fprintf(stderr, "cannot run %s\n", command.c_str());
        return 1;
    }
    char line[256] = "";
    std::string otherHash, said;
    while (std::fgets(line, sizeof line, pipe)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        if (s.size() == 16 && s.find_first_not_of("0123456789abcdef") == std::string::npos) otherHash = s;
        else said = s;
    }
    const int status = pclose(pipe);
    if (otherHash.empty() && WIFEXITED(status) && WEXITSTATUS(status) == kSkipped) {
        std::printf("%s\n", said.empty() ? "skipped: the other build's program cannot run here" : said.c_str());
        return kSkipped;
    }
    char goldenHash[17];
    orvoFormatSessionHash(kOrvoGoldenSessionHash, goldenHash);
    std::printf("linux   %s\nother   %s\npinned  %s\n", linuxHash, otherHash.empty() ? "(none)" : otherHash.c_str(),
                goldenHash);
    if (status != 0 || otherHash.empty()) {
        std::fprintf(stderr, "the other build's host gave no hash (status %d)\n", status);
        return 1;
    }
    return otherHash == linuxHash && otherHash == goldenHash ? 0 : 1;
}
