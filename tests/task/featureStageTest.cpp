#include <gtest/gtest.h>

#include <cmath>

#include "support/testSupport.h"
#include "task/featureStage.h"
#include "task/recogTask.h"

namespace {

// Silence of `total` samples at 16 kHz with a 440 Hz tone from sample `from` up to (not including) `to`.
WaveSignal toneBurst(int32_t total, int32_t from = 0, int32_t to = 0, int32_t level = 0)
{
    WaveSignal w;
    w.samples.assign(static_cast<size_t>(total), level);
    for (int32_t i = from; i < to; ++i)
        w.samples[static_cast<size_t>(i)] = static_cast<int32_t>(8000 * std::sin(2 * M_PI * 440 * i / 16000.0));
    w.sampleNum = total;
    w.fs = 16000;
    w.nbits = 16;
    return w;
}

auto spanOf(const analysisSpan& s)
{
    return std::make_tuple(s.waveBeginIndex, s.waveEndIndex, s.waveBeginFrameId, s.waveEndFrameId, s.noSegmentFound);
}

} // namespace

TEST(findAnalysisSpan, wholeSignalIsAlignedToFeatureFrames)
{
    // 160 * 100 + 319 is past the end; 15999 / 160 = 99.99 and 19999 / 160 = 124.99 round up.
    EXPECT_EQ(spanOf(findAnalysisSpan(toneBurst(16000, 0, 0, 3), false, 320, 160)),
              std::make_tuple(0, 15999, 0, 100, false));
    EXPECT_EQ(spanOf(findAnalysisSpan(toneBurst(20000, 0, 0, 3), false, 320, 160)),
              std::make_tuple(0, 19999, 0, 125, false));
}

TEST(findAnalysisSpan, endpointDetectionFindsTheBurst)
{
    // Detector frames are 256 samples; the burst covers part of frame 31 and part of frame 62,
    // whose centres are samples 127 + 256 * 31 = 8063 (8063 / 160 = 50.39) and 127 + 256 * 62 = 15999.
    EXPECT_EQ(spanOf(findAnalysisSpan(toneBurst(24000, 8000, 16000), true, 320, 160)),
              std::make_tuple(8000, 16319, 50, 100, false));
    // Nothing to find in a constant signal: the whole signal is used.
    const analysisSpan span = findAnalysisSpan(toneBurst(16000), true, 320, 160);
    EXPECT_EQ(std::make_tuple(span.noSegmentFound, span.waveBeginIndex, span.waveEndIndex), std::make_tuple(true, 0, 15999));
}

TEST(detectAndExtract, printsTheSpanAndComputesTheFeatures)
{
    testsupport::ScratchDir dir;
    recogParam param;
    param.featureConfigFile = dir.file("mfcc.cfg");
    testsupport::writeFile(param.featureConfigFile, "TARGETKIND = MFCC_E_D_A\n");
    WaveSignal wave = toneBurst(16000, 0, 16000);
    int32_t beginFrame = -1;
    FeatureMatrix f;
    std::string out = testsupport::captureStdout([&] { f = recogTask().detectAndExtract(param, wave, 320, 160, beginFrame); });
    EXPECT_EQ(std::make_tuple(beginFrame, f.frameNum, f.vecSize, f.data.size(), f.paramKind, f.framePeriod),
              std::make_tuple(0, 99, 39, size_t{99 * 39}, 838, 100000));
    EXPECT_NE(out.find(" sec: EPD\n\twaveBeginIndex=0, waveEndIndex=15999\n\twaveBeginFrameId=0, waveEndFrameId=100\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(" sec: Compute MFCC (cfgFile=" + param.featureConfigFile + ")\n"), std::string::npos) << out;

    // Endpoint detection that finds nothing says so and analyses everything.
    param.useEpd = 1;
    WaveSignal silent = toneBurst(16000);
    out = testsupport::captureStdout([&] { recogTask().detectAndExtract(param, silent, 320, 160, beginFrame); });
    EXPECT_NE(out.find("Warning: endpoint detection found no speech segment"), std::string::npos) << out;
    EXPECT_NE(out.find("\twaveBeginIndex=0, waveEndIndex=15999\n"), std::string::npos) << out;
}
