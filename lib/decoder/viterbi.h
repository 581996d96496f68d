// The decoder: acoustic scoring of frames against model states, and the frame-synchronous Viterbi
// search of a recognition network.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decoder/scoring.h"

class dictClass;
class macroClass;
class netClass;

constexpr int MAX_SYL_NUM = 1000;          // node entries of one history
constexpr int MAX_PHONE_NUM = 3000;        // phone entries of one history
constexpr int MAX_STATE_NUM_IN_SYL = 150;  // phone-and-state positions of one node
constexpr float LOG_ZERO = -1e10f;

// One node left by a path: its dictionary entry, the node, its last frame and the path's score
// recorded then.
struct sylHistoryEntry {
    int32_t sylIndex;
    int32_t nodeIdx;
    int32_t lastFrame;
    float score;
};

// One phone left by a path: its position in the node's entry, its last frame, the score then.
struct phoneHistoryEntry {
    int32_t phoneIdx;
    int32_t lastFrame;
    float score;
};

// A search candidate. Its history lives in the search's history store: lastSyl and lastPhone are
// the store positions of its newest entries (-1: none), each entry linking to the one before.
struct searchCandidate {
    int32_t stateIdx = 0;
    int32_t phoneIdx = 0;
    int32_t nodeIdx = 0;
    int32_t sylNum = 0;
    float score = LOG_ZERO;
    int32_t phoneNum = 0;
    int32_t lastSyl = -1;
    int32_t lastPhone = -1;
};

class viterbiClass {
public:
    viterbiClass(int32_t arenaLen, int32_t modelNum);
    ~viterbiClass();
    viterbiClass(const viterbiClass&) = delete;
    viterbiClass& operator=(const viterbiClass&) = delete;

    // Aligns frameNum feature rows (row t at features + t * dim) with the network; gives the
    // number of candidates left, sorted best first, with their final history entries.
    int viterbiSearch(netClass& net, const dictClass& dict, const float* features, int dim, int frameNum,
                      int candidateNum, const macroClass& models, float probTh, int useDescCandidateNum);
    // The first candidate (of `count`, in order) whose path is complete, or -1.
    int selectBestCandidate(int count, const netClass& net, const dictClass& dict) const;

    // Candidate i in sorted order (any slot of the arena), and the history in time order of one of
    // the candidates that the last search gave.
    const searchCandidate& candidate(int i) const;
    std::vector<sylHistoryEntry> sylHistory(int i) const;
    std::vector<phoneHistoryEntry> phoneHistory(int i) const;
    // Entries held by the history store, node and phone entries together.
    size_t historyStoreSize() const;

    // Acoustic scoring, shared by the search and the assessment (see emissionScorer).
    float stateLogProb(const float* row, const macroClass& models, int model, int state, int frameTag)
    {
        return m_scorer.stateLogProb(row, models, model, state, frameTag);
    }
    float modelProb(const float* features, int dim, int f1, int f2, const macroClass& models, int model)
    {
        return m_scorer.modelProb(features, dim, f1, f2, models, model);
    }

    int32_t m_arenaLen = 0;

private:
    emissionScorer m_scorer;
    struct searchState;
    std::unique_ptr<searchState> m_search;
};
