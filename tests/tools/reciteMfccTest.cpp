#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "frontend/htkParamFile.h"
#include "support/testSupport.h"

using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

const std::string DEMO_DIR = std::string(RECITE_SOURCE_DIR) + "/data/demo";

testsupport::CommandResult reciteMfcc(const std::vector<std::string>& args)
{
    std::string cmd = shellQuote(RECITE_MFCC_BINARY);
    for (const std::string& a : args) {
        cmd += ' ';
        cmd += shellQuote(a);
    }
    return runCommand(cmd);
}

} // namespace

TEST(reciteMfcc, featuresOfTheDemoRecordingReadBack)
{
    testsupport::ScratchDir dir;
    const std::string out = dir.file("demo.mfc");
    auto r = reciteMfcc({DEMO_DIR + "/mfcc.cfg", DEMO_DIR + "/utt1.wav", out});
    ASSERT_EQ(r.exitStatus, 0) << r.output;

    FeatureMatrix f = htkParamFileRead(out);
    // 29440 samples give (29440 - 320) / 160 + 1 frames of 39 values every 10 ms.
    EXPECT_EQ(f.frameNum, 183);
    EXPECT_EQ(f.vecSize, 39);
    EXPECT_EQ(f.framePeriod, 100000);
    EXPECT_EQ(f.paramKind, 838);
    float maxEnergy = -1e30f;
    for (int32_t t = 0; t < f.frameNum; ++t)
        maxEnergy = std::max(maxEnergy, f.row(t)[12]);
    EXPECT_EQ(maxEnergy, 1.0f);

    // With endpoint detection the frames cover the spoken part only: frames 20 to 161 (utt1.lab).
    auto epd = reciteMfcc({DEMO_DIR + "/mfcc.cfg", DEMO_DIR + "/utt1.wav", out, "1"});
    ASSERT_EQ(epd.exitStatus, 0) << epd.output;
    FeatureMatrix g = htkParamFileRead(out);
    const size_t at = epd.output.find("first frame ");
    ASSERT_NE(at, std::string::npos) << epd.output;
    const int first = std::atoi(epd.output.c_str() + at + 12);
    EXPECT_GE(first, 15);
    EXPECT_LE(first, 25);
    EXPECT_GT(g.frameNum, 120);
    EXPECT_LE(first + g.frameNum, 167);
}

TEST(reciteMfcc, failuresLeaveNoOutputFile)
{
    testsupport::ScratchDir dir;
    const std::string out = dir.file("x.mfc");
    EXPECT_EQ(reciteMfcc({"only-two", "args"}).exitStatus, 1);

    auto r = reciteMfcc({DEMO_DIR + "/mfcc.cfg", dir.file("missing.wav"), out});
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_NE(r.output.find("Can't open wave file"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(out));

    r = reciteMfcc({dir.file("missing.cfg"), DEMO_DIR + "/utt1.wav", out});
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_FALSE(std::filesystem::exists(out));
}
