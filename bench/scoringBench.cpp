// State scoring speed: the scorer (with the kernels the processor allows and with the baseline
// ones) against the plain loop over the components, on a synthetic set and feature rows drawn
// around its means. Every request is a new model, state and frame, so nothing comes from the cache.
#include "benchTiming.h"
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "decoder/scoring.h"
#include "decoder/scoringIsa.h"
#include "model/macro.h"
#include "support/syntheticModels.h"

namespace {

constexpr int MODELS = 200;
constexpr int REQUESTS = 1000000;
constexpr int PAIRS = MODELS * MAX_STATE_NUM; // (model, state) pairs scored per frame

// The state score the plain way: gaussLogProb for each component, log-added one after the other.
float plainStateLogProb(const float* row, const macroClass& models, int model, int state)
{
    float total = 0.0f;
    for (int j = 0; j < models.streamNum; ++j) {
        const hmmStream& stream = models.model(model).states[state].streams[j];
        double acc = -1e10;
        for (int k = 0; k < stream.mixtureNum; ++k) {
            if (stream.mixtures[k].weight <= -11.5f)
                continue;
            const double x = gaussLogProb(row, models, model, state, j, k) + stream.mixtures[k].weight;
            const double hi = x > acc ? x : acc, lo = x > acc ? acc : x;
            acc = lo - hi < -23.0259 ? (hi < -5e9 ? -1e10 : hi) : hi + std::log(1.0 + std::exp(lo - hi));
        }
        total += static_cast<float>(acc);
    }
    return total;
}


// Frame f scores pair i % PAIRS of request i against row f.
template <typename Score>
void scoreAll(std::vector<float>& out, Score score)
{
    for (int i = 0; i < REQUESTS; ++i) {
        const int pair = i % PAIRS;
        out[static_cast<size_t>(i)] = score(i / PAIRS, pair / MAX_STATE_NUM, pair % MAX_STATE_NUM);
    }
}

} // namespace

int main()
{
    namespace fs = std::filesystem;
    const std::string path = (fs::temp_directory_path() / "recite-bench-scoring.mac").string();
    {
        std::ofstream out(path, std::ios::binary);
        out << syntheticMacroText(MODELS, 3, 32, 9);
    }
    macroClass models;
    models.macRead(path);
    fs::remove(path);

    // Each row lies around the means of one random component per stream of a random state.
    const int dim = 3 * MAX_PARAM_NUM;
    const int frames = (REQUESTS + PAIRS - 1) / PAIRS;
    std::mt19937 gen(3);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::vector<float> rows(static_cast<size_t>(frames * dim));
    for (int f = 0; f < frames; ++f) {
        const hmmState& st = models.model(static_cast<int>(gen() % MODELS)).states[gen() % MAX_STATE_NUM];
        for (int j = 0; j < 3; ++j) {
            const hmmMixture& mix = st.streams[j].mixtures[gen() % MAX_MIXTURE_NUM];
            for (int d = 0; d < MAX_PARAM_NUM; ++d)
                rows[static_cast<size_t>(f * dim + j * MAX_PARAM_NUM + d)] =
                    mix.mean[d] + noise(gen) / std::sqrt(mix.var[d]);
        }
    }
    const auto row = [&](int f) { return &rows[static_cast<size_t>(f * dim)]; };

    std::vector<float> plain(REQUESTS), fast(REQUESTS), baseline(REQUESTS);
    const double plainSeconds = bestSeconds(
        [&] { scoreAll(plain, [&](int f, int m, int s) { return plainStateLogProb(row(f), models, m, s); }); });
    const auto timeScorer = [&](std::vector<float>& out) {
        return bestSeconds([&] {
            emissionScorer scorer(models.modelNum);
            scoreAll(out, [&](int f, int m, int s) { return scorer.stateLogProb(row(f), models, m, s, f); });
        });
    };
    const scoringIsa detected = scoringIsaInUse();
    const double fastSeconds = timeScorer(fast);
    scoringUseIsa(scoringIsa::baseline);
    const double baselineSeconds = timeScorer(baseline);
    scoringUseIsa(detected);

    const bool same = std::memcmp(plain.data(), fast.data(), plain.size() * sizeof(float)) == 0 &&
                      std::memcmp(plain.data(), baseline.data(), plain.size() * sizeof(float)) == 0;
    std::printf("scoring: 1e6 state scores (3 streams x 32 mixtures): %.3f s with %s kernels (baseline %.3f s, "
                "scalar %.3f s)%s\n",
                fastSeconds, detected == scoringIsa::avx2 ? "AVX2" : "baseline", baselineSeconds, plainSeconds,
                same ? "" : " RESULTS DIFFER");
    return same ? 0 : 1;
}
