// recite-mfcc: the features recite computes for a recording, as an HTK parameter file.
#include <cstdio>

#include "audio/audioFile.h"
#include "audio/signalCondition.h"
#include "common/fatalError.h"
#include "common/strUtil.h"
#include "frontend/htkParamFile.h"
#include "task/recogTask.h"

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 5) {
        std::printf("Usage: %s CONFIG AUDIO OUT [useEpd]\n"
                    "  Reads AUDIO as recite does (conditioning with default volume-check settings and, when\n"
                    "  useEpd is not 0, endpoint detection), computes the features configured in CONFIG and\n"
                    "  writes them to OUT as an HTK parameter file.\n",
                    argv[0]);
        return 1;
    }
    try {
        recogParam param;
        param.featureConfigFile = argv[1];
        param.wavFile = argv[2];
        param.useEpd = argc == 5 ? parseLeadingInt(argv[4]) : 0;

        WaveSignal wave = audioFileRead(param.wavFile);
        std::vector<std::string> warnings;
        signalCondition(wave, conditionSettings{}, warnings);
        for (const std::string& w : warnings)
            std::printf("Warning: %s\n", w.c_str());

        int32_t waveBeginFrameId = 0;
        FeatureMatrix features = recogTask().detectAndExtract(param, wave, 320, 160, waveBeginFrameId);
        htkParamFileWrite(argv[3], features);
        std::printf("\t===> Saved %s (%d frames of %d values, first frame %d)\n", argv[3], features.frameNum,
                    features.vecSize, waveBeginFrameId);
    } catch (const fatalErrorException& e) {
        std::printf("%s\n", e.what());
        return 2;
    }
    return 0;
}
