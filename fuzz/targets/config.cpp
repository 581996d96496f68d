// Feature configuration files: read, then used for the features of a short fixed signal.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "frontend/CMel.h"

FUZZ_TARGET(config)
{
    const std::string path = fuzz::writeInput(input, "cfg");
    CMel mel;
    mel.configFileRead(path);
    const std::vector<int32_t>& samples = fuzz::fixedSignal();
    int32_t frameNum = 0;
    int32_t vecSize = 0;
    CMel fresh;
    // A quarter second is enough for a few frames at any usual window.
    fresh.waveToMfcc(samples.data(), 16000, 16, 4000, path, frameNum, vecSize);
}
