#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "assess/assess.h"
#include "decoder/viterbi.h"
#include "lexicon/dict.h"
#include "model/macro.h"
#include "net/net.h"
#include "support/testSupport.h"
#include "task/recogParam.h"

using namespace testsupport;

namespace {

constexpr int DIM = 2;
constexpr int FRAMES = 40;

nodeResult node(const char* name, int first, int last, std::vector<phoneResult> phones = {})
{
    nodeResult n;
    std::tie(n.name, n.startFrame, n.endFrame, n.phones) = std::make_tuple(name, first, last, std::move(phones));
    return n;
}

phoneResult phone(const char* name, int first, int last)
{
    phoneResult p;
    std::tie(p.name, p.startFrame, p.endFrame) = std::make_tuple(name, first, last);
    return p;
}

// Model 0 "sil" and twenty context units "pK+x" (model K + 1): 5-state models of one stream with
// unit-variance Gaussians centred on K in every state. Over silent frames pK is beaten by exactly
// the K units before it.
class assessTest : public testing::Test {
protected:
    assessTest()
    {
        for (int k = -1; k < 20; ++k) {
            hmmModel& m = models.m_models.emplace_back();
            std::memset(&m, 0, sizeof m);
            std::snprintf(m.name, sizeof m.name, k < 0 ? "sil" : "p%d+x", k);
            m.stateNum = 5;
            m.transp[0][1] = 1.0f;
            for (int st = 0; st < 3; ++st) {
                hmmMixture& mix = m.states[st].streams[0].mixtures[0];
                m.states[st].streams[0].mixtureNum = 1;
                m.states[st].streamWeight[0] = mix.weight = mix.var[0] = mix.var[1] = 1.0f;
                mix.mean[0] = mix.mean[1] = static_cast<float>(std::max(k, 0));
                mix.gconst = static_cast<float>(DIM * std::log(2 * M_PI));
                m.transp[st + 1][st + 1] = m.transp[st + 1][st + 2] = 0.5f;
            }
        }
        models.modelNum = 21;
        models.streamNum = 1;
        models.streamVecSize[0] = DIM;
        models.macPrepare();
        writeFile(param.phoneRank2scoreParamFile = dir.file("rank2score"), "0.05 0.5 0\n");
        writeFile(param.scoreDiscountParamFile = dir.file("discount"), "1 1 1 1 1 1 1\n");
    }
    assessResult ranked(std::vector<nodeResult> nodes)
    {
        assessResult r;
        r.nodes = std::move(nodes);
        captureStdout([&] { phoneRanking(r, rows.data(), DIM, FRAMES, models, search, param); });
        return r;
    }
    macroClass models;
    viterbiClass search{200, 21};
    std::vector<float> rows = std::vector<float>(FRAMES * DIM, 0.0f);
    recogParam param;
    ScratchDir dir;
};
using phoneRankingTest = assessTest;

} // namespace

