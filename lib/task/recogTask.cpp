#include "task/recogTask.h"

#include "audio/audioFile.h"
#include "audio/signalCondition.h"
#include "common/clock.h"
#include "common/console.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "model/macro.h"
#include "net/net.h"

namespace {

// Feature frames of 20 ms every 10 ms at 16 kHz.
const int32_t FEATURE_FRAME_SIZE = 320;
const int32_t FEATURE_FRAME_OVERLAP = 160;

} // namespace

void recogTask::run(recogParam& param, recogResult& result)
{
    WaveSignal wave = audioFileRead(param.wavFile);

    // The time printed covers the conditioning, not the file reading.
    int64_t start = msClock();
    conditionSettings settings;
    settings.volCheckPrmFile = param.volCheckPrmFile;
    settings.useWaveReject = param.useWaveReject != 0;
    settings.useSpecSubtraction = param.useSpecSubtraction != 0;
    if (signalCondition(wave, settings, result.warnings))
        param.useDescCandidateNum = 0;
    conPrintf("%4.3f sec: Read wave file \"%s\"\n", secondsSince(start), param.wavFile.c_str());

    runStages(param, result, wave);
}

void recogTask::runStages(recogParam& param, recogResult& result, WaveSignal& wave)
{
    macroClass models;
    dictClass dict;
    textClass text;
    netClass net;
    int64_t start = msClock();
    models.macRead(param.macFile);
    models.modelCountRead(param.modelCountFile);
    conPrintf("%4.3f sec: Read \"%s\" (modelNum=%d) and \"%s\"\n", secondsSince(start), param.macFile.c_str(),
              models.modelNum, param.modelCountFile.c_str());

    loadResources(param, models, dict, text);
    prepareTexts(param, models, dict, text);
    const searchSize sizes = prepareNet(param, dict, text, net);
    int32_t waveBeginFrameId = 0;
    const FeatureMatrix features =
        detectAndExtract(param, wave, FEATURE_FRAME_SIZE, FEATURE_FRAME_OVERLAP, waveBeginFrameId);
    recogCore(param, wave, FEATURE_FRAME_SIZE, FEATURE_FRAME_OVERLAP, waveBeginFrameId, features, sizes, models, dict,
              text, net, result);
}
