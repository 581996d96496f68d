// The result's nodes and phones from a search path, and the per-node data that the report needs
// besides the scores: texts, pitched flags and volume.
#include <algorithm>
#include <string>
#include <vector>

#include "assess/assess.h"
#include "assess/assessDetail.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"
#include "decoder/viterbi.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "model/fillers.h"
#include "model/macro.h"
#include "net/net.h"
#include "task/recogParam.h"

void resultFromCandidate(const viterbiClass& search, int candidate, const netClass& net, const dictClass& dict,
                         const macroClass& models, assessResult& result)
{
    const std::vector<sylHistoryEntry> syls = search.sylHistory(candidate);
    const std::vector<phoneHistoryEntry> phones = search.phoneHistory(candidate);
    result.nodes.assign(syls.size(), nodeResult{});

    int32_t prevLast = -1;
    for (size_t i = 0; i < syls.size(); ++i) {
        const sylHistoryEntry& e = syls[i];
        if (e.sylIndex < 0 || static_cast<size_t>(e.sylIndex) >= dict.m_pronDict.size())
            fatalError("Error in resultFromCandidate: node %zu of the path has dictionary entry %d of %zu", i,
                       e.sylIndex, dict.m_pronDict.size());
        nodeResult& node = result.nodes[i];
        node.name = dict.m_pronDict[static_cast<size_t>(e.sylIndex)].word;
        if (e.nodeIdx >= 0 && static_cast<size_t>(e.nodeIdx) < net.m_nodes.size())
            node.text = net.m_nodes[static_cast<size_t>(e.nodeIdx)].text;
        node.startFrame = prevLast + 1;
        node.endFrame = e.lastFrame;
        node.cumScore = e.score;
        prevLast = e.lastFrame;
    }

    // Each phone entry at position 0 opens the next node. Phones after the last recorded node
    // (a node left unfinished by the search) belong to no node and are dropped.
    prevLast = -1;
    int current = -1;
    for (const phoneHistoryEntry& e : phones) {
        if (e.phoneIdx == 0)
            ++current;
        const int32_t start = prevLast + 1;
        prevLast = e.lastFrame;
        if (current < 0 || static_cast<size_t>(current) >= syls.size())
            continue;
        nodeResult& node = result.nodes[static_cast<size_t>(current)];
        const size_t entry = static_cast<size_t>(syls[static_cast<size_t>(current)].sylIndex);
        const std::vector<int32_t>& ids = dict.m_pronDict[entry].modelIds;
        if (e.phoneIdx < 0 || static_cast<size_t>(e.phoneIdx) >= ids.size())
            fatalError("Error in resultFromCandidate: phone %d of node %d (%s) is beyond its %zu models", e.phoneIdx,
                       current, node.name.c_str(), ids.size());
        const int32_t model = ids[static_cast<size_t>(e.phoneIdx)];
        if (model < 0 || model >= models.modelNum || static_cast<size_t>(model) >= models.m_models.size())
            fatalError("Error in resultFromCandidate: node %d (%s) uses model %d of a set of %d", current,
                       node.name.c_str(), model, models.modelNum);
        phoneResult& phone = node.phones.emplace_back();
        phone.name = models.model(model).name;
        phone.modelIndex = model;
        phone.startFrame = start;
        phone.endFrame = e.lastFrame;
        phone.cumLogLike = e.score;
    }
}

void nodeTextsAssign(assessResult& result, const std::string& normalizedText, const recogParam& param)
{
    std::vector<std::string> words;
    textToWords(normalizedText, param.language, words);
    size_t next = 0;
    for (nodeResult& node : result.nodes) {
        if (isFillerName(node.name))
            node.text.clear();
        else if (param.addLink4startAnywhere == 0)
            node.text = next < words.size() ? words[next++] : std::string();
    }
}

void pitchedFlags(assessResult& result, const std::string& qiYinFile)
{
    std::vector<std::string> unpitched;
    readTextLines(qiYinFile, unpitched, 0);
    std::vector<int> found;
    for (nodeResult& node : result.nodes) {
        for (phoneResult& phone : node.phones) {
            phone.pitched = 1;
            if (isSilContextName(phone.name) || phone.name == "sil" || phone.name == "sp")
                phone.pitched = 0;
            strVecLinSearch(unpitched, phone.name.substr(0, phone.name.find('+')), found, 3);
            if (!found.empty())
                phone.pitched = 0;
        }
    }
}

void nodeVolumeFill(assessResult& result, const std::vector<int32_t>& frameVolume)
{
    const int64_t size = static_cast<int64_t>(frameVolume.size());
    for (nodeResult& node : result.nodes) {
        node.volume.clear();
        for (int64_t f = std::max<int64_t>(node.startFrame, 0); f <= node.endFrame && f < size; ++f)
            node.volume.push_back(static_cast<float>(frameVolume[static_cast<size_t>(f)]));
    }
}
