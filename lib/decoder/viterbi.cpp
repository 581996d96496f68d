#include "decoder/viterbi.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <numeric>
#include <utility>

#include "common/console.h"
#include "common/fatalError.h"
#include "lexicon/dict.h"
#include "model/macro.h"
#include "net/net.h"

namespace {

const char* const UNIT = "lib\\viterbi";

// Candidates that receive the entries of the last frame when the search ends.
constexpr int FINAL_ENTRY_CANDIDATES = 101;
// The history store is compacted once it holds twice what survived the last compaction plus a
// slack: this base and the most that one frame can append (a node and a phone entry per copy).
constexpr size_t COMPACTION_BASE = 64;

// History store records: an entry of a candidate's history and the position of the entry before it.
struct nodeRecord {
    int32_t sylIndex;
    int32_t nodeIdx;
    int32_t lastFrame;
    float score;
    int32_t prev;
};

struct phoneRecord {
    int32_t phoneIdx;
    int32_t lastFrame;
    float score;
    int32_t prev;
};

// Marks the entries reachable from `last` (walking back until an entry already marked) with -2
// in `remap`, which holds -1 for the entries not reached yet.
template <typename Record>
void markReachable(const std::vector<Record>& store, std::vector<int32_t>& remap, int32_t last)
{
    for (int32_t e = last; e >= 0 && remap[static_cast<size_t>(e)] == -1; e = store[static_cast<size_t>(e)].prev)
        remap[static_cast<size_t>(e)] = -2;
}

// Moves the marked entries to the front, in store order, and sets remap to their new positions.
// An entry's predecessor is older, so it has been moved (and remapped) before the entry itself.
template <typename Record>
void keepMarked(std::vector<Record>& store, std::vector<int32_t>& remap)
{
    int32_t kept = 0;
    for (size_t e = 0; e < store.size(); ++e) {
        if (remap[e] != -2)
            continue;
        Record rec = store[e];
        if (rec.prev >= 0)
            rec.prev = remap[static_cast<size_t>(rec.prev)];
        remap[e] = kept;
        store[static_cast<size_t>(kept++)] = rec;
    }
    store.resize(static_cast<size_t>(kept));
}

} // namespace

// The arena, the candidate order, the history store and the scratch of one search object. The
// network, dictionary, models and features are those of the search running.
struct viterbiClass::searchState {
    std::vector<searchCandidate> slots;
    std::vector<int32_t> order; // candidate i is slots[order[i]]
    int32_t leftCount = 0;      // candidates given by the last search

    std::vector<nodeRecord> nodeStore;
    std::vector<phoneRecord> phoneStore;
    size_t compactAt = 0; // store size that triggers the next compaction
    std::vector<int32_t> nodeRemap;
    std::vector<int32_t> phoneRemap;

    std::vector<int32_t> tableFrame; // per network node: frame whose recombination last reset its table
    std::vector<float> keys;         // scores in candidate order while sorting
    std::vector<std::pair<int32_t, int32_t>> ranges; // ranges still to sort

    emissionScorer* scorer = nullptr;
    std::vector<netNode>* nodes = nullptr;
    const dictClass* dict = nullptr;
    const macroClass* models = nullptr;
    const float* features = nullptr;
    size_t dim = 0;
    int frameNum = 0;
    int endNode = -1;
    int arenaLen = 0;

    void allocate(int len)
    {
        arenaLen = len;
        slots.assign(static_cast<size_t>(len), searchCandidate{});
        order.resize(static_cast<size_t>(len));
        std::iota(order.begin(), order.end(), 0);
    }

    searchCandidate& at(int i) { return slots[static_cast<size_t>(order[static_cast<size_t>(i)])]; }
    const searchCandidate& at(int i) const { return slots[static_cast<size_t>(order[static_cast<size_t>(i)])]; }
    netNode& node(int idx) { return (*nodes)[static_cast<size_t>(idx)]; }

    float emission(int model, int state, int t)
    {
        return scorer->stateLogProb(features + static_cast<size_t>(t) * dim, *models, model, state, t);
    }

    // The models of a node that a candidate enters; checks the node and its dictionary entry.
    const std::vector<int32_t>& modelIdsOf(int32_t idx)
    {
        if (idx < 0 || static_cast<size_t>(idx) >= nodes->size())
            fatalError("Error in the Viterbi search: node %d is not in the network of %zu nodes", idx, nodes->size());
        const int32_t syl = node(idx).sylIndex;
        if (syl < 0 || static_cast<size_t>(syl) >= dict->m_pronDict.size() ||
            dict->m_pronDict[static_cast<size_t>(syl)].modelIds.empty())
            fatalError("Error in the Viterbi search: node %d (sylIndex=%d) has no pronunciation with models", idx, syl);
        return dict->m_pronDict[static_cast<size_t>(syl)].modelIds;
    }

