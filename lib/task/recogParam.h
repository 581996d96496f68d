// Settings of one run, read from the recognition parameter file.
#pragma once

#include <cstdint>
#include <string>

// Longest value of a text setting; txtFile may carry the texts themselves and is longer.
constexpr int RECOG_PARAM_TEXT_MAX = 999;
constexpr int RECOG_PARAM_TXTFILE_MAX = 9999;

struct recogParam {
    std::string language;
    std::string macFile;
    std::string modelCountFile;
    std::string pinyinType;
    std::string dicFile;
    std::string wpaFile;
    std::string wpaAddendaFile;
    std::string pyTableFile;
    std::string qiYinFile;
    std::string tnmFile;
    std::string featureConfigFile;
    std::string wavFile;
    std::string wavFileList;
    std::string txtFile;
    std::string sylFile;
    std::string netFile;
    std::string outputDir;
    std::string outWavDir;
    std::string function;
    std::string outputXmlFile;
    std::string phoneRank2scoreParamFile;
    std::string scoreDiscountParamFile;
    std::string cmParamFile;
    std::string epsFile;
    std::string inputLabFile;
    int32_t useAllModelAsCompetingModel = 0;
    int32_t usePaddedHardSp = 1;
    int32_t usePaddedSoftSil = 1;
    int32_t useLeadingTrailingSil = 1;
    std::string ptParamFile;
    std::string volCheckPrmFile;
    std::string fillerType;
    int32_t getUvScore = 0;
    int32_t getPitch = 0;
    int32_t useEpd = 0;
    int32_t netType = 0;
    int32_t maxCandidateNum = 0;
    int32_t probTh = 0;
    int32_t comparisonMode = 0;
    int32_t wordPenalty = 0;
    int32_t nodePenalty = 0;
    int32_t useWaveReject = 0;
    int32_t useDescCandidateNum = 1;
    int32_t useSpecSubtraction = 0;
    int32_t addLink4stopAnywhere = 0;
    int32_t addLink4startAnywhere = 0;
    int32_t addLink4forwardJump = 0;
    int32_t addLink4skippableTrailingSil = 0;
    int32_t addLink4skippableLeadingSil = 0;
};

// Longest value the text setting `key` may hold.
int recogParamTextMax(const std::string& key);
