// The feature configuration: record, file reader helpers and parameter kinds.
#pragma once

#include <cstdint>
#include <string>

// Parameter kind: base kind in the low six bits, qualifier flags above.
enum paramKindBase : uint16_t {
    PK_WAVEFORM = 0, PK_LPC, PK_LPREFC, PK_LPCEPSTRA, PK_LPDELCEP, PK_IREFC,
    PK_MFCC, PK_FBANK, PK_MELSPEC, PK_USER, PK_DISCRETE, PK_ANON
};
constexpr uint16_t PK_HAS_E = 0x40;
constexpr uint16_t PK_HAS_N = 0x80;
constexpr uint16_t PK_HAS_D = 0x100;
constexpr uint16_t PK_HAS_A = 0x200;
constexpr uint16_t PK_HAS_C = 0x400;
constexpr uint16_t PK_HAS_Z = 0x800;
constexpr uint16_t PK_HAS_K = 0x1000;
constexpr uint16_t PK_HAS_0 = 0x2000;
constexpr uint16_t PK_HAS_V = 0x4000;

struct MfccConfig {
    float sourceRate = 625.0f;
    bool zMeanSource = false;
    uint16_t targetKind = PK_MFCC | PK_HAS_E | PK_HAS_D | PK_HAS_A; // 838
    float targetRate = 100000.0f;
    float windowSize = 200000.0f;
    bool useHamming = true;
    float preEmCoef = 0.975f;
    bool usePower = false;
    int32_t numChans = 26;
    float loFreq = -1.0f;
    float hiFreq = -1.0f;
    int32_t cepLifter = 22;
    int32_t numCeps = 12;
    bool eNormalise = true;
    float eScale = 0.1f;
    int32_t deltaWindow = 2;
    int32_t accWindow = 2;
    float silFloor = 50.0f;
    int32_t vecSize = 39;
};

// Kind code of a name such as "MFCC_E_D_A"; unknown base names give ANON.
uint16_t paramKindParse(const std::string& name);
// Values per feature vector for a kind and a number of cepstra (saturated at the int32 range).
int32_t paramKindVectorSize(uint16_t kind, int32_t numCeps);
// Name of a kind such as "MFCC_E_D_A", qualifiers in flag order.
std::string paramKindName(uint16_t kind);
// Applies the text of a configuration file (key=value lines) over the settings in `config`.
// A line is read up to its first 49 characters; the rest of a longer line is ignored with a
// warning that names `source`.
void configTextApply(const std::string& text, MfccConfig& config, const std::string& source);
