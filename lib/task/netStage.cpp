// The network part of the texts-and-network stage: read or build the network, save it, and size
// the search.
#include <algorithm>
#include <cstdint>

#include "common/clock.h"
#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "net/net.h"
#include "task/recogTask.h"

searchSize searchSizeFor(const recogParam& param, int maxNextNodeNum)
{
    const bool keywordMode = param.comparisonMode == 3;
    int64_t candidates = static_cast<int64_t>(keywordMode ? 20 : 4) * maxNextNodeNum;
    if (candidates < 20)
        candidates = 100;
    // A negative limit gives a negative count (and arena), which the search refuses.
    candidates = std::min<int64_t>(candidates, param.maxCandidateNum);
    searchSize size;
    size.candidateNum = static_cast<int32_t>(candidates);
    const int64_t arena = (keywordMode ? 100 : 5) * candidates;
    if (arena > INT32_MAX || arena < INT32_MIN)
        fatalError("maxCandidateNum = %d gives a search arena of %lld candidates, more than can be held",
                   param.maxCandidateNum, static_cast<long long>(arena));
    size.arenaLen = static_cast<int32_t>(arena);
    return size;
}

searchSize recogTask::prepareNet(recogParam& param, dictClass& dict, textClass& text, netClass& net)
{
    int64_t start = msClock();
    if (!param.netFile.empty()) {
        net.netRead(param.netFile, dict);
        conPrintf("%4.3f sec: Read net \"%s\" (nodeNum=%d)\n", secondsSince(start), param.netFile.c_str(), net.nodeNum);
    } else if (param.netType == 1 && param.sylFile.empty()) {
        text.buildSausageNet(dict, param);
        if (!param.outputDir.empty()) {
            const std::string path = param.outputDir + "/output.nt";
            writeTextLines(path, text.m_txtVsNormalized);
            conPrintf("\t===> Saved %s\n", path.c_str());
        }
        net.netReadLines(text.m_netVs, dict);
        conPrintf("%4.3f sec: Generated sausage net (nodeNum=%d)\n", secondsSince(start), net.nodeNum);
    } else {
        const bool framingSilences = param.useEpd == 0;
        if (param.function == "recog")
            text.buildTreeNet(param, param.comparisonMode == 3, false, framingSilences);
        else if (param.function == "assess")
            // Only 1 asks for the pauses: the mapping back to text removes them only for 1.
            text.buildTreeNet(param, false, param.usePaddedSoftSil == 1, framingSilences);
        else
            fatalError("Unknown recogParam.function = %s!", param.function.c_str());
        net.netReadLines(text.m_netVs, dict);
        conPrintf("%4.3f sec: Generated tree net (nodeNum=%d)\n", secondsSince(start), net.nodeNum);
    }

    if (!param.outputDir.empty()) {
        std::string path = param.outputDir + "/output.net";
        net.netPrint(path);
        conPrintf("\t===> Saved net file: %s\n", path.c_str());
        path = param.outputDir + "/output.netb";
        net.netWriteBinary(path);
        conPrintf("\t===> Saved net file: %s\n", path.c_str());
    }
    if (param.language != "japanese" && !param.outputDir.empty()) {
        const std::string path = param.outputDir + "/output.wpa";
        dict.wpaSaveForTexts(path, text.m_txtVsNormalized, param);
        conPrintf("\t===> Saved wpa file %s\n", path.c_str());
    }
    net.setFillerPenalty(static_cast<float>(param.nodePenalty));
    return searchSizeFor(param, net.maxNextNodeNum());
}
