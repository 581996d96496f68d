// Runs that must end cleanly, or must not leave stale results behind: inputs that do not fit
// together, recordings that are too long, label files past the recording, memory exhaustion and
// the result files of an earlier run.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <regex>

#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "support/testSupport.h"

using testsupport::readFile;
using testsupport::runCommand;
using testsupport::ScratchDir;
using testsupport::shellQuote;
using testsupport::writeFile;

namespace {

const std::string DEMO_DIR = std::string(RECITE_SOURCE_DIR) + "/data/demo";

// The toy demo's assess settings with absolute paths, reading utt1 ("Tom meets ten men.").
struct AssessRun {
    ScratchDir dir;
    std::string prm = dir.file("run.prm");
    std::string out = dir.file("out");
    explicit AssessRun(const std::string& extra = "")
    {
        std::filesystem::create_directory(out);
        writeFile(prm, "function = assess\nlanguage = english\nwavFile = " + DEMO_DIR + "/utt1.wav\nfeatureConfigFile = " +
                           DEMO_DIR + "/mfcc.cfg\nmacFile = " + DEMO_DIR + "/models.mac\nwpaFile = " + DEMO_DIR +
                           "/words.wpa\ntnmFile = " + DEMO_DIR + "/english.tnm\ntxtFile = " + DEMO_DIR +
                           "/utt1.txt\nqiYinFile = " + DEMO_DIR +
                           "/qiyin.txt\nphoneRank2scoreParamFile = " + DEMO_DIR + "/rank2score.txt\nscoreDiscountParamFile = " +
                           DEMO_DIR + "/discount.txt\nmaxCandidateNum = 1000\nprobTh = 400\ncomparisonMode = 1\n" + extra);
    }
    testsupport::CommandResult run(const std::vector<std::string>& args = {}, const std::string& prefix = "") const
    {
        std::string cmd = prefix;
        cmd.append(shellQuote(RECITE_BINARY)).append(" ").append(shellQuote(prm));
        for (const std::string& a : args)
            cmd.append(" ").append(shellQuote(a));
        return runCommand(cmd);
    }
};

bool endsWithLine(const std::string& output, const std::string& line)
{
    return output.ends_with(line + "\n");
}

// The values of the node-level <pitch> elements of a report, node by node.
std::vector<std::vector<double>> nodePitches(const std::string& xml)
{
    std::vector<std::vector<double>> nodes;
    const std::regex element("\n\t\t<pitch idx=\"[0-9]+\" type=\"double\" size=\"1 [0-9]+\">([^<]*)</pitch>");
    for (std::sregex_iterator it(xml.begin(), xml.end(), element), end; it != end; ++it) {
        std::vector<double> values;
        std::istringstream in((*it)[1].str());
        for (double v; in >> v;)
            values.push_back(v);
        nodes.push_back(values);
    }
    return nodes;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

} // namespace

TEST(runLimits, labelFileOutsideTheRecordingIsAFatalErrorAndUseEpdIsIgnoredWithLabels)
{
    AssessRun run;
    // A last phone ending far beyond the 1.84 s recording (183 frames).
    const std::string lab = run.dir.file("far.lab");
    writeFile(lab, readFile(DEMO_DIR + "/utt1.lab") + "18300000 99999999999 sil 0 sil\n");
    auto r = run.run({"", "", "", run.out, "", "", "", "", lab});
    EXPECT_TRUE(r.exitStatus == 0 && endsWithLine(r.output, "Label file " + lab +
                                                                ": phone \"sil\" of node \"sil\" spans frames 183 to "
                                                                "999998, outside the analysed frames 0 to 182 of the "
                                                                "recording"))
        << r.output;
    EXPECT_FALSE(std::filesystem::exists(run.out + "/output.xml"));

    // With endpoint detection asked for, the label file still segments the whole recording.
    r = run.run({"", "", "1", run.out, "", "", "", "", DEMO_DIR + "/utt1.lab"});
    ASSERT_TRUE(r.exitStatus == 0 && r.output.ends_with("Done!\n")) << r.output;
    EXPECT_NE(r.output.find("Warning: the label file " + DEMO_DIR + "/utt1.lab segments the whole recording; useEpd "
                            "is ignored\n"),
              std::string::npos);
    const std::string xml = readFile(run.out + "/output.xml");
    EXPECT_NE(xml.find("<interval idx=\"1\" type=\"double\" size=\"1 2\">0 0.2</interval>"), std::string::npos);
    EXPECT_NE(xml.find("<interval idx=\"9\" type=\"double\" size=\"1 2\">1.62 1.83</interval>"), std::string::npos);
}

TEST(runLimits, featureVectorsOfAnotherSizeThanTheModelsStopBeforeTheSearch)
{
    for (const auto& [kind, size] : {std::pair<std::string, int>{"MFCC_E", 13}, {"MFCC_0_D", 26}}) {
        AssessRun run;
        const std::string cfg = run.dir.file("mfcc.cfg");
        writeFile(cfg, "TARGETKIND = " + kind + "\n");
        writeFile(run.prm, readFile(run.prm) + "featureConfigFile = " + cfg + "\n");
        auto r = run.run();
        EXPECT_TRUE(r.exitStatus == 0 &&
                    endsWithLine(r.output, "Feature vectors of " + std::to_string(size) + " values (featureConfigFile \"" +
                                               cfg + "\") do not fit the models, which score vectors of 39 values "
                                                     "(macFile \"" + DEMO_DIR + "/models.mac\")") &&
                    r.output.find("Viterbi search") == std::string::npos)
            << r.output;
    }
}

TEST(runLimits, tooManyFramesStopRightAfterReading)
{
    AssessRun run;
    // 1 Hz: 3000 samples would become 47,984,001 samples at 16 kHz.
    const std::string slow = run.dir.file("slow.wav");
    std::vector<int16_t> samples(3000, 0);
    writeFile(slow, testsupport::riffWave({{"fmt ", testsupport::fmtBody(1, 1, 1, 16)},
                                           {"data", testsupport::pcm16(samples)}}));
    auto r = run.run({slow});
    EXPECT_TRUE(r.exitStatus == 0 && endsWithLine(r.output, "frameNum = 299899 > 40000, frameNum too big!") &&
                r.output.find("Resample") == std::string::npos)
        << r.output;

    // 16 kHz: 40001 frames of 320 samples every 160 are one frame too many.
    const std::string raw = run.dir.file("long.raw");
    std::filesystem::resize_file((writeFile(raw, ""), raw), 2 * (320 + 40000 * 160));
    r = run.run({raw});
    EXPECT_TRUE(r.exitStatus == 0 && endsWithLine(r.output, "frameNum = 40001 > 40000, frameNum too big!")) << r.output;
}

TEST(runLimits, negativeMaxCandidateNumGivesTheArenaCheck)
{
    AssessRun run("maxCandidateNum = -5\n");
    auto r = run.run();
    EXPECT_TRUE(r.exitStatus == 0 && endsWithLine(r.output, "Error: m_arenaLen=-25, candidateNum=-5 (line 434 of file "
                                                            "lib\\viterbi)"))
        << r.output;
}

TEST(runLimits, outOfMemoryIsAFatalErrorWithItsLog)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a memory limit can't be set under AddressSanitizer";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "a memory limit can't be set under AddressSanitizer";
#endif
#endif
    AssessRun run;
    ScratchDir logDir;
    // 60 MB of raw samples become 120 MB of 32-bit samples, more than the 100 MB allowed.
    const std::string raw = run.dir.file("big.raw");
    std::filesystem::resize_file((writeFile(raw, ""), raw), 60'000'000);
    auto r = run.run({raw}, "ulimit -v 100000; TEMP=" + shellQuote(logDir.path().string()) + " ");
    EXPECT_TRUE(r.exitStatus == 0 && endsWithLine(r.output, "Out of memory: the recording, texts or models need more "
                                                            "memory than is available"))
        << r.output;
    const std::vector<std::filesystem::path> logs(std::filesystem::directory_iterator(logDir.path()), {});
    EXPECT_EQ(logs.size(), 1u);
}

