#include "task/featureStage.h"

#include <algorithm>

#include "audio/epd.h"
#include "audio/volume.h"
#include "common/clock.h"
#include "common/console.h"
#include "common/fatalError.h"
#include "common/strUtil.h"
#include "frontend/CMel.h"
#include "task/recogTask.h"

analysisSpan findAnalysisSpan(const WaveSignal& wave, bool useEpd, int32_t frameSize, int32_t overlap)
{
    analysisSpan span;
    int32_t rawBegin = 0;
    int32_t rawEnd = wave.sampleNum - 1;
    if (useEpd) {
        EpdParam epd;
        epdParamSet(wave.fs, epd);
        std::vector<EpdSegment> segments = epdByVolHod(wave.samples.data(), wave.sampleNum, wave.fs, epd);
        if (segments.empty()) {
            span.noSegmentFound = true;
        } else {
            rawBegin = frame2sampleIndex(segments.front().beginFrame, epd.frameSize, epd.overlap);
            rawEnd = frame2sampleIndex(segments.back().endFrame, epd.frameSize, epd.overlap);
        }
    }
    const int32_t step = frameSize - overlap;
    span.waveBeginFrameId = roundHalfAway(static_cast<double>(rawBegin) / step);
    span.waveEndFrameId = roundHalfAway(static_cast<double>(rawEnd) / step);
    span.waveBeginIndex = step * span.waveBeginFrameId;
    const int64_t end = static_cast<int64_t>(step) * span.waveEndFrameId + frameSize - 1;
    span.waveEndIndex = static_cast<int32_t>(std::min<int64_t>(end, wave.sampleNum - 1));
    return span;
}

FeatureMatrix recogTask::detectAndExtract(const recogParam& param, const WaveSignal& wave, int32_t frameSize,
                                          int32_t overlap, int32_t& waveBeginFrameId)
{
    int64_t start = msClock();
    analysisSpan span = findAnalysisSpan(wave, param.useEpd != 0, frameSize, overlap);
    if (span.noSegmentFound)
        conPrintf("Warning: endpoint detection found no speech segment; the whole signal is analysed\n");
    conPrintf("%4.3f sec: EPD\n", secondsSince(start));
    conPrintf("\twaveBeginIndex=%d, waveEndIndex=%d\n", span.waveBeginIndex, span.waveEndIndex);
    conPrintf("\twaveBeginFrameId=%d, waveEndFrameId=%d\n", span.waveBeginFrameId, span.waveEndFrameId);

    start = msClock();
    const int32_t count = span.waveEndIndex - span.waveBeginIndex + 1;
    if (count <= 0 || span.waveBeginIndex < 0)
        fatalError("Cannot compute features: the signal has %d samples", wave.sampleNum);
    CMel mel;
    int32_t frameNum = 0;
    int32_t vecSize = 0;
    mel.waveToMfcc(wave.samples.data() + span.waveBeginIndex, wave.fs, wave.nbits, count, param.featureConfigFile,
                   frameNum, vecSize);
    FeatureMatrix features = mel.takeFeatures();
    features.paramKind = mel.m_config.targetKind;
    features.framePeriod = static_cast<int32_t>(std::clamp(mel.m_config.targetRate, 0.0f, 2147483520.0f));
    if (frameNum > MAX_FRAME_NUM)
        fatalError("frameNum = %d > %d, frameNum too big!", frameNum, MAX_FRAME_NUM);
    conPrintf("%4.3f sec: Compute MFCC (cfgFile=%s)\n", secondsSince(start), param.featureConfigFile.c_str());
    waveBeginFrameId = span.waveBeginFrameId;
    return features;
}
