#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>

#include "common/fatalError.h"
#include "decoder/viterbi.h"
#include "lexicon/dict.h"
#include "model/macro.h"
#include "net/net.h"
#include "support/referenceViterbi.h"
#include "support/testSupport.h"

using namespace testsupport;

namespace {

constexpr int DIM = 2;

// A model of one stream of DIM values: one unit-variance Gaussian per emitting state, centred on
// means[state]; each state stays with probability `stay` (0 is stored as 1e-6).
void addModel(macroClass& models, int stateNum, std::array<float, 3> means, float stay)
{
    hmmModel& m = models.m_models.emplace_back();
    std::memset(&m, 0, sizeof m);
    m.stateNum = stateNum;
    m.transp[0][1] = 1.0f;
    for (int st = 0; st < stateNum - 2; ++st) {
        hmmMixture& mix = m.states[st].streams[0].mixtures[0];
        m.states[st].streams[0].mixtureNum = 1;
        m.states[st].streamWeight[0] = mix.weight = mix.var[0] = mix.var[1] = 1.0f;
        mix.mean[0] = mix.mean[1] = means[static_cast<size_t>(st)];
        mix.gconst = static_cast<float>(DIM * std::log(2 * M_PI));
        m.transp[st + 1][st + 1] = stay > 0 ? stay : 1e-6f;
        m.transp[st + 1][st + 2] = 1.0f - m.transp[st + 1][st + 1];
    }
    models.modelNum = static_cast<int32_t>(models.m_models.size());
    models.streamNum = 1;
    models.streamVecSize[0] = DIM;
}

// Nodes with these dictionary entries (-1: null node), linked in this order.
netClass makeNet(const std::vector<int32_t>& syl, const std::vector<std::pair<int, int>>& links)
{
    netClass net;
    net.nodeNum = static_cast<int32_t>(syl.size());
    for (int32_t entry : syl)
        net.m_nodes.emplace_back().sylIndex = entry;
    for (auto [from, to] : links)
        net.m_nodes[static_cast<size_t>(from)].links.push_back(to);
    for (int i = 0; i < net.nodeNum; ++i)
        net.expandNextNodes(i);
    return net;
}

template <typename T>
bool sameEntries(const std::vector<T>& a, const std::vector<T>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

// The fast search and the reference, run on copies of a network and checked to agree in
// everything observable: count, order, fields, scores, histories, best candidate, recombination
// tables, console output and fatal errors.
struct searchPair {
    searchPair(int arenaLen, int modelNum) : fast(arenaLen, modelNum), ref(arenaLen, modelNum) {}

    // The count left, -1 after a fatal error (its message in `fatal`).
    int run(const netClass& net, const dictClass& dict, const macroClass& models, const std::vector<float>& rows,
            int frameNum, int candidateNum, float probTh, int useDesc)
    {
        netClass nets[2] = {net, net};
        int left[2] = {-1, -1};
        std::string messages[2];
        std::string printed[2];
        auto search = [&](auto& searcher, int k) {
            printed[k] = captureStdout([&] {
                try {
                    left[k] = searcher.viterbiSearch(nets[k], dict, rows.data(), DIM, frameNum, candidateNum, models,
                                                     probTh, useDesc);
                } catch (const fatalErrorException& e) {
                    messages[k] = e.what();
                }
            });
        };
        search(fast, 0);
        search(ref, 1);
        EXPECT_EQ(printed[0], printed[1]);
        EXPECT_EQ(messages[0], messages[1]);
        EXPECT_EQ(left[0], left[1]);
        output = printed[0];
        fatal = messages[0];
        if (!fatal.empty() || left[0] != left[1])
            return -1;
        for (int i = 0; i < left[0]; ++i) {
            const searchCandidate& c = fast.candidate(i);
            const referenceCandidate& r = ref.candidate(i);
            EXPECT_EQ(std::tie(c.nodeIdx, c.phoneIdx, c.stateIdx, c.score),
                      std::tie(r.nodeIdx, r.phoneIdx, r.stateIdx, r.score));
            EXPECT_TRUE(sameEntries(fast.sylHistory(i), r.sylHistory.entries()));
            EXPECT_TRUE(sameEntries(fast.phoneHistory(i), r.phoneHistory.entries()));
            EXPECT_EQ(static_cast<size_t>(c.sylNum + c.phoneNum), r.sylHistory.size() + r.phoneHistory.size());
        }
        EXPECT_EQ(fast.selectBestCandidate(left[0], nets[0], dict), ref.selectBestCandidate(left[0], nets[1], dict));
        for (size_t i = 0; i < net.m_nodes.size(); ++i)
            EXPECT_EQ(nets[0].m_nodes[i].recombTable, nets[1].m_nodes[i].recombTable);
        return left[0];
    }

    viterbiClass fast;
    referenceViterbi ref;
    std::string output;
    std::string fatal;
};

} // namespace

TEST(viterbiEquivalenceTest, RandomSearchesMatchThePlainSearch)
{
    std::mt19937 gen(20240611);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };
    auto pickf = [&](int lo, int hi) { return static_cast<float>(pick(lo, hi)); };
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        // Few distinct means and values, so that identical models and rows give tied scores.
        macroClass models;
        for (int m = pick(1, 5); m > 0; --m)
            addModel(models, pick(0, 3) == 0 ? 4 : 5, {pickf(0, 2), pickf(0, 2), pickf(0, 2)}, 0.3f * pickf(0, 3));
        models.macPrepare();
        dictClass dict;
        for (int e = pick(1, 5); e > 0; --e) {
            std::vector<int32_t> ids(static_cast<size_t>(pick(1, 4)));
            for (int32_t& id : ids)
                id = pick(0, 60) == 0 ? models.modelNum : pick(0, models.modelNum - 1); // rarely a broken entry
            dict.m_pronDict.push_back({"w", ids});
        }
        // Forward links make every node but the first reachable and every node but the last
        // left; word nodes may also link back (filler-like loops).
        const int nodes = pick(2, 10);
        std::vector<int32_t> syl(static_cast<size_t>(nodes));
        std::vector<std::pair<int, int>> links;
        const int entries = static_cast<int>(dict.m_pronDict.size());
        for (int i = 0; i < nodes; ++i) {
            syl[static_cast<size_t>(i)] = pick(0, i == 0 || i == nodes - 1 ? 1 : 4) == 0 ? -1 : pick(0, entries - 1);
            if (i > 0)
                links.emplace_back(pick(0, i - 1), i);
        }
        for (int i = 0; i < nodes - 1; ++i) {
            const bool leaves = std::any_of(links.begin(), links.end(), [&](auto l) { return l.first == i; });
            for (int extra = pick(0, 1) + (leaves ? 0 : 1); extra > 0; --extra)
                links.emplace_back(i, pick(i + 1, nodes - 1));
            const int to = pick(1, std::max(i, 1));
            if (i > 0 && syl[static_cast<size_t>(i)] >= 0 && syl[static_cast<size_t>(to)] >= 0 && pick(0, 2) == 0)
                links.emplace_back(i, to);
        }
        netClass net = makeNet(syl, links);
        for (netNode& node : net.m_nodes)
            node.penalty = pick(0, 3) == 0 ? -1.5f * pickf(1, 10) : 0.0f;
        const int frameNum = pick(0, 4) == 0 ? pick(1, 3) : pick(0, 3) == 0 ? pick(118, 160) : pick(4, 80);
        std::vector<float> rows(static_cast<size_t>(frameNum * DIM));
        for (size_t k = 0; k < rows.size(); ++k)
            rows[k] = k >= DIM && pick(0, 1) == 0 ? rows[k - DIM] : 0.5f * pickf(0, 4);
        const int candidateNum = pick(0, 9) == 0 ? pick(95, 130) : pick(1, 30);
        const int arenaLen = candidateNum * pick(1, 6) + pick(0, 2);
        const float probTh = std::array<float, 4>{0.0f, 1.0f, 6.0f, 1e9f}[static_cast<size_t>(pick(0, 3))];
        const int useDesc = pick(0, 1);

