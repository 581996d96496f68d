#include "decoder/scoring.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "common/console.h"
#include "common/fatalError.h"
#include "decoder/scoringIsa.h"
#include "model/macro.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RECITE_SCORING_X86 1
#endif

// The distances are summed lane by lane, each lane over the dimensions in order with a separate
// multiply and add, so every kernel gives the bits of the plain loop of gaussLogProb. A fused
// multiply-add would round differently: the kernels must never be compiled with FMA enabled.

namespace {

constexpr float MIX_WEIGHT_FLOOR = -11.5f; // log weights at or below it are skipped
constexpr double LOG_ADD_CUTOFF = -23.0259; // ln 1e-10
constexpr double LOG_ZERO_TEST = -5e9;
constexpr double LOG_ZERO_D = -1e10;
constexpr float LOG_ZERO_F = -1e10f;
constexpr int BLOCK_LANES = 8;                                // components per group of a block
constexpr int MAX_GROUPS = MAX_MIXTURE_NUM / BLOCK_LANES;     // groups of a full stream

static_assert(MAX_STATE_NUM == 3 && MAX_STREAM_NUM == 3, "the cache and the block table hold 3 x 3 entries");
static_assert(MAX_MIXTURE_NUM % BLOCK_LANES == 0, "a full stream is a whole number of groups");

int clampCount(int32_t n, int capacity)
{
    return std::clamp(static_cast<int>(n), 0, capacity);
}

// Floats of a block of `groups` groups over n dimensions.
size_t blockFloats(int n, int groups)
{
    return static_cast<size_t>(2 * n + 2) * static_cast<size_t>(groups * BLOCK_LANES);
}

// Writes the log density plus log weight, -0.5 * (gconst + distance) + weight, of every lane of a
// block of G groups to out (G * 8 values).
using distanceKernel = void (*)(const float* x, int n, const float* block, double* out);

typedef float v4f __attribute__((vector_size(16)));
typedef double v2d __attribute__((vector_size(16)));

inline v4f load4(const float* p)
{
    v4f v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Four lanes of the base instruction set, in plain vector arithmetic.
template <int G>
void distancesBaseline(const float* x, int n, const float* block, double* out)
{
    constexpr int V = 2 * G;
    constexpr int padded = G * BLOCK_LANES;
    v4f acc[V];
    for (v4f& a : acc)
        a = v4f{0.0f, 0.0f, 0.0f, 0.0f};
    const float* p = block;
    for (int d = 0; d < n; ++d, p += 2 * padded) {
        const v4f xd = {x[d], x[d], x[d], x[d]};
        for (int v = 0; v < V; ++v) {
            const v4f diff = xd - load4(p + 4 * v);
            const v4f sq = diff * diff;
            const v4f term = sq * load4(p + padded + 4 * v);
            acc[v] = acc[v] + term;
        }
    }
    const v2d minusHalf = {-0.5, -0.5};
    for (int v = 0; v < V; ++v) {
        const v4f total = load4(p + 4 * v) + acc[v];
        const v4f weight = load4(p + padded + 4 * v);
        for (int h = 0; h < 2; ++h) {
            const v2d t = {static_cast<double>(total[2 * h]), static_cast<double>(total[2 * h + 1])};
            const v2d w = {static_cast<double>(weight[2 * h]), static_cast<double>(weight[2 * h + 1])};
            const v2d density = minusHalf * t + w;
            std::memcpy(out + 4 * v + 2 * h, &density, sizeof density);
        }
    }
}

const distanceKernel BASELINE_KERNELS[MAX_GROUPS] = {distancesBaseline<1>, distancesBaseline<2>,
                                                     distancesBaseline<3>, distancesBaseline<4>};

#ifdef RECITE_SCORING_X86
// Eight lanes of AVX (dispatched on AVX2 support). No FMA: see the note at the top.
template <int G>
__attribute__((target("avx2"))) void distancesAvx2(const float* x, int n, const float* block, double* out)
{
    constexpr int padded = G * BLOCK_LANES;
    __m256 acc[G];
    for (__m256& a : acc)
        a = _mm256_setzero_ps();
    const float* p = block;
    for (int d = 0; d < n; ++d, p += 2 * padded) {
        const __m256 xd = _mm256_set1_ps(x[d]);
        for (int g = 0; g < G; ++g) {
            const __m256 diff = _mm256_sub_ps(xd, _mm256_loadu_ps(p + 8 * g));
            const __m256 sq = _mm256_mul_ps(diff, diff);
            const __m256 term = _mm256_mul_ps(sq, _mm256_loadu_ps(p + padded + 8 * g));
            acc[g] = _mm256_add_ps(acc[g], term);
        }
    }
    const __m256d minusHalf = _mm256_set1_pd(-0.5);
    for (int g = 0; g < G; ++g) {
        const __m256 total = _mm256_add_ps(_mm256_loadu_ps(p + 8 * g), acc[g]);
        const __m256 weight = _mm256_loadu_ps(p + padded + 8 * g);
        const __m256d lo = _mm256_add_pd(_mm256_mul_pd(minusHalf, _mm256_cvtps_pd(_mm256_castps256_ps128(total))),
                                         _mm256_cvtps_pd(_mm256_castps256_ps128(weight)));
        const __m256d hi = _mm256_add_pd(_mm256_mul_pd(minusHalf, _mm256_cvtps_pd(_mm256_extractf128_ps(total, 1))),
                                         _mm256_cvtps_pd(_mm256_extractf128_ps(weight, 1)));
        _mm256_storeu_pd(out + 8 * g, lo);
        _mm256_storeu_pd(out + 8 * g + 4, hi);
    }
}

const distanceKernel AVX2_KERNELS[MAX_GROUPS] = {distancesAvx2<1>, distancesAvx2<2>, distancesAvx2<3>,
                                                 distancesAvx2<4>};
#endif

bool processorHas(scoringIsa isa)
{
#ifdef RECITE_SCORING_X86
    if (isa == scoringIsa::avx2) {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    }
#endif
    return isa == scoringIsa::baseline;
}

scoringIsa& activeIsa()
{
    static scoringIsa isa = processorHas(scoringIsa::avx2) ? scoringIsa::avx2 : scoringIsa::baseline;
    return isa;
}

const distanceKernel* activeKernels()
{
#ifdef RECITE_SCORING_X86
    if (activeIsa() == scoringIsa::avx2)
        return AVX2_KERNELS;
#endif
    return BASELINE_KERNELS;
}

// Log-adds x into acc, the larger first (acc when they are equal).
inline double logAdd(double acc, double x)
{
    const double hi = x > acc ? x : acc;
    const double lo = x > acc ? acc : x;
    const double d = lo - hi;
    if (d < LOG_ADD_CUTOFF)
        return hi < LOG_ZERO_TEST ? LOG_ZERO_D : hi;
    return hi + std::log(1.0 + std::exp(d));
}

// Copies the densities of each stream's components that can change its log-add sum to kept[j], in
// their order, and their number to keptNum[j]; the others are left out. The streams run side by
// side without branches, so that the three running maxima do not wait on one another.
//
// Leaving them out is exact. Once a density of at least -5e9 is in, the sum is at least the
// largest density so far, as a log-add never lowers its larger operand (ln(1 + e^d) >= 0).
// `floor` is that largest density (capped at 1e12) less 23.03, off by less than 1e-4 after
// rounding; a later density x at or below it gives d <= -23.0299 even after rounding, so that the
// log-add would leave the sum as it is.
void logAddCandidates(const double (&densities)[MAX_STREAM_NUM][MAX_MIXTURE_NUM], const int (&counts)[MAX_STREAM_NUM],
                      int longest, double (&kept)[MAX_STREAM_NUM][MAX_MIXTURE_NUM], int (&keptNum)[MAX_STREAM_NUM])
{
    constexpr double SKIP_BELOW = 23.03;
    constexpr double SKIP_CAP = 1e12;
    double floor[MAX_STREAM_NUM];
    std::fill(std::begin(floor), std::end(floor), -std::numeric_limits<double>::infinity());
    std::fill(std::begin(keptNum), std::end(keptNum), 0);
    for (int k = 0; k < longest; ++k) {
        for (int j = 0; j < MAX_STREAM_NUM; ++j) {
            const double x = densities[j][k];
            kept[j][keptNum[j]] = x;
            keptNum[j] += static_cast<int>(k < counts[j]) &
                          (static_cast<int>(!(x <= floor[j])) | static_cast<int>(floor[j] < LOG_ZERO_TEST));
            const double f = (x > SKIP_CAP ? SKIP_CAP : x) - SKIP_BELOW;
            floor[j] = f > floor[j] ? f : floor[j];
        }
    }
}

} // namespace

scoringIsa scoringIsaInUse()
{
    return activeIsa();
}

bool scoringUseIsa(scoringIsa isa)
{
    if (!processorHas(isa))
        return false;
    activeIsa() = isa;
    return true;
}

double gaussLogProb(const float* row, const macroClass& models, int model, int state, int stream, int component)
{
    const int n = clampCount(models.streamVecSize[stream], MAX_PARAM_NUM);
    const float* x = row + stream * n;
    const hmmMixture& mix = models.model(model).states[state].streams[stream].mixtures[component];
    float sum = 0.0f;
    for (int d = 0; d < n; ++d)
        sum += (x[d] - mix.mean[d]) * (x[d] - mix.mean[d]) * mix.var[d];
    return -0.5 * static_cast<double>(mix.gconst + sum);
}

emissionScorer::emissionScorer(int32_t modelNum)
    : m_cache(static_cast<size_t>(std::max(modelNum, 0)), cacheEntry{{-1, -1, -1}, {0.0f, 0.0f, 0.0f}})
{
}

void emissionScorer::clear()
{
    for (cacheEntry& entry : m_cache)
        std::fill(std::begin(entry.tag), std::end(entry.tag), -1);
}

float emissionScorer::stateLogProb(const float* row, const macroClass& models, int model, int state, int frameTag)
{
    if (model < 0 || state < 0 || state >= MAX_STATE_NUM)
        fatalError("Error in emissionScorer::stateLogProb: model %d, state %d out of range\n", model, state);
    if (static_cast<size_t>(model) >= m_cache.size())
        m_cache.resize(static_cast<size_t>(model) + 1, cacheEntry{{-1, -1, -1}, {0.0f, 0.0f, 0.0f}});
    cacheEntry& entry = m_cache[static_cast<size_t>(model)];
    if (entry.tag[state] == frameTag)
        return entry.value[state];
    const float total = computeState(row, models, model, state);
    entry.tag[state] = frameTag;
    entry.value[state] = total;
    return total;
}

float emissionScorer::computeState(const float* row, const macroClass& models, int model, int state)
{
    if (&models != m_set || models.modelNum != m_setModelNum || models.m_models.data() != m_setRecords ||
        models.streamNum != m_streamNum ||
        !std::equal(std::begin(m_vecSize), std::end(m_vecSize), models.streamVecSize))
        useModelSet(models);
    if (static_cast<size_t>(model) >= m_blocks.size())
        fatalError("Error in emissionScorer::stateLogProb: model %d of a set of %d\n", model, models.modelNum);
    modelBlocks& blocks = m_blocks[static_cast<size_t>(model)];
    if (!blocks.built)
        buildBlocks(models, model);

    // The densities of every stream first, so that their table reads overlap; then the components
    // that can count; then the log-adds, one sequential chain per stream, run side by side so that
    // their exp and log calls overlap.
    const distanceKernel* kernels = activeKernels();
    const int streams = clampCount(m_streamNum, MAX_STREAM_NUM);
    alignas(32) double densities[MAX_STREAM_NUM][MAX_MIXTURE_NUM];
    int counts[MAX_STREAM_NUM] = {0, 0, 0};
    int written[MAX_STREAM_NUM] = {0, 0, 0};
    int longest = 0;
    for (int j = 0; j < streams; ++j) {
        const componentBlock& b = blocks.blocks[state][j];
        if (b.count == 0)
            continue;
        const int n = clampCount(m_vecSize[j], MAX_PARAM_NUM);
        const int groups = (b.count + BLOCK_LANES - 1) / BLOCK_LANES;
        kernels[groups - 1](row + j * n, n, blocks.data.data() + b.offset, densities[j]);
        counts[j] = b.count;
        written[j] = groups * BLOCK_LANES;
        longest = std::max(longest, b.count);
    }
    for (int j = 0; j < MAX_STREAM_NUM; ++j) // the candidate scan reads every stream up to `longest`
        std::fill(densities[j] + std::min(written[j], longest), densities[j] + longest, 0.0);
    double kept[MAX_STREAM_NUM][MAX_MIXTURE_NUM];
    int keptNum[MAX_STREAM_NUM];
    logAddCandidates(densities, counts, longest, kept, keptNum);
    const int keptMost = *std::max_element(std::begin(keptNum), std::end(keptNum));

    double acc[MAX_STREAM_NUM] = {LOG_ZERO_D, LOG_ZERO_D, LOG_ZERO_D};
    for (int k = 0; k < keptMost; ++k) {
        for (int j = 0; j < streams; ++j) {
            if (k < keptNum[j])
                acc[j] = logAdd(acc[j], kept[j][k]);
        }
    }
    float total = 0.0f;
    for (int j = 0; j < streams; ++j)
        total += static_cast<float>(acc[j]);
    return total;
}

void emissionScorer::useModelSet(const macroClass& models)
{
    m_set = &models;
    m_setRecords = models.m_models.data();
    m_setModelNum = models.modelNum;
    m_streamNum = models.streamNum;
    std::copy(std::begin(models.streamVecSize), std::end(models.streamVecSize), m_vecSize);
    const size_t held = std::min(static_cast<size_t>(std::max(models.modelNum, 0)), models.m_models.size());
    m_blocks.assign(held, modelBlocks{});
}

void emissionScorer::buildBlocks(const macroClass& models, int model)
{
    modelBlocks& out = m_blocks[static_cast<size_t>(model)];
    const hmmModel& record = models.model(model);
    const int streams = clampCount(m_streamNum, MAX_STREAM_NUM);
    auto kept = [](const hmmMixture& mix) { return !(mix.weight <= MIX_WEIGHT_FLOOR); };
    size_t size = 0;
    for (int s = 0; s < MAX_STATE_NUM; ++s) {
        for (int j = 0; j < streams; ++j) {
            const hmmStream& stream = record.states[s].streams[j];
            const hmmMixture* mixtures = stream.mixtures;
            componentBlock& b = out.blocks[s][j];
            b.offset = size;
            b.count = static_cast<int32_t>(
                std::count_if(mixtures, mixtures + clampCount(stream.mixtureNum, MAX_MIXTURE_NUM), kept));
            if (b.count > 0)
                size += blockFloats(clampCount(m_vecSize[j], MAX_PARAM_NUM), (b.count + BLOCK_LANES - 1) / BLOCK_LANES);
        }
    }
    out.data.assign(size, 0.0f); // padding lanes stay zero

    for (int s = 0; s < MAX_STATE_NUM; ++s) {
        for (int j = 0; j < streams; ++j) {
            const hmmStream& stream = record.states[s].streams[j];
            const componentBlock& b = out.blocks[s][j];
            const int n = clampCount(m_vecSize[j], MAX_PARAM_NUM);
            const size_t padded = static_cast<size_t>((b.count + BLOCK_LANES - 1) / BLOCK_LANES * BLOCK_LANES);
            float* block = out.data.data() + b.offset;
            size_t lane = 0;
            for (int k = 0; k < clampCount(stream.mixtureNum, MAX_MIXTURE_NUM); ++k) {
                const hmmMixture& mix = stream.mixtures[k];
                if (!kept(mix))
                    continue;
                for (int d = 0; d < n; ++d) {
                    block[2 * padded * static_cast<size_t>(d) + lane] = mix.mean[d];
                    block[2 * padded * static_cast<size_t>(d) + padded + lane] = mix.var[d];
                }
                block[2 * padded * static_cast<size_t>(n) + lane] = mix.gconst;
                block[2 * padded * static_cast<size_t>(n) + padded + lane] = mix.weight;
                ++lane;
            }
        }
    }
    out.built = true;
}

float emissionScorer::modelProb(const float* features, int dim, int f1, int f2, const macroClass& models, int model)
{
    const int frameNum = f2 - f1 + 1;
    if (frameNum < MAX_STATE_NUM) {
        conPrintf("Warning in viterbiClass::modelProb: modelIdx=%d, frameId1=%d, frameId2=%d, "
                  "frameNum=%d<MAX_STATE_NUM=%d\n",
                  model, f1, f2, frameNum, MAX_STATE_NUM);
        return LOG_ZERO_F;
    }
    if (model < 0 || model >= models.modelNum || static_cast<size_t>(model) >= models.m_models.size())
        fatalError("Error in viterbiClass::modelProb: model %d of a set of %d\n", model, models.modelNum);
    const auto& a = models.model(model).transp;
    auto b = [&](int s, int t) {
        const float* row = features + static_cast<ptrdiff_t>(f1 + t) * dim;
        return stateLogProb(row, models, model, s, f1 + t);
    };

    // Only the previous row of the alignment table is needed.
    float prev[MAX_STATE_NUM] = {b(0, 0), LOG_ZERO_F, LOG_ZERO_F};
    for (int t = 1; t < frameNum; ++t) {
        float cur[MAX_STATE_NUM];
        cur[0] = prev[0] + a[1][1] + b(0, t);
        for (int s = 1; s < MAX_STATE_NUM; ++s)
            cur[s] = std::max(prev[s - 1] + a[s][s + 1], prev[s] + a[s + 1][s + 1]) + b(s, t);
        std::copy(std::begin(cur), std::end(cur), prev);
    }
    return prev[MAX_STATE_NUM - 1];
}