TEST_F(assessTest, ResultFollowsTheSearchHistories)
{
    dictClass dict;
    dict.m_pronDict = {{"ab", {4, 7}}, {"sil", {0}}}; // p3+x p6+x
    netClass net;
    net.netReadLines({"VERSION=1.0", "N=4\tL=3", "I=0\tW=sil", "I=1\tW=ab@0@AB", "I=2\tW=sil", "I=3\tW=!NULL",
                      "J=0\tS=0\tE=1", "J=1\tS=1\tE=2", "J=2\tS=2\tE=3"},
                     dict);
    for (size_t t = 10; t < 30; ++t)
        rows[t * DIM] = rows[t * DIM + 1] = t < 20 ? 3.0f : 6.0f;
    const int best = search.selectBestCandidate(
        search.viterbiSearch(net, dict, rows.data(), DIM, 40, 50, models, 1e9f, 0), net, dict);
    assessResult r;
    resultFromCandidate(search, best, net, dict, models, r);

    const auto syls = search.sylHistory(best);
    const auto phones = search.phoneHistory(best);
    ASSERT_EQ(std::make_tuple(r.nodes.size(), phones.size(), r.nodes[1].phones.size()), std::make_tuple(3u, 4u, 2u));
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(std::tie(r.nodes[i].name, r.nodes[i].text, r.nodes[i].endFrame, r.nodes[i].cumScore),
                  std::make_tuple(i == 1 ? "ab" : "sil", i == 1 ? "AB" : "", syls[i].lastFrame, syls[i].score));
    std::vector<phoneResult> flat = r.nodes[0].phones; // sil | p3+x p6+x | sil
    for (size_t i = 1; i < 3; ++i)
        flat.insert(flat.end(), r.nodes[i].phones.begin(), r.nodes[i].phones.end());
    const int ids[] = {0, 4, 7, 0};
    for (size_t p = 0; p < 4; ++p)
        EXPECT_EQ(std::tie(flat[p].modelIndex, flat[p].name, flat[p].startFrame, flat[p].endFrame, flat[p].cumLogLike),
                  std::make_tuple(ids[p], models.model(ids[p]).name, 10 * static_cast<int>(p), phones[p].lastFrame,
                                  phones[p].score));
    EXPECT_EQ(std::make_tuple(r.nodes[1].startFrame, r.nodes[2].startFrame, r.nodes[1].timberScore),
              std::make_tuple(10, 30, -1.0f));
}

TEST_F(assessTest, TextsPitchedFlagsAndVolume)
{
    assessResult r;
    r.nodes = {node("sil", 0, 1), node("w", 2, 3, {phone("a+x", 2, 2), phone("ab", 3, 3)}), node("sp", 4, 4),
               node("w", 5, 6, {phone("b+c", 5, 5), phone("sil+a", 6, 6), phone("sp", 6, 6)}), node("w", 7, 9)};
    for (nodeResult& n : r.nodes)
        n.text = "net";
    param.language = "english";
    param.addLink4startAnywhere = 1;
    nodeTextsAssign(r, "hello world", param);
    EXPECT_EQ(r.nodes[0].text + r.nodes[1].text + r.nodes[2].text + r.nodes[3].text, "netnet");
    param.addLink4startAnywhere = 0;
    nodeTextsAssign(r, "hello world", param);
    EXPECT_EQ(std::tie(r.nodes[1].text, r.nodes[2].text, r.nodes[3].text, r.nodes[4].text),
              std::make_tuple("hello", "", "world", ""));

    writeFile(dir.file("qiyin"), "a\nb+c\n");
    pitchedFlags(r, dir.file("qiyin"));
    const auto& p1 = r.nodes[1].phones;
    const auto& p3 = r.nodes[3].phones; // base "a" listed; "ab" and base "b" are not
    EXPECT_EQ(std::tie(p1[0].pitched, p1[1].pitched, p3[0].pitched, p3[1].pitched, p3[2].pitched),
              std::make_tuple(0, 1, 1, 0, 0));
    EXPECT_NE(fatalMessage([&] { pitchedFlags(r, dir.file("none")); }).find("Cannot open"), std::string::npos);

    r.nodes[0].startFrame = -2;
    nodeVolumeFill(r, {10, 11, 12, 13, 14, 15, 16, 17});
    EXPECT_EQ(std::tie(r.nodes[0].volume, r.nodes[4].volume),
              std::make_tuple(std::vector<float>{10, 11}, std::vector<float>{17}));
}

