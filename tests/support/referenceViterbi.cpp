#include "support/referenceViterbi.h"

#include <cmath>
#include <cstring>

#include "common/console.h"
#include "decoder/scoring.h"
#include "common/fatalError.h"
#include "lexicon/dict.h"
#include "model/macro.h"
#include "net/net.h"

namespace {
const char* const UNIT = "lib\\viterbi";
}

referenceViterbi::referenceViterbi(int32_t arenaLen, int32_t modelNum)
    : m_arenaLen(arenaLen < 0 ? 0 : arenaLen),
      m_cacheTags(static_cast<size_t>(modelNum < 0 ? 0 : modelNum), {-1, -1, -1}),
      m_cacheValues(static_cast<size_t>(modelNum < 0 ? 0 : modelNum)),
      m_slots(static_cast<size_t>(m_arenaLen)), m_order(static_cast<size_t>(m_arenaLen))
{
}

int referenceViterbi::checkedModel(int id) const
{
    size_t held = m_models->m_models.size();
    if (static_cast<size_t>(m_models->modelNum < 0 ? 0 : m_models->modelNum) < held)
        held = static_cast<size_t>(m_models->modelNum);
    if (id < 0 || static_cast<size_t>(id) >= held)
        fatalError("Error in the Viterbi search: model %d is not in the model set of %zu models", id, held);
    const int states = m_models->model(id).stateNum;
    if (states < 3 || states > 5)
        fatalError("Error in the Viterbi search: model %d (%.*s) has %d states, but 3 to %d are needed", id,
                   static_cast<int>(strnlen(m_models->model(id).name, MODEL_NAME_SIZE)), m_models->model(id).name,
                   states, 5);
    return id;
}

int referenceViterbi::firstModel(int node) const
{
    if (node < 0 || static_cast<size_t>(node) >= m_net->m_nodes.size())
        fatalError("Error in the Viterbi search: node %d is not in the network of %zu nodes", node,
                   m_net->m_nodes.size());
    const int syl = m_net->m_nodes[static_cast<size_t>(node)].sylIndex;
    if (syl < 0 || static_cast<size_t>(syl) >= m_dict->m_pronDict.size() ||
        m_dict->m_pronDict[static_cast<size_t>(syl)].modelIds.empty())
        fatalError("Error in the Viterbi search: node %d (sylIndex=%d) has no pronunciation with models", node, syl);
    return checkedModel(m_dict->m_pronDict[static_cast<size_t>(syl)].modelIds[0]);
}

float referenceViterbi::emission(int model, int state, int t)
{
    const size_t m = static_cast<size_t>(model);
    if (m >= m_cacheTags.size()) {
        m_cacheTags.resize(m + 1, {-1, -1, -1});
        m_cacheValues.resize(m + 1);
    }
    const size_t s = static_cast<size_t>(state);
    if (m_cacheTags[m][s] == t)
        return m_cacheValues[m][s];
    const float* row = m_features + static_cast<size_t>(t) * static_cast<size_t>(m_dim);
    float total = 0.0f;
    for (int j = 0; j < m_models->streamNum; ++j) {
        double acc = -1e10;
        const hmmStream& stream = m_models->model(model).states[state].streams[j];
        for (int k = 0; k < stream.mixtureNum; ++k) {
            const float w = stream.mixtures[k].weight;
            if (w <= -11.5f)
                continue;
            const double x = gaussLogProb(row, *m_models, model, state, j, k) + w;
            const double hi = x > acc ? x : acc;
            const double lo = x > acc ? acc : x;
            const double d = lo - hi;
            if (d < -23.0259)
                acc = hi < -5e9 ? -1e10 : hi;
            else
                acc = hi + std::log(1.0 + std::exp(d));
        }
        total += static_cast<float>(acc);
    }
    m_cacheTags[m][s] = t;
    m_cacheValues[m][s] = total;
    return total;
}

void referenceViterbi::appendSyl(referenceCandidate& c, int32_t sylIndex, int32_t node, int32_t frame,
                                 float score) const
{
    if (c.sylHistory.size() >= static_cast<size_t>(MAX_SYL_NUM))
        fatalError("MAX_SYL_NUM exceeded! (line %d of file %s)", 388, UNIT);
    c.sylHistory.push_back({sylIndex, node, frame, score});
}

void referenceViterbi::appendPhone(referenceCandidate& c, int32_t phoneIdx, int32_t frame, float score) const
{
    if (c.phoneHistory.size() >= static_cast<size_t>(MAX_PHONE_NUM))
        fatalError("MAX_PHONE_NUM (%d) exceeded! (line %d of file %s)", MAX_PHONE_NUM, 403, UNIT);
    c.phoneHistory.push_back({phoneIdx, frame, score});
}

