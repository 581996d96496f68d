// Timber scores of phones and nodes, the discount occurrences, and the overall and discounted
// scores of an utterance.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "assess/assess.h"
#include "assess/assessDetail.h"
#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"
#include "model/fillers.h"
#include "model/macro.h"
#include "task/recogParam.h"

const char* const DISCOUNT_TYPE_NAMES[DISCOUNT_TYPE_NUM] = {
    "Incomplete Viterbi search path",
    "No. of over-short syllables",
    "No. of overlong syllables",
    "No. of sp longer than 0.25 sec",
    "Difference between identified and actual no. of syllables",
    "Ratio between the longest and shortest syllables greater than 4",
    "Volume of sil too large",
};

namespace {

const char* const MLF_UNIT = "lib\\mlf";

// Bell curve used when no per-model parameters are given.
constexpr float DEFAULT_BELL[3] = {0.05f, 0.5f, 0.0f};

// 64-bit: the frames of a label file are not bounded before the ranking checks them.
int64_t frameCount(int32_t startFrame, int32_t endFrame)
{
    return static_cast<int64_t>(endFrame) - startFrame + 1;
}

// The clamped node range first..last (empty when last < first).
void clampRange(const assessResult& result, int& first, int& last)
{
    first = std::max(first, 0);
    last = std::min(last, static_cast<int>(result.nodes.size()) - 1);
}

// A list of at least `needed` finite numbers from a file that must exist.
void floatListRead(const std::string& path, size_t needed, std::vector<float>& values)
{
    readFloatList(path, values);
    if (values.size() < needed)
        fatalError("Error: %s holds %zu numbers, %zu are needed", path.c_str(), values.size(), needed);
    for (size_t i = 0; i < values.size(); ++i) {
        if (!std::isfinite(values[i]))
            fatalError("Error: number %zu of %s is %g, not a finite number", i + 1, path.c_str(),
                       static_cast<double>(values[i]));
    }
}

// A bell curve divides by its width a; inf or nan would carry into every score.
bool bellUsable(const float p[3])
{
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]) && p[0] != 0.0f;
}

// "[a b c]" read as a formatted scan does: the "[" must come first, then up to three leading
// numbers; the scan stops at the first text that is not one (those values stay 0) and ignores
// whatever follows the third.
void scanBracketTriple(const std::string& field, float out[3])
{
    out[0] = out[1] = out[2] = 0.0f;
    const char* p = field.c_str();
    if (*p++ != '[')
        return;
    for (int i = 0; i < 3; ++i) {
        char* next = nullptr;
        const float v = std::strtof(p, &next);
        if (next == p)
            return;
        out[i] = v;
        p = next;
    }
}

// The bell curve of model `modelIndex` from its line of the cmParamFile.
void cmParamsOf(const std::vector<std::string>& lines, const std::string& path, int32_t modelIndex,
                const std::string& modelName, float out[3])
{
    if (modelIndex < 0 || static_cast<size_t>(modelIndex) >= lines.size())
        fatalError("Error: %s has no line %d for model %s (it has %zu lines)", path.c_str(), modelIndex,
                   modelName.c_str(), lines.size());
    const std::string& line = lines[static_cast<size_t>(modelIndex)];
    std::vector<std::string> fields;
    strSplit(line, '\t', fields);
    if (fields.size() != 6) {
        conPrintf("modelName=%s\n", modelName.c_str());
        conPrintf("modelIndex=%d\n", modelIndex);
        for (size_t i = 0; i < fields.size(); ++i)
            conPrintf("contents[%zu]=%s\n", i, fields[i].c_str());
        fatalError("Error: Cannot parse %s (line %d of file %s)", line.c_str(), 727, MLF_UNIT);
    }
    scanBracketTriple(fields[5], out);
    if (!bellUsable(out))
        fatalError("Error: %s, line of model %d (%s): the bell curve \"%s\" gives a=%g b=%g c=%g; a must be "
                   "non-zero and all three finite",
                   path.c_str(), modelIndex, modelName.c_str(), fields[5].c_str(), static_cast<double>(out[0]),
                   static_cast<double>(out[1]), static_cast<double>(out[2]));
}

const hmmModel& checkedModel(const macroClass& models, int32_t index)
{
    if (index < 0 || index >= models.modelNum || static_cast<size_t>(index) >= models.m_models.size())
        fatalError("Error in timberScoring: model %d of a set of %d", index, models.modelNum);
    return models.model(index);
}

// 100 x ((own - min) / (max - min))^2 over the competing log likelihoods.
float spreadScore(const phoneResult& phone)
{
    if (phone.competingLogLikes.empty())
        return 0.0f;
    const auto [lo, hi] = std::minmax_element(phone.competingLogLikes.begin(), phone.competingLogLikes.end());
    if (!(*hi > *lo))
        return 0.0f;
    const float r = (phone.ownLogLike - *lo) / (*hi - *lo);
    return 100.0f * r * r;
}

