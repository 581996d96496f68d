// The `recite` command run as users run it.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "support/testSupport.h"

using testsupport::runCommand;
using testsupport::ScratchDir;
using testsupport::shellQuote;
using testsupport::writeFile;

namespace {

const std::string DEMO_DIR = std::string(RECITE_SOURCE_DIR) + "/data/demo";

testsupport::CommandResult recite(const std::vector<std::string>& args, const std::string& env = "")
{
    std::string cmd = env + " " + shellQuote(RECITE_BINARY);
    for (const std::string& a : args)
        cmd.append(" ").append(shellQuote(a));
    return runCommand(cmd);
}

std::string usageText(int argNum)
{
    const std::string p = RECITE_BINARY;
    return "No. of command-line arguments: " + std::to_string(argNum) +
           "\nNo. of command-line arguments should within [1, 10].\n"
           "Usage: " + p + " recogParamFile\n"
           "       " + p + " recogParamFile wavFile\n"
           "       " + p + " recogParamFile wavFile txtFile\n"
           "       " + p + " recogParamFile wavFile txtFile useEpd \n"
           "       " + p + " recogParamFile wavFile txtFile useEpd outputDir\n"
           "       " + p + " recogParamFile wavFile txtFile useEpd outputDir syl\n"
           "       " + p + " recogParamFile wavFile txtFile useEpd outputDir syl net\n"
           "       " + p + " recogParamFile wavFile txtFile useEpd outputDir syl net wpa\n"
           "       " + p + " recogParamFile wavFile txtFile useEpd outputDir syl net wpa getPitch\n"
           "       " + p + " recogParamFile wavFile txtFile useEpd outputDir syl net wpa getPitch inputLabFile\n";
}

// The toy demo's recognition settings with absolute paths, a recording of text 2 ("Tom meets most
// men.") and no output directory.
struct DemoFiles {
    ScratchDir dir;
    std::string wav = DEMO_DIR + "/utt2.wav";
    std::string prm = dir.file("run.prm");
    std::string cfg = DEMO_DIR + "/mfcc.cfg";
    DemoFiles()
    {
        writeFile(prm, "function = recog\nlanguage = english\nwavFile = " + wav + "\nfeatureConfigFile = " + cfg +
                           "\nmacFile = " + DEMO_DIR + "/models.mac\nwpaFile = " + DEMO_DIR + "/words.wpa\ntnmFile = " +
                           DEMO_DIR + "/english.tnm\ntxtFile = " + DEMO_DIR + "/texts.txt\nqiYinFile = " + DEMO_DIR +
                           "/qiyin.txt\nphoneRank2scoreParamFile = " + DEMO_DIR + "/rank2score.txt\n"
                           "scoreDiscountParamFile = " + DEMO_DIR +
                           "/discount.txt\nmaxCandidateNum = 1000\nprobTh = 400\ncomparisonMode = 1\n");
    }
};

} // namespace

TEST(reciteCommand, wrongArgumentCountPrintsUsageAndExitsOne)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, std::vector<std::string>(11, "a")}) {
        auto r = recite(args);
        EXPECT_EQ(std::tie(r.exitStatus, r.output), std::make_tuple(1, usageText(static_cast<int>(args.size()))));
    }
}

TEST(reciteCommand, oneArgumentRunsFromTheParameterFile)
{
    DemoFiles demo;
    auto r = recite({demo.prm});
    EXPECT_EQ(r.exitStatus, 0);
    // The first progress line: seconds with three decimals (the value depends on the machine's load).
    EXPECT_TRUE(std::regex_search(r.output, std::regex("^[0-9]+\\.[0-9]{3} sec: Read wave file")) &&
                r.output.ends_with("Done!\n"))
        << r.output;
    // The summary block: the identified text, the recognized pronunciations and the scores.
    const size_t summary = r.output.find("\n\n====== \xB5\xFB\xA4\xC0\xB5\xB2\xAA\x47 ======\n"
                                         "\xA4\xE5\xA6\x72=Tom meets most men.\n"
                                         "\xA4\xBA\xB3\xA1\xAB\xF7\xAD\xB5=t_aa_m-m_iy_t_s-m_ow_s");
    ASSERT_NE(summary, std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\n\xB9\xEF\xBC\xC6\xBE\xF7\xB2\x76=-", summary), std::string::npos) << r.output;
    for (const std::string& line : {" sec: Read wave file \"" + demo.wav + "\"\n",
                                    std::string("/data/demo/models.mac\" (modelNum=74) and \"\"\n"),
                                    std::string("\ttextIndex=1 ===> Tom meets most men.\n"),
                                    " sec: Compute MFCC (cfgFile=" + demo.cfg + ")\n"})
        EXPECT_NE(r.output.find(line), std::string::npos) << line << r.output;
}

TEST(reciteCommand, fatalErrorsPrintTheMessageAndExitZero)
{
    DemoFiles demo;
    // The second argument overrides wavFile; a missing or unknown file ends the run.
    const std::string missing = demo.dir.file("missing.wav"), odd = demo.dir.file("utt.Wav");
    auto r = recite({demo.prm, missing});
    EXPECT_EQ(std::tie(r.exitStatus, r.output),
              std::make_tuple(0, "Can't open wave file " + missing + " (line 24 in lib\\audioFile)\n"));
    r = recite({demo.prm, odd});
    EXPECT_EQ(std::tie(r.exitStatus, r.output),
              std::make_tuple(0, "Cannot read audio file \"" + odd + "\" based on its extension name...\n"));
}

TEST(reciteCommand, fatalErrorWritesTheLogWhereTempPoints)
{
    DemoFiles demo;
    ScratchDir logDir;
    auto r = recite({demo.prm, "nothing.raw"}, "TEMP=" + shellQuote(logDir.path().string()));
    EXPECT_EQ(r.exitStatus, 0);
    const std::vector<std::filesystem::path> logs(std::filesystem::directory_iterator(logDir.path()), {});
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(r.output, "\nSaved error log at " + logDir.path().string() + "/" + logs[0].filename().string() +
                            "...\nCannot open file nothing.raw (line 100 of lib\\utility)\n");
    EXPECT_EQ(testsupport::readFile(logs[0].string()), "Error: Cannot open file nothing.raw (line 100 of lib\\utility)\n");
}