TEST_F(phoneRankingTest, RanksTimeRatiosAndAlternatives)
{
    auto r = ranked({node("sil", 0, 9, {phone("sil", 0, 9)}),
                     node("w", 10, 39, {phone("p0+x", 10, 19), phone("p5+x", 20, 29), phone("p19+x", 30, 38),
                                        phone("p3+x", 39, 39), phone("sil+x", 39, 39)})});
    const auto& ph = r.nodes[1].phones;
    EXPECT_EQ(std::make_tuple(r.phoneCount, r.scoredFrameTotal, r.scoredNodeCount), std::make_tuple(5, 30, 1));
    EXPECT_EQ(std::make_tuple(ph[0].rank, ph[1].rank, ph[2].rank, ph[3].rank, ph[4].rank, r.nodes[0].phones[0].rank),
              std::make_tuple(0, 5, 19, 19, -1, -1)); // p3+x: one frame, all log likelihoods -1e10
    EXPECT_EQ(std::make_tuple(ph[0].rankRatio, ph[1].rankRatio, ph[1].timeRatio),
              std::make_tuple(0.0f, 0.25f, 10 / 30.0f));
    EXPECT_EQ(std::make_tuple(ph[1].competingModelIds.size(), ph[1].competingModelIds[0]), std::make_tuple(20u, 1));
    EXPECT_FLOAT_EQ(r.weightedRankRatio, 0.25f / 3 + 0.95f / 3);
    EXPECT_FLOAT_EQ(r.meanLogLike, (ph[0].ownLogLike + ph[1].ownLogLike + ph[2].ownLogLike - 1e10f) / 30);

    writeFile(param.epsFile = dir.file("eps"), "% comment\np5+x\tp4+x\tp3+x\tp1+x\n");
    r = ranked({node("w", 0, 9, {phone("p5+x", 0, 9)})});
    EXPECT_EQ(std::make_tuple(r.nodes[0].phones[0].rank, r.nodes[0].phones[0].rankRatio), std::make_tuple(3, 0.15f));

    param.useAllModelAsCompetingModel = 1;
    r = ranked({node("w", 0, 9, {phone("sil", 0, 9)})});
    EXPECT_EQ(r.nodes[0].phones[0].competingModelIds.size(), 21u); // filler pool plus its own model
    r.nodes[0].phones[0].name = "q";
    EXPECT_NE(fatalMessage([&] { phoneRanking(r, rows.data(), DIM, FRAMES, models, search, param); }).find("\"q\""),
              std::string::npos);
}

TEST_F(phoneRankingTest, TimberScoresOfPhonesAndNodes)
{
    auto r = ranked({node("sil", 0, 9, {phone("sil", 0, 9)}),
                     node("w", 10, 39, {phone("p0+x", 10, 19), phone("p5+x", 20, 29), phone("p19+x", 30, 39)})});
    models.model(1).logCount = 0.5f; // priors of p0+x and p1+x, the latter bringing it close to p0+x
    models.model(2).logCount = 10.0f;
    timberScoring(r, param, models, 0, 1, -1, 0);
    const auto& ph = r.nodes[1].phones;
    double total = 0;
    for (size_t i = 0; i < 20; ++i)
        total += std::exp(models.model(ph[0].competingModelIds[i]).logCount + double(ph[0].competingLogLikes[i]));
    EXPECT_FLOAT_EQ(ph[0].timberScores[3], float(100 * std::exp(0.5 + ph[0].ownLogLike - std::log(total))));
    EXPECT_LT(ph[0].timberScores[3], 90.0f);
    EXPECT_EQ(std::make_tuple(ph[0].timberScores[1], ph[0].timberScores[2], ph[2].timberScores[2]),
              std::make_tuple(100.0f, 100.0f, 0.0f));
    EXPECT_FLOAT_EQ(ph[1].timberScores[1], 100.0f / 6); // rankRatio 0.25 on the default curve
    EXPECT_FLOAT_EQ(r.nodes[1].timberScores[1], (ph[0].timberScore + ph[1].timberScore + ph[2].timberScore) / 3);
    EXPECT_EQ(r.nodes[0].timberScores[0] + r.nodes[0].timberScores[3] + r.nodes[0].timberScore, -3.0f);
    EXPECT_FLOAT_EQ(r.overallScore, r.nodes[1].timberScores[1]);

    std::string cm;
    for (int k = 0; k < 21; ++k)
        cm += k == 6 ? "% skipped\n1\t2\t3\t4\t5\t[0.25 1 0]\n" : "1\t2\t3\t4\t5\t[1 1 1]\n";
    writeFile(param.cmParamFile = dir.file("cm"), cm + "bad\tline\n");
    timberScoring(r, param, models, 0, 1, -1, 0);
    EXPECT_EQ(ph[1].timberScore, 50.0f); // model 6 is p5+x
    r.nodes[1].phones[1].modelIndex = 21;
    std::string message;
    const std::string out =
        captureStdout([&] { message = fatalMessage([&] { timberScoring(r, param, models, 0, 1, -1, 0); }); });
    EXPECT_EQ(out, "modelName=p5+x\nmodelIndex=21\ncontents[0]=bad\ncontents[1]=line\n");
    EXPECT_EQ(message, "Error: Cannot parse bad\tline (line 727 of file lib\\mlf)");
}

