#include "DAudioEffectX.h"

#include <cmath>

#include "DVstUtils.h"

namespace {
unsigned char lowByteOfRounded(float opt) {
    double r = roundHalfEven(static_cast<double>(opt));
    if (!(r == r) || r >= 2147483648.0 || r < -2147483648.0) return 0;  // no UB for NaN or huge values
    return static_cast<unsigned char>(static_cast<uint32_t>(static_cast<int32_t>(r)) & 0xFF);
}

VstKeyCode keyCodeFrom(VstInt32 index, VstIntPtr value, float opt) {
    VstKeyCode key{};
    key.character = index;
    key.virt = static_cast<unsigned char>(static_cast<uintptr_t>(value) & 0xFF);
    key.modifier = lowByteOfRounded(opt);
    return key;
}
}  // namespace

// Thread: UI for most requests; effProcessEvents on the audio thread.
VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (opcode < effProcessEvents || opcode > effEndSetProgram) return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effProcessEvents: return ptr ? processEvents(static_cast<VstEvents*>(ptr)) : 0;
        case effCanBeAutomated: return canParameterBeAutomated(index) ? 1 : 0;
        case effString2Parameter: return ptr && string2parameter(index, text) ? 1 : 0;
        case effGetNumProgramCategories: return getNumCategories();
        case effGetProgramNameIndexed:
            return ptr && getProgramNameIndexed(static_cast<VstInt32>(value), index, text) ? 1 : 0;
        case effCopyProgram: return copyProgram(index) ? 1 : 0;
        case effConnectInput: inputConnected(index, value != 0); return 1;
        case effConnectOutput: outputConnected(index, value != 0); return 1;
        case effGetInputProperties:
            return ptr && getInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
        case effGetOutputProperties:
            return ptr && getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
        case effGetPlugCategory: return getPlugCategory();
        case effGetCurrentPosition: return reportCurrentPosition();
        case effGetDestinationBuffer: return reinterpret_cast<VstIntPtr>(reportDestinationBuffer());
        case effOfflineNotify: return offlineNotify(ptr, static_cast<VstInt32>(value), index != 0) ? 1 : 0;
        case effOfflinePrepare: return offlinePrepare(ptr, static_cast<VstInt32>(value)) ? 1 : 0;
        case effOfflineRun: return offlineRun(ptr, static_cast<VstInt32>(value)) ? 1 : 0;
        case effProcessVarIo: return processVariableIo(ptr) ? 1 : 0;
        case effSetSpeakerArrangement:
            return setSpeakerArrangement(reinterpret_cast<void*>(value), ptr) ? 1 : 0;
        case effSetBlockSizeAndSampleRate: setBlockSizeAndSampleRate(static_cast<VstInt32>(value), opt); return 1;
        case effSetBypass: return setBypass(value != 0) ? 1 : 0;
        case effGetEffectName: return ptr && getEffectName(text) ? 1 : 0;
        case effGetErrorText: return ptr && getErrorText(text) ? 1 : 0;
        case effGetVendorString: return ptr && getVendorString(text) ? 1 : 0;
        case effGetProductString: return ptr && getProductString(text) ? 1 : 0;
        case effGetVendorVersion: return getVendorVersion();
        case effVendorSpecific: return vendorSpecific(index, value, ptr, opt);
        case effCanDo: return ptr ? canDo(text) : 0;
        case effGetTailSize: return getGetTailSize();
        case effIdle: return fxIdle();
        case effGetIcon: return reinterpret_cast<VstIntPtr>(getIcon());
        case effSetViewPosition: return setViewPosition(index, static_cast<VstInt32>(value)) ? 1 : 0;
        case effGetParameterProperties: return ptr && getParameterProperties(index, ptr) ? 1 : 0;
        case effKeysRequired: return keysRequired() ? 0 : 1;
        case effGetVstVersion: return getVstVersion();
        case effEditKeyDown:
        case effEditKeyUp: {
            if (!editor) return 0;
            VstKeyCode key = keyCodeFrom(index, value, opt);
            return opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
        }
        case effSetEditKnobMode: return editor ? editor->setKnobMode(static_cast<VstInt32>(value)) : 0;
        case effGetMidiProgramName: return ptr ? getMidiProgramName(index, ptr) : 0;
        // Without a record to fill, the answer is the one for no MIDI programs.
        case effGetCurrentMidiProgram: return ptr ? getCurrentMidiProgram(index, ptr) : -1;
        case effGetMidiProgramCategory: return ptr ? getMidiProgramCategory(index, ptr) : 0;
        case effHasMidiProgramsChanged: return hasMidiProgramsChanged(index) ? 1 : 0;
        case effGetMidiKeyName: return ptr && getMidiKeyName(index, ptr) ? 1 : 0;
        case effBeginSetProgram: return beginSetProgram() ? 1 : 0;
        case effEndSetProgram: return endSetProgram() ? 1 : 0;
        default: return 0;
    }
}