// 100 x the posterior of the own model among the competitors, training counts as prior.
float posteriorScore(const phoneResult& phone, const macroClass& models)
{
    if (phone.competingModelIds.empty() || phone.competingLogLikes.size() != phone.competingModelIds.size())
        return 0.0f;
    double total = 0.0;
    for (size_t i = 0; i < phone.competingModelIds.size(); ++i) {
        const double x = static_cast<double>(checkedModel(models, phone.competingModelIds[i]).logCount) +
                         static_cast<double>(phone.competingLogLikes[i]);
        if (i == 0) {
            total = x;
        } else {
            const double hi = std::max(total, x);
            const double lo = std::min(total, x);
            total = hi + std::log(1.0 + std::exp(lo - hi));
        }
    }
    const double own = static_cast<double>(checkedModel(models, phone.modelIndex).logCount) +
                       static_cast<double>(phone.ownLogLike);
    return static_cast<float>(100.0 * std::exp(own - total));
}

} // namespace

float gbellScore(float x, float a, float b, float c)
{
    const float t = (x - c) / a;
    if (t == 0.0f)
        return 100.0f;
    return 100.0f / (std::pow(t * t, b) + 1.0f);
}

void discountCount(assessResult& result, int firstNode, int lastNode, bool completePath, int32_t wordNum)
{
    std::vector<int32_t>& occ = result.discountOccurrences;
    occ.assign(DISCOUNT_TYPE_NUM, 0);
    clampRange(result, firstNode, lastNode);
    occ[0] = completePath ? 0 : 1;

    int32_t scoredNodes = 0;
    int64_t longest = 0;
    int64_t shortest = 0;
    bool haveVolume = false;
    int32_t volMin = 0;
    int32_t volMax = 0;
    for (int i = firstNode; i <= lastNode; ++i) {
        const nodeResult& node = result.nodes[static_cast<size_t>(i)];
        for (float v : node.volume) {
            const int32_t iv = static_cast<int32_t>(v);
            volMin = haveVolume ? std::min(volMin, iv) : iv;
            volMax = haveVolume ? std::max(volMax, iv) : iv;
            haveVolume = true;
        }
        const int64_t frames = frameCount(node.startFrame, node.endFrame);
        if (node.name == "sp" || node.name == "sil") {
            if (i != firstNode && i != lastNode && frames > 50)
                ++occ[3];
        }
        if (isFillerName(node.name))
            continue;

        longest = scoredNodes == 0 ? frames : std::max(longest, frames);
        shortest = scoredNodes == 0 ? frames : std::min(shortest, frames);
        ++scoredNodes;
        int shortPhones = 0;
        bool overlong = false;
        for (const phoneResult& phone : node.phones) {
            if (isSilContextName(phone.name))
                continue;
            const int64_t len = frameCount(phone.startFrame, phone.endFrame);
            const std::string head = phone.name.substr(0, 2);
            if (phone.startFrame >= 0 && len < 4 && head != "b+" && head != "d+" && head != "g+" && head != "h+")
                ++shortPhones;
            overlong = overlong || len >= 70;
        }
        const size_t phoneNum = node.phones.size();
        if (phoneNum >= 3 && static_cast<size_t>(shortPhones) * 2 > phoneNum)
            ++occ[1];
        if (overlong)
            ++occ[2];
    }
    occ[4] = wordNum < 0 ? 0 : std::abs(wordNum - scoredNodes);
    occ[5] = scoredNodes > 0 && static_cast<float>(longest) > 4.0f * static_cast<float>(shortest) ? 1 : 0;

    // Loud frames inside silences, relative to the range's volume span.
    if (haveVolume && volMax > volMin) {
        const float span = static_cast<float>(volMax - volMin);
        for (int i = firstNode; i <= lastNode; ++i) {
            const nodeResult& node = result.nodes[static_cast<size_t>(i)];
            if (node.name != "sp" && node.name != "sil")
                continue;
            int loud = 0;
            for (float v : node.volume) {
                if ((v - static_cast<float>(volMin)) / span > 0.1f)
                    ++loud;
            }
            occ[6] += (loud > 4 ? 1 : 0) + (loud > 30 ? 1 : 0);
        }
    }
}