TEST(discountCountTest, EachTypeOnAConstructedResult)
{
    assessResult r;
    r.nodes = {node("sil", 0, 9), node("w", 10, 23, {phone("a+b", 10, 11), phone("c", 12, 13), phone("e", 14, 23)}),
               node("sp", 24, 80),
               node("w", 81, 153, {phone("b+x", 81, 82), phone("sil+y", 83, 83), phone("z", 84, 153)}),
               node("sil", 154, 220)};
    r.nodes[0].volume.assign(10, 0.0f);
    r.nodes[2].volume = {100, 100, 100, 100, 10, 0}; // 10 is not above a tenth of the span
    discountCount(r, 0, 4, false, 5);
    EXPECT_EQ(r.discountOccurrences, std::vector<int32_t>({1, 1, 1, 1, 3, 1, 0}));
    r.nodes[1].phones[1].startFrame = 8;                          // one short phone of three
    r.nodes[3].phones = {phone("a", 81, 82), phone("c", 83, 84)}; // all short, but only two
    r.nodes[2].volume.resize(4);
    discountCount(r, 2, 4, true, -1);
    EXPECT_EQ(r.discountOccurrences, std::vector<int32_t>({0, 0, 0, 0, 0, 0, 0}));
    r.nodes[1].volume = {0};
    r.nodes[2].volume.assign(31, 100);
    discountCount(r, 1, 4, true, 2);
    EXPECT_EQ(r.discountOccurrences, std::vector<int32_t>({0, 0, 0, 1, 0, 1, 2}));
}

TEST(timberScoringTest, OverallScoresDiscountsWordFactorAndBellCurve)
{
    assessResult r;
    r.nodes = {node("sil", 0, 9, {phone("sil", 0, 9)}), node("a", 10, 19, {phone("a", 10, 19)}),
               node("b", 20, 49, {phone("b", 20, 49)})};
    for (nodeResult& n : r.nodes)
        std::tie(n.phones[0].timeRatio, n.phones[0].rankRatio) = std::make_tuple(1.0f, n.name == "b" ? 0.05f : 0.0f);
    // Node scores 100 ("a", 10 frames) and 50 ("b", 30 frames).
    r.discountOccurrences = {1, 0, 2, 0, 3, 0, 0};
    ScratchDir dir;
    recogParam param;
    writeFile(param.scoreDiscountParamFile = dir.file("disc"), "0.9 0.8 0.7 0.6 0.5 0.4 0.3\n");
    writeFile(param.phoneRank2scoreParamFile = dir.file("r2s"), "0.05 0.5 0\n");
    EXPECT_EQ(captureStdout([&] { timberScoring(r, param, macroClass{}, 0, 2, 4, 2); }),
              "\tRead " + dir.file("disc") + "...\n");
    EXPECT_EQ(std::make_tuple(r.overallScores[1], r.overallTimberScore), std::make_tuple(62.5f, r.overallScore));
    EXPECT_FLOAT_EQ(r.overallScore, 62.5f * 0.9f * 0.49f * 0.5f);
    timberScoring(r, param, macroClass{}, 0, 2, 0, 2);
    EXPECT_FLOAT_EQ(r.overallScore, 62.5f * 0.9f * 0.49f);

    r.discountRatios.clear();
    writeFile(param.scoreDiscountParamFile, "0.5 0.5");
    std::string message;
    captureStdout([&] { message = fatalMessage([&] { timberScoring(r, param, macroClass{}, 0, 2, 0, 0); }); });
    EXPECT_NE(message.find("holds 2 numbers"), std::string::npos);

    EXPECT_EQ(std::make_tuple(gbellScore(0.0f, 0.05f, 0.5f, 0.0f), gbellScore(0.05f, 0.05f, 0.5f, 0.0f)),
              std::make_tuple(100.0f, 50.0f));
    EXPECT_FLOAT_EQ(gbellScore(0.1f, 0.05f, 1.0f, 0.0f), 20.0f);
    EXPECT_EQ(std::make_tuple(gbellScore(0.2f, 0.1f, 0.0f, 0.2f), gbellScore(0.1f, 0.1f, 2.0f, 0.2f)),
              std::make_tuple(100.0f, 50.0f)); // centred on c
}

