#include "task/recogParam.h"

#include <vector>

#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"
#include "task/recogTask.h"

namespace {

// One key of the parameter file: a text field or an integer field of recogParam.
struct paramKey {
    const char* name;
    std::string recogParam::*text;
    int32_t recogParam::*number;
};

#define TEXT_KEY(field) paramKey{#field, &recogParam::field, nullptr}
#define INT_KEY(field) paramKey{#field, nullptr, &recogParam::field}

// Keys in the order they are matched.
const paramKey PARAM_KEYS[] = {
    TEXT_KEY(function),
    TEXT_KEY(language),
    TEXT_KEY(macFile),
    TEXT_KEY(modelCountFile),
    TEXT_KEY(pinyinType),
    TEXT_KEY(dicFile),
    TEXT_KEY(wpaFile),
    TEXT_KEY(wpaAddendaFile),
    TEXT_KEY(pyTableFile),
    TEXT_KEY(qiYinFile),
    TEXT_KEY(tnmFile),
    TEXT_KEY(featureConfigFile),
    TEXT_KEY(wavFile),
    TEXT_KEY(wavFileList),
    TEXT_KEY(txtFile),
    TEXT_KEY(sylFile),
    TEXT_KEY(netFile),
    TEXT_KEY(outputDir),
    TEXT_KEY(outWavDir),
    TEXT_KEY(outputXmlFile),
    TEXT_KEY(phoneRank2scoreParamFile),
    TEXT_KEY(scoreDiscountParamFile),
    TEXT_KEY(cmParamFile),
    TEXT_KEY(epsFile),
    TEXT_KEY(inputLabFile),
    INT_KEY(useAllModelAsCompetingModel),
    INT_KEY(usePaddedHardSp),
    INT_KEY(usePaddedSoftSil),
    INT_KEY(useLeadingTrailingSil),
    TEXT_KEY(ptParamFile),
    TEXT_KEY(volCheckPrmFile),
    TEXT_KEY(fillerType),
    INT_KEY(getUvScore),
    INT_KEY(getPitch),
    INT_KEY(useEpd),
    INT_KEY(netType),
    INT_KEY(maxCandidateNum),
    INT_KEY(probTh),
    INT_KEY(comparisonMode),
    INT_KEY(wordPenalty),
    INT_KEY(nodePenalty),
    INT_KEY(useWaveReject),
    INT_KEY(useDescCandidateNum),
    INT_KEY(useSpecSubtraction),
    INT_KEY(addLink4stopAnywhere),
    INT_KEY(addLink4startAnywhere),
    INT_KEY(addLink4forwardJump),
    INT_KEY(addLink4skippableTrailingSil),
    INT_KEY(addLink4skippableLeadingSil),
};

#undef TEXT_KEY
#undef INT_KEY

} // namespace

int recogParamTextMax(const std::string& key)
{
    return key == "txtFile" ? RECOG_PARAM_TXTFILE_MAX : RECOG_PARAM_TEXT_MAX;
}

void recogTask::readRecogParam(const std::string& path, recogParam& param)
{
    param = recogParam{};
    std::vector<std::string> keys;
    std::vector<std::string> values;
    std::vector<int> lineNumbers;
    readKeyValueFile(path, keys, values, &lineNumbers);

    for (size_t i = 0; i < keys.size(); ++i) {
        const paramKey* found = nullptr;
        for (const paramKey& k : PARAM_KEYS) {
            if (keys[i] == k.name) {
                found = &k;
                break;
            }
        }
        if (!found)
            fatalError("Error in parsing %s, unknown key = %s (line %d in %s)", path.c_str(), keys[i].c_str(), 180,
                       "lib\\recogTask");
        if (found->text) {
            int maxLen = recogParamTextMax(keys[i]);
            if (values[i].size() > static_cast<size_t>(maxLen))
                fatalError("Error in parsing %s, the value of %s on line %d has %zu characters, more than %d",
                           path.c_str(), found->name, lineNumbers[i], values[i].size(), maxLen);
            param.*(found->text) = values[i];
        } else {
            param.*(found->number) = parseLeadingInt(values[i]);
        }
    }
}