    // A model that a candidate enters, checked against the set.
    int32_t checkedModel(int32_t id)
    {
        const size_t held = std::min(static_cast<size_t>(std::max(models->modelNum, 0)), models->m_models.size());
        if (id < 0 || static_cast<size_t>(id) >= held)
            fatalError("Error in the Viterbi search: model %d is not in the model set of %zu models", id, held);
        const int32_t states = models->model(id).stateNum;
        if (states < 3 || states > MAX_MODEL_STATE_NUM)
            fatalError("Error in the Viterbi search: model %d (%.*s) has %d states, but 3 to %d are needed", id,
                       static_cast<int>(strnlen(models->model(id).name, MODEL_NAME_SIZE)), models->model(id).name,
                       states, MAX_MODEL_STATE_NUM);
        return id;
    }

    size_t slack() const { return COMPACTION_BASE + 2 * static_cast<size_t>(arenaLen); }

    void appendNode(searchCandidate& c, int32_t sylIndex, int32_t nodeIdx, int32_t frame, float score)
    {
        if (c.sylNum >= MAX_SYL_NUM)
            fatalError("MAX_SYL_NUM exceeded! (line %d of file %s)", 388, UNIT);
        if (nodeStore.size() >= static_cast<size_t>(INT32_MAX))
            fatalError("Error in the Viterbi search: the history store is full");
        nodeStore.push_back(nodeRecord{sylIndex, nodeIdx, frame, score, c.lastSyl});
        c.lastSyl = static_cast<int32_t>(nodeStore.size() - 1);
        ++c.sylNum;
    }

    void appendPhone(searchCandidate& c, int32_t phoneIdx, int32_t frame, float score)
    {
        if (c.phoneNum >= MAX_PHONE_NUM)
            fatalError("MAX_PHONE_NUM (%d) exceeded! (line %d of file %s)", MAX_PHONE_NUM, 403, UNIT);
        if (phoneStore.size() >= static_cast<size_t>(INT32_MAX))
            fatalError("Error in the Viterbi search: the history store is full");
        phoneStore.push_back(phoneRecord{phoneIdx, frame, score, c.lastPhone});
        c.lastPhone = static_cast<int32_t>(phoneStore.size() - 1);
        ++c.phoneNum;
    }

    // Every slot empty and dead, the order the storage order, the history store empty.
    void initCandidates()
    {
        scorer->clear();
        std::fill(slots.begin(), slots.end(), searchCandidate{});
        std::iota(order.begin(), order.end(), 0);
        nodeStore.clear();
        phoneStore.clear();
        compactAt = slack();
        tableFrame.assign(nodes->size(), -1);
    }

    void seed(int k, int32_t idx)
    {
        const int32_t model = checkedModel(modelIdsOf(idx)[0]);
        searchCandidate& c = at(k);
        c.nodeIdx = idx;
        c.score = emission(model, 0, 0);
    }

    void arenaFull(int t, int i, int lastPos)
    {
        conPrintf("Warning: Arena is full! frameId=%d, candidateId=%d, lastPos (%d) > m_arenaLen-1 (%d)!\n", t, i,
                  lastPos, arenaLen - 1);
    }

    void arenaFullOnBranch(int t, int i, int n, size_t branch, size_t branches, int lastPos)
    {
        conPrintf("Warning: Arena is full! frameId=%d/%d, candidateId=%d/%d, branchId=%d/%d, lastPos (%d) > "
                  "m_arenaLen-1 (%d)!\n",
                  t, frameNum, i, n, static_cast<int>(branch), static_cast<int>(branches), lastPos, arenaLen - 1);
    }