void referenceViterbi::sortRange(int lo, int hi)
{
    while (lo < hi) {
        const float pivot = at(lo).score;
        int i = lo;
        int j = hi + 1;
        for (;;) {
            do
                ++i;
            while (i <= hi && at(i).score > pivot);
            do
                --j;
            while (at(j).score < pivot);
            if (i >= j)
                break;
            std::swap(m_order[static_cast<size_t>(i)], m_order[static_cast<size_t>(j)]);
        }
        std::swap(m_order[static_cast<size_t>(lo)], m_order[static_cast<size_t>(j)]);
        sortRange(lo, j - 1);
        lo = j + 1;
    }
}

int referenceViterbi::viterbiSearch(netClass& net, const dictClass& dict, const float* features, int dim,
                                    int frameNum, int candidateNum, const macroClass& models, float probTh,
                                    int useDescCandidateNum)
{
    if (candidateNum > m_arenaLen)
        fatalError("Error: m_arenaLen=%d, candidateNum=%d (line %d of file %s)", m_arenaLen, candidateNum, 434, UNIT);
    if (frameNum < 1 || dim < 0)
        fatalError("Error in the Viterbi search: %d frames of %d values", frameNum, dim);
    m_net = &net;
    m_dict = &dict;
    m_models = &models;
    m_features = features;
    m_dim = dim;

    // initCandidates
    for (auto& tags : m_cacheTags)
        tags = {-1, -1, -1};
    for (size_t k = 0; k < m_slots.size(); ++k) {
        m_slots[k] = referenceCandidate{};
        m_order[k] = static_cast<int>(k);
    }
    const int start = net.findStartNode();
    const int end = net.findEndNode();
    std::vector<int32_t> seeds;
    if (!net.isNullNode(start))
        seeds.push_back(start);
    else
        seeds = net.m_nodes[static_cast<size_t>(start)].nextNodes;
    if (static_cast<long long>(seeds.size()) > candidateNum)
        fatalError("Error: nodeNumForFirstFrame=%d, candidateNum=%d (line %d of file %s)",
                   static_cast<int>(seeds.size()), candidateNum, 437, UNIT);
    for (size_t k = 0; k < seeds.size(); ++k) {
        const int m = firstModel(seeds[k]);
        at(static_cast<int>(k)).nodeIdx = seeds[k];
        at(static_cast<int>(k)).score = emission(m, 0, 0);
    }

    int n = candidateNum;
    for (int t = 1; t < frameNum; ++t) {
        int lastPos = n;
        bool full = false;
        // Warns and ends the frame when no slot is left (j: the branch, -1 for a move within the node).
        auto arenaFull = [&](int i, int j, int branches) {
            if (lastPos <= m_arenaLen - 1)
                return false;
            if (j < 0)
                conPrintf("Warning: Arena is full! frameId=%d, candidateId=%d, lastPos (%d) > m_arenaLen-1 (%d)!\n", t,
                          i, lastPos, m_arenaLen - 1);
            else
                conPrintf("Warning: Arena is full! frameId=%d/%d, candidateId=%d/%d, branchId=%d/%d, lastPos (%d) > "
                          "m_arenaLen-1 (%d)!\n",
                          t, frameNum, i, n, j, branches, lastPos, m_arenaLen - 1);
            return full = true;
        };
        for (int i = 0; i < n && !full; ++i) {
            referenceCandidate& c = at(i);
            if (!(c.score > LOG_ZERO))
                continue;
            const netNode& node = net.m_nodes.at(static_cast<size_t>(c.nodeIdx));
            const std::vector<int32_t>& ids = dict.m_pronDict.at(static_cast<size_t>(node.sylIndex)).modelIds;
            const int m = ids.at(static_cast<size_t>(c.phoneIdx));
            const int s = c.stateIdx;
            const auto& a = models.model(m).transp;
            const bool nextState = s + 3 < models.model(m).stateNum;
            if (nextState || static_cast<size_t>(c.phoneIdx) + 1 < ids.size()) {
                if (!arenaFull(i, -1, 0)) {
                    const int next = nextState ? m : checkedModel(ids[static_cast<size_t>(c.phoneIdx) + 1]);
                    referenceCandidate& d = at(lastPos++);
                    d = c;
                    d.stateIdx = nextState ? s + 1 : 0;
                    d.phoneIdx = nextState ? c.phoneIdx : c.phoneIdx + 1;
                    d.score = c.score + (a[s + 1][s + 2] + emission(next, d.stateIdx, t));
                    if (!nextState)
                        appendPhone(d, c.phoneIdx, t - 1, d.score);
                    arenaFull(i, -1, 0);
                }
            } else {
                const int branches = static_cast<int>(node.nextNodes.size());
                for (int j = 0; j < branches; ++j) {
                    if (arenaFull(i, j, branches))
                        break;
                    const int b = node.nextNodes[static_cast<size_t>(j)];
                    float score = LOG_ZERO;
                    if (b != end)
                        score = c.score + ((a[s + 1][s + 2] + emission(firstModel(b), 0, t)) +
                                           net.m_nodes[static_cast<size_t>(b)].penalty);
                    referenceCandidate& d = at(lastPos++);
                    d = c;
                    d.nodeIdx = b;
                    d.phoneIdx = 0;
                    d.stateIdx = 0;
                    d.score = score;
                    appendSyl(d, node.sylIndex, c.nodeIdx, t - 1, score);
                    appendPhone(d, c.phoneIdx, t - 1, score);
                    if (arenaFull(i, j, branches))
                        break;
                }
            }
            c.score = c.score + (a[s + 1][s + 1] + emission(m, s, t));
        }

        // recombine
        for (int i = 0; i < lastPos; ++i)
            net.m_nodes.at(static_cast<size_t>(at(i).nodeIdx)).recombTable.fill(-1);
        for (int i = 0; i < lastPos; ++i) {
            referenceCandidate& c = at(i);
            const int p = c.phoneIdx * 3 + c.stateIdx;
            if (p > 149)
                fatalError("MAX_STATE_NUM_IN_SYL exceeded: index=%d, MAX_STATE_NUM_IN_SYL=%d (line %d of file %s)", p,
                           150, 55, UNIT);
            int32_t& held = net.m_nodes.at(static_cast<size_t>(c.nodeIdx)).recombTable.at(static_cast<size_t>(p));
            if (held == -1) {
                held = i;
            } else if (c.score > at(held).score) {
                at(held).score = LOG_ZERO;
                held = i;
            } else {
                c.score = LOG_ZERO;
            }
        }

        sortRange(0, lastPos - 1);

        // pruneCandidates
        int k = n;
        if (useDescCandidateNum != 0 && (t == 60 || t == 75))
            k = static_cast<int>(n * 0.8);
        else if (useDescCandidateNum != 0 && t == 100)
            k = static_cast<int>(n * 0.7);
        else if (useDescCandidateNum != 0 && t == 120)
            k = static_cast<int>(n * 0.6);
        for (int i = 0; i < k; ++i) {
            if (at(0).score - at(i).score > probTh) {
                for (int j = i; j < k; ++j)
                    at(j).score = LOG_ZERO;
                break;
            }
        }
        n = k;
    }

    for (int i = 0; i < n && i <= 100; ++i) {
        referenceCandidate& c = at(i);
        if (c.nodeIdx == end)
            continue;
        appendSyl(c, net.m_nodes.at(static_cast<size_t>(c.nodeIdx)).sylIndex, c.nodeIdx, frameNum - 1, c.score);
        appendPhone(c, c.phoneIdx, frameNum - 1, c.score);
    }
    return n;
}

