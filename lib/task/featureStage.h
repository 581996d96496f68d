// The feature stage of a run: the analysed span of the utterance and its MFCC features.
#pragma once

#include <cstdint>

#include "audio/waveSignal.h"

// Samples and feature frames of the part of the utterance that is analysed.
struct analysisSpan {
    int32_t waveBeginIndex = 0;
    int32_t waveEndIndex = 0;
    int32_t waveBeginFrameId = 0;
    int32_t waveEndFrameId = 0;
    bool noSegmentFound = false; // endpoint detection found nothing; the whole signal is used
};

// The whole signal, or with useEpd the span found by endpoint detection, aligned to feature frames
// of frameSize samples every frameSize - overlap samples.
analysisSpan findAnalysisSpan(const WaveSignal& wave, bool useEpd, int32_t frameSize, int32_t overlap);

// Most feature frames an utterance may have.
constexpr int32_t MAX_FRAME_NUM = 40000;