        searchPair pair(arenaLen, models.modelNum);
        const int left = pair.run(net, dict, models, rows, frameNum, candidateNum, probTh, useDesc);
        // Sometimes a second search on the same objects, over the later frames with the count left.
        if (left > 0 && frameNum > 2 && pick(0, 1) == 0) {
            const int from = pick(1, frameNum - 1);
            const std::vector<float> later(rows.begin() + from * DIM, rows.end());
            pair.run(net, dict, models, later, frameNum - from, left, probTh, useDesc);
        }
    }
}

// Hand-checked searches. Model 0 has three identical emitting states that (nearly) never stay,
// model 1 the same with two states, model 2 three states centred on 0, 1, 2 that stay with 0.6.
class viterbiSearchTest : public testing::Test {
protected:
    viterbiSearchTest()
    {
        addModel(models, 5, {0, 0, 0}, 0.0f);
        addModel(models, 4, {0, 0, 0}, 0.0f);
        addModel(models, 5, {0, 1, 2}, 0.6f);
        models.macPrepare();
        for (size_t k = 0; k < rows.size(); ++k)
            rows[k] = 0.25f * static_cast<float>(k % 9);
    }

    static std::tuple<int, float> nodeAndScore(const searchPair& s, int i)
    {
        return {s.fast.candidate(i).nodeIdx, s.fast.candidate(i).score};
    }