    // Advances the n candidates by frame t; gives the next free slot.
    int expand(int t, int n)
    {
        int lastPos = n;
        bool full = false;
        for (int i = 0; i < n && !full; ++i) {
            searchCandidate& c = at(i);
            if (!(c.score > LOG_ZERO))
                continue;
            // A live candidate's node, entry and model were checked when it entered them.
            const netNode& from = node(c.nodeIdx);
            const std::vector<int32_t>& ids = dict->m_pronDict[static_cast<size_t>(from.sylIndex)].modelIds;
            const int32_t m = ids[static_cast<size_t>(c.phoneIdx)];
            const hmmModel& model = models->model(m);
            const int s = c.stateIdx;
            const float leave = model.transp[s + 1][s + 2];

            if (s + 3 < model.stateNum || static_cast<size_t>(c.phoneIdx) + 1 < ids.size()) {
                if (lastPos > arenaLen - 1) {
                    arenaFull(t, i, lastPos);
                    full = true;
                } else {
                    const bool nextState = s + 3 < model.stateNum;
                    const int32_t to = nextState ? m : checkedModel(ids[static_cast<size_t>(c.phoneIdx) + 1]);
                    searchCandidate& d = at(lastPos);
                    d = c;
                    if (nextState) {
                        d.stateIdx = s + 1;
                        d.score = c.score + (leave + emission(to, s + 1, t));
                    } else {
                        d.phoneIdx = c.phoneIdx + 1;
                        d.stateIdx = 0;
                        d.score = c.score + (leave + emission(to, 0, t));
                        appendPhone(d, c.phoneIdx, t - 1, d.score);
                    }
                    if (++lastPos > arenaLen - 1) {
                        arenaFull(t, i, lastPos);
                        full = true;
                    }
                }
            } else {
                const std::vector<int32_t>& branches = from.nextNodes;
                for (size_t j = 0; j < branches.size(); ++j) {
                    if (lastPos > arenaLen - 1) {
                        arenaFullOnBranch(t, i, n, j, branches.size(), lastPos);
                        full = true;
                        break;
                    }
                    const int32_t b = branches[j];
                    float score = LOG_ZERO;
                    if (b != endNode) {
                        const int32_t first = checkedModel(modelIdsOf(b)[0]);
                        score = c.score + ((leave + emission(first, 0, t)) + node(b).penalty);
                    }
                    searchCandidate& d = at(lastPos);
                    d = c;
                    d.nodeIdx = b;
                    d.phoneIdx = 0;
                    d.stateIdx = 0;
                    d.score = score;
                    appendNode(d, from.sylIndex, c.nodeIdx, t - 1, score);
                    appendPhone(d, c.phoneIdx, t - 1, score);
                    if (++lastPos > arenaLen - 1) {
                        arenaFullOnBranch(t, i, n, j, branches.size(), lastPos);
                        full = true;
                        break;
                    }
                }
            }
            c.score = c.score + (model.transp[s + 1][s + 1] + emission(m, s, t));
        }
        return lastPos;
    }

    // One candidate per node and position: the first of the best score.
    void recombine(int t, int count)
    {
        for (int i = 0; i < count; ++i) {
            const int32_t idx = at(i).nodeIdx;
            if (tableFrame[static_cast<size_t>(idx)] != t) {
                node(idx).recombTable.fill(-1);
                tableFrame[static_cast<size_t>(idx)] = t;
            }
        }
        for (int i = 0; i < count; ++i) {
            searchCandidate& c = at(i);
            const int p = c.phoneIdx * 3 + c.stateIdx;
            if (p > RECOMB_TABLE_SIZE - 1)
                fatalError("MAX_STATE_NUM_IN_SYL exceeded: index=%d, MAX_STATE_NUM_IN_SYL=%d (line %d of file %s)", p,
                           MAX_STATE_NUM_IN_SYL, 55, UNIT);
            int32_t& held = node(c.nodeIdx).recombTable[static_cast<size_t>(p)];
            if (held == -1) {
                held = i;
            } else {
                searchCandidate& other = at(held);
                if (c.score > other.score) {
                    other.score = LOG_ZERO;
                    held = i;
                } else {
                    c.score = LOG_ZERO;
                }
            }
        }
    }

    // Best first. A quicksort with the first element of a range as pivot; the ranges left to sort
    // are disjoint, so taking them from a stack instead of recursing gives the same order.
    void sortCandidates(int count)
    {
        keys.resize(static_cast<size_t>(std::max(count, 0)));
        for (int i = 0; i < count; ++i)
            keys[static_cast<size_t>(i)] = at(i).score;
        auto swapAt = [this](int a, int b) {
            std::swap(keys[static_cast<size_t>(a)], keys[static_cast<size_t>(b)]);
            std::swap(order[static_cast<size_t>(a)], order[static_cast<size_t>(b)]);
        };
        ranges.clear();
        ranges.emplace_back(0, count - 1);
        while (!ranges.empty()) {
            int lo = ranges.back().first;
            const int hi = ranges.back().second;
            ranges.pop_back();
            while (lo < hi) {
                const float pivot = keys[static_cast<size_t>(lo)];
                int i = lo;
                int j = hi + 1;
                for (;;) {
                    do
                        ++i;
                    while (i <= hi && keys[static_cast<size_t>(i)] > pivot);
                    do
                        --j;
                    while (keys[static_cast<size_t>(j)] < pivot);
                    if (i >= j)
                        break;
                    swapAt(i, j);
                }
                swapAt(lo, j);
                if (lo < j - 1)
                    ranges.emplace_back(lo, j - 1);
                lo = j + 1;
            }
        }
    }

