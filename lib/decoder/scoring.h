// Acoustic scoring: log densities of model states for feature rows, with a per-frame cache, and
// the alignment of a single model over a span of frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class macroClass;

// Log density of mixture component k of stream j of state s of a model, for a feature row.
double gaussLogProb(const float* row, const macroClass& models, int model, int state, int stream, int component);

class emissionScorer {
public:
    // One cache entry per model of a set of modelNum models, all empty.
    explicit emissionScorer(int32_t modelNum = 0);

    // Sum over the streams of the log-added mixture densities of state `state` of `model` for the
    // row, cached per model and state under frameTag (which must name the row's frame).
    float stateLogProb(const float* row, const macroClass& models, int model, int state, int frameTag);
    // Best three-state left-to-right alignment score of one model over frames f1..f2 (both
    // included) of the matrix (row t at features + t * dim); -1e10 with a warning for spans
    // shorter than three frames.
    float modelProb(const float* features, int dim, int f1, int f2, const macroClass& models, int model);
    // Empties every cache entry.
    void clear();

private:
    struct cacheEntry {
        int32_t tag[3];
        float value[3];
    };
    // The components of one stream of one state that pass the weight threshold, in their order,
    // as a block of its model's data: per dimension `padded` means then `padded` inverse variances,
    // then `padded` gconsts and `padded` log weights (padded = count rounded up to a multiple of 8).
    struct componentBlock {
        size_t offset = 0;
        int32_t count = 0;
    };
    struct modelBlocks {
        bool built = false;
        componentBlock blocks[3][3]; // [state][stream]
        std::vector<float> data;
    };

    float computeState(const float* row, const macroClass& models, int model, int state);
    void useModelSet(const macroClass& models);
    void buildBlocks(const macroClass& models, int model);

    std::vector<cacheEntry> m_cache;

    // Component blocks of the set in use, built per model on first use. They are keyed on the
    // set's address, model count, record array and stream layout, not on the values: a set must
    // not be changed, nor read again, while a scorer uses it.
    const macroClass* m_set = nullptr;
    const void* m_setRecords = nullptr;
    int32_t m_setModelNum = 0;
    int32_t m_streamNum = 0;
    int32_t m_vecSize[3] = {0, 0, 0};
    std::vector<modelBlocks> m_blocks;
};