    float emission(int model, int state, int t)
    {
        return scorer.stateLogProb(rows.data() + t * DIM, models, model, state, t);
    }

    macroClass models;
    dictClass dict;
    std::vector<float> rows = std::vector<float>(130 * DIM);
    emissionScorer scorer{3};
};

TEST_F(viterbiSearchTest, SeedsTheWordStartOrEverySuccessorOfANullStart)
{
    dict.m_pronDict = {{"a", {2}}, {"b", {0, 2}}};
    searchPair s(10, 3);
    EXPECT_EQ(s.run(makeNet({0, 1, -1}, {{0, 1}, {1, 2}}), dict, models, rows, 1, 4, 0, 0), 4);
    EXPECT_EQ(nodeAndScore(s, 0), std::make_tuple(0, emission(2, 0, 0)));
    EXPECT_EQ(s.fast.candidate(1).score, LOG_ZERO);
    EXPECT_TRUE(sameEntries(s.fast.sylHistory(0), {{0, 0, 0, emission(2, 0, 0)}}));

    const netClass fan = makeNet({-1, 0, 1, 0, -1}, {{0, 1}, {0, 2}, {0, 3}, {1, 4}, {2, 4}, {3, 4}});
    EXPECT_EQ(s.run(fan, dict, models, rows, 1, 4, 0, 0), 4);
    const float scores[] = {emission(2, 0, 0), emission(0, 0, 0), emission(2, 0, 0), LOG_ZERO};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(nodeAndScore(s, i), std::make_tuple((i + 1) % 4, scores[i]));
    s.run(fan, dict, models, rows, 1, 2, 0, 0);
    EXPECT_EQ(s.fatal, "Error: nodeNumForFirstFrame=3, candidateNum=2 (line 437 of file lib\\viterbi)");
    s.run(fan, dict, models, rows, 1, 11, 0, 0);
    EXPECT_EQ(s.fatal, "Error: m_arenaLen=10, candidateNum=11 (line 434 of file lib\\viterbi)");
}

