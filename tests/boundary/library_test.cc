// The built libraries as a host sees them: loaded with dlopen, entered through
// the exported functions, and inspected for what they export and need.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "recorder.h"

namespace {

using Entry = AEffect* (*)(audioMasterCallback);

class Library {
public:
    // The shipped module carries its own static C++ runtime, whose exception
    // pool is never freed on unload; keep it mapped as long-lived hosts do.
    explicit Library(const std::string& path, int flags = 0)
        : handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | flags)) {
        if (!handle) error = dlerror();
    }
    ~Library() {
        if (handle) dlclose(handle);
    }
    template <typename T>
    T symbol(const char* name) const {
        return reinterpret_cast<T>(dlsym(handle, name));
    }
    void* handle;
    std::string error;
};

VstIntPtr closeEffect(AEffect* e) { return e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f); }

// --- the entry point, through a module that counts what it creates ---------

class EntryPoint : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(probe.handle, nullptr) << probe.error;
        main = probe.symbol<Entry>("main");
        ASSERT_NE(main, nullptr);
        effects = probe.symbol<int (*)()>("orvoProbeEffects");
        editors = probe.symbol<int (*)()>("orvoProbeEditors");
        setMode = probe.symbol<void (*)(int)>("orvoProbeSetMode");
        setMode(0);
    }
    Library probe{ORVO_PROBE_SO};
    Entry main = nullptr;
    int (*effects)() = nullptr;
    int (*editors)() = nullptr;
    void (*setMode)(int) = nullptr;
};

TEST_F(EntryPoint, HostAnsweringVersionZeroGetsNothing) {
    RecordingHost host;  // answers 0 to everything
    EXPECT_EQ(main(&RecordingHost::callback), nullptr);
    EXPECT_EQ(effects(), 0);
    ASSERT_EQ(host.calls.size(), 1u);
    const HostCall& c = host.calls[0];
    EXPECT_EQ(c.effect, nullptr);
    EXPECT_EQ(c.opcode, audioMasterVersion);
    EXPECT_EQ(c.index, 0);
    EXPECT_EQ(c.value, 0);
    EXPECT_EQ(c.ptr, nullptr);
    EXPECT_EQ(c.opt, 0.0f);
}

TEST_F(EntryPoint, NullHostCallbackGetsNothing) {
    EXPECT_EQ(main(nullptr), nullptr);
    EXPECT_EQ(effects(), 0);
}

TEST_F(EntryPoint, FailedCreationGivesNull) {
    RecordingHost host;
    host.answers[audioMasterVersion] = 2400;
    setMode(1);
    EXPECT_EQ(main(&RecordingHost::callback), nullptr);
    setMode(2);  // an exception must not reach the host
    EXPECT_EQ(main(&RecordingHost::callback), nullptr);
    EXPECT_EQ(effects(), 0);
}

TEST_F(EntryPoint, EachCallCreatesAnIndependentEffectThatEffCloseDestroys) {
    RecordingHost host;
    host.answers[audioMasterVersion] = 2400;
    AEffect* a = main(&RecordingHost::callback);
    AEffect* b = probe.symbol<Entry>("VSTPluginMain")(&RecordingHost::callback);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_NE(a->object, b->object);
    EXPECT_EQ(a->magic, kEffectMagic);
    EXPECT_EQ(a->flags & effFlagsHasEditor, effFlagsHasEditor);
    EXPECT_EQ(effects(), 2);
    EXPECT_EQ(editors(), 2);

    EXPECT_EQ(closeEffect(a), 1);
    EXPECT_EQ(effects(), 1);
    EXPECT_EQ(editors(), 1);
    EXPECT_EQ(closeEffect(b), 1);
    EXPECT_EQ(effects(), 0);
    EXPECT_EQ(editors(), 0);
}

// --- the load-time step ----------------------------------------------------

unsigned short x87ControlWord() {
    unsigned short cw;
    __asm__ __volatile__("fnstcw %0" : "=m"(cw));
    return cw;
}

// Loads a fresh copy of `library` in a child process whose thread has
// exceptions unmasked and rounding set upwards, and checks what the load left
// behind. With `separatorProbe`, also the separator the module read.
void checkLoadTimeStep(const std::string& library, bool separatorProbe) {
    const std::string copy = ::testing::TempDir() + "orvo-load-" + std::to_string(getpid()) + ".so";
    std::filesystem::copy_file(library, copy, std::filesystem::copy_options::overwrite_existing);
    const char* locpath = std::getenv("ORVO_LOCPATH");
    pid_t pid = fork();
    ASSERT_NE(pid, -1);
    if (pid == 0) {
        bool comma = false;
        if (separatorProbe && locpath) {
            setenv("LOCPATH", locpath, 1);
            comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
        }
        // x87: invalid, zero-divide and overflow unmasked, double precision,
        // round up. SSE: the same three unmasked, round up. (Inexact stays
        // masked: the loader itself may compute.)
        unsigned short cw = 0x0A72;
        __asm__ __volatile__("fclex\n\tfldcw %0" : : "m"(cw));
        _mm_setcsr((0x1F80 & ~0x0680) | 0x4000);
        void* h = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) _exit(10);
        int fails = 0;
        if ((x87ControlWord() & 0x0F3F) != 0x033F) fails |= 1;  // all masked, extended, nearest
        if ((_mm_getcsr() & 0x7F80) != 0x1F80) fails |= 2;       // all masked, nearest
        if (separatorProbe) {
            char buf[64] = {};
            reinterpret_cast<void (*)(char*, float)>(dlsym(h, "orvoProbeFloatText"))(buf, 0.5f);
            if (std::strcmp(buf, comma ? "0,50" : "0.50") != 0) fails |= 4;
        }
        _exit(fails);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::filesystem::remove(copy);
    ASSERT_TRUE(WIFEXITED(status)) << "child died with signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status) & 1, 0) << "x87 control word not set to 0x133F";
    EXPECT_EQ(WEXITSTATUS(status) & 2, 0) << "SSE exceptions not masked or rounding not nearest";
    EXPECT_EQ(WEXITSTATUS(status) & 4, 0) << "separator not read from the loading thread's locale";
    EXPECT_NE(WEXITSTATUS(status), 10) << "dlopen failed";
}

