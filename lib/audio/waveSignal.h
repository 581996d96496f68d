// An utterance in memory.
#pragma once

#include <cstdint>
#include <vector>

struct WaveSignal {
    std::vector<int32_t> samples; // one entry per sample, channels interleaved as in the file
    int32_t sampleNum = 0;
    int32_t fs = 0;    // sample rate in Hz
    int32_t nbits = 0; // sample width in bits
};
