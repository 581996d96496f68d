#include <gtest/gtest.h>

#include "support/testSupport.h"
#include "task/recogTask.h"

using testsupport::fatalMessage;
using testsupport::ScratchDir;
using testsupport::writeFile;

namespace {

recogParam readParams(const std::string& path, recogParam param = {})
{
    recogTask().readRecogParam(path, param);
    return param;
}

} // namespace

TEST(readRecogParam, commentsOnlyGiveAllDefaults)
{
    ScratchDir dir;
    writeFile(dir.file("p.prm"), "% nothing but comments\n%\n\n");
    recogParam stale;
    stale.language = "stale";
    stale.useEpd = 5;
    const recogParam p = readParams(dir.file("p.prm"), stale);
    EXPECT_EQ(std::tie(p.language, p.txtFile), std::make_tuple("", ""));
    EXPECT_EQ(std::make_tuple(p.useEpd, p.usePaddedHardSp, p.usePaddedSoftSil, p.useLeadingTrailingSil,
                              p.useDescCandidateNum, p.maxCandidateNum, p.nodePenalty),
              std::make_tuple(0, 1, 1, 1, 1, 0, 0));
}

TEST(readRecogParam, valuesAreTrimmedConvertedAndTheLastOneWins)
{
    ScratchDir dir;
    const std::string path = dir.file("p.prm");
    writeFile(path, "useEpd = 1 % endpoint detection on\r\noutputDir  =  out\r\nprobTh = -2.5\nmaxCandidateNum = abc\n"
                    "nodePenalty = +30x\ntxtFile = one#two=2#three\nlanguage\nmacFile = \"quoted path.mac\"\n"
                    "language = english\nlanguage = chinese\nwpaFile = caf\xE9\xFF.wpa\n"
                    "addLink4skippableLeadingSil = 1\nfillerType = none\n");
    const recogParam p = readParams(path);
    EXPECT_EQ(std::make_tuple(p.useEpd, p.probTh, p.maxCandidateNum, p.nodePenalty, p.addLink4skippableLeadingSil),
              std::make_tuple(1, -2, 0, 30, 1));
    EXPECT_EQ(std::tie(p.outputDir, p.txtFile, p.macFile, p.language, p.wpaFile, p.fillerType),
              std::make_tuple("out", "one#two=2#three", "\"quoted path.mac\"", "chinese", "caf\xE9\xFF.wpa", "none"));
}

TEST(readRecogParam, unknownKeysAreFatal)
{
    ScratchDir dir;
    const std::string path = dir.file("p.prm");
    for (const auto& [text, key] : {std::pair{"wavFile = a.wav\nwavfile = b.wav\n", "wavfile"}, std::pair{"= x\n", ""}}) {
        writeFile(path, text);
        EXPECT_EQ(fatalMessage([&] { readParams(path); }),
                  "Error in parsing " + path + ", unknown key = " + key + " (line 180 in lib\\recogTask)");
    }
    EXPECT_NE(fatalMessage([&] { readParams(dir.file("missing.prm")); }).find("Cannot open file"), std::string::npos);
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
    const recogParam p = readParams(path);
    EXPECT_EQ(std::make_pair(p.txtFile.size(), p.macFile.size()), std::make_pair(size_t{9999}, size_t{999}));
    writeFile(path, "txtFile = " + std::string(10000, 't') + "\n");
    EXPECT_NE(fatalMessage([&] { readParams(path); }).find("txtFile on line 1 has 10000 characters, more than 9999"),
              std::string::npos);
}