TEST_F(viterbiSearchTest, ScoresHistoriesEndNodeAndBestCandidate)
{
    // 0 -> 1 (two phones, penalty -2.5) -> 2, the end node and a word node.
    dict.m_pronDict = {{"a", {2}}, {"b", {2, 2}}};
    netClass net = makeNet({0, 1, 0}, {{0, 1}, {1, 2}});
    net.m_nodes[1].penalty = -2.5f;
    searchPair s(100, 3);
    // By length: none before node 1 is reached, then rule 3 (its node precedes the end), rule 2
    // (and it is in the last phone), rule 1 (and in state 2).
    const int wanted[][4] = {{2, -1, 0, 0}, {4, 1, 0, 0}, {7, 1, 1, 0}, {9, 1, 1, 2}};
    for (const auto& w : wanted) {
        const int best = s.fast.selectBestCandidate(s.run(net, dict, models, rows, w[0], 30, 1e9f, 0), net, dict);
        const searchCandidate& c = s.fast.candidate(std::max(best, 0));
        EXPECT_EQ(best < 0 ? std::make_tuple(-1, 0, 0) : std::make_tuple(c.nodeIdx, c.phoneIdx, c.stateIdx),
                  std::tie(w[1], w[2], w[3]));
    }

    // The candidate in node 1 after four frames entered it at frame 3; the one in node 2 after ten
    // frames entered the end node at frame 9, died there and got no final entries.
    const auto& a = models.model(2).transp;
    const float s3 = ((emission(2, 0, 0) + (a[1][2] + emission(2, 1, 1))) + (a[2][3] + emission(2, 2, 2))) +
                     ((a[3][4] + emission(2, 0, 3)) + -2.5f);
    auto inNode = [&](int frames, int node) {
        int i = s.run(net, dict, models, rows, frames, 30, 1e9f, 0) - 1;
        while (i > 0 && s.fast.candidate(i).nodeIdx != node)
            --i;
        return i;
    };
    int i = inNode(4, 1);
    EXPECT_EQ(nodeAndScore(s, i), std::make_tuple(1, s3));
    EXPECT_TRUE(sameEntries(s.fast.sylHistory(i), {{0, 0, 2, s3}, {1, 1, 3, s3}}));
    EXPECT_TRUE(sameEntries(s.fast.phoneHistory(i), {{0, 2, s3}, {0, 3, s3}}));
    i = inNode(10, 2);
    const phoneHistoryEntry last = s.fast.phoneHistory(i).back();
    EXPECT_EQ(nodeAndScore(s, i), std::make_tuple(2, LOG_ZERO));
    EXPECT_EQ(std::tie(last.phoneIdx, last.lastFrame, last.score), std::make_tuple(1, 8, LOG_ZERO));
}

TEST_F(viterbiSearchTest, FullArenaWarnsAndEndsTheFrameAfterTheCurrentCandidate)
{
    dict.m_pronDict = {{"a", {0}}};
    std::fill(rows.begin(), rows.end(), 0.0f);
    // At frame 3 the one candidate branches to nodes 1, 2, 3: only two copies fit.
    searchPair s(3, 3);
    const netClass fan = makeNet({0, 0, 0, 0, -1}, {{0, 1}, {0, 2}, {0, 3}, {1, 4}, {2, 4}, {3, 4}});
    s.run(fan, dict, models, rows, 5, 1, 1e9f, 0);
    EXPECT_EQ(s.output,
              "Warning: Arena is full! frameId=3/5, candidateId=0/1, branchId=1/3, lastPos (3) > m_arenaLen-1 (2)!\n");

    // Two seeds: the copy of the first fills the arena, so the second is not advanced at all and,
    // one frame behind the others, comes first. Without a free slot nothing is copied.
    const netClass two = makeNet({-1, 0, 0, -1}, {{0, 1}, {0, 2}, {1, 3}, {2, 3}});
    s.run(two, dict, models, rows, 2, 2, 1e9f, 0);
    EXPECT_EQ(s.output, "Warning: Arena is full! frameId=1, candidateId=0, lastPos (3) > m_arenaLen-1 (2)!\n");
    EXPECT_EQ(nodeAndScore(s, 0), std::make_tuple(2, emission(0, 0, 0)));
    searchPair tight(2, 3);
    tight.run(two, dict, models, rows, 2, 2, 1e9f, 0);
    EXPECT_EQ(tight.output, "Warning: Arena is full! frameId=1, candidateId=0, lastPos (2) > m_arenaLen-1 (1)!\n");
}

