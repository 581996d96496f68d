// The recognition core: search, recognized text, segmentation, assessment, pitch and volume,
// and the result files.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "assess/assess.h"
#include "assess/labFile.h"
#include "assess/xmlReport.h"
#include "audio/pitch.h"
#include "audio/epd.h"
#include "audio/volume.h"
#include "common/clock.h"
#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"
#include "decoder/viterbi.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "model/fillers.h"
#include "model/macro.h"
#include "net/net.h"
#include "task/recogTask.h"

namespace {

// "Check if a confusing path is taken instead of the correct one" (Big5).
const char CONFUSING_PATH_LABEL[] = "\xC0\xCB\xAC\x64\xAC\x4F\xA7\x5F\xA8\xAB\xA8\xEC\xB2\x56\xB2\x63\xB8\xF4\xAE\x7C";

std::string beforeTab(const std::string& s)
{
    return s.substr(0, s.find('\t'));
}

std::vector<int32_t> pathSylIndices(const viterbiClass& search, int candidate)
{
    std::vector<int32_t> path;
    for (const sylHistoryEntry& e : search.sylHistory(candidate))
        path.push_back(e.sylIndex);
    return path;
}

int32_t wordCount(const recogParam& param, const textClass& text, int t0, const std::vector<int>& entryIds)
{
    const std::string& language = param.language;
    std::vector<std::string> pieces;
    if (language == "chinese") {
        std::string s = text.m_txtVs[static_cast<size_t>(t0)];
        text.normalizeOne(s, language);
        return static_cast<int32_t>(s.size() / 2);
    }
    if (language == "japanese" || language == "taiwanese") {
        if (entryIds.empty() || entryIds[0] < 0 || static_cast<size_t>(entryIds[0]) >= text.m_sylVs.size())
            return 0;
        strSplit(text.m_sylVs[static_cast<size_t>(entryIds[0])], '-', pieces);
        strVecRemoveEmpty(pieces);
        return static_cast<int32_t>(std::count_if(pieces.begin(), pieces.end(),
                                                  [](const std::string& p) { return p != "sil"; }));
    }
    // english, and any other language: the blank-separated words of the normalized text.
    strSplit(text.m_txtVsNormalized[static_cast<size_t>(t0)], ' ', pieces);
    return static_cast<int32_t>(pieces.size());
}

void shiftFrames(nodeResult& node, int32_t by)
{
    node.startFrame += by;
    node.endFrame += by;
    for (phoneResult& p : node.phones) {
        p.startFrame += by;
        p.endFrame += by;
    }
}

// Re-aligns nodes whose name differs from the designated syllables (entry 0 of the syllable
// file) with a one-syllable network of the designated syllable, over the node's own frames.
void confusingPathCheck(const recogParam& param, const FeatureMatrix& features, const std::vector<int>& entryIds,
                        int candidatesLeft, viterbiClass& search, const macroClass& models, dictClass& dict,
                        const textClass& text, assessResult& assess)
{
    const std::string path = param.outputDir + "/confusingPath.txt";
    outputFile out(path);
    std::FILE* fp = out.get();
    const std::string& syl = param.sylFile;
    if (syl.size() >= 4 && syl.compare(syl.size() - 4, 4, "syl2") == 0) {
        conPrintf("%s (Check if a confusing path is taken instead of the correct one)\n", CONFUSING_PATH_LABEL);
        if (!entryIds.empty() && entryIds[0] != 0 && !text.m_sylVs.empty() && entryIds[0] > 0 &&
            static_cast<size_t>(entryIds[0]) < text.m_sylVs.size()) {
            const std::string designated = beforeTab(text.m_sylVs[0]);
            std::vector<std::string> d;
            strSplit(designated, '-', d);
            std::fprintf(fp, "Designated: %s\n", designated.c_str());
            std::fprintf(fp, "Identified: %s\n", beforeTab(text.m_sylVs[static_cast<size_t>(entryIds[0])]).c_str());
            size_t j = 0;
            for (nodeResult& node : assess.nodes) {
                if (j >= d.size())
                    break;
                if (isFillerName(node.name))
                    continue;
                if (node.name != d[j]) {
                    std::fprintf(fp, "%s ===> %s\n", d[j].c_str(), node.name.c_str());
                    const std::vector<std::string> lines = {
                        "VERSION=1.0 (by recogCore())", "N=3\tL=2", "I=0\tW=!NULL", "I=1\tW=!NULL",
                        "I=2\tW=" + d[j], "J=0\tS=0\tE=2", "J=1\tS=2\tE=1"};
                    netClass second;
                    second.netReadLines(lines, dict);
                    const int32_t first = node.startFrame;
                    const int32_t span = node.endFrame - node.startFrame + 1;
                    if (first < 0 || span < 1 || first + span > features.frameNum)
                        fatalError("Cannot re-align node %s: frames %d to %d are outside the utterance", node.name.c_str(),
                                   node.startFrame, node.endFrame);
                    search.viterbiSearch(second, dict, features.row(first), features.vecSize, span, candidatesLeft,
                                         models, static_cast<float>(param.probTh), param.useDescCandidateNum);
                    int best = search.selectBestCandidate(candidatesLeft, second, dict);
                    if (best < 0)
                        best = 0;
                    assessResult realigned;
                    resultFromCandidate(search, best, second, dict, models, realigned);
                    if (!realigned.nodes.empty()) {
                        shiftFrames(realigned.nodes[0], first);
                        node = realigned.nodes[0];
                    }
                }
                ++j;
            }
        }
    }
    out.commit();
    conPrintf("\t===> Saved %s\n", path.c_str());
}

// Reads the label file. Its times count from the start of the recording, like the frames of the
// report; the features start at the analysed span's first frame (waveBeginFrameId, not 0 with
// endpoint detection), so the labels are moved onto the features and must lie inside them.
void labelsIntoSpan(const std::string& path, int32_t waveBeginFrameId, int32_t frameNum, assessResult& assess)
{
    labFileRead(path, assess);
    const int64_t last = static_cast<int64_t>(waveBeginFrameId) + frameNum - 1;
    for (nodeResult& node : assess.nodes) {
        for (const phoneResult& phone : node.phones) {
            if (phone.startFrame < waveBeginFrameId || phone.endFrame > last || phone.endFrame < phone.startFrame)
                fatalError("Label file %s: phone \"%s\" of node \"%s\" spans frames %d to %d, outside the analysed "
                           "frames %d to %lld of the recording",
                           path.c_str(), phone.name.c_str(), node.name.c_str(), phone.startFrame, phone.endFrame,
                           waveBeginFrameId, static_cast<long long>(last));
        }
        shiftFrames(node, -waveBeginFrameId);
    }
}

// Keyword of comparison mode 3: the matched text within a path that also carries fillers.
void keywordRecord(const textClass& text, const std::vector<int>& textIds, const std::vector<int>& entryIds,
                   int first, int last, assessResult& assess)
{
    keywordResult keyword;
    if (!entryIds.empty() && entryIds[0] >= 0 && static_cast<size_t>(entryIds[0]) < text.m_sylVs.size())
        keyword.name = beforeTab(text.m_sylVs[static_cast<size_t>(entryIds[0])]);
    keyword.firstNode = first;
    keyword.lastNode = last;
    keyword.textIds.assign(textIds.begin(), textIds.end());
    double weighted = 0.0;
    double weights = 0.0;
    for (int i = first; i <= last; ++i) {
        const nodeResult& node = assess.nodes[static_cast<size_t>(i)];
        if (node.timberScore < 0)
            continue; // no scored phone: the node has no score to weigh in
        const double w = node.endFrame - node.startFrame;
        weighted += node.timberScore * w;
        weights += w;
    }
    keyword.score = weights > 0 ? static_cast<float>(weighted / weights) : 0.0f;
    const size_t k = assess.keywords.size();
    conPrintf("keyword[%zu]:\n\tname=%s\n\tscore=%f\n\t", k, keyword.name.c_str(), static_cast<double>(keyword.score));
    for (int32_t t : keyword.textIds)
        conPrintf("%s ", text.m_txtVs[static_cast<size_t>(t)].c_str());
    conPrintf("\n");
    assess.keywords.push_back(keyword);
}

// Pitch and volume of every node and phone from the whole utterance.
void wholeUtterancePitch(const WaveSignal& wave, ptParam pt, assessResult& assess)
{
    const int32_t count = wave.sampleNum;
    std::vector<int32_t> volume;
    wave2volume(wave.samples.data(), count, pt.frameSize, pt.overlap, volume, 1);
    const size_t n = volume.size();

    std::vector<float> pitch(n, 0.0f);
    const int32_t mean = intMean(wave.samples.data(), count);
    int64_t peak = 0;
    for (int32_t s : wave.samples)
        peak = std::max<int64_t>(peak, std::llabs(static_cast<int64_t>(s) - mean));
    if (peak > 0 && n > 0) {
        // Scale the signal so that its peak is 2^(nbits - 1).
        const double factor = std::pow(2.0, pt.nbits) * 0.5 / static_cast<double>(peak);
        std::vector<int32_t> scaled(wave.samples.size());
        for (size_t i = 0; i < scaled.size(); ++i)
            scaled[i] = roundHalfAway(static_cast<double>(wave.samples[i] - mean) * factor);
        pitchTrack(scaled.data(), count, pt, pitch);
        const float median = pitchMedian(pitch);
        pt.minPitch = median - pt.pitchRangeMax / 2;
        pt.maxPitch = median + pt.pitchRangeMax / 2;
        pitchTrack(scaled.data(), count, pt, pitch);
        pitch.resize(n, 0.0f);
    }

    // A node frame f (320 samples every 160, counted from the start of the signal) takes the
    // values of the pitch frame whose centre is nearest to its own centre.
    const int32_t hop = std::max(pt.frameSize - pt.overlap, 1);
    auto pitchFrameOf = [&](int32_t f) {
        const double centre = frame2sampleIndex(f, 320, 160) + 1.0 - pt.frameSize / 2;
        const int64_t p = roundHalfAway(centre / hop);
        return static_cast<size_t>(std::clamp<int64_t>(p, 0, static_cast<int64_t>(n) - 1));
    };
    auto fill = [&](int32_t first, int32_t last, std::vector<float>& pitchOut, std::vector<float>& volumeOut) {
        pitchOut.clear();
        volumeOut.clear();
        for (int32_t f = first; f <= last && n > 0; ++f) {
            const size_t p = pitchFrameOf(f);
            pitchOut.push_back(pitch[p]);
            volumeOut.push_back(static_cast<float>(volume[p]));
        }
    };
    for (nodeResult& node : assess.nodes) {
        fill(node.startFrame, node.endFrame, node.pitch, node.volume);
        for (phoneResult& phone : node.phones)
            fill(phone.startFrame, phone.endFrame, phone.pitch, phone.volume);
    }
}

void writeRecogResultFile(const std::string& path, const recogResult& result)
{
    outputFile out(path);
    std::FILE* fp = out.get();
    std::vector<int> ids(result.textIds.begin(), result.textIds.end());
    std::fprintf(fp, "Text index=%s\n", intVecJoin(ids, "#").c_str());
    std::fprintf(fp, "Text=%s\n", strVecJoin(result.texts, "#").c_str());
    std::fprintf(fp, "Score=%f\n", static_cast<double>(result.bestScore));
    std::fprintf(fp, "Varo=%s\n", result.varoPinyin.c_str());
    std::fprintf(fp, "MPA=%s\n", result.mpaPinyin.c_str());
    std::fprintf(fp, "HanYu=%s\n", result.hanyuPinyin.c_str());
    std::fprintf(fp, "Tone=%s\n", result.tone.c_str());
    std::fprintf(fp, "LogProb=%f\n", static_cast<double>(result.logProb));
    out.commit();
}

} // namespace