TEST(runLimits, aFailedRunLeavesNoResultFilesOfAnEarlierRun)
{
    AssessRun run;
    auto r = run.run({"", "", "", run.out});
    ASSERT_TRUE(r.output.ends_with("Done!\n")) << r.output;
    const std::vector<std::string> results = {"output.xml", "score.txt", "recogResult.txt", "output.nt",
                                              "output.syl", "output.net", "output.netb",   "output.wpa"};
    for (const std::string& name : results)
        EXPECT_TRUE(std::filesystem::exists(run.out + "/" + name)) << name;
    // What a killed run may have left.
    writeFile(run.out + "/score.txt.tmp", "1");
    writeFile(run.out + "/confusingPath.txt", "old");
    writeFile(run.out + "/keep.txt", "not ours");

    r = run.run({run.dir.file("missing.wav"), "", "", run.out});
    EXPECT_EQ(r.output, "Can't open wave file " + run.dir.file("missing.wav") + " (line 24 in lib\\audioFile)\n");
    for (const std::string& name : results)
        EXPECT_FALSE(std::filesystem::exists(run.out + "/" + name)) << name;
    EXPECT_FALSE(std::filesystem::exists(run.out + "/score.txt.tmp"));
    EXPECT_FALSE(std::filesystem::exists(run.out + "/confusingPath.txt"));
    EXPECT_TRUE(std::filesystem::exists(run.out + "/keep.txt"));
}

