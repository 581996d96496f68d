// The assessment of one utterance: nodes (words or syllables) of the path with their phones,
// their time spans, scores, pitch and volume, and the utterance's scores and discount factors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct phoneResult {
    std::string name;          // the phone model's name
    int32_t modelIndex = -1;   // index in the sorted model set
    int32_t startFrame = 0;
    int32_t endFrame = 0;
    float cumLogLike = 0.0f;   // the path's accumulated score at the end of the phone
    float ownLogLike = 0.0f;   // alignment log likelihood of the phone's own model
    std::vector<int32_t> competingModelIds; // descending log likelihood after ranking
    std::vector<float> competingLogLikes;
    float cmParams[3] = {0.0f, 0.0f, 0.0f}; // the model's own bell curve a, b, c
    std::vector<std::string> alternatives;  // acceptable alternative models
    int32_t rank = -1;
    float rankRatio = -1.0f;
    float timeRatio = -1.0f;
    float timberScore = -1.0f;
    float timberScores[4] = {-1.0f, -1.0f, -1.0f, -1.0f};
    uint8_t pitched = 0;
    std::vector<float> volume;
    std::vector<float> pitch;
};

struct nodeResult {
    std::string name; // phonetic alphabets of the node
    std::string text;
    int32_t startFrame = 0;
    int32_t endFrame = 0;
    float cumScore = 0.0f;
    float timberScore = -1.0f;
    float timberScores[4] = {-1.0f, -1.0f, -1.0f, -1.0f};
    std::vector<phoneResult> phones;
    std::vector<float> volume;
    std::vector<float> pitch;
};

// A phone model and the models accepted in its place.
struct epsEntry {
    std::string phone;
    std::vector<std::string> alternatives;
};

// Comparison mode 3: one matched text within a path that also carries fillers.
struct keywordResult {
    std::string name;
    float score = 0.0f; // duration-weighted mean of its nodes' scores
    int32_t firstNode = 0;
    int32_t lastNode = 0;
    std::vector<int32_t> textIds;
};

// Number of discount types, and their names (also the warning texts of the report).
constexpr int DISCOUNT_TYPE_NUM = 7;
extern const char* const DISCOUNT_TYPE_NAMES[DISCOUNT_TYPE_NUM];

struct assessResult {
    std::vector<nodeResult> nodes;
    int32_t phoneCount = 0;         // phones of scored (non-filler) nodes
    int32_t scoredFrameTotal = 0;   // frames of the ranked phones
    float weightedRankRatio = 0.0f; // sum of timeRatio x rankRatio
    float meanLogLike = 0.0f;       // own log likelihoods over scored frames
    int32_t scoredNodeCount = 0;
    std::vector<int32_t> discountOccurrences; // one per discount type
    std::vector<float> discountRatios;        // from scoreDiscountParamFile
    float overallScores[3] = {0.0f, 0.0f, 0.0f};
    float discountedScores[3] = {0.0f, 0.0f, 0.0f};
    float overallTimberScore = 0.0f;
    float overallScore = 0.0f;
    std::vector<float> rankToScoreParams; // a, b, c from phoneRank2scoreParamFile
    std::vector<epsEntry> epsTable;
    std::vector<keywordResult> keywords;
};
