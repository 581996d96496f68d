// Pitch-tracker parameter files, then the pitch of a short fixed signal with them.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "audio/pitch.h"

FUZZ_TARGET(pitchparam)
{
    ptParam param;
    ptParamSet(16000, 16, 1, fuzz::writeInput(input, "prm"), param);
    const std::vector<int32_t>& samples = fuzz::fixedSignal();
    std::vector<float> pitch;
    pitchTrack(samples.data(), 4000, param, pitch);
}
