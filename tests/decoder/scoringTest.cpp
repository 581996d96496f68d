#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "decoder/scoring.h"
#include "decoder/scoringIsa.h"
#include "model/macro.h"
#include "support/testSupport.h"

namespace {

// The plain scoring, component after component straight from the records.
double plainGauss(const float* row, const macroClass& mac, const hmmMixture& mix, int j)
{
    float sum = 0.0f;
    for (int d = 0, n = mac.streamVecSize[j]; d < n; ++d) {
        const float diff = row[j * n + d] - mix.mean[d];
        sum = sum + diff * diff * mix.var[d];
    }
    return -0.5 * static_cast<double>(mix.gconst + sum);
}

float plainStateLogProb(const float* row, const macroClass& mac, int model, int state)
{
    float total = 0.0f;
    for (int j = 0; j < mac.streamNum; ++j) {
        const hmmStream& stream = mac.model(model).states[state].streams[j];
        double acc = -1e10;
        for (int k = 0; k < stream.mixtureNum; ++k) {
            if (stream.mixtures[k].weight <= -11.5f)
                continue;
            const double x = plainGauss(row, mac, stream.mixtures[k], j) + stream.mixtures[k].weight;
            const double hi = x > acc ? x : acc, lo = x > acc ? acc : x;
            acc = lo - hi < -23.0259 ? (hi < -5e9 ? -1e10 : hi) : hi + std::log(1.0 + std::exp(lo - hi));
        }
        total += static_cast<float>(acc);
    }
    return total;
}

// A prepared set of 5-state models; fill(stream, state) gives each stream its raw components.
template <typename Fill>
macroClass makeSet(int modelNum, const std::vector<int>& vecSizes, Fill fill)
{
    macroClass mac;
    mac.modelNum = modelNum;
    mac.streamNum = static_cast<int32_t>(vecSizes.size());
    std::copy(vecSizes.begin(), vecSizes.end(), mac.streamVecSize);
    mac.m_models.resize(static_cast<size_t>(modelNum));
    for (hmmModel& m : mac.m_models) {
        m.stateNum = 5;
        for (int s = 0; s < MAX_STATE_NUM; ++s)
            for (int j = 0; j < mac.streamNum; ++j)
                fill(m.states[s].streams[j], s);
        m.transp[0][1] = 1.0f;
        for (int s = 1; s < 4; ++s) {
            m.transp[s][s] = 0.5f + 0.1f * static_cast<float>(s);
            m.transp[s][s + 1] = 1.0f - m.transp[s][s];
        }
    }
    mac.macPrepare();
    return mac;
}

struct component {
    float weight, mean, var, gconst; // raw; one mean and variance for every dimension
};

// One model whose streams all hold `comps`, state s adding 4s to the means and 2s to the gconsts.
macroClass handSet(int streams, int vecSize, const std::vector<component>& comps)
{
    return makeSet(1, std::vector<int>(static_cast<size_t>(streams), vecSize), [&](hmmStream& st, int s) {
        st.mixtureNum = static_cast<int32_t>(comps.size());
        for (size_t k = 0; k < comps.size(); ++k) {
            st.mixtures[k].weight = comps[k].weight;
            st.mixtures[k].gconst = comps[k].gconst + 2.0f * static_cast<float>(s);
            std::fill_n(st.mixtures[k].mean, MAX_PARAM_NUM, comps[k].mean + 4.0f * static_cast<float>(s));
            std::fill_n(st.mixtures[k].var, MAX_PARAM_NUM, comps[k].var);
        }
    });
}

// Raw weights whose prepared logs are the threshold and the float just above it.
const float AT_THRESHOLD = std::exp(-11.5f);
const float ABOVE_THRESHOLD = std::exp(std::nextafter(-11.5f, 0.0f));

float score(const float* row, const macroClass& mac)
{
    return emissionScorer().stateLogProb(row, mac, 0, 0, 0);
}

} // namespace

TEST(gaussLogProbTest, HandComputedDensitiesAndStreamSum)
{
    macroClass mac = handSet(2, 2, {{1.0f, 1.0f, 0.5f, 3.0f}});
    const float row[4] = {3.0f, 0.0f, 1.0f, 2.0f};
    EXPECT_EQ(gaussLogProb(row, mac, 0, 0, 0, 0), -6.5);  // 2*2*2 + 1*1*2 = 10
    EXPECT_EQ(gaussLogProb(row, mac, 0, 0, 1, 0), -2.5);  // values 2..3: 0 + 1*1*2 = 2
    EXPECT_EQ(gaussLogProb(row, mac, 0, 1, 1, 0), -27.5); // mean 5: 4*4*2 + 3*3*2 = 50, gconst 5
    EXPECT_EQ(score(row, mac), -9.0f);
    mac.streamNum = 0;
    EXPECT_EQ(score(row, mac), 0.0f);
}