    // Gives the count for the next frame; kills the candidates beyond the beam.
    int prune(int t, int n, float probTh, int useDescCandidateNum)
    {
        int k = n;
        if (useDescCandidateNum != 0) {
            if (t == 60 || t == 75)
                k = static_cast<int>(n * 0.8);
            else if (t == 100)
                k = static_cast<int>(n * 0.7);
            else if (t == 120)
                k = static_cast<int>(n * 0.6);
        }
        if (k > 0) {
            const float best = at(0).score;
            for (int i = 0; i < k; ++i) {
                if (best - at(i).score > probTh) {
                    for (int j = i; j < k; ++j)
                        at(j).score = LOG_ZERO;
                    break;
                }
            }
        }
        return k;
    }

    // Drops the entries that none of the first `live` candidates reaches, once the store has
    // grown to twice what survived the last compaction (plus the slack). The work is linear in the
    // store, which has grown by at least half its size since, so it is constant per entry.
    void compactIfGrown(int live)
    {
        if (nodeStore.size() + phoneStore.size() < compactAt)
            return;
        nodeRemap.assign(nodeStore.size(), -1);
        phoneRemap.assign(phoneStore.size(), -1);
        for (int i = 0; i < live; ++i) {
            markReachable(nodeStore, nodeRemap, at(i).lastSyl);
            markReachable(phoneStore, phoneRemap, at(i).lastPhone);
        }
        keepMarked(nodeStore, nodeRemap);
        keepMarked(phoneStore, phoneRemap);
        for (int i = 0; i < live; ++i) {
            searchCandidate& c = at(i);
            if (c.lastSyl >= 0)
                c.lastSyl = nodeRemap[static_cast<size_t>(c.lastSyl)];
            if (c.lastPhone >= 0)
                c.lastPhone = phoneRemap[static_cast<size_t>(c.lastPhone)];
        }
        compactAt = 2 * (nodeStore.size() + phoneStore.size()) + slack();
    }
};

viterbiClass::viterbiClass(int32_t arenaLen, int32_t modelNum)
    : m_arenaLen(arenaLen), m_scorer(modelNum), m_search(std::make_unique<searchState>())
{
    // A negative length (from a negative maxCandidateNum) holds nothing; the search refuses it.
    m_search->allocate(std::max(m_arenaLen, 0));
}

viterbiClass::~viterbiClass() = default;

int viterbiClass::viterbiSearch(netClass& net, const dictClass& dict, const float* features, int dim, int frameNum,
                                int candidateNum, const macroClass& models, float probTh, int useDescCandidateNum)
{
    if (candidateNum > m_arenaLen)
        fatalError("Error: m_arenaLen=%d, candidateNum=%d (line %d of file %s)", m_arenaLen, candidateNum, 434, UNIT);
    if (frameNum < 1 || dim < 0)
        fatalError("Error in the Viterbi search: %d frames of %d values", frameNum, dim);

    searchState& st = *m_search;
    if (st.arenaLen != std::max(m_arenaLen, 0))
        st.allocate(std::max(m_arenaLen, 0));
    st.leftCount = 0;
    st.scorer = &m_scorer;
    st.nodes = &net.m_nodes;
    st.dict = &dict;
    st.models = &models;
    st.features = features;
    st.dim = static_cast<size_t>(dim);
    st.frameNum = frameNum;
    st.initCandidates();

    const int start = net.findStartNode();
    st.endNode = net.findEndNode();
    if (!net.isNullNode(start)) {
        if (1 > candidateNum)
            fatalError("Error: nodeNumForFirstFrame=%d, candidateNum=%d (line %d of file %s)", 1, candidateNum, 437,
                       UNIT);
        st.seed(0, start);
    } else {
        const std::vector<int32_t>& first = net.m_nodes[static_cast<size_t>(start)].nextNodes;
        if (first.size() > static_cast<size_t>(std::max(candidateNum, 0)))
            fatalError("Error: nodeNumForFirstFrame=%d, candidateNum=%d (line %d of file %s)",
                       static_cast<int>(std::min<size_t>(first.size(), INT_MAX)), candidateNum, 437, UNIT);
        for (size_t k = 0; k < first.size(); ++k)
            st.seed(static_cast<int>(k), first[k]);
    }

    int n = candidateNum;
    for (int t = 1; t < frameNum; ++t) {
        const int count = st.expand(t, n);
        st.recombine(t, count);
        st.sortCandidates(count);
        n = st.prune(t, n, probTh, useDescCandidateNum);
        st.compactIfGrown(n);
    }

    for (int i = 0; i < n && i < FINAL_ENTRY_CANDIDATES; ++i) {
        searchCandidate& c = st.at(i);
        if (c.nodeIdx == st.endNode)
            continue;
        st.appendNode(c, st.node(c.nodeIdx).sylIndex, c.nodeIdx, frameNum - 1, c.score);
        st.appendPhone(c, c.phoneIdx, frameNum - 1, c.score);
    }
    st.leftCount = std::max(n, 0);
    return n;
}

