#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "frontend/CMel.h"
#include "frontend/mfccConfig.h"
#include "support/testSupport.h"

using testsupport::ScratchDir;

namespace {

MfccConfig readConfig(const std::string& text)
{
    ScratchDir dir;
    const std::string path = dir.file("mfcc.cfg");
    testsupport::writeFile(path, text);
    CMel mel;
    mel.configFileRead(path);
    return mel.m_config;
}

} // namespace

TEST(ParamKind, NamesQualifiersAndVectorSizes)
{
    const std::pair<const char*, int> kinds[] = {
        {"MFCC_A_E_D", 838}, {"MFCC_E_D_A_Z", 838 | 0x800}, {"MFCC_0_D_A", 6 | 0x2300}, {"LPDELCEP_E", 323},
        {"FBANK_X", 7},      {"PLP_E", 11 | 0x40},          {"MFCC_ED", 11},           {"mfcc", 11}};
    for (const auto& [name, code] : kinds)
        EXPECT_EQ(paramKindParse(name), code) << name;

    const std::pair<const char*, int> sizes[] = {{"MFCC_E_D_A", 39}, {"MFCC_E_A", 25}, {"MFCC_E_0_D", 28}, {"MFCC", 12}};
    for (const auto& [name, size] : sizes)
        EXPECT_EQ(paramKindVectorSize(paramKindParse(name), 12), size) << name;
    EXPECT_EQ(paramKindVectorSize(paramKindParse("MFCC_D_A"), 2147483647), 2147483647);
    EXPECT_EQ(paramKindName(paramKindParse("LPDELCEP_0_Z")), "LPCEPSTRA_D_Z_0");
}

TEST(ConfigFile, DefaultsSyntaxAndValues)
{
    for (const std::string& text : {std::string(), std::string("FOO=1\nnumceps=3\n\n=\n")}) {
        const MfccConfig c = readConfig(text);
        EXPECT_EQ(std::vector<int>({c.targetKind, c.vecSize, c.numCeps, c.numChans}),
                  std::vector<int>({838, 39, 12, 26}));
        EXPECT_TRUE(c.eNormalise && c.preEmCoef == 0.975f);
    }

    MfccConfig c = readConfig("TARGETKIND = MFCC_0_D_A\n");
    EXPECT_TRUE(c.targetKind == paramKindParse("MFCC_0_D_A") && c.vecSize == 39);
    EXPECT_EQ(readConfig("NUMCEPS=10\nTARGETKIND=MFCC_E").vecSize, 11);

    auto flags = [](const MfccConfig& m) {
        return std::vector<bool>({m.eNormalise, m.zMeanSource, m.useHamming, m.usePower});
    };
    // Only T, F, TRUE and FALSE are read.
    EXPECT_EQ(flags(readConfig("ENORMALISE=FALSE\nZMEANSOURCE=TRUE\nUSEHAMMING=false\nUSEPOWER=T")),
              std::vector<bool>({false, true, true, true}));
    // Carriage returns stay part of the value: booleans and kind names go unrecognised, numbers still read.
    c = readConfig("ENORMALISE=F\r\nZMEANSOURCE=T\r\nNUMCEPS=10\r\nTARGETKIND=MFCC_E\r\n");
    EXPECT_EQ(flags(c), std::vector<bool>({true, false, true, false}));
    EXPECT_TRUE(c.numCeps == 10 && c.targetKind == 11);

    // Numbers: leading number read, integers truncated, later lines win, extra "=" parts ignored.
    c = readConfig("NUMCHANS=20.9\nDELTAWINDOW=-1.5\nCEPLIFTER=abc\nLOFREQ=1e3x\nPREEMCOEF=0.97\n"
                   "HIFREQ=100\nHIFREQ=3400\n==NUMCEPS=13=7\nACCWINDOW=\nESCALE==2\n");
    EXPECT_EQ(std::vector<int>({c.numChans, c.deltaWindow, c.cepLifter, c.numCeps, c.accWindow}),
              std::vector<int>({20, -1, 0, 13, 2}));
    EXPECT_EQ(std::vector<float>({c.loFreq, c.preEmCoef, c.hiFreq, c.eScale}),
              std::vector<float>({1000.0f, 0.97f, 3400.0f, 0.1f}));
    c = readConfig("NUMCEPS=1e30\nNUMCHANS=nan\nCEPLIFTER=-1e30");
    EXPECT_EQ(std::vector<int>({c.numCeps, c.numChans, c.cepLifter}),
              std::vector<int>({2147483647, 0, -2147483647 - 1}));
}

TEST(ConfigFile, LongLines)
{
    // At most 49 characters are one line; spaces count before they are removed.
    const std::string pad38(38, ' ');
    const MfccConfig c = readConfig("NUMCEPS=" + std::string(39, ' ') + "5\n"   // 48 characters and the line feed
                   "CEPLIFTER=" + pad38 + "9" + "7\n"           // the "7" is the 50th character
                   + std::string(45, ' ') + "NUMCHANS=30\n"    // key cut after "NUMC"
                   "ACCWINDOW=" + std::string(39, ' ') + "3\n");  // value pushed to the next line
    EXPECT_EQ(std::vector<int>({c.numCeps, c.cepLifter, c.numChans, c.accWindow}), std::vector<int>({5, 9, 26, 2}));
}

// The rest of a long line used to be read as a line of its own, so a comment could set a key.
TEST(ConfigFile, LongLinesAreCutNotSplit)
{
    ScratchDir dir;
    const std::string path = dir.file("long.cfg");
    const std::string comment = "# default front end for the models of this set:  TARGETKIND=MFCC_E\n";
    ASSERT_EQ(comment.find("TARGETKIND"), 49u);
    testsupport::writeFile(path, comment + "NUMCEPS=10\n" + "ACCWINDOW=" + std::string(39, ' ') + "3\r\n" +
                                     std::string(49, '=') + "\n" + "DELTAWINDOW=4");
    CMel mel;
    const std::string out = testsupport::captureStdout([&] { mel.configFileRead(path); });
    EXPECT_EQ(std::vector<int>({mel.m_config.targetKind, mel.m_config.numCeps, mel.m_config.accWindow,
                                mel.m_config.deltaWindow}),
              std::vector<int>({838, 10, 2, 4}));
    // One warning for each cut line (the 49 "=" are not cut), naming the file and the line.
    EXPECT_EQ(out, "Warning: line 1 of feature configuration file " + path +
                       " is longer than 49 characters; the rest of it is ignored\n"
                       "Warning: line 3 of feature configuration file " + path +
                       " is longer than 49 characters; the rest of it is ignored\n");
}

TEST(ConfigFile, MissingFile)
{
    ScratchDir dir;
    const std::string path = dir.file("none.cfg");
    CMel mel;
    mel.m_config.numCeps = 5;
    EXPECT_EQ(testsupport::captureStdout([&] { mel.configFileRead(path); }), "Can't open config file " + path + " \n");
    EXPECT_EQ(mel.m_config.numCeps, 5);

    const int32_t samples[400] = {};
    int32_t frameNum = -1;
    int32_t vecSize = -1;
    std::string message;
    const std::string out = testsupport::captureStdout([&] {
        message = testsupport::fatalMessage(
            [&] { CMel().waveToMfcc(samples, 16000, 16, 400, path, frameNum, vecSize); });
    });
    EXPECT_EQ(out, "Cannot open " + path + " (line 129, file lib\\CMel)\nCan't open config file " + path + " \n");
    EXPECT_NE(message.find(path), std::string::npos);
    EXPECT_EQ(frameNum, -1);
}