TEST_F(phoneRankingTest, phoneOutsideTheAnalysedFramesIsFatalNotARead)
{
    // Label phones may end past the features (or far past them); none of them is scored.
    const std::vector<std::tuple<nodeResult, std::string>> cases = {
        {node("w", 30, 40, {phone("p1+x", 30, 40)}), "phone p1+x of node w spans frames 30 to 40, outside the 40"},
        {node("w", 0, INT32_MAX, {phone("p1+x", 0, INT32_MAX)}), "frames 0 to 2147483647, outside the 40"},
        {node("w", -1, 5, {phone("p1+x", -1, 5)}), "spans frames -1 to 5"},
        {node("sil", 0, 45, {phone("sil", 0, 45)}), "phone sil of node sil spans frames 0 to 45"},
        {node("w", 9, 5, {phone("p1+x", 9, 5)}), "phone p1+x of node w ends before it starts (frames 9 to 5)"},
    };
    for (const auto& [bad, expected] : cases) {
        assessResult r;
        r.nodes = {node("w", 0, 9, {phone("p0+x", 0, 9)}), bad};
        const std::string message =
            fatalMessage([&] { phoneRanking(r, rows.data(), DIM, FRAMES, models, search, param); });
        EXPECT_NE(message.find(expected), std::string::npos) << message;
        EXPECT_TRUE(r.nodes[0].phones[0].competingModelIds.empty()); // refused before any ranking
    }
    // Overlapping label phones can add up past the int32 frame total.
    assessResult r;
    r.nodes = {node("w", 0, 0, {phone("p1+x", 0, 1999999999), phone("p1+x", 0, 1999999999)})};
    EXPECT_NE(fatalMessage([&] { phoneRanking(r, rows.data(), DIM, INT32_MAX, models, search, param); })
                  .find("2 phones over 4000000000 frames"),
              std::string::npos);
}

TEST_F(phoneRankingTest, nodeWithoutScoredPhonesKeepsMinusOneAndStaysOutOfTheOverall)
{
    auto r = ranked({node("w", 0, 9, {phone("p0+x", 0, 9)}), node("v", 10, 39, {phone("sil+x", 10, 39)}),
                     node("u", 40, 39)});
    captureStdout([&] { timberScoring(r, param, models, 0, 2, -1, 0); });
    for (const nodeResult& n : {r.nodes[1], r.nodes[2]})
        EXPECT_EQ(std::make_tuple(n.timberScores[0], n.timberScores[1], n.timberScores[2], n.timberScores[3],
                                  n.timberScore),
                  std::make_tuple(-1.0f, -1.0f, -1.0f, -1.0f, -1.0f));
    // Only node "w" (score 100) counts, not its 30 scoreless frames.
    EXPECT_EQ(std::make_tuple(r.nodes[0].timberScore, r.overallScores[0], r.overallScore),
              std::make_tuple(100.0f, 100.0f, 100.0f));
    r = ranked({node("v", 10, 39, {phone("sil+x", 10, 39)})});
    captureStdout([&] { timberScoring(r, param, models, 0, 0, -1, 0); });
    EXPECT_EQ(r.overallScore, 0.0f);
}

