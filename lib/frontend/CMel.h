// MFCC front end: configuration file, filter bank and feature computation.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "frontend/featureMatrix.h"
#include "frontend/mfccConfig.h"

// Mel filter bank over the bins of a real FFT; arrays are indexed from 1 as the bins are.
struct MelFilterBank {
    int32_t frameSize = 0;
    int32_t numChans = 0;
    int32_t samplePeriod = 0;
    int32_t fftN = 0;
    int32_t klo = 0;
    int32_t khi = 0;
    bool usePower = false;
    bool takeLogs = true;
    float fres = 0.0f;
    std::vector<float> cf;      // centre mels, [1 .. numChans + 1]; cf[0] holds the lower edge mlo
    std::vector<int16_t> loChan; // [1 .. fftN / 2], -1 where unused
    std::vector<float> loWt;    // [1 .. fftN / 2]
    std::vector<float> x;       // FFT work buffer of fftN floats
    std::vector<float> chan;    // log channel outputs of the last frame, [1 .. numChans]
};

class CMel {
public:
    CMel() = default;

    // Reads the configuration file over the current settings (defaults at construction).
    // A file that can't be opened prints "Can't open config file %s \n" and changes nothing.
    void configFileRead(const std::string& path);

    // Computes the features of samples[0 .. sampleNum - 1] with the configuration file `cfgFile`.
    // A configuration file that can't be opened, or fewer samples than one window, is fatal.
    void waveToMfcc(const int32_t* samples, int32_t fs, int32_t nbits, int32_t sampleNum, const std::string& cfgFile,
                    int32_t& frameNum, int32_t& vecSize);

    const FeatureMatrix& features() const { return m_features; }
    FeatureMatrix takeFeatures() { return std::move(m_features); }

    MfccConfig m_config;
    int32_t m_windowSize = 0;
    int32_t m_frameShift = 0;
    int32_t m_samplePeriod = 0;

private:
    FeatureMatrix m_features;
};

// The steps of the computation, each usable on its own.
std::vector<float> hammingInit(int32_t windowSize);             // [1 .. windowSize], index 0 unused
std::vector<float> lifterInit(int32_t cepLifter, int32_t numCeps); // [1 .. numCeps], index 0 unused
MelFilterBank melFilterBankInit(const MfccConfig& config, int32_t windowSize, int32_t samplePeriod);
// Real FFT of fb.x (a frame zero-padded to fftN) and the log channel outputs into fb.chan.
void melFilterBankApply(MelFilterBank& fb);
// Static part of one frame (frame[0 .. windowSize - 1] as floats) into out[0 .. staticSize - 1].
void frameToMfcc(const float* frame, const MfccConfig& config, const std::vector<float>& hamming,
                 const std::vector<float>& lifter, MelFilterBank& fb, float* out);
void energyNormalise(float* data, int32_t frameNum, int32_t vecSize, int32_t energyColumn, float silFloor,
                     float eScale);
void regressionAdd(float* data, int32_t frameNum, int32_t vecSize, int32_t srcBegin, int32_t destBegin, int32_t width,
                   int32_t window);
void cepMeanRemove(float* data, int32_t frameNum, int32_t vecSize, int32_t columns);
