// A plain Viterbi search that copies whole histories on every branch: the obviously-correct
// version the fast search is checked against (and timed against in the benchmark).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "decoder/viterbi.h"

class dictClass;
class macroClass;
class netClass;

// A history of fixed capacity, held inside its candidate and copied with it.
template <typename T, int N>
struct fixedHistory {
    std::array<T, N> items{};
    int32_t count = 0;

    size_t size() const { return static_cast<size_t>(count); }
    void push_back(const T& entry) { items[static_cast<size_t>(count++)] = entry; }
    std::vector<T> entries() const { return std::vector<T>(items.begin(), items.begin() + count); }
};

// A candidate with its whole history, as the plain search copies it on every branch (52 KB).
struct referenceCandidate {
    int32_t stateIdx = 0;
    int32_t phoneIdx = 0;
    int32_t nodeIdx = 0;
    float score = LOG_ZERO;
    fixedHistory<sylHistoryEntry, MAX_SYL_NUM> sylHistory;
    fixedHistory<phoneHistoryEntry, MAX_PHONE_NUM> phoneHistory;
};

class referenceViterbi {
public:
    referenceViterbi(int32_t arenaLen, int32_t modelNum);

    // As viterbiClass::viterbiSearch and viterbiClass::selectBestCandidate.
    int viterbiSearch(netClass& net, const dictClass& dict, const float* features, int dim, int frameNum,
                      int candidateNum, const macroClass& models, float probTh, int useDescCandidateNum);
    int selectBestCandidate(int count, const netClass& net, const dictClass& dict) const;
    // Candidate i in sorted order.
    const referenceCandidate& candidate(int i) const;

    int32_t m_arenaLen;

private:
    referenceCandidate& at(int i) { return m_slots.at(static_cast<size_t>(m_order.at(static_cast<size_t>(i)))); }
    int firstModel(int node) const;
    int checkedModel(int id) const;
    float emission(int model, int state, int t);
    void appendSyl(referenceCandidate& c, int32_t sylIndex, int32_t node, int32_t frame, float score) const;
    void appendPhone(referenceCandidate& c, int32_t phoneIdx, int32_t frame, float score) const;
    void sortRange(int lo, int hi);

    // Plain state scores (one Gaussian at a time), cached per model and state for one frame.
    std::vector<std::array<int32_t, 3>> m_cacheTags;
    std::vector<std::array<float, 3>> m_cacheValues;
    std::vector<referenceCandidate> m_slots;
    std::vector<int> m_order;
    netClass* m_net = nullptr;
    const dictClass* m_dict = nullptr;
    const macroClass* m_models = nullptr;
    const float* m_features = nullptr;
    int m_dim = 0;
};