TEST(stateLogProbTest, MixtureLogAddCases)
{
    const float row[2] = {3.0f, 0.0f}; // -6.5 for gconst 3, -36.5 for gconst 63
    const double half = static_cast<float>(std::log(0.5)); // the prepared log weight
    EXPECT_EQ(score(row, handSet(1, 2, {{0.5f, 1.0f, 0.5f, 3.0f}, {0.5f, 1.0f, 0.5f, 3.0f}})),
              static_cast<float>(-6.5 + half + std::log(2.0)));
    EXPECT_EQ(score(row, handSet(1, 2, {{0.5f, 1.0f, 0.5f, 3.0f}, {0.5f, 1.0f, 0.5f, 63.0f}})),
              static_cast<float>(-6.5 + half));
    EXPECT_EQ(score(row, handSet(1, 2, {{0.5f, 1.0f, 0.5f, 63.0f}, {0.5f, 1.0f, 0.5f, 3.0f}})),
              static_cast<float>(-6.5 + half));

    // Densities 0 and just above the cut-off: ln(1 + e^d) as written (log1p rounds otherwise).
    const float atMean[2] = {1.0f, 1.0f};
    const double d = -0.5 * static_cast<double>(46.05f);
    ASSERT_NE(static_cast<float>(std::log(1.0 + std::exp(d))), static_cast<float>(std::log1p(std::exp(d))));
    EXPECT_EQ(score(atMean, handSet(1, 2, {{1.0f, 1.0f, 0.5f, 0.0f}, {1.0f, 1.0f, 0.5f, 46.05f}})),
              static_cast<float>(std::log(1.0 + std::exp(d))));
    EXPECT_EQ(score(atMean, handSet(1, 2, {{1.0f, 1.0f, 0.5f, 1.2e10f}})), -1e10f); // below -5e9: log zero

    // Weights at or below the threshold are skipped, the next float above it counts.
    macroClass low = handSet(2, 2, {{AT_THRESHOLD, 1.0f, 0.5f, 3.0f}, {1e-6f, 1.0f, 0.5f, 3.0f}});
    ASSERT_EQ(low.model(0).states[0].streams[0].mixtures[0].weight, -11.5f);
    EXPECT_EQ(score(row, low), -2e10f);
    macroClass above = handSet(1, 2, {{AT_THRESHOLD, 1.0f, 0.5f, 3.0f}, {ABOVE_THRESHOLD, 1.0f, 0.5f, 3.0f}});
    ASSERT_EQ(above.model(0).states[0].streams[0].mixtures[1].weight, std::nextafter(-11.5f, 0.0f));
    EXPECT_EQ(score(row, above), static_cast<float>(-6.5 + double{std::nextafter(-11.5f, 0.0f)}));
}

TEST(stateLogProbTest, CachesPerModelStateAndFrame)
{
    macroClass mac = handSet(1, 2, {{0.3f, 1.0f, 0.5f, 3.0f}, {0.7f, -1.0f, 2.0f, 1.0f}});
    const float rowA[2] = {0.5f, 1.5f}, rowB[2] = {-2.0f, 4.0f};
    const float a = plainStateLogProb(rowA, mac, 0, 0), b = plainStateLogProb(rowB, mac, 0, 0);
    ASSERT_NE(a, b);
    emissionScorer scorer; // grows to the model asked for
    EXPECT_EQ(scorer.stateLogProb(rowA, mac, 0, 0, 5), a);
    EXPECT_EQ(scorer.stateLogProb(rowB, mac, 0, 0, 5), a); // same frame tag: not computed again
    EXPECT_EQ(scorer.stateLogProb(rowB, mac, 0, 1, 5), plainStateLogProb(rowB, mac, 0, 1));
    EXPECT_EQ(scorer.stateLogProb(rowB, mac, 0, 0, 6), b);
    scorer.clear();
    EXPECT_EQ(scorer.stateLogProb(rowA, mac, 0, 0, 6), a);
}