TEST(LoadTimeStep, MasksExceptionsOfTheLoadingThread) { checkLoadTimeStep(ORVO_PLUGIN_SO, false); }

TEST(LoadTimeStep, ReadsTheLoadingThreadsSeparator) { checkLoadTimeStep(ORVO_PROBE_SO, true); }

// --- the shipped module ----------------------------------------------------

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, p)) out += line;
        if (pclose(p) != 0) out += "\n<failed>";
    }
    return out;
}

std::set<std::string> lastWords(const std::string& text, const char* mustContain = nullptr) {
    std::set<std::string> words;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (mustContain && line.find(mustContain) == std::string::npos) continue;
        size_t last = line.find_last_not_of(" \t");
        if (last == std::string::npos) continue;
        size_t first = line.find_last_of(" \t", last);
        words.insert(line.substr(first == std::string::npos ? 0 : first + 1, last - first));
    }
    return words;
}

TEST(SharedObject, HostCanEnterThroughEitherExport) {
    Library so(ORVO_PLUGIN_SO, RTLD_NODELETE);
    ASSERT_NE(so.handle, nullptr) << so.error;
    for (const char* name : {"VSTPluginMain", "main"}) {
        Entry entry = so.symbol<Entry>(name);
        ASSERT_NE(entry, nullptr) << name;
        RecordingHost host;
        host.answers[audioMasterVersion] = 2400;
        AEffect* e = entry(&RecordingHost::callback);
        ASSERT_NE(e, nullptr) << name;
        ASSERT_FALSE(host.calls.empty());
        EXPECT_EQ(host.calls[0].opcode, audioMasterVersion);
        EXPECT_EQ(host.calls[0].effect, nullptr);
        EXPECT_EQ(e->magic, kEffectMagic);
        EXPECT_EQ(e->numPrograms, 32);
        EXPECT_EQ(e->numParams, 12);
        EXPECT_EQ(e->numInputs, 0);
        EXPECT_EQ(e->numOutputs, 2);
        EXPECT_EQ(e->flags, effFlagsHasEditor | effFlagsCanReplacing | effFlagsIsSynth);
        EXPECT_EQ(e->uniqueID, 'O' << 24 | 'r' << 16 | 'v' << 8 | 'S');
        EXPECT_EQ(e->version, 1);
        EXPECT_EQ(e->ioRatio, 1.0f);
        EXPECT_NE(e->object, nullptr);
        EXPECT_EQ(e->user, nullptr);
        EXPECT_EQ(e->processDoubleReplacing, nullptr);
        for (char c : e->future) EXPECT_EQ(c, 0);
        EXPECT_EQ(e->dispatcher(e, effGetVstVersion, 0, 0, nullptr, 0.0f), 2200);
        EXPECT_EQ(e->dispatcher(e, effIdentify, 0, 0, nullptr, 0.0f), 0x4E764566);
        EXPECT_EQ(closeEffect(e), 1);
    }
}

TEST(SharedObject, ExportsExactlyTheTwoEntryPoints) {
    std::string out = run(std::string("nm -D --defined-only ") + ORVO_PLUGIN_SO);
    ASSERT_EQ(out.find("<failed>"), std::string::npos) << out;
    EXPECT_EQ(lastWords(out), (std::set<std::string>{"VSTPluginMain", "main"})) << out;
}

// A host machine has its C library and its window system (X client and font
// libraries, which the editor draws with), but not this compiler's C++
// runtime at this version: libstdc++ and libgcc_s must be linked in, and
// nothing else may be needed.
TEST(SharedObject, NeedsOnlyTheCLibraryAndTheWindowSystem) {
    std::string out = run(std::string("objdump -p ") + ORVO_PLUGIN_SO);
    ASSERT_EQ(out.find("<failed>"), std::string::npos) << out;
    std::set<std::string> needed = lastWords(out, "NEEDED");
    EXPECT_TRUE(needed.count("libc.so.6")) << out;
    for (const std::string& lib : needed) {
        const bool system = lib == "libc.so.6" || lib == "libm.so.6" || lib.rfind("ld-linux", 0) == 0;
        const bool windowSystem = lib.rfind("libX", 0) == 0 || lib.rfind("libfontconfig", 0) == 0 ||
                                  lib.rfind("libfreetype", 0) == 0;
        const bool sanitizer = ORVO_SANITIZED && (lib.rfind("libasan", 0) == 0 || lib.rfind("libubsan", 0) == 0 ||
                                                  lib.rfind("libtsan", 0) == 0);
        EXPECT_TRUE(system || windowSystem || sanitizer) << lib;
    }
}

}  // namespace
