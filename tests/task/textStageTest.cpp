#include <gtest/gtest.h>

#include <sstream>

#include "common/strUtil.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "model/macro.h"
#include "net/net.h"
#include "support/testSupport.h"
#include "task/recogTask.h"

using testsupport::captureStdout;
using testsupport::ScratchDir;

namespace {

const std::string DEMO_DIR = std::string(RECITE_SOURCE_DIR) + "/data/demo";

// The lines of `out` that carry one of the markers, in the order they were printed.
std::vector<std::string> progressLines(const std::string& out)
{
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (const size_t sec = line.find(" sec: "); sec != std::string::npos)
            lines.push_back(line.substr(sec + 6));
        else if (line.starts_with("\t"))
            lines.push_back(line);
    }
    return lines;
}

// The demo's english settings for an assessment writing into outputDir.
recogParam demoParam(const std::string& outputDir)
{
    recogParam param;
    param.language = "english";
    param.function = "assess";
    param.wpaFile = DEMO_DIR + "/words.wpa";
    param.tnmFile = DEMO_DIR + "/english.tnm";
    param.txtFile = DEMO_DIR + "/utt2.txt";
    param.outputDir = outputDir;
    return param;
}

} // namespace

TEST(textStage, englishDemoWritesTextsSyllablesAndDictionary)
{
    ScratchDir out;
    recogParam param = demoParam(out.path().string());
    macroClass models;
    models.macRead(DEMO_DIR + "/models.mac");
    dictClass dict;
    textClass text;
    std::string printed = captureStdout([&] {
        recogTask task;
        task.loadResources(param, models, dict, text);
        task.prepareTexts(param, models, dict, text);
    });
    const std::string o = param.outputDir;
    EXPECT_EQ(progressLines(printed),
              (std::vector<std::string>{
                  "Read wpa \"" + param.wpaFile + "\" (myDict.m_wpa.size()=14)",
                  "Read wpaAddenda \"\" (myDict.m_wpaAddenda.size()=0)",
                  "Read text normalization mapping file \"" + param.tnmFile + "\" (myText.m_textNormSp.size()=10)",
                  "Read text \"" + param.txtFile + "\" (m_txtVs.size()=1)",
                  "text normalization (m_txtVsNormalized.size()=1)",
                  "\t===> Saved " + o + "/output.nt",
                  "Texts to phonetic alphabets by exhaustive listing",
                  "\tNo. of text entries = 1, no. of PA entries = 2",
                  "\t===> Saved " + o + "/output.syl",
                  "\tAdding -sp- between syllables...",
                  "Create m_pronDict from m_txtVs. (m_pronDict.size() = 7)",
                  "\t===> Saved " + o + "/output.dic",
              }));
    EXPECT_EQ(testsupport::readFile(o + "/output.nt"), "tom meets most men\n");
    // Written before the pauses are inserted; "most" has two pronunciations.
    EXPECT_EQ(testsupport::readFile(o + "/output.syl"), "t_aa_m-m_iy_t_s-m_ow_s_t-m_eh_n\t0\n"
                                                        "t_aa_m-m_iy_t_s-m_ow_s-m_eh_n\t0\n");
    EXPECT_EQ(text.m_sylVs[0], "t_aa_m-sp-m_iy_t_s-sp-m_ow_s_t-sp-m_eh_n\t0");
    EXPECT_EQ(testsupport::readFile(o + "/output.dic"), "m_eh_n\tm+eh eh+n n+sil\n"
                                                        "m_iy_t_s\tm+iy iy+t t+s s+sil\n"
                                                        "m_ow_s\tm+ow ow+s s+sil\n"
                                                        "m_ow_s_t\tm+ow ow+s s+t t+sil\n"
                                                        "sil\tsil\n"
                                                        "sp\tsp\n"
                                                        "t_aa_m\tt+aa aa+m m+sil\n");
}

TEST(textStage, resourcesByLanguageAndTheirRefusals)
{
    ScratchDir dir;
    macroClass models;
    models.macRead(DEMO_DIR + "/models.mac");
    testsupport::writeFile(dir.file("tw.dic"), "a1 aa+sil\nb2 m+sil\n");
    testsupport::writeFile(dir.file("tw.tnm"), ",# #g\n");
    recogParam param;
    param.language = "taiwanese";
    param.dicFile = dir.file("tw.dic");
    param.tnmFile = dir.file("tw.tnm");
    dictClass dict;
    textClass text;
    std::string printed = captureStdout([&] { recogTask().loadResources(param, models, dict, text); });
    EXPECT_EQ(progressLines(printed),
              (std::vector<std::string>{"Read pam \"" + param.dicFile + "\" (m_pronDict.size()=2)",
                                        "Read text normalization mapping file \"" + param.tnmFile +
                                            "\" (myText.m_textNormSp.size()=1)"}));

    param.tnmFile.clear();
    EXPECT_EQ(testsupport::fatalMessage([&] { recogTask().loadResources(param, models, dict, text); }),
              "Error: recogParam.tnmFile is not specified! (line 465 in lib\\recogTask)");

    // Japanese needs a syllable file.
    param.language = "japanese";
    param.function = "recog";
    param.txtFile = "konnichiwa";
    EXPECT_EQ(testsupport::fatalMessage([&] { recogTask().prepareTexts(param, models, dict, text); }),
              "This is not allowed for Japanese! (line 514, file lib\\recogTask)");

    // A syllable file forces the tree network and is read as it stands.
    testsupport::writeFile(dir.file("a.syl"), "ko-n-ni_chi_wa\t0\n");
    param.sylFile = dir.file("a.syl");
    param.netType = 1;
    param.function = "assess";
    printed = captureStdout([&] { recogTask().prepareTexts(param, models, dict, text); });
    EXPECT_EQ(param.netType, 0);
    EXPECT_EQ(text.m_sylVs, (std::vector<std::string>{"ko-sp-n-sp-ni_chi_wa\t0"}));
    EXPECT_NE(printed.find("Read syl \"" + param.sylFile + "\" (Size=1)"), std::string::npos) << printed;
}

