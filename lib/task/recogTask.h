// The stage driver: one utterance through the fixed stages of a run.
#pragma once

#include <string>
#include <vector>

#include "audio/waveSignal.h"
#include "frontend/featureMatrix.h"
#include "task/recogParam.h"
#include "assess/recogResult.h"

class dictClass;
class macroClass;
class netClass;
class textClass;

// Sizes of the search: candidates kept per frame and the arena that holds them.
struct searchSize {
    int32_t candidateNum = 0;
    int32_t arenaLen = 0;
};
// From the comparison mode, the largest fan-out of the network and maxCandidateNum.
searchSize searchSizeFor(const recogParam& param, int maxNextNodeNum);

class recogTask {
public:
    // Fills param from the parameter file: defaults first, then the file's pairs in order.
    void readRecogParam(const std::string& path, recogParam& param);
    // Reads and conditions the utterance, then runs the stages.
    void run(recogParam& param, recogResult& result);
    // The stages of a run on the conditioned utterance.
    void runStages(recogParam& param, recogResult& result, WaveSignal& wave);
    // The lexicon and the normalization map, by language.
    void loadResources(const recogParam& param, const macroClass& models, dictClass& dict, textClass& text);
    // Texts, their normalization and syllable strings, and the english dictionary (the first
    // part of the texts-and-network stage).
    void prepareTexts(recogParam& param, const macroClass& models, dictClass& dict, textClass& text);
    // The network (read from netFile, or built from the texts as a sausage or a tree), its
    // output files and the filler penalty; gives the search sizes.
    searchSize prepareNet(recogParam& param, dictClass& dict, textClass& text, netClass& net);
    // Search, recognized text, assessment, pitch and volume, result files; gives the identified
    // text indices.
    std::vector<int> recogCore(recogParam& param, const WaveSignal& wave, int32_t frameSize, int32_t overlap,
                               int32_t waveBeginFrameId, const FeatureMatrix& features, const searchSize& sizes,
                               macroClass& models, dictClass& dict, textClass& text, netClass& net,
                               recogResult& result);
    // The analysed span (whole signal or endpoint-detected) and its features; gives the span's
    // first feature frame through waveBeginFrameId.
    FeatureMatrix detectAndExtract(const recogParam& param, const WaveSignal& wave, int32_t frameSize,
                                   int32_t overlap, int32_t& waveBeginFrameId);
};
