// The stage driver: one utterance through the fixed stages of a run.
#pragma once

#include <string>

#include "audio/waveSignal.h"
#include "task/recogParam.h"
#include "task/recogResult.h"

class recogTask {
public:
    // Fills param from the parameter file: defaults first, then the file's pairs in order.
    void readRecogParam(const std::string& path, recogParam& param);
    // Reads and conditions the utterance, then runs the stages.
    void run(recogParam& param, recogResult& result);
    // The stages of a run on the conditioned utterance.
    void runStages(recogParam& param, recogResult& result, WaveSignal& wave);
};
