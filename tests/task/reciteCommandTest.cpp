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

// A short 16 kHz recording and a parameter file that names it.
struct DemoFiles {
    ScratchDir dir;
    std::string wav = dir.file("utt.wav");
    std::string prm = dir.file("run.prm");
    std::string cfg = dir.file("mfcc.cfg");
    DemoFiles()
    {
        writeFile(cfg, "TARGETKIND = MFCC_E_D_A\n");
        std::vector<int16_t> samples(1600);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<int16_t>((i % 40) * 100 - 2000);
        writeFile(wav, testsupport::riffWave({{"fmt ", testsupport::fmtBody(1, 1, 16000, 16)},
                                              {"data", testsupport::pcm16(samples)}}));
        writeFile(prm, "function = recog\nlanguage = english\nwavFile = " + wav + "\nfeatureConfigFile = " + cfg +
                           "\nmacFile = " + DEMO_DIR + "/demo.mac\nwpaFile = " + DEMO_DIR + "/demo.wpa\ntnmFile = " +
                           DEMO_DIR + "/english.tnm\ntxtFile = " + DEMO_DIR + "/demo.txt\n");
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
    const std::string expectedTail = "\n\n====== \xB5\xFB\xA4\xC0\xB5\xB2\xAA\x47 ======\n"
                                     "\xA4\xBA\xB3\xA1\xAB\xF7\xAD\xB5=\n"
                                     "Varo\xAB\xF7\xAD\xB5=\n"
                                     "\xB0\xEA\xBB\x79\xAB\xF7\xAD\xB5=\n"
                                     "\xBA\x7E\xBB\x79\xAB\xF7\xAD\xB5=\n"
                                     "\xAD\xB5\xBD\xD5=\n"
                                     "\xB9\xEF\xBC\xC6\xBE\xF7\xB2\x76=0\n"
                                     "\xC1\x60\xA4\xC0=0\n"
                                     "Done!\n";
    ASSERT_GE(r.output.size(), expectedTail.size());
    EXPECT_EQ(r.output.substr(r.output.size() - expectedTail.size()), expectedTail);
    EXPECT_TRUE(r.output.starts_with("0.00")) << r.output;
    EXPECT_NE(r.output.find(" sec: Read wave file \"" + demo.wav + "\"\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("/data/demo/demo.mac\" (modelNum=98) and \"\"\n"), std::string::npos) << r.output;
    // 1600 samples: 9 feature frames, the span ending at frame 10 (1599 / 160 = 9.99).
    EXPECT_NE(r.output.find("\twaveBeginIndex=0, waveEndIndex=1599\n\twaveBeginFrameId=0, waveEndFrameId=10\n"),
              std::string::npos)
        << r.output;
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