TEST_F(phoneRankingTest, scoreParameterFilesAreReadAndCheckedBeforeUse)
{
    const auto r0 = ranked({node("w", 0, 19, {phone("p0+x", 0, 9), phone("p5+x", 10, 19)})}); // ratios 0, 0.25
    auto scored = [&](std::string& out) {
        assessResult r = r0;
        std::string message;
        out = captureStdout([&] { message = fatalMessage([&] { timberScoring(r, param, models, 0, 0, -1, 0); }); });
        return message;
    };
    auto scoreOf = [&](int phoneNum) {
        assessResult r = r0;
        captureStdout([&] { timberScoring(r, param, models, 0, 0, -1, 0); });
        return r.nodes[0].phones[static_cast<size_t>(phoneNum)].timberScore;
    };
    std::string out;

    // Score files named by no path are not replaced by defaults: the run stops at the read.
    const std::string rank2score = param.phoneRank2scoreParamFile, discount = param.scoreDiscountParamFile;
    param.phoneRank2scoreParamFile.clear();
    EXPECT_EQ(scored(out), "Cannot open file  (line 100 of lib\\utility)");
    param.phoneRank2scoreParamFile = rank2score;
    param.scoreDiscountParamFile = dir.file("missing");
    EXPECT_EQ(scored(out), "Cannot open file " + dir.file("missing") + " (line 100 of lib\\utility)");
    EXPECT_EQ(out, "\tRead " + dir.file("missing") + "...\n");
    param.scoreDiscountParamFile.clear();
    EXPECT_EQ(scored(out), "Cannot open file  (line 100 of lib\\utility)");
    EXPECT_EQ(out, "\tRead ...\n");
    param.scoreDiscountParamFile = discount;

    // Values that would divide by zero, carry nan or overflow the float range are refused.
    writeFile(rank2score, "0 0.5 0");
    EXPECT_NE(scored(out).find("rank-to-score parameters of " + rank2score + " must be"), std::string::npos);
    writeFile(rank2score, "0.05 -inf 0");
    EXPECT_EQ(scored(out), "Error: number 2 of " + rank2score + " is -inf, not a finite number");
    writeFile(rank2score, "0.05 0.5 0\n");
    writeFile(discount, "1 1 1 nan 1 1 1");
    EXPECT_EQ(scored(out), "Error: number 4 of " + discount + " is nan, not a finite number");
    writeFile(discount, "1 1 1 1 1 1 1.5");
    EXPECT_NE(scored(out).find("ratio 7 of " + discount + " is 1.5; a ratio must lie between 0 and 1"),
              std::string::npos);
    writeFile(discount, "1 1 1 1 1 1 1\n");

    // cm lines: "[a b c]" scanned like a formatted read: trailing text is ignored, the scan stops at
    // a non-number and leaves the rest 0; a zero width or a non-finite value is refused.
    auto cmWith = [&](const std::string& line6) {
        std::string cm;
        for (int k = 0; k < 21; ++k)
            cm += "1\t2\t3\t4\t5\t" + (k == 6 ? line6 : std::string("[1 1 1]")) + "\n";
        writeFile(param.cmParamFile = dir.file("cm"), cm);
    };
    cmWith("[0.25 1 0] trailing text");
    EXPECT_EQ(scoreOf(1), 50.0f); // model 6 is p5+x, rankRatio 0.25
    cmWith("[0.5 x 9]");          // b = c = 0: 50 wherever x is not c
    EXPECT_EQ(scoreOf(1), 50.0f);
    for (const char* bad : {"[x 1 0]", "0.25 1 0", "[0.25 1 nan]", "[]"}) {
        cmWith(bad);
        EXPECT_NE(scored(out).find("line of model 6 (p5+x): the bell curve \"" + std::string(bad) + "\""),
                  std::string::npos)
            << bad;
    }
}
