#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "model/macro.h"
#include "support/syntheticModels.h"
#include "support/testSupport.h"

using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

testsupport::CommandResult reciteMacb(const std::string& in, const std::string& out)
{
    return runCommand(shellQuote(RECITE_MACB_BINARY) + " " + shellQuote(in) + " " + shellQuote(out));
}

} // namespace

TEST(reciteMacb, binaryFormLoadsTheSamePreparedSet)
{
    testsupport::ScratchDir dir;
    const std::string text = dir.file("set.mac");
    const std::string binary = dir.file("set.macb");
    testsupport::writeFile(text, syntheticMacroText(30, 3, 4, 11));
    auto r = reciteMacb(text, binary);
    ASSERT_EQ(r.exitStatus, 0) << r.output;

    macroClass fromText;
    macroClass fromBinary;
    fromText.macRead(text);
    fromBinary.macRead(binary);
    ASSERT_EQ(fromText.modelNum, 30);
    ASSERT_EQ(fromBinary.modelNum, fromText.modelNum);
    ASSERT_EQ(fromBinary.streamNum, fromText.streamNum);
    for (int s = 0; s < fromText.streamNum; ++s)
        EXPECT_EQ(fromBinary.streamVecSize[s], fromText.streamVecSize[s]);
    EXPECT_EQ(fromBinary.getModelNames(), fromText.getModelNames());
    // Records are zero-initialised, so equal sets are equal byte for byte.
    for (int m = 0; m < fromText.modelNum; ++m)
        EXPECT_EQ(std::memcmp(&fromText.model(m), &fromBinary.model(m), sizeof(hmmModel)), 0)
            << fromText.model(m).name;
}

TEST(reciteMacb, refusesBadInputWithoutLeavingAFile)
{
    testsupport::ScratchDir dir;
    const std::string out = dir.file("out.macb");
    EXPECT_EQ(runCommand(shellQuote(RECITE_MACB_BINARY)).exitStatus, 1);

    auto r = reciteMacb(dir.file("missing.mac"), out);
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_NE(r.output.find("Cannot open file"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(out));

    // A 3-state pause model reads back as written; one with a transition outside the first nine
    // matrix entries (the binary layout of 3-state models) is refused.
    std::string zeros;
    std::string ones;
    for (int i = 0; i < 13; ++i) {
        zeros += " 0.0";
        ones += " 1.0";
    }
    const auto threeState = [&](const std::string& lastRow) {
        return "~o <STREAMINFO> 1 13\n<VECSIZE> 13<NULLD><MFCC><DIAGC>\n~h \"sp\"\n<BEGINHMM>\n<NUMSTATES> 3\n"
               "<STATE> 2\n<SWEIGHTS> 1\n 1.0\n<MEAN> 13\n" +
               zeros + "\n<VARIANCE> 13\n" + ones + "\n<GCONST> 23.89\n<TRANSP> 3\n 0 1 0\n 0 0.5 0.5\n" + lastRow +
               "\n<ENDHMM>\n";
    };
    testsupport::writeFile(dir.file("three.mac"), threeState(" 0 0 0"));
    r = reciteMacb(dir.file("three.mac"), out);
    ASSERT_EQ(r.exitStatus, 0) << r.output;
    macroClass text;
    macroClass binary;
    text.macRead(dir.file("three.mac"));
    binary.macRead(out);
    EXPECT_EQ(std::memcmp(&text.model(0), &binary.model(0), sizeof(hmmModel)), 0);
    std::filesystem::remove(out);

    testsupport::writeFile(dir.file("three.mac"), threeState(" 0 0 0.3"));
    r = reciteMacb(dir.file("three.mac"), out);
    EXPECT_EQ(r.exitStatus, 2) << r.output;
    EXPECT_NE(r.output.find("(sp) has stateNum=3"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(out));
}