TEST_F(viterbiSearchTest, PruningByBeamAndByDescendingCounts)
{
    dict.m_pronDict = {{"a", {2}}};
    const netClass twins = makeNet({-1, 0, 0, -1}, {{0, 1}, {0, 2}, {1, 1}, {1, 3}, {2, 2}, {2, 3}});
    searchPair s(1000, 3);
    const int counts[][3] = {{60, 1, 200}, {61, 1, 160}, {76, 1, 128}, {101, 1, 89}, {121, 1, 53}, {121, 0, 200}};
    for (const auto& c : counts)
        EXPECT_EQ(s.run(twins, dict, models, rows, c[0], 200, 1e9f, c[1]), c[2]);

    // A zero beam keeps exactly the candidates tied with the best: the twins in nodes 1 and 2.
    for (float probTh : {0.0f, 1e9f}) {
        int live = 0;
        int tied = 0;
        for (int i = s.run(twins, dict, models, rows, 30, 20, probTh, 0) - 1; i >= 0; --i) {
            live += s.fast.candidate(i).score > LOG_ZERO;
            tied += s.fast.candidate(i).score == s.fast.candidate(0).score;
        }
        EXPECT_EQ(std::tie(live, tied), std::make_tuple(probTh == 0 ? 2 : 6, 2));
    }
}

TEST_F(viterbiSearchTest, ModelWithoutEmittingStatesIsRefusedByName)
{
    // A 2-state model loads, but a network that uses it can't be searched.
    addModel(models, 2, {0, 0, 0}, 0.0f);
    std::strcpy(models.m_models.back().name, "zz");
    dict.m_pronDict = {{"a", {3}}};
    searchPair s(10, 4);
    s.run(makeNet({-1, 0, -1}, {{0, 1}, {1, 2}}), dict, models, rows, 5, 4, 0, 0);
    EXPECT_EQ(s.fatal, "Error in the Viterbi search: model 3 (zz) has 2 states, but 3 to 5 are needed");
}

TEST_F(viterbiSearchTest, HistoryAndNodeLimitsAreFatalAtTheirFrame)
{
    // A looping node that the best path leaves as fast as it can: two frames a phone.
    dict.m_pronDict = {{"a", {1}}, {"b", std::vector<int32_t>(50, 1)}, {"c", std::vector<int32_t>(51, 1)}};
    rows.assign(6001 * DIM, 0.0f);
    searchPair s(3, 3);
    const std::tuple<int, int, const char*> limits[] = {
        {0, 2001, "MAX_SYL_NUM exceeded! (line 388 of file lib\\viterbi)"},
        {1, 6001, "MAX_PHONE_NUM (3000) exceeded! (line 403 of file lib\\viterbi)"},
        {2, 101, "MAX_STATE_NUM_IN_SYL exceeded: index=150, MAX_STATE_NUM_IN_SYL=150 (line 55 of file lib\\viterbi)"}};
    for (const auto& [entry, frames, message] : limits) {
        const netClass loop = makeNet({-1, entry, -1}, {{0, 1}, {1, 1}, {1, 2}});
        EXPECT_EQ(s.run(loop, dict, models, rows, frames - 1, 1, 0, 0), 1);
        s.run(loop, dict, models, rows, frames, 1, 0, 0);
        EXPECT_EQ(s.fatal, message);
    }
}

TEST(viterbiSearchMemoryTest, LongUtteranceKeepsTheHistoryStoreSmall)
{
    macroClass models;
    addModel(models, 5, {0, 0, 0}, 0.9f);
    models.macPrepare();
    dictClass dict;
    dict.m_pronDict = {{"a", {0}}};
    const netClass loops = makeNet({-1, 0, 0, -1}, {{0, 1}, {1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}});
    searchPair s(100, 1);
    // Some 8 entries a frame are appended, 160000 in all.
    EXPECT_EQ(s.run(loops, dict, models, std::vector<float>(20000 * DIM), 20000, 20, 1e9f, 0), 20);
    EXPECT_LT(s.fast.historyStoreSize(), 2000u);
}