TEST(modelProbTest, AlignsThreeAndFourFramesAndWarnsOnTwo)
{
    macroClass mac = handSet(1, 2, {{0.4f, 1.0f, 0.5f, 3.0f}, {0.6f, -1.0f, 2.0f, 1.0f}});
    // Rows near the means of states 0 0 1 2 2 0 1 1 2.
    const float rows[9][2] = {{0.0f, 0.0f}, {0.5f, -0.5f}, {4.0f, 4.0f}, {8.0f, 8.0f}, {8.5f, 7.5f},
                              {-0.5f, 0.0f}, {4.5f, 3.5f}, {3.5f, 4.0f}, {8.0f, 7.5f}};
    auto b = [&](int s, int f) { return plainStateLogProb(rows[f], mac, 0, s); };
    const auto& a = mac.model(0).transp;
    emissionScorer scorer(1);
    EXPECT_EQ(scorer.modelProb(&rows[0][0], 2, 2, 4, mac, 0), b(0, 2) + a[1][2] + b(1, 3) + a[2][3] + b(2, 4));
    EXPECT_EQ(scorer.stateLogProb(rows[0], mac, 0, 2, 4), b(2, 4)); // left cached under frame 4

    // Four frames: the best of the paths 0012, 0112 and 0122, each winning once.
    for (const auto& [f, best] : {std::pair(0, 0), std::pair(5, 1), std::pair(1, 2)}) {
        const float paths[3] = {b(0, f) + a[1][1] + b(0, f + 1) + a[1][2] + b(1, f + 2) + a[2][3] + b(2, f + 3),
                                b(0, f) + a[1][2] + b(1, f + 1) + a[2][2] + b(1, f + 2) + a[2][3] + b(2, f + 3),
                                b(0, f) + a[1][2] + b(1, f + 1) + a[2][3] + b(2, f + 2) + a[3][3] + b(2, f + 3)};
        EXPECT_EQ(std::max_element(paths, paths + 3) - paths, best);
        EXPECT_EQ(scorer.modelProb(&rows[0][0], 2, f, f + 3, mac, 0), paths[best]);
    }

    float shortSpan = 0.0f;
    EXPECT_EQ(testsupport::captureStdout([&] { shortSpan = scorer.modelProb(&rows[0][0], 2, 3, 4, mac, 0); }),
              "Warning in viterbiClass::modelProb: modelIdx=0, frameId1=3, frameId2=4, frameNum=2<MAX_STATE_NUM=3\n");
    EXPECT_EQ(shortSpan, -1e10f);
}

TEST(scoringFastPathTest, MatchesPlainScoringBitForBit)
{
    const scoringIsa detected = scoringIsaInUse();
    std::mt19937 gen(11);
    std::uniform_real_distribution<float> uni(-3.0f, 3.0f);
    std::uniform_int_distribution<int> size(1, MAX_PARAM_NUM), pick(0, 15);
    const float edgeWeights[4] = {0.0f, 1e-6f, AT_THRESHOLD, ABOVE_THRESHOLD};
    auto randomSet = [&](int streams, int maxMixtures) {
        std::vector<int> sizes(static_cast<size_t>(streams));
        std::generate(sizes.begin(), sizes.end(), [&] { return size(gen); });
        return makeSet(3, sizes, [&](hmmStream& st, int) {
            st.mixtureNum = std::uniform_int_distribution<int>(1, maxMixtures)(gen);
            for (hmmMixture& mix : st.mixtures) {
                const int p = pick(gen);
                mix.weight = p < 4 ? edgeWeights[p] : 0.1f + std::abs(uni(gen));
                std::generate_n(mix.mean, MAX_PARAM_NUM, [&] { return uni(gen); });
                std::generate_n(mix.var, MAX_PARAM_NUM, [&] { return 0.2f + std::abs(uni(gen)); });
                mix.gconst = 5.0f * std::abs(uni(gen));
            }
        });
    };
    int compared = 0, mismatches = 0;
    for (int streams = 1; streams <= MAX_STREAM_NUM; ++streams) {
        for (int maxMixtures : {1, 7, 9, 32}) {
            const macroClass sets[2] = {randomSet(streams, maxMixtures), randomSet(streams, maxMixtures)};
            std::vector<float> rows(8 * MAX_STREAM_NUM * MAX_PARAM_NUM);
            std::generate(rows.begin(), rows.end(), [&] { return 1.3f * uni(gen); });
            for (const scoringIsa isa : {scoringIsa::baseline, scoringIsa::avx2}) {
                if (!scoringUseIsa(isa))
                    continue;
                emissionScorer scorer(3); // the two sets in turn: its tables follow the set
                for (int r = 0; r < 16; ++r) {
                    const float* row = &rows[static_cast<size_t>(r / 2 * MAX_STREAM_NUM * MAX_PARAM_NUM)];
                    const macroClass& mac = sets[r % 2];
                    for (int m = 0; m < 3; ++m) {
                        for (int s = 0; s < MAX_STATE_NUM; ++s, ++compared) {
                            const float fast = scorer.stateLogProb(row, mac, m, s, r);
                            const float plain = plainStateLogProb(row, mac, m, s);
                            mismatches += std::bit_cast<uint32_t>(fast) != std::bit_cast<uint32_t>(plain);
                            const hmmStream* st = mac.model(m).states[s].streams;
                            for (int j = 0; j < streams; ++j)
                                for (int k = 0; k < st[j].mixtureNum; ++k)
                                    mismatches += std::bit_cast<uint64_t>(gaussLogProb(row, mac, m, s, j, k)) !=
                                                  std::bit_cast<uint64_t>(plainGauss(row, mac, st[j].mixtures[k], j));
                        }
                    }
                }
            }
        }
    }
    scoringUseIsa(detected);
    EXPECT_GT(compared, 1000);
    EXPECT_EQ(mismatches, 0);
}
