#include <gtest/gtest.h>

#include <cmath>

#include "support/testSupport.h"
#include "task/featureStage.h"
#include "task/recogTask.h"

namespace {

WaveSignal signalOf(std::vector<int32_t> samples)
{
    WaveSignal w;
    w.sampleNum = static_cast<int32_t>(samples.size());
    w.samples = std::move(samples);
    w.fs = 16000;
    w.nbits = 16;
    return w;
}

// Silence with a 440 Hz tone from sample `from` up to (not including) `to`.
WaveSignal toneBurst(int32_t total, int32_t from, int32_t to)
{
    std::vector<int32_t> s(static_cast<size_t>(total), 0);
    for (int32_t i = from; i < to; ++i)
        s[static_cast<size_t>(i)] = static_cast<int32_t>(8000 * std::sin(2 * M_PI * 440 * i / 16000.0));
    return signalOf(std::move(s));
}

} // namespace

TEST(findAnalysisSpan, wholeSignalIsAlignedToFeatureFrames)
{
    analysisSpan span = findAnalysisSpan(signalOf(std::vector<int32_t>(16000, 3)), false, 320, 160);
    EXPECT_EQ(span.waveBeginIndex, 0);
    EXPECT_EQ(span.waveEndIndex, 15999); // 160 * 100 + 319 is past the end
    EXPECT_EQ(span.waveBeginFrameId, 0);
    EXPECT_EQ(span.waveEndFrameId, 100); // 15999 / 160 = 99.99 rounds up
    EXPECT_FALSE(span.noSegmentFound);

    span = findAnalysisSpan(signalOf(std::vector<int32_t>(20000, 3)), false, 320, 160);
    EXPECT_EQ(span.waveEndFrameId, 125); // 19999 / 160 = 124.99
    EXPECT_EQ(span.waveEndIndex, 19999);
}

TEST(findAnalysisSpan, endpointDetectionFindsTheBurst)
{
    // Detector frames are 256 samples; the burst covers part of frame 31 and part of frame 62,
    // whose centres are samples 127 + 256 * 31 = 8063 and 127 + 256 * 62 = 15999.
    analysisSpan span = findAnalysisSpan(toneBurst(24000, 8000, 16000), true, 320, 160);
    EXPECT_FALSE(span.noSegmentFound);
    EXPECT_EQ(span.waveBeginFrameId, 50); // 8063 / 160 = 50.39
    EXPECT_EQ(span.waveBeginIndex, 8000);
    EXPECT_EQ(span.waveEndFrameId, 100);
    EXPECT_EQ(span.waveEndIndex, 16319);

    // Nothing to find in a constant signal: the whole signal is used.
    span = findAnalysisSpan(signalOf(std::vector<int32_t>(16000, 0)), true, 320, 160);
    EXPECT_TRUE(span.noSegmentFound);
    EXPECT_EQ(span.waveBeginIndex, 0);
    EXPECT_EQ(span.waveEndIndex, 15999);
}

TEST(detectAndExtract, printsTheSpanAndComputesTheFeatures)
{
    testsupport::ScratchDir dir;
    recogParam param;
    param.featureConfigFile = dir.file("mfcc.cfg");
    testsupport::writeFile(param.featureConfigFile, "TARGETKIND = MFCC_E_D_A\n");
    WaveSignal wave = toneBurst(16000, 0, 16000);
    int32_t beginFrame = -1;
    FeatureMatrix features;
    std::string out = testsupport::captureStdout(
        [&] { features = recogTask().detectAndExtract(param, wave, 320, 160, beginFrame); });
    EXPECT_EQ(beginFrame, 0);
    EXPECT_EQ(features.frameNum, 99);
    EXPECT_EQ(features.vecSize, 39);
    EXPECT_EQ(features.data.size(), 99u * 39u);
    EXPECT_EQ(features.paramKind, 838);
    EXPECT_EQ(features.framePeriod, 100000);
    EXPECT_NE(out.find(" sec: EPD\n\twaveBeginIndex=0, waveEndIndex=15999\n\twaveBeginFrameId=0, waveEndFrameId=100\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(" sec: Compute MFCC (cfgFile=" + param.featureConfigFile + ")\n"), std::string::npos) << out;

    // Endpoint detection that finds nothing says so and analyses everything.
    param.useEpd = 1;
    WaveSignal silent = signalOf(std::vector<int32_t>(16000, 0));
    out = testsupport::captureStdout([&] { recogTask().detectAndExtract(param, silent, 320, 160, beginFrame); });
    EXPECT_NE(out.find("Warning: endpoint detection found no speech segment"), std::string::npos) << out;
    EXPECT_NE(out.find("\twaveBeginIndex=0, waveEndIndex=15999\n"), std::string::npos) << out;
}
