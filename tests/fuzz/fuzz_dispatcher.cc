// Fuzz target: the dispatcher. Every opcode (the ones the interface defines
// and far beyond) with arbitrary index, value and opt, and for requests that
// write through ptr a buffer of exactly the size the interface promises,
// followed by guard bytes that must stay untouched.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FuzzHost.h"
#include "FuzzInput.h"

namespace {
constexpr unsigned char kGuard = 0xA5;
constexpr size_t kBuffer = 512;

// Bytes a request may write through ptr, by opcode; 0 means "not text".
size_t writableSize(VstInt32 opcode) {
    switch (opcode) {
        case effGetProgramName:
        case effGetProgramNameIndexed: return kVstMaxProgNameLen;
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName: return kVstMaxParamStrLen;
        case effGetEffectName: return kVstMaxEffectNameLen;
        case effGetVendorString:
        case effGetProductString: return kVstMaxVendorStrLen;
        case effGetInputProperties:
        case effGetOutputProperties: return sizeof(VstPinProperties);
        default: return kBuffer;
    }
}

bool skipped(VstInt32 opcode) {
    // Closing ends the session; opening an editor needs a real parent window
    // and a display (the editor has its own tests).
    return opcode == effClose || opcode == effEditOpen;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    AEffect* e = newFuzzEffect();
    if (!e) return 0;
    alignas(16) unsigned char buffer[kBuffer + 64];
    while (!in.empty()) {
        uint8_t k = in.u8();
        VstInt32 opcode = k < 200 ? k % 80 : in.i32();
        if (skipped(opcode)) continue;
        VstInt32 index = (in.u8() & 1) ? static_cast<int8_t>(in.u8()) : in.i32();
        VstIntPtr value = (in.u8() & 1) ? static_cast<int8_t>(in.u8()) : static_cast<VstIntPtr>(in.i32());
        float opt = in.value();
        std::memset(buffer, kGuard, sizeof buffer);
        size_t writable = writableSize(opcode);
        void* ptr = buffer;
        uint8_t ptrKind = in.u8();
        if (ptrKind < 16) {
            ptr = nullptr;
        } else if (opcode == effSetProgramName || opcode == effCanDo || opcode == effString2Parameter) {
            size_t len = in.u8() % 300;  // texts longer than any field
            for (size_t i = 0; i < len; ++i) buffer[i] = static_cast<unsigned char>(in.u8() | 1);
            buffer[len] = 0;
        } else if (opcode == effEditGetRect || opcode == effGetChunk) {
            std::memset(buffer, 0, sizeof(void*));  // ptr to a pointer variable
        } else if (opcode == effProcessEvents) {
            // An empty or negative-count list: event contents belong to the engine fuzzer.
            VstEvents* list = reinterpret_cast<VstEvents*>(buffer);
            std::memset(list, 0, sizeof *list);
            list->numEvents = (in.u8() & 1) ? 0 : -static_cast<int>(in.u8());
        }
        e->dispatcher(e, opcode, index, value, ptr, opt);
        if (ptr && writable < kBuffer) {
            for (size_t i = writable; i < sizeof buffer; ++i) {
                if (buffer[i] != kGuard) {
                    std::fprintf(stderr, "opcode %d wrote byte %zu of a %zu-byte buffer\n", opcode, i, writable);
                    std::abort();
                }
            }
        }
    }
    closeFuzzEffect(e);
    return 0;
}
