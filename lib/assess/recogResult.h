// Result record of one run, filled by the stages and printed by the entry point.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "assess/assessResult.h"

// Longest error text kept in the result.
constexpr int RECOG_ERROR_TEXT_MAX = 999;

struct recogResult {
    float logProb = 0.0f;
    float bestScore = -100000.0f;
    std::string internalPinyin;
    std::string tone;
    std::string mpaPinyin;
    std::string hanyuPinyin;
    std::string varoPinyin;
    std::vector<int32_t> textIds;
    std::vector<std::string> texts;
    int32_t wordNum = -1;
    int32_t pathSylNum = 0;
    float score = 0.0f;
    std::string errorText;
    int32_t errorFlag = 0;
    std::vector<std::string> identifiedSylEntries;
    std::vector<std::string> identifiedTexts;
    std::vector<std::string> warnings;
    // The assessment: nodes and phones of the path with their scores, and the utterance's
    // scores and discount factors.
    assessResult assess;
};
