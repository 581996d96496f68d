#include "task/recogTask.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "audio/audioFile.h"
#include "audio/signalCondition.h"
#include "common/clock.h"
#include "common/console.h"
#include "common/fatalError.h"
#include "task/featureStage.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "model/macro.h"
#include "net/net.h"

namespace {

// Feature frames of 20 ms every 10 ms at 16 kHz.
const int32_t FEATURE_FRAME_SIZE = 320;
const int32_t FEATURE_FRAME_OVERLAP = 160;

// Removes the result files (and their temporary files) that an earlier run may have left in the
// output directory, so that a failed run leaves none of them behind.
void removeEarlierResults(const recogParam& param)
{
    if (param.outputDir.empty())
        return;
    static const char* const names[] = {"score.txt",  "recogResult.txt", "confusingPath.txt", "output.nt",
                                        "output.syl", "output.dic",      "output.net",        "output.netb",
                                        "output.wpa"};
    std::vector<std::string> paths;
    paths.push_back(param.outputDir + "/" + (param.outputXmlFile.empty() ? "output.xml" : param.outputXmlFile));
    for (const char* name : names)
        paths.push_back(param.outputDir + "/" + name);
    for (const std::string& path : paths) {
        std::error_code ec;
        for (const std::string& p : {path, path + ".tmp"}) {
            if (std::filesystem::is_regular_file(p, ec))
                std::filesystem::remove(p, ec);
        }
    }
}

// Stops a recording with more feature frames than a run may have before any work is done on it:
// the count follows from the sample count once the signal is at 16 kHz (a slow rate would
// otherwise be upsampled first, a long recording analysed whole).
void checkFrameLimit(const WaveSignal& wave)
{
    const int64_t count = static_cast<int64_t>(wave.samples.size());
    double conditioned = static_cast<double>(count);
    if (wave.fs > 0 && wave.fs != 16000 && count > 0)
        conditioned = std::floor((count - 1) * 16000.0 / wave.fs) + 1;
    const double frames = std::floor((conditioned - FEATURE_FRAME_SIZE) / (FEATURE_FRAME_SIZE - FEATURE_FRAME_OVERLAP)) + 1;
    if (frames > MAX_FRAME_NUM)
        fatalError("frameNum = %d > %d, frameNum too big!", static_cast<int32_t>(std::min(frames, 2147483647.0)),
                   MAX_FRAME_NUM);
}

// The models score feature rows stream by stream; rows of another length would be read past
// their end or only in part.
void checkFeatureSize(const recogParam& param, const macroClass& models, const FeatureMatrix& features)
{
    int64_t total = 0;
    int64_t reach = 0;
    const int streams = std::clamp(models.streamNum, 0, MAX_STREAM_NUM);
    for (int j = 0; j < streams; ++j) {
        total += models.streamVecSize[j];
        reach = std::max(reach, static_cast<int64_t>(j + 1) * models.streamVecSize[j]);
    }
    if (streams != models.streamNum || total != features.vecSize || reach > features.vecSize)
        fatalError("Feature vectors of %d values (featureConfigFile \"%s\") do not fit the models, which score "
                   "vectors of %lld values (macFile \"%s\")",
                   features.vecSize, param.featureConfigFile.c_str(), static_cast<long long>(total),
                   param.macFile.c_str());
}

} // namespace

void recogTask::run(recogParam& param, recogResult& result)
{
    removeEarlierResults(param);
    // A label file segments the whole recording (its times count from the recording's start), so
    // such a run analyses the whole recording.
    if (!param.inputLabFile.empty() && param.useEpd != 0) {
        conPrintf("Warning: the label file %s segments the whole recording; useEpd is ignored\n",
                  param.inputLabFile.c_str());
        param.useEpd = 0;
    }
    WaveSignal wave = audioFileRead(param.wavFile);
    checkFrameLimit(wave);

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
    checkFeatureSize(param, models, features);
    recogCore(param, wave, FEATURE_FRAME_SIZE, FEATURE_FRAME_OVERLAP, waveBeginFrameId, features, sizes, models, dict,
              text, net, result);
}
