// Shared parts of the fuzz targets: the entry point of a target (libFuzzer's, or a registry entry
// for the replay program), a per-process scratch directory for the input files, and small fixed
// resources (model set, dictionary, signal) for readers that need them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class macroClass;
class dictClass;

namespace fuzz {

using targetBody = void (*)(const std::string& input);

// Runs a target body on one input. A fatalErrorException is the expected way of rejecting an
// input and ends the run quietly; anything else (another exception, a crash, a sanitizer report)
// is left to surface as a finding.
void runOne(targetBody body, const uint8_t* data, size_t size);

// Replay program: registers a target by name (used through FUZZ_TARGET).
struct registration {
    registration(const char* name, targetBody body);
};
// The registered targets, in name order.
std::vector<std::pair<std::string, targetBody>> registeredTargets();

// Path of "input.<ext>" in the scratch directory, holding `bytes`. The scratch directory is made
// on first use (under $TMPDIR or /tmp) and removed at exit.
std::string writeInput(const std::string& bytes, const std::string& ext);
// Path of `name` in the scratch directory, holding `bytes`.
std::string writeScratch(const std::string& name, const std::string& bytes);
// The scratch directory.
const std::string& scratchDir();

// Splits an input at the first separator line "\n--8<--\n": the part before, and the part after
// (empty when there is no separator).
std::pair<std::string, std::string> splitInput(const std::string& input);

// A fixed set of synthetic models: "sil", "sp" and context units "p0+p0" .. "p0+p5", one stream
// of 13 values (as the feature configuration of the tests).
const macroClass& fixedModels();
// The pronunciation dictionary of fixedWords over fixedModels (fresh copy each call).
dictClass fixedDictionary();
// An english wpa table of a few words with several pronunciations each (fresh copy each call).
dictClass fixedWpa();
// A second of fixed 16-bit samples at 16000 Hz (a tone with noise).
const std::vector<int32_t>& fixedSignal();

} // namespace fuzz

#ifdef RECITE_FUZZ_REPLAY
#define RECITE_FUZZ_ENTRY(name)                                                                                        \
    static const fuzz::registration fuzzRegistration_##name(#name, fuzzBody_##name);
#else
#define RECITE_FUZZ_ENTRY(name)                                                                                        \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)                                           \
    {                                                                                                                  \
        fuzz::runOne(fuzzBody_##name, data, size);                                                                     \
        return 0;                                                                                                      \
    }
#endif

// Defines a target: FUZZ_TARGET(name) { ... uses `input` ... }
#define FUZZ_TARGET(name)                                                                                              \
    static void fuzzBody_##name(const std::string& input);                                                             \
    RECITE_FUZZ_ENTRY(name)                                                                                            \
    static void fuzzBody_##name(const std::string& input)

// Runs one statement, treating a fatal error as the end of that step only (for targets that try
// the same input in several ways).
#define FUZZ_STEP(statement)                                                                                           \
    do {                                                                                                               \
        try {                                                                                                          \
            statement;                                                                                                 \
        } catch (const fatalErrorException&) {                                                                         \
        }                                                                                                              \
    } while (false)