void timberScoring(assessResult& result, const recogParam& param, const macroClass& models, int firstNode,
                   int lastNode, int32_t wordNum, int32_t pathSylNum)
{
    for (nodeResult& node : result.nodes)
        std::fill(std::begin(node.timberScores), std::end(node.timberScores), -1.0f);
    if (result.rankToScoreParams.empty())
        floatListRead(param.phoneRank2scoreParamFile, 3, result.rankToScoreParams);
    if (result.rankToScoreParams.size() < 3 || !bellUsable(result.rankToScoreParams.data()))
        fatalError("Error in timberScoring: the rank-to-score parameters of %s must be three finite numbers a b c "
                   "with a non-zero",
                   param.phoneRank2scoreParamFile.c_str());
    const float* bell = result.rankToScoreParams.data();
    const bool useCm = !param.cmParamFile.empty() && fileExists(param.cmParamFile);
    std::vector<std::string> cmLines;
    if (useCm)
        readTextLines(param.cmParamFile, cmLines, '%');

    std::vector<char> nodeScored(result.nodes.size(), 0);
    for (size_t n = 0; n < result.nodes.size(); ++n) {
        nodeResult& node = result.nodes[n];
        if (isFillerName(node.name))
            continue;
        float sums[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        float timeSum = 0.0f;
        for (phoneResult& phone : node.phones) {
            if (isSilContextName(phone.name))
                continue;
            if (useCm)
                cmParamsOf(cmLines, param.cmParamFile, phone.modelIndex, phone.name, phone.cmParams);
            else
                std::copy(std::begin(DEFAULT_BELL), std::end(DEFAULT_BELL), phone.cmParams);
            float* s = phone.timberScores;
            s[0] = gbellScore(phone.rankRatio, bell[0], bell[1], bell[2]);
            s[1] = gbellScore(phone.rankRatio, phone.cmParams[0], phone.cmParams[1], phone.cmParams[2]);
            s[2] = spreadScore(phone);
            s[3] = posteriorScore(phone, models);
            for (int k = 0; k < 4; ++k)
                sums[k] += s[k] * phone.timeRatio;
            timeSum += phone.timeRatio;
        }
        // A node without scored phones has no score: it keeps -1, like the fillers, and stays out
        // of the overall scores.
        if (timeSum != 0.0f) {
            for (int k = 0; k < 4; ++k)
                node.timberScores[k] = sums[k] / timeSum;
            nodeScored[n] = 1;
        }
    }

    // Node weights are all 1, so the node scores enter the overall scores as they are; nodes
    // without a score take no part.
    clampRange(result, firstNode, lastNode);
    float weighted[3] = {0.0f, 0.0f, 0.0f};
    float duration = 0.0f;
    for (int i = firstNode; i <= lastNode; ++i) {
        const nodeResult& node = result.nodes[static_cast<size_t>(i)];
        if (!nodeScored[static_cast<size_t>(i)])
            continue;
        const float d = static_cast<float>(frameCount(node.startFrame, node.endFrame));
        for (int k = 0; k < 3; ++k)
            weighted[k] += node.timberScores[k] * d;
        duration += d;
    }
    for (int k = 0; k < 3; ++k) {
        result.overallScores[k] = duration != 0.0f ? weighted[k] / duration : 0.0f;
        result.discountedScores[k] = result.overallScores[k];
    }

    if (result.discountRatios.empty()) {
        conPrintf("\tRead %s...\n", param.scoreDiscountParamFile.c_str());
        floatListRead(param.scoreDiscountParamFile, DISCOUNT_TYPE_NUM, result.discountRatios);
        // A ratio above 1 raised to an occurrence count soon leaves the float range.
        for (size_t k = 0; k < DISCOUNT_TYPE_NUM; ++k) {
            const float ratio = result.discountRatios[k];
            if (ratio < 0.0f || ratio > 1.0f)
                fatalError("Error: discount ratio %zu of %s is %g; a ratio must lie between 0 and 1", k + 1,
                           param.scoreDiscountParamFile.c_str(), static_cast<double>(ratio));
        }
    }
    // Type 5 (the word count difference) is reported but not applied.
    const size_t types = std::min(result.discountOccurrences.size(), result.discountRatios.size());
    for (size_t k = 0; k < DISCOUNT_TYPE_NUM && k < types; ++k) {
        if (k == 4)
            continue;
        const double factor = std::pow(static_cast<double>(result.discountRatios[k]),
                                       static_cast<double>(result.discountOccurrences[k]));
        for (float& score : result.discountedScores)
            score = static_cast<float>(score * factor);
    }
    if (wordNum > 0) {
        const float factor = static_cast<float>(pathSylNum) / static_cast<float>(wordNum);
        for (float& score : result.discountedScores)
            score *= factor;
    }

    for (nodeResult& node : result.nodes) {
        node.timberScore = node.timberScores[1];
        for (phoneResult& phone : node.phones)
            phone.timberScore = phone.timberScores[1];
    }
    result.overallTimberScore = result.discountedScores[1];
    result.overallScore = result.discountedScores[1];
}
