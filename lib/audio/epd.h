// Endpoint detection: where the speech of an utterance begins and ends.
#pragma once

#include <cstdint>
#include <vector>

struct EpdParam {
    int32_t frameSize = 0;
    int32_t overlap = 0;
    int32_t volRatio = 10;
    int32_t volHodRatio = 10;
    int32_t hodOrder = 4;
    float zcrRatio = 0.5f;  // not read by the detectors
    int32_t useZcr = 1;     // not read by the detectors
    float minSegment = 0.05f;
    float maxTailGap = 0.7f;
    float maxTailDuration = 0.1f;
};

struct EpdSegment {
    int32_t beginFrame = 0;
    int32_t endFrame = 0;
    int32_t duration = 0;
    int32_t valid = 0;
};

// Parameters for a sample rate (frames of fs / 62.5 samples, no overlap).
void epdParamSet(int32_t fs, EpdParam& param);

// Runs of positive flags as segments, each valid.
std::vector<EpdSegment> segmentFind(const std::vector<int32_t>& flags);

// Valid segments, in order, found from the frame volume (epdByVol) or from the volume averaged
// with the high-order difference (epdByVolHod).
std::vector<EpdSegment> epdByVol(const int32_t* samples, int32_t sampleNum, int32_t fs, const EpdParam& param);
std::vector<EpdSegment> epdByVolHod(const int32_t* samples, int32_t sampleNum, int32_t fs, const EpdParam& param);
