// Ranking of every phone's own model against competing models over the phone's frames.
#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "assess/assess.h"
#include "assess/assessDetail.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"
#include "decoder/viterbi.h"
#include "model/fillers.h"
#include "model/macro.h"
#include "task/recogParam.h"

namespace {

// Lines "phone<TAB>alternative<TAB>...": the models accepted in place of the phone's own.
void epsTableRead(const std::string& path, std::vector<epsEntry>& table)
{
    std::vector<std::string> lines;
    readTextLines(path, lines, '%');
    std::vector<std::string> fields;
    for (const std::string& line : lines) {
        strSplit(line, '\t', fields);
        epsEntry& entry = table.emplace_back();
        entry.phone = fields[0];
        entry.alternatives.assign(fields.begin() + 1, fields.end());
    }
}

// Models whose log likelihood the phone's own model is ranked against.
std::vector<int32_t> competitorsOf(const std::string& phone, int32_t own, const std::vector<std::string>& names,
                                   const std::vector<int32_t>& pool, bool useAll)
{
    std::vector<int32_t> ids = pool;
    const size_t plus = phone.find('+');
    if (!useAll && plus != std::string::npos) {
        // Units sharing the right context: names ending in "+right".
        std::vector<int> found;
        strVecLinSearch(names, phone.substr(plus), found, 2);
        ids.assign(found.begin(), found.end());
    }
    if (std::find(ids.begin(), ids.end(), own) == ids.end())
        ids.push_back(own);
    return ids;
}

// Sorts the competitors by descending log likelihood and gives the own model's rank: the
// competitors not below it, less one, less the accepted alternatives just above it.
int32_t rankAmongCompetitors(std::vector<int32_t>& ids, std::vector<float>& logLikes, float own,
                             const std::vector<std::string>& names, const std::vector<std::string>* alternatives)
{
    std::vector<size_t> order(ids.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return logLikes[a] < logLikes[b]; });
    std::reverse(order.begin(), order.end());
    std::vector<int32_t> sortedIds(ids.size());
    std::vector<float> sortedLogLikes(ids.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sortedIds[i] = ids[order[i]];
        sortedLogLikes[i] = logLikes[order[i]];
    }
    ids.swap(sortedIds);
    logLikes.swap(sortedLogLikes);

    int32_t notBelow = 0;
    while (static_cast<size_t>(notBelow) < logLikes.size() && !(logLikes[static_cast<size_t>(notBelow)] < own))
        ++notBelow;
    int32_t rank = notBelow - 1;
    if (alternatives) {
        int32_t accepted = 0;
        for (int32_t pos = rank - 1; pos >= 0; --pos) {
            const std::string& name = names[static_cast<size_t>(ids[static_cast<size_t>(pos)])];
            if (std::find(alternatives->begin(), alternatives->end(), name) == alternatives->end())
                break;
            ++accepted;
        }
        rank -= accepted;
    }
    return rank;
}

// Every phone must cover at least one of the analysed frames 0..frameNum-1 and no other: the
// ranking reads the feature rows of its frames, and the time ratios divide by their total.
void checkPhoneSpans(const assessResult& result, int frameNum)
{
    for (const nodeResult& node : result.nodes) {
        for (const phoneResult& phone : node.phones) {
            if (phone.startFrame > phone.endFrame)
                fatalError("Error in phoneRanking: phone %s of node %s ends before it starts (frames %d to %d)",
                           phone.name.c_str(), node.name.c_str(), phone.startFrame, phone.endFrame);
            if (phone.startFrame < 0 || phone.endFrame >= frameNum)
                fatalError("Error in phoneRanking: phone %s of node %s spans frames %d to %d, outside the %d "
                           "analysed frames",
                           phone.name.c_str(), node.name.c_str(), phone.startFrame, phone.endFrame, frameNum);
        }
    }
}

} // namespace

void phoneRanking(assessResult& result, const float* features, int dim, int frameNum, const macroClass& models,
                  viterbiClass& search, const recogParam& param)
{
    checkPhoneSpans(result, frameNum);

    const std::vector<std::string> names = models.getModelNames();
    std::vector<int32_t> pool;
    for (size_t i = 0; i < names.size(); ++i) {
        if (!isFillerName(names[i]))
            pool.push_back(static_cast<int32_t>(i));
    }

    // Phones may overlap (a label file is not checked for order), so the total can pass the
    // number of frames.
    int64_t phoneCount = 0;
    int64_t frameTotal = 0;
    for (const nodeResult& node : result.nodes) {
        if (isFillerName(node.name))
            continue;
        phoneCount += static_cast<int64_t>(node.phones.size());
        for (const phoneResult& phone : node.phones) {
            if (!isSilContextName(phone.name))
                frameTotal += phone.endFrame - phone.startFrame + 1;
        }
    }
    if (phoneCount > INT32_MAX || frameTotal > INT32_MAX)
        fatalError("Error in phoneRanking: %lld phones over %lld frames are too many to score",
                   static_cast<long long>(phoneCount), static_cast<long long>(frameTotal));
    result.phoneCount = static_cast<int32_t>(phoneCount);
    result.scoredFrameTotal = static_cast<int32_t>(frameTotal);

    // An absent alternatives file only turns the alternatives off.
    const bool useEps = !param.epsFile.empty() && fileExists(param.epsFile);
    if (useEps && result.epsTable.empty())
        epsTableRead(param.epsFile, result.epsTable);

    result.weightedRankRatio = 0.0f;
    result.scoredNodeCount = 0;
    double logLikeSum = 0.0;
    std::vector<int> found;
    for (nodeResult& node : result.nodes) {
        if (isFillerName(node.name))
            continue;
        ++result.scoredNodeCount;
        for (phoneResult& phone : node.phones) {
            if (isSilContextName(phone.name))
                continue;
            phone.alternatives.clear();
            for (const epsEntry& entry : result.epsTable) {
                if (entry.phone == phone.name) {
                    phone.alternatives = entry.alternatives;
                    break;
                }
            }

            strVecLinSearch(names, phone.name, found, 3);
            if (found.empty())
                fatalError("Error in phoneRanking: no model is named \"%s\" (node %s)", phone.name.c_str(),
                           node.name.c_str());
            phone.modelIndex = found[0];

            phone.competingModelIds =
                competitorsOf(phone.name, phone.modelIndex, names, pool, param.useAllModelAsCompetingModel != 0);
            phone.competingLogLikes.clear();
            for (int32_t c : phone.competingModelIds) {
                const float ll = search.modelProb(features, dim, phone.startFrame, phone.endFrame, models, c);
                phone.competingLogLikes.push_back(ll);
                if (names[static_cast<size_t>(c)] == phone.name)
                    phone.ownLogLike = ll;
            }
            logLikeSum += phone.ownLogLike;

            phone.rank = rankAmongCompetitors(phone.competingModelIds, phone.competingLogLikes, phone.ownLogLike,
                                              names, useEps ? &phone.alternatives : nullptr);
            phone.timeRatio = result.scoredFrameTotal != 0
                                  ? static_cast<float>(phone.endFrame - phone.startFrame + 1) /
                                        static_cast<float>(result.scoredFrameTotal)
                                  : 0.0f;
            phone.rankRatio =
                static_cast<float>(phone.rank) / static_cast<float>(phone.competingModelIds.size());
            result.weightedRankRatio += phone.timeRatio * phone.rankRatio;
        }
    }
    result.meanLogLike =
        result.scoredFrameTotal != 0 ? static_cast<float>(logLikeSum / result.scoredFrameTotal) : 0.0f;
}