std::vector<int> recogTask::recogCore(recogParam& param, const WaveSignal& wave, int32_t frameSize, int32_t overlap,
                                      int32_t waveBeginFrameId, const FeatureMatrix& features,
                                      const searchSize& sizes, macroClass& models, dictClass& dict, textClass& text,
                                      netClass& net, recogResult& result)
{
    // 1-2. Search and the final candidate.
    int64_t start = msClock();
    viterbiClass search(sizes.arenaLen, models.modelNum);
    const int candidatesLeft =
        search.viterbiSearch(net, dict, features.data.data(), features.vecSize, features.frameNum, sizes.candidateNum,
                             models, static_cast<float>(param.probTh), param.useDescCandidateNum);
    conPrintf("%4.3f sec: Viterbi search\n", secondsSince(start));
    int best = search.selectBestCandidate(candidatesLeft, net, dict);
    const bool completePath = best >= 0;
    if (best < 0)
        best = 0;
    // Kept now: the confusing-path check below reuses the search for its own alignments.
    const float bestCandidateScore = search.candidate(best).score;

    // 3-4. Path to text.
    std::vector<int> textIds;
    std::vector<int> entryIds;
    const std::string sylString = text.pinyin2text(pathSylIndices(search, best), dict, textIds, entryIds, param);
    if (textIds.empty())
        fatalError("The recognized path matches no text");
    for (int t : textIds) {
        conPrintf("\ttextIndex=%d ===> %s\n", t, text.m_txtVs[static_cast<size_t>(t)].c_str());
        result.identifiedTexts.push_back(text.m_txtVs[static_cast<size_t>(t)]);
    }
    if (!text.m_sylVs.empty()) {
        for (size_t i = 0; i < entryIds.size(); ++i) {
            const int e = entryIds[i];
            const std::string entry =
                e >= 0 && static_cast<size_t>(e) < text.m_sylVs.size() ? text.m_sylVs[static_cast<size_t>(e)] : "";
            conPrintf("\tsylIndex[%zu]=%d ===> %s\n", i, e, entry.c_str());
            result.identifiedSylEntries.push_back(entry);
        }
    }

    // 5-7. Word count, segmentation, unit counts.
    const int t0 = textIds[0];
    const int32_t words = wordCount(param, text, t0, entryIds);
    if (param.inputLabFile.empty())
        resultFromCandidate(search, best, net, dict, models, result.assess);
    else
        labelsIntoSpan(param.inputLabFile, waveBeginFrameId, features.frameNum, result.assess);
    result.wordNum = words;
    std::vector<std::string> units;
    strSplit(sylString, '-', units);
    result.pathSylNum =
        static_cast<int32_t>(std::count_if(units.begin(), units.end(), [](const std::string& u) { return u != "sil"; }));

    // 8. Confusing path.
    if (!param.outputDir.empty() && param.function == "assess" && !param.sylFile.empty())
        confusingPathCheck(param, features, entryIds, candidatesLeft, search, models, dict, text, result.assess);

    // 9-11. Node texts, the recognized strings, romanizations.
    nodeTextsAssign(result.assess, text.m_txtVsNormalized[static_cast<size_t>(t0)], param);
    result.internalPinyin = sylString;
    result.bestScore = -100000.0f;
    result.logProb = bestCandidateScore;
    for (int t : textIds) {
        result.textIds.push_back(t);
        result.texts.push_back(text.m_txtVs[static_cast<size_t>(t)]);
    }
    if (param.language == "chinese") {
        const auto& table = dict.m_pinyinTable;
        if (param.pinyinType == "varo") {
            result.varoPinyin = result.internalPinyin;
            result.mpaPinyin = pinyinConvert(result.internalPinyin, table, 1, 2);
            result.hanyuPinyin = pinyinConvert(result.internalPinyin, table, 1, 3);
        } else if (param.pinyinType == "hanyu") {
            result.hanyuPinyin = result.internalPinyin;
            result.mpaPinyin = pinyinConvert(result.internalPinyin, table, 3, 2);
            result.varoPinyin = pinyinConvert(result.internalPinyin, table, 3, 1);
        }
        if (!entryIds.empty() && entryIds[0] >= 0 && static_cast<size_t>(entryIds[0]) < text.m_extraVs.size())
            result.tone = text.m_extraVs[static_cast<size_t>(entryIds[0])];
    }

    // 12-13. Pitched flags and volume.
    pitchedFlags(result.assess, param.qiYinFile);
    start = msClock();
    std::vector<int32_t> frameVolume;
    wave2volume(wave.samples.data(), wave.sampleNum, frameSize, overlap, frameVolume, 1);
    conPrintf("%4.3f sec: Compute volume\n", secondsSince(start));
    nodeVolumeFill(result.assess, frameVolume);

    // 14-16. Ranking, discounts and scores.
    conPrintf("\tFind the phone ranking...\n");
    phoneRanking(result.assess, features.data.data(), features.vecSize, features.frameNum, models, search, param);
    conPrintf("\tCompute possible score discount factors...\n");
    const int nodeCount = static_cast<int>(result.assess.nodes.size());
    int first = 0;
    int last = nodeCount - 1;
    bool complete = completePath;
    if (param.comparisonMode == 3) {
        result.wordNum = -1;
        first = std::clamp(text.m_matchStartUnit, 0, std::max(nodeCount - 1, 0));
        last = std::clamp(first + text.m_matchUnitNum - 1, first - 1, nodeCount - 1);
        complete = true;
    }
    discountCount(result.assess, first, last, complete, result.wordNum);
    timberScoring(result.assess, param, models, first, last, result.wordNum, result.pathSylNum);
    result.score = result.assess.overallScore;
    result.bestScore = result.assess.overallScore;
    if (param.comparisonMode == 3 && last >= first)
        keywordRecord(text, textIds, entryIds, first, last, result.assess);

    // 17. Frames from the start of the whole signal.
    for (nodeResult& node : result.assess.nodes)
        shiftFrames(node, waveBeginFrameId);

    // 18. Pitch.
    if (param.getPitch != 0) {
        start = msClock();
        ptParam pt;
        ptParamSet(wave.fs, wave.nbits, 1, param.ptParamFile, pt);
        pt.useVolThreshold = 0;
        pt.useClarityThreshold = 0;
        wholeUtterancePitch(wave, pt, result.assess);
        conPrintf("%4.3f sec: Volume and pitch computation (based on the whole utterance)\n", secondsSince(start));
    }

    // 19. Files.
    if (!param.outputDir.empty()) {
        const std::string xmlPath = param.outputDir + "/" + (param.outputXmlFile.empty() ? "output.xml" : param.outputXmlFile);
        xmlReportWrite(xmlPath, result, models.getModelNames(), param.language);
        conPrintf("\t===> Saved %s\n", xmlPath.c_str());
        const std::string scorePath = param.outputDir + "/score.txt";
        writeFloatValue(scorePath, result.score);
        conPrintf("\t===> Saved %s\n", scorePath.c_str());
        const std::string resultPath = param.outputDir + "/recogResult.txt";
        writeRecogResultFile(resultPath, result);
        conPrintf("\t===> Saved %s\n", resultPath.c_str());
    }
    return textIds;
}
