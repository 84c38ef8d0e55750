// The program (.fxp) and bank (.fxb) files VST 2 hosts save and load, in
// their plain-values form: big-endian 'CcnK' chunks, 'FxCk' for a program of
// twelve floats, 'FxBk' for a bank of such programs. Read by the tools and
// the CLAP preset loader, written by orvo-play --save-preset; the factory
// files are made by presets/generate.py in the same form.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ParamTable.h"  // kNumParams; the instrument's, whatever else is named Identity.h

namespace orvo {

struct ProgramFile {
    std::string name;                      // at most 23 characters when written
    std::array<float, kNumParams> values;  // in parameter numbering, each 0..1
};

// A program file's bytes, or the reason it is not one of ours (a chunk,
// opaque-state or other plug-in's file, truncated, a value outside 0..1).
struct ProgramRead {
    std::vector<ProgramFile> programs;  // one for .fxp, each of a bank's for .fxb
    std::string error;                  // empty when read
};
ProgramRead readProgramFile(const std::vector<uint8_t>& bytes);
ProgramRead readProgramFile(const std::string& path);  // error names the path's problem

std::vector<uint8_t> programFileBytes(const ProgramFile& program);

}  // namespace orvo
