// Assessment of a recognized utterance: the result's nodes and phones from the search path,
// their texts, pitched flags and volume, the ranking of every phone against competing models,
// timber scores, discount factors and the overall score.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "assess/assessResult.h"

class dictClass;
class macroClass;
class netClass;
class viterbiClass;
struct recogParam;

// Nodes and phones from the history of candidate `candidate` of the last search.
void resultFromCandidate(const viterbiClass& search, int candidate, const netClass& net, const dictClass& dict,
                         const macroClass& models, assessResult& result);
// Texts of the nodes from the words of the normalized identified text (fillers get none).
void nodeTextsAssign(assessResult& result, const std::string& normalizedText, const recogParam& param);
// Pitched flag of every phone; qiYinFile lists the base phones that are not pitched.
void pitchedFlags(assessResult& result, const std::string& qiYinFile);
// Each node's volume values: frameVolume[f] for its frames f below the array's size.
void nodeVolumeFill(assessResult& result, const std::vector<int32_t>& frameVolume);
// Ranks every phone of the non-filler nodes against its competitors over its own frames
// (features: frameNum rows of `dim` values from the first analysed frame). Every phone of the
// result must lie within those rows and start no later than it ends; otherwise a fatal error.
void phoneRanking(assessResult& result, const float* features, int dim, int frameNum, const macroClass& models,
                  viterbiClass& search, const recogParam& param);
// 100 at x = c, falling towards 0 away from it; b sets the steepness.
float gbellScore(float x, float a, float b, float c);
// Occurrences of the seven discount types over nodes firstNode..lastNode.
void discountCount(assessResult& result, int firstNode, int lastNode, bool completePath, int32_t wordNum);
// Timber scores of phones and nodes, overall and discounted scores over firstNode..lastNode;
// sets result.overallScore (and overallTimberScore) to the discounted overall score 1.
void timberScoring(assessResult& result, const recogParam& param, const macroClass& models, int firstNode,
                   int lastNode, int32_t wordNum, int32_t pathSylNum);
