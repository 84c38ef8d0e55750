// A minimal Windows host: loads the built OrvoSwitch.dll the way a host does
// (LoadLibrary, the "main" export), checks the record, walks the requests a
// host sends while scanning and playing, and unloads. Exit code 0 when every
// check held.
//
//   orvo-wintest.exe [dll]           the checks (default: ..\..\OrvoSwitch.dll
//                                    next to this program)
//   orvo-wintest.exe session [dll]   prints the scripted session's hash
#include <windows.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "DAEffectX.h"

#if defined(ORVO_HAVE_SESSION)
#include "session.h"
#endif

namespace {

int gChecks = 0;
int gFailures = 0;

void check(bool ok, const char* what, int line) {
    ++gChecks;
    if (!ok) {
        ++gFailures;
        std::printf("FAIL line %d: %s\n", line, what);
    }
}
#define CHECK(cond) check((cond), #cond, __LINE__)

using Entry = AEffect*(VSTCALLBACK*)(audioMasterCallback);

struct HostCall {
    VstInt32 opcode, index;
    VstIntPtr value;
};
std::vector<HostCall> gHostCalls;

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*, float) {
    gHostCalls.push_back({opcode, index, value});
    switch (opcode) {
        case audioMasterVersion: return 2400;
        case audioMasterGetSampleRate: return 44100;
        case audioMasterGetBlockSize: return 512;
        default: return 0;
    }
}

std::wstring defaultDll() {
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    path.erase(path.find_last_of(L"\\/") + 1);
    return path + L"..\\..\\OrvoSwitch.dll";
}

Entry entryOf(HMODULE dll, const char* nameOrOrdinal) {
    return reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(dll, nameOrOrdinal)));
}

VstIntPtr send(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
               float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

// Asks for a text into a large buffer full of a marker and checks that the
// answer is terminated within the limit a strict host would size for.
bool textWithin(AEffect* e, VstInt32 opcode, VstInt32 index, size_t limit, char (&buf)[256]) {
    std::memset(buf, 0x7F, sizeof buf);
    send(e, opcode, index, 0, buf);
    if (static_cast<unsigned char>(buf[0]) == 0x7F) return true;  // left untouched: nothing to answer
    return std::memchr(buf, '\0', limit) != nullptr;
}

// The separator of the user's regional settings, which the parameter display
// must use (a host on a German system shows "0,50").
char regionalSeparator() {
    char b[8] = {};
    if (GetLocaleInfoA(GetThreadLocale(), LOCALE_SDECIMAL, b, sizeof b) > 1) return b[0];
    return '.';
}

bool isNumberText(const char* t, char separator) {
    int separators = 0, digits = 0;
    for (; *t; ++t) {
        if (*t == separator)
            ++separators;
        else if (*t >= '0' && *t <= '9')
            ++digits;
        else if (*t != '-')
            return false;
    }
    return separators == 1 && digits >= 3;
}

bool allZero(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i]) return false;
    return true;
}

void checkRecord(AEffect* e) {
    CHECK(e->magic == 0x56737450);
    CHECK(std::memcmp(&e->magic, "PtsV", 4) == 0);
    CHECK(e->dispatcher && e->process && e->setParameter && e->getParameter && e->processReplacing);
    CHECK(e->processDoubleReplacing == nullptr);
    CHECK(e->object != nullptr);
    CHECK(e->user == nullptr);
    CHECK(e->resvd1 == 0 && e->resvd2 == 0);
    CHECK(e->numPrograms == 32);
    CHECK(e->numParams == 12);
    CHECK(e->numInputs == 0);
    CHECK(e->numOutputs == 2);
    CHECK(e->flags == (effFlagsHasEditor | effFlagsCanReplacing | effFlagsIsSynth));
    CHECK(e->uniqueID == ('O' << 24 | 'r' << 16 | 'v' << 8 | 'S'));
    CHECK(e->initialDelay == 0 && e->realQualities == 0 && e->offQualities == 0);
    CHECK(e->ioRatio == 1.0f);
    CHECK(e->version == 1);
    CHECK(allZero(e->future, sizeof e->future));
}

