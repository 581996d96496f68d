// Feature vectors of an utterance, frame after frame.
#pragma once

#include <cstdint>
#include <vector>

struct FeatureMatrix {
    int32_t frameNum = 0;
    int32_t vecSize = 0;
    std::vector<float> data; // element (t, d) at t * vecSize + d
    uint16_t paramKind = 0;   // kind code of the configuration that produced the features
    int32_t framePeriod = 0;  // frame shift in 100 ns units

    const float* row(int32_t t) const { return data.data() + static_cast<size_t>(t) * static_cast<size_t>(vecSize); }
};