TEST(outputFile, replacesTheFileOnlyWhenComplete)
{
    ScratchDir dir;
    const std::string path = dir.file("result.txt");
    writeFile(path, "old\n");
    try {
        outputFile out(path);
        std::fputs("half of the new", out.get());
        fatalError("interrupted");
    } catch (const fatalErrorException&) {
    }
    EXPECT_EQ(readFile(path), "old\n");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    {
        outputFile out(path);
        std::fputs("new\n", out.get());
        EXPECT_EQ(readFile(path), "old\n"); // not visible before it is complete
        out.commit();
    }
    EXPECT_EQ(readFile(path), "new\n");
    EXPECT_EQ(testsupport::fatalMessage([&] { outputFile out(dir.file("no/such/dir/x.txt")); }),
              "Cannot open file " + dir.file("no/such/dir/x.txt") + " (line 100 of lib\\utility)");
}

TEST(runLimits, nodePitchFollowsTheNodesTimes)
{
    // 1.84 s: a 200 Hz tone for the first half, 400 Hz for the second, segmented by utt1's labels.
    AssessRun run("getPitch = 1\n");
    std::vector<int16_t> samples(29440);
    for (size_t i = 0; i < samples.size(); ++i) {
        const double f = i < samples.size() / 2 ? 200.0 : 400.0;
        samples[i] = static_cast<int16_t>(8000 * std::sin(2 * std::numbers::pi * f * static_cast<double>(i) / 16000));
    }
    const std::string wav = run.dir.file("tones.wav");
    writeFile(wav, testsupport::riffWave({{"fmt ", testsupport::fmtBody(1, 1, 16000, 16)},
                                          {"data", testsupport::pcm16(samples)}}));
    auto r = run.run({wav, "", "", run.out, "", "", "", "", DEMO_DIR + "/utt1.lab"});
    ASSERT_TRUE(r.output.ends_with("Done!\n")) << r.output;
    const auto pitches = nodePitches(readFile(run.out + "/output.xml"));
    ASSERT_EQ(pitches.size(), 9u);
    // Node 2 (0.2-0.47 s) lies in the low half, node 8 (1.34-1.62 s) in the high half; each node
    // has one value per 10 ms frame.
    EXPECT_EQ(pitches[1].size(), 27u);
    EXPECT_NEAR(median(pitches[1]), 69 + 12 * std::log2(200.0 / 440), 0.3);
    EXPECT_EQ(pitches[7].size(), 28u);
    EXPECT_NEAR(median(pitches[7]), 69 + 12 * std::log2(400.0 / 440), 0.3);
}
