// The `recite` command run as users run it.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/testSupport.h"

using testsupport::runCommand;
using testsupport::ScratchDir;
using testsupport::shellQuote;
using testsupport::writeFile;

namespace {

const std::string DEMO_DIR = std::string(RECITE_SOURCE_DIR) + "/data/demo";

testsupport::CommandResult recite(const std::vector<std::string>& args, const std::string& env = "")
{
    std::string cmd = env;
    cmd += ' ';
    cmd += shellQuote(RECITE_BINARY);
    for (const std::string& a : args) {
        cmd += ' ';
        cmd += shellQuote(a);
    }
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
                           "/qiyin.txt\nmaxCandidateNum = 1000\nprobTh = 400\ncomparisonMode = 1\n");
    }
};

} // namespace

TEST(reciteCommand, wrongArgumentCountPrintsUsageAndExitsOne)
{
    auto none = recite({});
    EXPECT_EQ(none.exitStatus, 1);
    EXPECT_EQ(none.output, usageText(0));

    auto eleven = recite({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k"});
    EXPECT_EQ(eleven.exitStatus, 1);
    EXPECT_EQ(eleven.output, usageText(11));
}

TEST(reciteCommand, oneArgumentRunsFromTheParameterFile)
{
    DemoFiles demo;
    auto r = recite({demo.prm});
    EXPECT_EQ(r.exitStatus, 0);
    // The summary block: the identified text, the recognized pronunciations and the scores.
    const size_t summary = r.output.find("\n\n====== \xB5\xFB\xA4\xC0\xB5\xB2\xAA\x47 ======\n"
                                         "\xA4\xE5\xA6\x72=Tom meets most men.\n"
                                         "\xA4\xBA\xB3\xA1\xAB\xF7\xAD\xB5=t_aa_m-m_iy_t_s-m_ow_s");
    ASSERT_NE(summary, std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\n\xB9\xEF\xBC\xC6\xBE\xF7\xB2\x76=-", summary), std::string::npos) << r.output;
    EXPECT_TRUE(r.output.ends_with("Done!\n")) << r.output;
    EXPECT_TRUE(r.output.starts_with("0.00")) << r.output;
    EXPECT_NE(r.output.find(" sec: Read wave file \"" + demo.wav + "\"\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("/data/demo/models.mac\" (modelNum=74) and \"\"\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\ttextIndex=1 ===> Tom meets most men.\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(" sec: Compute MFCC (cfgFile=" + demo.cfg + ")\n"), std::string::npos) << r.output;
}

TEST(reciteCommand, fatalErrorsPrintTheMessageAndExitZero)
{
    DemoFiles demo;

    // The second argument overrides wavFile; a missing file ends the run.
    const std::string missing = demo.dir.file("missing.wav");
    auto r = recite({demo.prm, missing});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.output, "Can't open wave file " + missing + " (line 24 in lib\\audioFile)\n");

    r = recite({demo.prm, demo.dir.file("utt.Wav")});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.output, "Cannot read audio file \"" + demo.dir.file("utt.Wav") + "\" based on its extension name...\n");

    writeFile(demo.prm, "wavFile = x.wav\nwavfile = y.wav\n");
    r = recite({demo.prm});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.output, "Error in parsing " + demo.prm + ", unknown key = wavfile (line 180 in lib\\recogTask)\n");

    // A directory is no parameter file.
    const std::string dir = demo.dir.path().string();
    r = recite({dir});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.output, "Cannot open file " + dir + " (line 100 of lib\\utility)\n");
}

TEST(reciteCommand, fatalErrorWritesTheLogWhereTempPoints)
{
    DemoFiles demo;
    ScratchDir logDir;
    auto r = recite({demo.prm, "nothing.raw"}, "TEMP=" + shellQuote(logDir.path().string()));
    EXPECT_EQ(r.exitStatus, 0);
    std::vector<std::filesystem::path> logs;
    for (const auto& e : std::filesystem::directory_iterator(logDir.path()))
        logs.push_back(e.path());
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(r.output, "\nSaved error log at " + logDir.path().string() + "/" + logs[0].filename().string() +
                            "...\nCannot open file nothing.raw (line 100 of lib\\utility)\n");
    EXPECT_EQ(testsupport::readFile(logs[0].string()), "Error: Cannot open file nothing.raw (line 100 of lib\\utility)\n");
}