TEST(netStage, demoTreeNetIsSavedAndSizesTheSearch)
{
    ScratchDir out;
    recogParam param = demoParam(out.path().string());
    param.txtFile = "Tom meets most men.";
    param.maxCandidateNum = 1000;
    macroClass models;
    models.macRead(DEMO_DIR + "/models.mac");
    dictClass dict;
    textClass text;
    netClass net;
    searchSize sizes;
    std::string printed = captureStdout([&] {
        recogTask task;
        task.loadResources(param, models, dict, text);
        task.prepareTexts(param, models, dict, text);
        sizes = task.prepareNet(param, dict, text, net);
    });
    // Framing silences, two pronunciations of "most" after two shared words, optional pauses
    // (none: soft pauses need a single syllable string).
    EXPECT_NE(printed.find(" sec: Generated tree net (nodeNum=14)\n\t===> Saved net file: " + param.outputDir +
                           "/output.net\n\t===> Saved net file: " + param.outputDir + "/output.netb\n\t===> Saved wpa file " +
                           param.outputDir + "/output.wpa\n"),
              std::string::npos)
        << printed;
    netClass reread;
    reread.netRead(param.outputDir + "/output.netb", dict);
    EXPECT_EQ(reread.nodeNum, net.nodeNum);
    // The entries of the text's words, in table order.
    EXPECT_EQ(testsupport::readFile(param.outputDir + "/output.wpa"),
              "meets\tm_iy_t_s\nmen\tm_eh_n\nmost\tm_ow_s_t#m_ow_s\ntom\tt_aa_m\n");
    EXPECT_EQ(sizes.candidateNum, 100); // 4 x 2 successors is below 20
    EXPECT_EQ(sizes.arenaLen, 500);
}

TEST(netStage, searchSizes)
{
    // maxCandidateNum 0 caps everything; comparison mode 3 gets a larger arena.
    const std::tuple<int, int, int, int, int> cases[] = {{0, 0, 50, 0, 0},      {1000, 0, 4, 100, 500},
                                                         {1000, 0, 5, 20, 100}, {1000, 0, 400, 1000, 5000},
                                                         {1000, 3, 1, 20, 2000}, {1000, 3, 0, 100, 10000}};
    for (const auto& [maxCandidateNum, mode, successors, candidateNum, arenaLen] : cases) {
        recogParam param;
        param.maxCandidateNum = maxCandidateNum;
        param.comparisonMode = mode;
        const searchSize size = searchSizeFor(param, successors);
        EXPECT_EQ(std::make_pair(size.candidateNum, size.arenaLen), std::make_pair(candidateNum, arenaLen)) << successors;
    }
}

TEST(textStage, syllableFileIndexBeyondTheTextsIsRefusedWhenRead)
{
    ScratchDir dir;
    macroClass models;
    models.macRead(DEMO_DIR + "/models.mac");
    dictClass dict;
    textClass text;
    recogParam param;
    param.language = "japanese";
    param.function = "recog";
    param.txtFile = "one#two";
    param.sylFile = dir.file("a.syl");
    // Written for two texts: fine for recog, but assess joins them into one.
    testsupport::writeFile(param.sylFile, "ko\t0\nni\t1\n");
    captureStdout([&] { recogTask().prepareTexts(param, models, dict, text); });
    EXPECT_EQ(text.m_sylVs, (std::vector<std::string>{"ko\t0", "ni\t1"}));
    param.function = "assess";
    EXPECT_EQ(testsupport::fatalMessage([&] { recogTask().prepareTexts(param, models, dict, text); }),
              "Error: Line 2 of the syllable file \"" + param.sylFile +
                  "\" has text index 1, but assess joins the texts into one text, index 0.");
    param.function = "recog";
    param.txtFile = "one";
    EXPECT_EQ(testsupport::fatalMessage([&] { recogTask().prepareTexts(param, models, dict, text); }),
              "Error: Line 2 of the syllable file \"" + param.sylFile +
                  "\" has text index 1, not below the number of texts (1).");
}

TEST(netStage, softPausesOnlyForUsePaddedSoftSilOne)
{
    macroClass models;
    models.macRead(DEMO_DIR + "/models.mac");
    std::vector<std::string> nets;
    for (int soft : {0, 1, 2, -1}) {
        recogParam param = demoParam("");
        param.txtFile = "Tom meets men";
        param.usePaddedSoftSil = soft;
        dictClass dict;
        textClass text;
        netClass net;
        captureStdout([&] {
            recogTask task;
            task.loadResources(param, models, dict, text);
            task.prepareTexts(param, models, dict, text);
            task.prepareNet(param, dict, text, net);
        });
        nets.push_back(strVecJoin(text.m_netVs, "\n"));
    }
    // Pauses the mapping back to text would not remove: other values build the network of 0.
    EXPECT_NE(nets[1], nets[0]);
    EXPECT_EQ(nets[2], nets[0]);
    EXPECT_EQ(nets[3], nets[0]);
}
