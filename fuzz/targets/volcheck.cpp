// Volume-check parameter files, then the check of a fixed signal with them.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "audio/signalCondition.h"

FUZZ_TARGET(volcheck)
{
    const std::string path = fuzz::writeInput(input, "prm");
    VolCheckParam param;
    volCheckParamRead(path, param);
    const std::vector<int32_t>& samples = fuzz::fixedSignal();
    volumeCheck(samples.data(), static_cast<int32_t>(samples.size()), path);
}
