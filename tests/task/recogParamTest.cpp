#include <gtest/gtest.h>

#include "support/testSupport.h"
#include "task/recogTask.h"

using testsupport::fatalMessage;
using testsupport::ScratchDir;
using testsupport::writeFile;

namespace {

recogParam readParams(const std::string& path)
{
    recogParam param;
    recogTask().readRecogParam(path, param);
    return param;
}

} // namespace

TEST(readRecogParam, commentsOnlyGiveAllDefaults)
{
    ScratchDir dir;
    writeFile(dir.file("p.prm"), "% nothing but comments\n%\n\n");
    recogParam p;
    p.language = "stale";
    p.useEpd = 5;
    recogTask().readRecogParam(dir.file("p.prm"), p);
    EXPECT_EQ(p.language, "");
    EXPECT_EQ(p.txtFile, "");
    EXPECT_EQ(p.useEpd, 0);
    EXPECT_EQ(p.usePaddedHardSp, 1);
    EXPECT_EQ(p.usePaddedSoftSil, 1);
    EXPECT_EQ(p.useLeadingTrailingSil, 1);
    EXPECT_EQ(p.useDescCandidateNum, 1);
    EXPECT_EQ(p.maxCandidateNum, 0);
    EXPECT_EQ(p.nodePenalty, 0);
}

TEST(readRecogParam, valuesAreTrimmedConvertedAndTheLastOneWins)
{
    ScratchDir dir;
    const std::string path = dir.file("p.prm");
    writeFile(path, "useEpd = 1 % endpoint detection on\r\n"
                    "outputDir  =  out\r\n"
                    "probTh = -2.5\n"
                    "maxCandidateNum = abc\n"
                    "nodePenalty = +30x\n"
                    "txtFile = one#two=2#three\n"
                    "language\n"
                    "macFile = \"quoted path.mac\"\n"
                    "language = english\n"
                    "language = chinese\n"
                    "wpaFile = caf\xE9\xFF.wpa\n"
                    "addLink4skippableLeadingSil = 1\n"
                    "fillerType = none\n");
    recogParam p = readParams(path);
    EXPECT_EQ(p.useEpd, 1);
    EXPECT_EQ(p.outputDir, "out");
    EXPECT_EQ(p.probTh, -2);
    EXPECT_EQ(p.maxCandidateNum, 0);
    EXPECT_EQ(p.nodePenalty, 30);
    EXPECT_EQ(p.txtFile, "one#two=2#three");
    EXPECT_EQ(p.macFile, "\"quoted path.mac\"");
    EXPECT_EQ(p.language, "chinese");
    EXPECT_EQ(p.wpaFile, "caf\xE9\xFF.wpa");
    EXPECT_EQ(p.addLink4skippableLeadingSil, 1);
    EXPECT_EQ(p.fillerType, "none");
}

TEST(readRecogParam, unknownKeysAreFatal)
{
    ScratchDir dir;
    const std::string path = dir.file("p.prm");
    writeFile(path, "wavFile = a.wav\nwavfile = b.wav\n");
    EXPECT_EQ(fatalMessage([&] { readParams(path); }),
              "Error in parsing " + path + ", unknown key = wavfile (line 180 in lib\\recogTask)");
    writeFile(path, "= x\n");
    EXPECT_EQ(fatalMessage([&] { readParams(path); }),
              "Error in parsing " + path + ", unknown key =  (line 180 in lib\\recogTask)");
    const std::string missing = dir.file("missing.prm");
    EXPECT_EQ(fatalMessage([&] { readParams(missing); }),
              "Cannot open file " + missing + " (line 100 of lib\\utility)");
}

TEST(readRecogParam, valuesLongerThanTheirFieldAreFatal)
{
    ScratchDir dir;
    const std::string path = dir.file("p.prm");
    writeFile(path, "function = assess\nmacFile = " + std::string(5000, 'm') + "\n");
    EXPECT_EQ(fatalMessage([&] { readParams(path); }),
              "Error in parsing " + path + ", the value of macFile on line 2 has 5000 characters, more than 999");

    // txtFile may carry the texts themselves and holds up to 9999 characters.
    writeFile(path, "txtFile = " + std::string(9999, 't') + "\nmacFile = " + std::string(999, 'm') + "\n");
    recogParam p = readParams(path);
    EXPECT_EQ(p.txtFile.size(), 9999u);
    EXPECT_EQ(p.macFile.size(), 999u);
    writeFile(path, "txtFile = " + std::string(10000, 't') + "\n");
    EXPECT_NE(fatalMessage([&] { readParams(path); }).find("txtFile on line 1 has 10000 characters, more than 9999"),
              std::string::npos);
}
