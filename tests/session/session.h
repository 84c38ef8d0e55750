// A long scripted session that drives a plug-in only through its effect
// record, and a hash of every output sample it produced. Two builds of the
// instrument (for example the Linux library and the Windows DLL) must give
// the same hash. Plain C++ and the ABI header only, so it compiles into any
// test host.
#pragma once

#include <cstdint>

#include "DAEffectX.h"

typedef AEffect* (*OrvoEntryPoint)(audioMasterCallback);

// The hash every build must give, recorded from the Linux x86-64 build: any
// change to the sound shows up as a different one.
constexpr uint64_t kOrvoGoldenSessionHash = 0x7aaf7420e31437adull;

// Runs the session on a fresh instance from `entry` and closes it again.
// Answers the 64-bit FNV-1a hash of the output float bits in the order they
// were produced; 0 when the entry point gives no record.
uint64_t orvoScriptedSessionHash(OrvoEntryPoint entry);

// Number of frames the session renders (for reports).
uint64_t orvoScriptedSessionFrames();

// The hash as 16 lowercase hex digits and a terminating zero.
void orvoFormatSessionHash(uint64_t hash, char out[17]);

// Prints the formatted hash and a newline to standard output.
void orvoPrintSessionHash(uint64_t hash);