int viterbiClass::selectBestCandidate(int count, const netClass& net, const dictClass& dict) const
{
    const int end = net.findEndNode();
    const int last = static_cast<int>(std::min<int64_t>(count, static_cast<int64_t>(m_search->slots.size())));
    auto endsBeforeEnd = [&](const searchCandidate& c) {
        if (c.nodeIdx < 0 || static_cast<size_t>(c.nodeIdx) >= net.m_nodes.size())
            return false;
        const std::vector<int32_t>& links = net.m_nodes[static_cast<size_t>(c.nodeIdx)].links;
        return !links.empty() && links[0] == end;
    };
    auto inLastPhone = [&](const searchCandidate& c) {
        const int32_t syl = net.m_nodes[static_cast<size_t>(c.nodeIdx)].sylIndex;
        if (syl < 0 || static_cast<size_t>(syl) >= dict.m_pronDict.size())
            return false;
        return static_cast<size_t>(c.phoneIdx) + 1 == dict.m_pronDict[static_cast<size_t>(syl)].modelIds.size();
    };
    for (int i = 0; i < last; ++i) {
        const searchCandidate& c = candidate(i);
        if (endsBeforeEnd(c) && inLastPhone(c) && c.stateIdx == 2)
            return i;
    }
    for (int i = 0; i < last; ++i) {
        const searchCandidate& c = candidate(i);
        if (endsBeforeEnd(c) && inLastPhone(c))
            return i;
    }
    for (int i = 0; i < last; ++i) {
        if (endsBeforeEnd(candidate(i)))
            return i;
    }
    return -1;
}

const searchCandidate& viterbiClass::candidate(int i) const
{
    if (i < 0 || static_cast<size_t>(i) >= m_search->slots.size())
        fatalError("Error in the Viterbi search: no candidate %d in an arena of %zu", i, m_search->slots.size());
    return m_search->at(i);
}

std::vector<sylHistoryEntry> viterbiClass::sylHistory(int i) const
{
    if (i < 0 || i >= m_search->leftCount)
        fatalError("Error in the Viterbi search: candidate %d has no history (%d candidates)", i,
                   m_search->leftCount);
    const std::vector<nodeRecord>& store = m_search->nodeStore;
    std::vector<sylHistoryEntry> out;
    for (int32_t e = m_search->at(i).lastSyl; e >= 0 && static_cast<size_t>(e) < store.size();
         e = store[static_cast<size_t>(e)].prev) {
        const nodeRecord& r = store[static_cast<size_t>(e)];
        out.push_back(sylHistoryEntry{r.sylIndex, r.nodeIdx, r.lastFrame, r.score});
    }
    std::reverse(out.begin(), out.end());
    return out;
}

std::vector<phoneHistoryEntry> viterbiClass::phoneHistory(int i) const
{
    if (i < 0 || i >= m_search->leftCount)
        fatalError("Error in the Viterbi search: candidate %d has no history (%d candidates)", i,
                   m_search->leftCount);
    const std::vector<phoneRecord>& store = m_search->phoneStore;
    std::vector<phoneHistoryEntry> out;
    for (int32_t e = m_search->at(i).lastPhone; e >= 0 && static_cast<size_t>(e) < store.size();
         e = store[static_cast<size_t>(e)].prev) {
        const phoneRecord& r = store[static_cast<size_t>(e)];
        out.push_back(phoneHistoryEntry{r.phoneIdx, r.lastFrame, r.score});
    }
    std::reverse(out.begin(), out.end());
    return out;
}

size_t viterbiClass::historyStoreSize() const
{
    return m_search->nodeStore.size() + m_search->phoneStore.size();
}
