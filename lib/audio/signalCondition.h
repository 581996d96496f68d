// Conditioning of an utterance: 16 bits at 16000 Hz, volume check, optional noise removal, DC removal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/waveSignal.h"

struct VolCheckParam {
    float maxVolTh = 140.0f;
    float minVolTh = 30.0f;
    float satAmpRatio = 0.95f;
    float satSampleCountRatioTh = 0.005f;
};

// Volume-check results.
enum volCheckResult { VOL_CHECK_GOOD = 0, VOL_CHECK_MAX_TOO_SMALL = 1, VOL_CHECK_MIN_TOO_BIG = 2, VOL_CHECK_SATURATED = 3 };

// Defaults for an empty path; otherwise the keys present in the file (an unknown key is fatal).
void volCheckParamRead(const std::string& path, VolCheckParam& param);
// 0 good, 1 loudest frame too quiet, 2 quietest frame too loud, 3 too many saturated samples.
int volumeCheck(const int32_t* samples, int32_t sampleNum, const std::string& paramPath);

// Linear interpolation from rate `fromRate` to `toRate` into outNum samples.
void resample(const int32_t* in, int32_t inNum, int32_t fromRate, int32_t toRate, int32_t* out, int32_t outNum);
// Magnitude spectral subtraction with the noise spectrum of the first quarter second.
std::vector<int32_t> specSubtract(const int32_t* samples, int32_t sampleNum, int32_t fs);

struct conditionSettings {
    std::string volCheckPrmFile;
    bool useWaveReject = false;
    bool useSpecSubtraction = false;
};

// Brings the signal to 16 bits at 16000 Hz, checks its volume (warnings are appended to
// `warnings`; fatal with useWaveReject), optionally subtracts the noise spectrum and removes the
// DC offset. Gives true when spectral subtraction ran.
bool signalCondition(WaveSignal& wave, const conditionSettings& settings, std::vector<std::string>& warnings);