int referenceViterbi::selectBestCandidate(int count, const netClass& net, const dictClass& dict) const
{
    const int end = net.findEndNode();
    std::vector<int> level(m_slots.size(), 0); // 3: all conditions, 2: the first two, 1: the first
    for (int i = 0; i < count && static_cast<size_t>(i) < m_slots.size(); ++i) {
        const referenceCandidate& c = candidate(i);
        if (c.nodeIdx < 0 || static_cast<size_t>(c.nodeIdx) >= net.m_nodes.size())
            continue;
        const netNode& node = net.m_nodes[static_cast<size_t>(c.nodeIdx)];
        if (node.links.empty() || node.links[0] != end)
            continue;
        level[static_cast<size_t>(i)] = 1;
        if (node.sylIndex >= 0 && static_cast<size_t>(node.sylIndex) < dict.m_pronDict.size() &&
            static_cast<size_t>(c.phoneIdx) + 1 == dict.m_pronDict[static_cast<size_t>(node.sylIndex)].modelIds.size())
            level[static_cast<size_t>(i)] = c.stateIdx == 2 ? 3 : 2;
    }
    for (int wanted = 3; wanted >= 1; --wanted) {
        for (size_t i = 0; i < level.size(); ++i) {
            if (level[i] >= wanted)
                return static_cast<int>(i);
        }
    }
    return -1;
}

const referenceCandidate& referenceViterbi::candidate(int i) const
{
    return m_slots.at(static_cast<size_t>(m_order.at(static_cast<size_t>(i))));
}