void hostRound(AEffect* e) {
    char buf[256];
    send(e, effOpen);
    CHECK(send(e, effSetSampleRate, 0, 0, nullptr, 44100.0f) == 0);
    CHECK(send(e, effSetBlockSize, 0, 512) == 0);
    CHECK(send(e, effGetVstVersion) == 2200);
    CHECK(send(e, effGetPlugCategory) == kPlugCategSynth);
    CHECK(send(e, effGetVu) == 0);
    CHECK(send(e, effIdentify) == 0x4E764566);
    CHECK(send(e, effKeysRequired) == 1);
    CHECK(send(e, effGetNumProgramCategories) == 1);
    for (VstInt32 op = effEndSetProgram + 1; op <= 200; ++op) CHECK(send(e, op, 1, 1, buf, 1.0f) == 0);

    CHECK(textWithin(e, effGetEffectName, 0, kVstMaxEffectNameLen, buf));
    CHECK(textWithin(e, effGetVendorString, 0, kVstMaxVendorStrLen, buf));
    CHECK(textWithin(e, effGetProductString, 0, kVstMaxProductStrLen, buf));
    for (VstInt32 p = 0; p < e->numPrograms; ++p) CHECK(textWithin(e, effGetProgramNameIndexed, p, kVstMaxProgNameLen, buf));
    CHECK(send(e, effGetProgramNameIndexed, e->numPrograms, 0, buf) == 0);
    CHECK(textWithin(e, effGetProgramName, 0, kVstMaxProgNameLen, buf));
    for (VstInt32 i = 0; i < e->numParams; ++i) {
        CHECK(textWithin(e, effGetParamName, i, kVstMaxParamStrLen, buf));
        CHECK(textWithin(e, effGetParamLabel, i, kVstMaxParamStrLen, buf));
        CHECK(textWithin(e, effGetParamDisplay, i, kVstMaxParamStrLen, buf));
        CHECK(isNumberText(buf, regionalSeparator()));
        float v = e->getParameter(e, i);
        CHECK(v >= 0.0f && v <= 1.0f);
    }
    for (const char* what : {"receiveVstEvents", "receiveVstMidiEvent", "no such capability"}) {
        std::strcpy(buf, what);
        VstIntPtr answer = send(e, effCanDo, 0, 0, buf);
        CHECK(answer >= -1 && answer <= 1);
    }
    CHECK(send(e, effSetProgram, 0, e->numPrograms) == 0);
    CHECK(send(e, effGetProgram) == 0);
    if (e->numPrograms > 1) {
        CHECK(send(e, effSetProgram, 0, e->numPrograms - 1) == 0);
        CHECK(send(e, effGetProgram) == e->numPrograms - 1);
        send(e, effSetProgram, 0, 0);
    }
    if (e->flags & effFlagsHasEditor) {
        ERect* rect = nullptr;
        CHECK(send(e, effEditGetRect, 0, 0, &rect) != 0);
        // Asked before opening, as some hosts do: an owned rectangle, empty
        // or not, never a dangling or negative one.
        CHECK(rect && rect->right - rect->left >= 0 && rect->bottom - rect->top >= 0);
    }

    // A note through events and a few blocks of audio.
    CHECK(send(e, effMainsChanged, 0, 1) == 0);
    VstMidiEvent on{kVstMidiType, sizeof(VstMidiEvent), 16, 0, 0, 0, {char(0x90), 60, 100, 0}, 0, 0, 0, 0};
    VstEvents events{};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<VstEvent*>(&on);
    send(e, effProcessEvents, 0, 0, &events);
    std::vector<float> left(512, 7.0f), right(512, 7.0f);
    float* outputs[2] = {left.data(), right.data()};
    bool finite = true, same = true;
    for (int block = 0; block < 8; ++block) {
        e->processReplacing(e, nullptr, outputs, 512);
        for (int i = 0; i < 512; ++i) {
            finite = finite && std::isfinite(left[i]) && std::isfinite(right[i]);
            same = same && left[i] == right[i];
        }
    }
    CHECK(finite);
    CHECK(same);
    CHECK(send(e, effMainsChanged, 0, 0) == 0);
}

int runChecks(const std::wstring& dllPath) {
    // A host thread that traps division by zero and rounds upwards: loading
    // must leave it masked and rounding to nearest.
    _mm_setcsr((0x1F80 & ~0x0200) | 0x4000);
    HMODULE dll = LoadLibraryW(dllPath.c_str());
    CHECK(dll != nullptr);
    if (!dll) {
        std::printf("cannot load %ls (error %lu)\n", dllPath.c_str(), GetLastError());
        return 1;
    }
    CHECK((_mm_getcsr() & 0x7F80) == 0x1F80);
    _mm_setcsr(0x1F80);

    Entry byName = entryOf(dll, "main");
    Entry byOrdinal = entryOf(dll, MAKEINTRESOURCEA(1));
    CHECK(byName != nullptr);
    CHECK(byName == byOrdinal);
    CHECK(entryOf(dll, "VSTPluginMain") == nullptr);  // "main" is the only export
    CHECK(entryOf(dll, MAKEINTRESOURCEA(2)) == nullptr);
    if (!byName) return 1;

    gHostCalls.clear();
    AEffect* e = byName(host);
    CHECK(e != nullptr);
    if (e) {
        CHECK(!gHostCalls.empty() && gHostCalls[0].opcode == audioMasterVersion);
        checkRecord(e);
        AEffect* second = byOrdinal(host);
        CHECK(second && second != e && second->object != e->object);
        if (second) CHECK(send(second, effClose) == 1);
        hostRound(e);
        CHECK(send(e, effClose) == 1);
    }
    CHECK(FreeLibrary(dll) != 0);
    std::printf("orvo-wintest: %d checks, %d failed (separator '%c')\n", gChecks, gFailures, regionalSeparator());
    return gFailures ? 1 : 0;
}

int runSession(const std::wstring& dllPath) {
#if defined(ORVO_HAVE_SESSION)
    HMODULE dll = LoadLibraryW(dllPath.c_str());
    if (!dll) {
        std::fprintf(stderr, "cannot load %ls\n", dllPath.c_str());
        return 1;
    }
    Entry entry = entryOf(dll, "main");
    if (!entry) return 1;
    orvoPrintSessionHash(orvoScriptedSessionHash(entry));  // 16 lowercase hex digits
    FreeLibrary(dll);
    return 0;
#else
    (void)dllPath;
    std::fprintf(stderr, "built without the scripted session\n");
    return 2;
#endif
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && std::wcscmp(argv[1], L"session") == 0) return runSession(argc >= 3 ? argv[2] : defaultDll());
    return runChecks(argc >= 2 ? argv[1] : defaultDll());
}
