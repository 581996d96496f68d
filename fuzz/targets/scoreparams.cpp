// The score parameter files of the assessment, each given the input in turn: the number lists
// (rank-to-score curve, discount ratios) and the per-model bell curves, used to score a fixed result.
#include "fuzzSupport.h"

#include "assess/assess.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "model/macro.h"
#include "task/recogParam.h"

namespace {

assessResult fixedResult()
{
    assessResult result;
    nodeResult node;
    node.name = "w0";
    node.endFrame = 40;
    for (int i = 0; i < 3; ++i) {
        phoneResult phone;
        phone.name = "p0+p" + std::to_string(i);
        phone.modelIndex = 2 + i;
        phone.startFrame = 10 * i;
        phone.endFrame = 10 * i + 9;
        phone.rankRatio = 0.25f * static_cast<float>(i);
        phone.timeRatio = 1.0f / 3.0f;
        node.phones.push_back(phone);
    }
    result.nodes.push_back(node);
    result.discountOccurrences.assign(DISCOUNT_TYPE_NUM, 1);
    return result;
}

} // namespace

FUZZ_TARGET(scoreparams)
{
    const std::string path = fuzz::writeInput(input, "txt");
    std::vector<float> values;
    readFloatList(path, values);
    FUZZ_STEP({
        recogParam param;
        param.phoneRank2scoreParamFile = path;
        param.scoreDiscountParamFile = path;
        assessResult result = fixedResult();
        timberScoring(result, param, fuzz::fixedModels(), 0, 0, 1, 1);
    });
    recogParam param;
    param.cmParamFile = path;
    assessResult result = fixedResult();
    timberScoring(result, param, fuzz::fixedModels(), 0, 0, 1, 1);
}
